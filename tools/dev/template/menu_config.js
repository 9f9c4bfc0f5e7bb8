// Index menu configuration. Sizes and offsets are in pixels, times in milliseconds.
var YOffset = 150;               // the menu's top, from the top of the page
var XOffset = 0;                 // the container's left edge
var staticYOffset = 30;          // kept from the top of the visible area while scrolling
var slideSpeed = 20;             // between two 10-pixel steps of sliding
var waitTime = 100;              // the menu stays out this long after the mouse left it
var menuBGColor = "black";       // shows as the grid between the cells
var menuIsStatic = "yes";        // follow vertical scrolling
var menuWidth = 180;             // a multiple of 10, so that the steps end at the stops
var menuCols = 2;                // columns of a full-width row

// Header items.
var hdrFontFamily = "verdana";
var hdrFontSize = "2";
var hdrFontColor = "white";
var hdrBGColor = "#800080";
var hdrAlign = "left";
var hdrVAlign = "center";
var hdrHeight = "15";

// Link items.
var linkFontFamily = "Verdana";
var linkFontSize = "2";
var linkBGColor = "white";
var linkOverBGColor = "#FFFF99";
var linkTarget = "_top";
var linkAlign = "Left";

// The vertical bar; its text is written one letter per line (an <IMG tag is written as is).
var barBGColor = "#444444";
var barFontFamily = "Verdana";
var barFontSize = "2";
var barFontColor = "white";
var barVAlign = "center";
var barWidth = 20;
var barText = "INDEX";

// Items: name, link, target, column span, end of row ("no" keeps it open); no link: a header.
ssmItems[0] = ["Index"];
ssmItems[1] = ["General Information", "#GeneralInformation", ""];
ssmItems[2] = ["SQL Server Statistics", "#SQLServerStatistics", ""];
ssmItems[3] = ["Scheduled Windows Jobs", "#ScheduledWindowsJobs", ""];
ssmItems[4] = ["SQL Server Information", "#SQLServerInformation", ""];
ssmItems[5] = ["Linked Servers", "#LinkedServers", ""];
ssmItems[6] = ["Target Servers", "#TargetServers", ""];
ssmItems[7] = ["Operators", "#Operators", ""];
ssmItems[8] = ["Alerts", "#Alerts", ""];
ssmItems[9] = ["SQL Jobs", "#SQLJobs", ""];
ssmItems[10] = ["Database Devices", "#DatabaseDevices", ""];
ssmItems[11] = ["Databases", "#Databases", ""];
ssmItems[12] = ["Fixed Database Roles", "#FixedDatabaseRoles", ""];
ssmItems[13] = ["Logins and Access Levels", "#LoginsandAccessLevels", ""];
ssmItems[14] = ["Database Replication", "#Replication", ""];
ssmItems[15] = ["<b>Top</b>", "#PageTop", "", 1, "no"];
ssmItems[16] = ["<b>Bottom</b>", "#PageBottom", "", 1];

var NS6 = (document.getElementById && !document.all) ? true : false;
var IE = (document.all) ? true : false;
var NS = (navigator.appName == "Netscape" && navigator.appVersion.charAt(0) == "4");
var tempBar = "", barBuilt = 0, lastY = 0, theleft = 0, moving = null, ssm, bssm, bssm2;
var ssmItems = [];

function truebody() { return (document.compatMode && document.compatMode != "BackCompat") ? document.documentElement : document.body; }
function menuLeft() { return IE ? ssm.pixelLeft : parseInt(ssm.left, 10); }
function moveOut() {
  clearTimeout(moving);
  if (menuLeft() < 0) { moving = setTimeout(moveOut, slideSpeed); slideMenu(10); }
}
function moveBack() { clearTimeout(moving); moving = setTimeout(moveBack1, waitTime); }
function moveBack1() {
  clearTimeout(moving);
  if (menuLeft() > -menuWidth) { moving = setTimeout(moveBack1, slideSpeed); slideMenu(-10); }
}
function slideMenu(num) {
  if (IE) { ssm.pixelLeft += num; }
  if (NS6) { ssm.left = (parseInt(ssm.left, 10) + num) + "px"; }
  if (NS) { bssm.clip.right += num; bssm2.clip.right += num; bssm.left += num; bssm2.left += num; }
}
function makeStatic() {
  var winY = IE ? truebody().scrollTop : window.pageYOffset;
  var smooth = 0;
  if (winY != lastY && winY > YOffset - staticYOffset) {
    smooth = 0.2 * (winY - lastY - YOffset + staticYOffset);
  } else if (lastY > 0) {
    smooth = 0.2 * (0 - lastY);
  }
  smooth = (smooth > 0) ? Math.ceil(smooth) : Math.floor(smooth);
  if (IE) { bssm.pixelTop += smooth; }
  if (NS6) { bssm.top = (parseInt(bssm.top, 10) + smooth) + "px"; }
  if (NS) { bssm.top += smooth; }
  lastY = lastY + smooth;
  setTimeout(makeStatic, 1);
}
function buildBar() {
  if (barText.indexOf("<IMG") > -1) { tempBar = barText; }
  else { for (var b = 0; b < barText.length; b++) { tempBar += barText.charAt(b) + "<BR>"; } }
  document.write('<td align="center" rowspan="100" width="' + barWidth + '" bgcolor="' + barBGColor + '" valign="' + barVAlign + '"><p align="center"><font face="' + barFontFamily + '" size="' + barFontSize + '" color="' + barFontColor + '"><b>' + tempBar + '</b></font></p></td>');
}
function initSlide() {
  if (NS6 || IE) {
    var part = document.getElementById("thessm");
    ssm = part.style; bssm = document.getElementById("basessm").style;
    bssm.clip = "rect(0 " + part.offsetWidth + " " + part.offsetHeight + " 0)";
    if (IE) { bssm.visibility = "visible"; } else { ssm.visibility = "visible"; }
  } else if (NS) {
    bssm = document.layers["basessm1"]; bssm2 = bssm.document.layers["basessm2"];
    ssm = bssm2.document.layers["thessm"]; ssm.visibility = "show";
  }
  if (menuIsStatic == "yes") { makeStatic(); }
}

function buildMenu() {
  if (IE || NS6) { document.write('<div id="basessm" style="visibility:hidden;position:absolute;left:' + XOffset + 'px;top:' + YOffset + 'px;z-index:20;width:' + (menuWidth + barWidth + 10) + 'px"><div id="thessm" style="position:absolute;left:' + (-menuWidth) + 'px;top:0px;z-index:20" onmouseover="moveOut()" onmouseout="moveBack()">'); }
  if (NS) { document.write('<layer name="basessm1" top="' + YOffset + '" left="' + XOffset + '" visibility="show"><ilayer name="basessm2"><layer visibility="hide" name="thessm" bgcolor="' + menuBGColor + '" left="' + (-menuWidth) + '" onmouseover="moveOut()" onmouseout="moveBack()">'); }
  if (NS6) { document.write('<table border="0" cellpadding="0" cellspacing="0" width="' + (menuWidth + barWidth + 2) + '" bgcolor="' + menuBGColor + '"><tr><td>'); }
  document.write('<table border="0" cellpadding="0" cellspacing="1" width="' + (menuWidth + barWidth + 2) + '" bgcolor="' + menuBGColor + '">');
  for (var i = 0; i < ssmItems.length; i++) {
    if (!ssmItems[i][3]) { ssmItems[i][3] = menuCols; ssmItems[i][5] = menuWidth - 1; }
    else if (ssmItems[i][3] != menuCols) { ssmItems[i][5] = Math.round(menuWidth * ssmItems[i][3] / menuCols - 1); }
    if (ssmItems[i - 1] && ssmItems[i - 1][4] != "no") { document.write("<tr>"); }
    if (!ssmItems[i][1]) {
      document.write('<td bgcolor="' + hdrBGColor + '" height="' + hdrHeight + '" align="' + hdrAlign + '" valign="' + hdrVAlign + '" width="' + ssmItems[i][5] + '" colspan="' + ssmItems[i][3] + '">&nbsp;<font face="' + hdrFontFamily + '" size="' + hdrFontSize + '" color="' + hdrFontColor + '"><b>' + ssmItems[i][0] + '</b></font></td>');
    } else {
      if (!ssmItems[i][2]) { ssmItems[i][2] = linkTarget; }
      var over = ' onmouseover="bgColor=\'' + linkOverBGColor + '\'" onmouseout="bgColor=\'' + linkBGColor + '\'"';
      document.write('<td bgcolor="' + linkBGColor + '"' + over + ' width="' + ssmItems[i][5] + 'px" colspan="' + ssmItems[i][3] + '">' + (NS ? '<ilayer><layer' + over + ' width="100%" align="' + linkAlign + '">' : '') + '<div align="' + linkAlign + '"><font face="' + linkFontFamily + '" size="' + linkFontSize + '">&nbsp;<a href="' + ssmItems[i][1] + '" target="' + ssmItems[i][2] + '" class="ssmItems">' + ssmItems[i][0] + '</font></div>' + (NS ? '</layer></ilayer>' : '') + '</td>');
    }
    if (ssmItems[i][4] != "no" && barBuilt == 0) { buildBar(); barBuilt = 1; }
    if (ssmItems[i][4] != "no") { document.write("</tr>"); }
  }
  document.write("</table>");
  if (NS6) { document.write("</td></tr></table>"); }
  if (IE || NS6) { document.write("</div></div>"); }
  if (NS) { document.write("</layer></ilayer></layer>"); }
  theleft = -menuWidth; lastY = 0; setTimeout(initSlide, 1);
}

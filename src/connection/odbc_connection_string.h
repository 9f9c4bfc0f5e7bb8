#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "connection/connection_string.h"
#include "connection/encryption.h"

namespace quorvane::connection {

// Which rules a driver's connection-string parser follows.
enum class DriverFamily {
  kMicrosoft,  // ODBC Driver 17/18 for SQL Server: standard ODBC quoting ("}" doubled)
  kFreeTds,    // FreeTDS: braced values end at the first "};", "}}" is not undone
  kOther,      // anything else: standard ODBC quoting, generic keywords
};

struct OdbcDriver {
  std::string name;
  DriverFamily family = DriverFamily::kOther;
  bool operator==(const OdbcDriver&) const = default;
};

DriverFamily FamilyOfDriver(std::string_view driverName);

// Whose driver names to expect: unixODBC's on Linux, the Windows ODBC administrator's there.
enum class DriverPlatform { kUnix, kWindows };
#ifdef _WIN32
inline constexpr DriverPlatform kThisPlatform = DriverPlatform::kWindows;
#else
inline constexpr DriverPlatform kThisPlatform = DriverPlatform::kUnix;
#endif

// True for the OLE DB providers of SQL Server: SQLOLEDB, SQLOLEDB.1, SQLNCLI*, MSOLEDBSQL*.
bool IsSqlServerOleDbProvider(std::string_view provider);

// The ODBC driver for an OLE DB provider name. A SQL Server provider (or an empty name) gets the
// best SQL Server driver installed: ODBC Driver 18, then 17, then FreeTDS, then any other
// "ODBC Driver N for SQL Server" (highest N). On Windows: ODBC Driver 18, 17, any other N, SQL
// Server Native Client 11.0 and its elders, the system's "SQL Server", and FreeTDS last. Any
// other provider text is an ODBC driver name; when the installed list is known and lacks it,
// that is an error, since the driver manager's own message for it ("Data source name not
// found") misleads. Throws ConnectionStringError.
OdbcDriver ChooseOdbcDriver(std::string_view provider,
                            const std::vector<std::string>& installedDrivers,
                            DriverPlatform platform = kThisPlatform);

// The parts of an OLE DB "Data Source": [protocol:]host[\instance][,port].
struct DataSource {
  std::string protocol;  // "tcp", "np", "lpc", "admin" or empty; lower case
  std::string host;      // "." and "(local)" become "localhost"
  std::string instance;
  std::optional<int> port;
  bool operator==(const DataSource&) const = default;
};

// Throws ConnectionStringError for an empty host or a port that is not 1 to 65535.
DataSource ParseDataSource(std::string_view text);

// Quotes one ODBC value for the driver family, or throws ConnectionStringError naming `field`
// (never quoting the value) when the driver cannot receive it unchanged.
std::string QuoteOdbcValue(DriverFamily family, std::string_view value, std::string_view field);

// How a connection string splits into pairs under each parser: the standard ODBC rules (those of
// unixODBC's driver manager and the Microsoft drivers) and the FreeTDS driver's own.
Pairs ParseOdbcStandard(std::string_view text);
Pairs ParseOdbcFreeTds(std::string_view text);

class FreeTdsConfig;

// Translates one of the program's OLE DB connection strings into the ODBC connection string
// that opens the same login through an installed driver, with the encryption it asks for in
// that driver's own terms (read from Microsoft's OLE DB Driver keywords "Use Encryption for
// Data", "Trust Server Certificate", "Host Name In Certificate", "Server Certificate", or their
// ODBC names). Checking a certificate with FreeTDS takes a section of `freetds`,
// which is added there. What a driver cannot do is refused, never done in part: throws
// ConnectionStringError.
std::string OdbcConnectionString(std::string_view oleDbConnectionString,
                                 const std::vector<std::string>& installedDrivers,
                                 DriverPlatform platform = kThisPlatform,
                                 FreeTdsConfig* freetds = nullptr);

}  // namespace quorvane::connection

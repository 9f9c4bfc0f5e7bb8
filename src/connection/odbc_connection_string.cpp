#include "connection/odbc_connection_string.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "connection/freetds_config.h"

namespace quorvane::connection {

namespace {

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(), Lower);
  return lowered;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string_view Trim(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

const std::string* FindNoCase(const std::vector<std::string>& names, std::string_view name) {
  for (const auto& candidate : names) {
    if (EqualsNoCase(candidate, name)) return &candidate;
  }
  return nullptr;
}

// The version number N of "ODBC Driver N for SQL Server", or 0 for any other name.
int MicrosoftDriverVersion(std::string_view name) {
  constexpr std::string_view kPrefix = "odbc driver ";
  constexpr std::string_view kSuffix = " for sql server";
  const std::string lowered = Lowered(name);
  std::string_view rest = lowered;
  if (!rest.starts_with(kPrefix) || !rest.ends_with(kSuffix)) return 0;
  rest = rest.substr(kPrefix.size(), rest.size() - kPrefix.size() - kSuffix.size());
  int version = 0;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), version);
  return error == std::errc{} && end == rest.data() + rest.size() ? version : 0;
}

// N of a Microsoft driver's name: "ODBC Driver N for SQL Server", or a library path holding
// "msodbcsqlN" or "libmsodbcsql-N"; 0 when the name tells none (Native Client).
int MicrosoftDriverGeneration(std::string_view name) {
  if (const int version = MicrosoftDriverVersion(name)) return version;
  const std::string lowered = Lowered(name);
  std::size_t at = lowered.find("msodbcsql");
  if (at == std::string::npos) return 0;
  at += std::string_view("msodbcsql").size();
  if (at < lowered.size() && lowered[at] == '-') ++at;
  int version = 0;
  std::from_chars(lowered.data() + at, lowered.data() + lowered.size(), version);
  return version;
}

bool TrueOrFalse(std::string_view keyword, std::string_view text) {
  const std::string value = Lowered(Trim(text));
  if (value == "true" || value == "yes" || value == "1") return true;
  if (value == "false" || value == "no" || value == "0") return false;
  throw ConnectionStringError("The connection string's \"" + std::string(keyword) +
                              "\" must be True or False.");
}

// Reads one encryption pair of an OLE DB string into `e`; false for any other keyword.
bool ReadEncryptionPair(const Pair& pair, EncryptionOptions& e) {
  const std::string key = Lowered(pair.keyword);
  if (key == "use encryption for data" || key == "encrypt") {
    const std::optional<EncryptMode> mode = ParseEncryptMode(Trim(pair.value));
    if (!mode) {
      throw ConnectionStringError("The encryption \"" + pair.value +
                                  "\" is none of Optional, Mandatory and Strict.");
    }
    e.mode = *mode;
  } else if (key == "trust server certificate" || key == "trustservercertificate") {
    e.trustServerCertificate = TrueOrFalse(pair.keyword, pair.value);
  } else if (key == "host name in certificate" || key == "hostnameincertificate") {
    e.hostNameInCertificate = pair.value;
  } else if (key == "server certificate" || key == "servercertificate") {
    e.caFile = pair.value;
  } else {
    return false;
  }
  return true;
}

// Encrypt, TrustServerCertificate, HostNameInCertificate and ServerCertificate as Microsoft's
// drivers take them: 18 knows Mandatory and Strict, 17 and Native Client only yes and no.
void AddMicrosoftEncryption(const std::string& driver, const EncryptionOptions& e, Pairs& pairs) {
  const int generation = MicrosoftDriverGeneration(driver);
  switch (e.mode) {
    case EncryptMode::kOptional:
      // Like the OLE DB providers: encrypted, without insisting on a certificate from a
      // trusted authority, which most SQL Servers do not have.
      pairs.push_back({"Encrypt", "yes"});
      pairs.push_back({"TrustServerCertificate", "yes"});
      return;
    case EncryptMode::kMandatory:
      if (!e.caFile.empty()) {
        throw ConnectionStringError(
            "Microsoft's ODBC driver takes a certificate file only with strict encryption, and "
            "then as the server's own certificate. For mandatory encryption, install the CA "
            "among the system's trusted authorities.");
      }
      pairs.push_back({"Encrypt", generation >= 18 ? "Mandatory" : "yes"});
      pairs.push_back({"TrustServerCertificate", e.trustServerCertificate ? "yes" : "no"});
      break;
    case EncryptMode::kStrict:
      if (generation < 18) {
        throw ConnectionStringError(
            "Strict encryption (TDS 8.0) needs Microsoft's ODBC Driver 18 "
            "for SQL Server or later; \"" +
            driver + "\" cannot use it.");
      }
      pairs.push_back({"Encrypt", "Strict"});
      break;
  }
  if (!e.hostNameInCertificate.empty()) {
    if (generation < 18) {
      throw ConnectionStringError(
          "A host name for the certificate needs Microsoft's ODBC Driver "
          "18 for SQL Server or later; \"" +
          driver + "\" cannot take one.");
    }
    pairs.push_back({"HostNameInCertificate", e.hostNameInCertificate});
  }
  if (!e.caFile.empty()) pairs.push_back({"ServerCertificate", e.caFile});
}

std::string InstalledList(const std::vector<std::string>& installed) {
  std::string list;
  for (const auto& name : installed) {
    if (!list.empty()) list += ", ";
    list += "\"" + name + "\"";
  }
  return list;
}

// Keywords the driver manager acts on itself; a typed value must never produce one.
bool IsDriverManagerKeyword(std::string_view keyword) {
  return EqualsNoCase(keyword, "DRIVER") || EqualsNoCase(keyword, "DSN") ||
         EqualsNoCase(keyword, "FILEDSN") || EqualsNoCase(keyword, "SAVEFILE");
}

}  // namespace

DriverFamily FamilyOfDriver(std::string_view driverName) {
  const std::string name = Lowered(driverName);
  if (name.find("freetds") != std::string::npos || name.find("tdsodbc") != std::string::npos) {
    return DriverFamily::kFreeTds;
  }
  if (MicrosoftDriverVersion(driverName) > 0 || name.find("msodbcsql") != std::string::npos ||
      name.find("sql server native client") != std::string::npos ||
      name.find("sql native client") != std::string::npos) {
    return DriverFamily::kMicrosoft;
  }
  return DriverFamily::kOther;
}

bool IsSqlServerOleDbProvider(std::string_view provider) {
  return EqualsNoCase(provider, "SQLOLEDB") || EqualsNoCase(provider, "SQLOLEDB.1") ||
         StartsWithNoCase(provider, "SQLNCLI") || StartsWithNoCase(provider, "MSOLEDBSQL");
}

OdbcDriver ChooseOdbcDriver(std::string_view provider,
                            const std::vector<std::string>& installedDrivers,
                            DriverPlatform platform) {
  const std::string_view name = Trim(provider);
  if (name.empty() || IsSqlServerOleDbProvider(name)) {
    auto installed = [&](std::initializer_list<std::string_view> names) -> const std::string* {
      for (std::string_view preferred : names) {
        if (const std::string* found = FindNoCase(installedDrivers, preferred)) return found;
      }
      return nullptr;
    };
    auto newestMicrosoft = [&]() -> const std::string* {
      const std::string* best = nullptr;
      for (const auto& candidate : installedDrivers) {
        if (MicrosoftDriverVersion(candidate) > (best ? MicrosoftDriverVersion(*best) : 0)) {
          best = &candidate;
        }
      }
      return best;
    };
    const std::string* found = nullptr;
    if (platform == DriverPlatform::kWindows) {
      // Windows always has the old "SQL Server" driver; FreeTDS there is a deliberate choice
      // (or Wine handing the calls to the host's unixODBC).
      found = installed({"ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server"});
      if (!found) found = newestMicrosoft();
      if (!found) {
        found = installed({"SQL Server Native Client 11.0", "SQL Server Native Client 10.0",
                           "SQL Native Client", "SQL Server", "FreeTDS"});
      }
    } else {
      found =
          installed({"ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server", "FreeTDS"});
      if (!found) found = newestMicrosoft();
    }
    if (found) return {*found, FamilyOfDriver(*found)};
    const std::string freeTds =
        platform == DriverPlatform::kWindows ? "" : " or FreeTDS (package tdsodbc)";
    throw ConnectionStringError(
        "No ODBC driver for SQL Server is installed. Install \"ODBC Driver 18 for SQL Server\"" +
        freeTds + ", or enter the name of an installed ODBC driver as the provider.");
  }
  if (const std::string* found = FindNoCase(installedDrivers, name)) {
    return {*found, FamilyOfDriver(*found)};
  }
  // A path names the driver library itself; an empty list means the lookup was not possible.
  const std::string_view separators = platform == DriverPlatform::kWindows ? "/\\" : "/";
  if (installedDrivers.empty() || name.find_first_of(separators) != std::string_view::npos) {
    return {std::string(name), FamilyOfDriver(name)};
  }
  throw ConnectionStringError(
      "The ODBC driver \"" + std::string(name) +
      "\" is not installed. Installed drivers: " + InstalledList(installedDrivers) + ".");
}

DataSource ParseDataSource(std::string_view text) {
  const std::string_view original = Trim(text);
  std::string_view rest = original;
  DataSource source;
  for (std::string_view protocol : {"tcp", "np", "lpc", "admin"}) {
    if (rest.size() > protocol.size() && rest[protocol.size()] == ':' &&
        StartsWithNoCase(rest, protocol)) {
      source.protocol = std::string(protocol);
      rest = rest.substr(protocol.size() + 1);
      break;
    }
  }
  // A pipe name is a path of its own and is not split further.
  if (source.protocol == "np" || source.protocol == "lpc") {
    source.host = std::string(Trim(rest));
    return source;
  }
  if (const std::size_t comma = rest.rfind(','); comma != std::string_view::npos) {
    const std::string_view digits = Trim(rest.substr(comma + 1));
    int port = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (digits.empty() || error != std::errc{} || end != digits.data() + digits.size() ||
        port < 1 || port > 65535) {
      throw ConnectionStringError("The port in the server name \"" + std::string(original) +
                                  "\" is not a number from 1 to 65535.");
    }
    source.port = port;
    rest = rest.substr(0, comma);
  }
  if (const std::size_t slash = rest.find('\\'); slash != std::string_view::npos) {
    source.instance = std::string(Trim(rest.substr(slash + 1)));
    rest = rest.substr(0, slash);
  }
  rest = Trim(rest);
  if (rest.size() >= 2 && rest.front() == '[' && rest.back() == ']') {
    rest = rest.substr(1, rest.size() - 2);
  }
  if (rest == "." || EqualsNoCase(rest, "(local)")) rest = "localhost";
  if (rest.empty()) {
    throw ConnectionStringError("The server name \"" + std::string(original) +
                                "\" has no host name.");
  }
  source.host = std::string(rest);
  return source;
}

std::string QuoteOdbcValue(DriverFamily family, std::string_view value, std::string_view field) {
  if (value.find('\0') != std::string_view::npos) {
    throw ConnectionStringError("The " + std::string(field) + " contains a NUL character.");
  }
  const bool needsBraces = std::any_of(value.begin(), value.end(), [](char c) {
    return static_cast<unsigned char>(c) <= ' ' || c == ';' || c == '=' || c == '{' || c == '}';
  });
  if (!needsBraces) return std::string(value);
  if (family == DriverFamily::kFreeTds) {
    // FreeTDS ends a braced value at the first "};" and keeps "}}" as typed, so there is no
    // escape for "};". Refusing beats sending a different password (and counting a failed login
    // against the account). A "}" at the end is fine: every pair is followed by ";".
    if (value.find("};") != std::string_view::npos) {
      throw ConnectionStringError("The " + std::string(field) +
                                  " contains \"}\" followed by \";\", which the FreeTDS ODBC "
                                  "driver cannot receive unchanged. Choose a Microsoft ODBC "
                                  "Driver for SQL Server as the provider, or change the " +
                                  std::string(field) + ".");
    }
    return "{" + std::string(value) + "}";
  }
  std::string braced = "{";
  for (char c : value) {
    braced += c;
    if (c == '}') braced += '}';
  }
  braced += '}';
  return braced;
}

Pairs ParseOdbcStandard(std::string_view text) {
  Pairs pairs;
  std::size_t i = 0;
  const std::size_t n = text.size();
  auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  for (;;) {
    while (i < n && (space(text[i]) || text[i] == ';')) ++i;
    if (i >= n) break;
    const std::size_t equals = text.find('=', i);
    if (equals == std::string_view::npos) break;
    Pair pair{std::string(text.substr(i, equals - i)), {}};
    i = equals + 1;
    if (i < n && text[i] == '{') {
      ++i;
      while (i < n && (text[i] != '}' || (i + 1 < n && text[i + 1] == '}'))) {
        if (text[i] == '}') ++i;
        pair.value += text[i++];
      }
      if (i < n) ++i;  // the closing brace
    } else {
      const std::size_t end = std::min(text.find(';', i), n);
      pair.value = std::string(text.substr(i, end - i));
      i = end;
    }
    pairs.push_back(std::move(pair));
  }
  return pairs;
}

Pairs ParseOdbcFreeTds(std::string_view text) {
  Pairs pairs;
  std::size_t p = 0;
  const std::size_t n = text.size();
  while (p < n) {
    while (p < n && text[p] == ';') ++p;
    const std::size_t equals = text.find('=', p);
    if (equals == std::string_view::npos) break;
    while (p < equals && text[p] == ' ') ++p;
    Pair pair{std::string(text.substr(p, equals - p)), {}};
    p = equals + 1;
    std::size_t end = std::string_view::npos;
    if (p < n && text[p] == '{') {
      ++p;
      for (std::size_t at = text.find('}', p); at != std::string_view::npos;
           at = text.find('}', at + 1)) {
        if (at + 1 != n && text[at + 1] == ';') {
          end = at;
          break;
        }
      }
    } else {
      end = text.find(';', p);
    }
    if (end == std::string_view::npos) end = n;
    pair.value = std::string(text.substr(p, end - p));
    pairs.push_back(std::move(pair));
    p = end;
    if (p >= n) break;
    if (text[p] == '}') ++p;
    ++p;
  }
  return pairs;
}

std::string OdbcConnectionString(std::string_view oleDbConnectionString,
                                 const std::vector<std::string>& installedDrivers,
                                 DriverPlatform platform, FreeTdsConfig* freetds) {
  std::string provider;
  std::string dataSource;
  std::string database;
  std::string userName;
  std::string password;
  bool integrated = false;
  EncryptionOptions encryption;
  for (const Pair& pair : ParseOleDbConnectionString(oleDbConnectionString)) {
    const std::string key = Lowered(pair.keyword);
    if (key == "provider") {
      provider = pair.value;
    } else if (key == "data source" || key == "server" || key == "address" || key == "addr" ||
               key == "network address") {
      dataSource = pair.value;
    } else if (key == "integrated security" || key == "trusted_connection") {
      const std::string value = Lowered(Trim(pair.value));
      integrated = value == "sspi" || value == "true" || value == "yes";
    } else if (key == "user id" || key == "uid") {
      userName = pair.value;
    } else if (key == "password" || key == "pwd") {
      password = pair.value;
    } else if (key == "initial catalog" || key == "database") {
      database = pair.value;
    } else if (!ReadEncryptionPair(pair, encryption) && key != "persist security info") {
      throw ConnectionStringError("Unsupported connection string keyword \"" + pair.keyword +
                                  "\".");
    }
  }

  if (const auto conflict = EncryptionConflict(encryption)) throw ConnectionStringError(*conflict);
  const EncryptMode mode = encryption.mode;

  const OdbcDriver driver = ChooseOdbcDriver(provider, installedDrivers, platform);
  const DriverFamily family = driver.family;
  Pairs wanted{{"Driver", driver.name}};
  if (family == DriverFamily::kOther) {
    if (mode != EncryptMode::kOptional) {
      throw ConnectionStringError(
          "This program does not know how to make the ODBC driver \"" + driver.name +
          "\" encrypt. " + std::string(EncryptModeName(mode)) +
          " encryption needs Microsoft's ODBC Driver for SQL Server or FreeTDS.");
    }
    wanted.push_back({"Server", std::string(Trim(dataSource))});
  } else {
    const DataSource source = ParseDataSource(dataSource);
    // Windows' own drivers reach named pipes and shared memory; nothing else does.
    const bool localProtocols =
        platform == DriverPlatform::kWindows && family == DriverFamily::kMicrosoft;
    if ((source.protocol == "np" || source.protocol == "lpc") && !localProtocols) {
      throw ConnectionStringError(
          "Named pipes and shared memory are not available on this system. Use host, "
          "host\\instance or host,port as the server name.");
    }
    if (family == DriverFamily::kFreeTds) {
      if (!source.protocol.empty() && source.protocol != "tcp") {
        throw ConnectionStringError("The FreeTDS ODBC driver cannot open \"" + source.protocol +
                                    ":\" connections.");
      }
      if (mode == EncryptMode::kStrict) {
        throw ConnectionStringError(
            "The FreeTDS ODBC driver cannot use strict encryption (TDS 8.0). Use mandatory "
            "encryption, or Microsoft's ODBC Driver 18 for SQL Server as the provider.");
      }
      if (!encryption.hostNameInCertificate.empty()) {
        throw ConnectionStringError(
            "The FreeTDS ODBC driver checks the certificate against the server's own name only. "
            "Connect with a name the certificate holds, or use Microsoft's ODBC Driver 18 for SQL "
            "Server as the provider.");
      }
      if (mode == EncryptMode::kMandatory && !encryption.trustServerCertificate) {
        // FreeTDS checks certificates only for a server described in its configuration file.
        if (!freetds) {
          throw ConnectionStringError(
              "The FreeTDS ODBC driver checks certificates only through a configuration file, "
              "and this program could not set one up in its private temporary folder.");
        }
        const FreeTdsSection section{source.host, source.port,
                                     source.port ? std::string() : source.instance,
                                     encryption.caFile.empty() ? "system" : encryption.caFile};
        wanted.push_back({"Servername", freetds->Add(section)});
        wanted.push_back({"ClientCharset", "UTF-8"});
      } else {
        // FreeTDS wants the port apart; with a port the instance needs no lookup.
        if (source.port) {
          wanted.push_back({"Server", source.host});
          wanted.push_back({"Port", std::to_string(*source.port)});
        } else if (!source.instance.empty()) {
          wanted.push_back({"Server", source.host + "\\" + source.instance});
        } else {
          wanted.push_back({"Server", source.host});
        }
        wanted.push_back({"TDS_Version", "7.4"});
        wanted.push_back({"ClientCharset", "UTF-8"});
        // "request" encrypts what the server lets it, the login at least; "require" fails
        // against a server that cannot encrypt.
        wanted.push_back({"Encryption", mode == EncryptMode::kMandatory ? "require" : "request"});
      }
    } else {
      std::string server;
      if (!source.protocol.empty()) {
        server = source.protocol + ":";
      } else if (source.port) {
        server = "tcp:";
      }
      const bool bracket = source.port && source.host.find(':') != std::string::npos;
      server += bracket ? "[" + source.host + "]" : source.host;
      if (!source.instance.empty()) server += "\\" + source.instance;
      if (source.port) server += "," + std::to_string(*source.port);
      wanted.push_back({"Server", server});
      AddMicrosoftEncryption(driver.name, encryption, wanted);
    }
  }
  if (!database.empty()) wanted.push_back({"Database", database});
  if (integrated) {
    wanted.push_back({"Trusted_Connection", family == DriverFamily::kMicrosoft ? "yes" : "Yes"});
  } else {
    wanted.push_back({"UID", userName});
    wanted.push_back({"PWD", password});
  }

  std::string text;
  for (const Pair& pair : wanted) {
    std::string_view field = "value";
    if (pair.keyword == "Driver") field = "provider";
    if (pair.keyword == "Server") field = "server name";
    if (pair.keyword == "Database") field = "database name";
    if (pair.keyword == "UID") field = "login name";
    if (pair.keyword == "PWD") field = "password";
    if (pair.keyword == "HostNameInCertificate") field = "host name in certificate";
    if (pair.keyword == "ServerCertificate") field = "certificate file";
    text += pair.keyword + "=" + QuoteOdbcValue(family, pair.value, field) + ";";
  }

  // Read the result back the way its readers will; any difference means a typed value would
  // have changed the string's meaning.
  bool faithful = true;
  if (family == DriverFamily::kFreeTds) {
    faithful = ParseOdbcFreeTds(text) == wanted;
    const Pairs managerView = ParseOdbcStandard(text);
    for (std::size_t i = 0; i < managerView.size(); ++i) {
      if (i == 0 ? managerView[0] != wanted[0] : IsDriverManagerKeyword(managerView[i].keyword)) {
        faithful = false;
      }
    }
  } else {
    faithful = ParseOdbcStandard(text) == wanted;
  }
  if (!faithful) {
    throw ConnectionStringError(
        "The server name, login name or password contains \"}\" in a way "
        "the " +
        driver.name + " ODBC driver cannot receive unchanged.");
  }
  return text;
}

}  // namespace quorvane::connection

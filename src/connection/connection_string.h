#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "connection/encryption.h"

namespace quorvane::connection {

// A connection string that cannot be built or understood. The message names the field at fault
// but never quotes a login name or a password.
class ConnectionStringError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One keyword and its value, as a connection string carries them.
struct Pair {
  std::string keyword;
  std::string value;
  bool operator==(const Pair&) const = default;
};
using Pairs = std::vector<Pair>;

// The OLE DB connection strings the program builds. Server and provider go in as typed (blanks
// around them included, which OLE DB ignores); every value that could end its pair early or
// start a new one is quoted by the OLE DB rules, so a typed value never adds or changes a keyword.
// Encryption other than the default goes in as the keywords of Microsoft's OLE DB Driver:
// "Use Encryption for Data", "Trust Server Certificate", "Host Name In Certificate" and
// "Server Certificate".
std::string OleDbConnectionString(std::string_view provider, std::string_view server,
                                  const EncryptionOptions& encryption = {});
std::string OleDbConnectionString(std::string_view provider, std::string_view server,
                                  std::string_view userName, std::string_view password,
                                  const EncryptionOptions& encryption = {});

// Quotes one OLE DB value when it needs quoting. `keepEdgeBlanks` quotes a value with blanks,
// so that blanks at either end survive (the parser trims unquoted values).
std::string QuoteOleDbValue(std::string_view value, bool keepEdgeBlanks);

// Splits an OLE DB connection string into its pairs: unquoted values trimmed, quoted values
// unquoted, "==" in a keyword read as "=". Throws ConnectionStringError when malformed.
Pairs ParseOleDbConnectionString(std::string_view text);

}  // namespace quorvane::connection

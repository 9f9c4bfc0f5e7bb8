#include "driver_calls.h"

#include <dlfcn.h>
#include <link.h>

#include <stdexcept>
#include <string>

namespace conformance {
namespace {

std::string LoadedFreeTds() {
  std::string found;
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* data) {
        const std::string path = info->dlpi_name ? info->dlpi_name : "";
        if (path.substr(path.find_last_of('/') + 1).rfind("libtdsodbc", 0) != 0) return 0;
        *static_cast<std::string*>(data) = path;
        return 1;
      },
      &found);
  return found;
}

template <typename Function>
void Resolve(void* library, const char* symbol, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, symbol));
  if (!function) throw std::runtime_error(std::string("FreeTDS has no ") + symbol);
}

DriverCalls Load() {
  const std::string path = LoadedFreeTds();
  // Already loaded by unixODBC: this only takes another reference, kept for the process.
  void* library = path.empty() ? nullptr : dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (!library) throw std::runtime_error("unixODBC has not loaded the FreeTDS driver");
  DriverCalls c{};
  Resolve(library, "SQLMoreResults", c.MoreResults);
  Resolve(library, "SQLNumResultCols", c.NumResultCols);
  Resolve(library, "SQLRowCount", c.RowCount);
  Resolve(library, "SQLDescribeCol", c.DescribeCol);
  Resolve(library, "SQLFetch", c.Fetch);
  Resolve(library, "SQLGetData", c.GetData);
  Resolve(library, "SQLGetDiagRec", c.GetDiagRec);
  Resolve(library, "SQLGetDiagField", c.GetDiagField);
  if (c.MoreResults == &::SQLMoreResults) throw std::runtime_error("found unixODBC, not FreeTDS");
  return c;
}

}  // namespace

const DriverCalls& FreeTdsCalls() {
  static const DriverCalls calls = Load();
  return calls;
}

SQLHSTMT DriverStatement(SQLHDBC dbc, SQLHSTMT stmt) {
  // The statement goes in, the driver's handle for it comes back in the same buffer.
  SQLHSTMT handle = stmt;
  if (!SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DRIVER_HSTMT, &handle, sizeof handle, nullptr)) ||
      handle == stmt) {
    throw std::runtime_error("unixODBC does not give the driver's statement handle");
  }
  return handle;
}

}  // namespace conformance

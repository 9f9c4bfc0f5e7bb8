#include "data/odbc/driver_calls.h"

#include <array>
#include <string>

#include "data/odbc/odbc_format.h"

#ifndef _WIN32
#include <dlfcn.h>
#include <link.h>
#endif

namespace quorvane::data::odbc {

const StatementCalls& DriverManagerCalls() {
  static const StatementCalls calls{&::SQLMoreResults,  &::SQLNumResultCols, &::SQLRowCount,
                                    &::SQLDescribeColW, &::SQLFetch,         &::SQLGetData,
                                    &::SQLGetDiagRecW,  &::SQLGetDiagFieldW};
  return calls;
}

SQLHSTMT DriverEntryPoints::DriverStatement(SQLHDBC dbc, SQLHSTMT stmt) {
  // The statement goes in, the driver's handle for it comes back in the same buffer.
  SQLHSTMT handle = stmt;
  if (!SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_DRIVER_HSTMT, &handle, sizeof handle, nullptr))) {
    return SQL_NULL_HSTMT;
  }
  return handle == stmt ? SQL_NULL_HSTMT : handle;
}

#ifndef _WIN32

namespace {

// The path of the loaded library whose file name is `name` (as the driver reports it, with or
// without a version suffix), or empty.
std::string LoadedLibraryPath(const std::string& name) {
  struct Search {
    const std::string& name;
    std::string found;
  } search{name, {}};
  dl_iterate_phdr(
      [](dl_phdr_info* info, std::size_t, void* data) {
        auto* s = static_cast<Search*>(data);
        const std::string path = info->dlpi_name ? info->dlpi_name : "";
        const std::string file = path.substr(path.find_last_of('/') + 1);
        if (!file.empty() && (file == s->name || file.rfind(s->name + ".", 0) == 0)) {
          s->found = path;
          return 1;
        }
        return 0;
      },
      &search);
  return search.found;
}

template <typename Function>
bool Resolve(void* library, const char* symbol, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, symbol));
  return function != nullptr;
}

}  // namespace

std::shared_ptr<const DriverEntryPoints> DriverEntryPoints::For(SQLHDBC dbc) {
  std::array<SQLWCHAR, 512> name{};
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetInfoW(dbc, SQL_DRIVER_NAME, name.data(),
                                 static_cast<SQLSMALLINT>(name.size() * sizeof(SQLWCHAR)),
                                 &length))) {
    return nullptr;
  }
  const std::string file =
      WideToUtf8(name.data(), static_cast<std::size_t>(length) / sizeof(SQLWCHAR));
  const std::string path = LoadedLibraryPath(file.substr(file.find_last_of('/') + 1));
  if (path.empty()) return nullptr;
  std::shared_ptr<DriverEntryPoints> driver(new DriverEntryPoints);
  // Already loaded by the driver manager: this only takes another reference.
  driver->library_ = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (!driver->library_) return nullptr;
  StatementCalls& c = driver->calls_;
  const bool complete = Resolve(driver->library_, "SQLMoreResults", c.MoreResults) &&
                        Resolve(driver->library_, "SQLNumResultCols", c.NumResultCols) &&
                        Resolve(driver->library_, "SQLRowCount", c.RowCount) &&
                        Resolve(driver->library_, "SQLDescribeColW", c.DescribeColW) &&
                        Resolve(driver->library_, "SQLFetch", c.Fetch) &&
                        Resolve(driver->library_, "SQLGetData", c.GetData) &&
                        Resolve(driver->library_, "SQLGetDiagRecW", c.GetDiagRecW) &&
                        Resolve(driver->library_, "SQLGetDiagFieldW", c.GetDiagFieldW);
  // The driver manager's own exports must not be taken for the driver's.
  if (!complete || c.MoreResults == &::SQLMoreResults) return nullptr;
  return driver;
}

DriverEntryPoints::~DriverEntryPoints() {
  if (library_) dlclose(library_);
}

#else

// Not looked for on Windows: there a batch whose first statement fails ends at that statement
// unless the driver manager itself goes on.
std::shared_ptr<const DriverEntryPoints> DriverEntryPoints::For(SQLHDBC) {
  return nullptr;
}

DriverEntryPoints::~DriverEntryPoints() = default;

#endif

}  // namespace quorvane::data::odbc

// Runs batches against a server through unixODBC and FreeTDS and writes what the driver showed
// of each as JSON, for comparison with another TDS client.
//
//   tds-freetds-recorder PORT off|require TDS_VERSION BATCHES.json OUT.json
//
// BATCHES.json is an array of batch texts; "require" encrypts the whole session; TDS_VERSION is
// 7.1 to 7.4.

#include <fstream>
#include <iostream>
#include <string>

#include "odbc_recording.h"

namespace {

using nlohmann::json;

int Record(int port, const std::string& encryption, const std::string& tdsVersion,
           const json& batches, std::ostream& out) {
  sqlsim::testing::Connection connection;
  const SQLRETURN rc = connection.Connect(sqlsim::testing::ConnectionString(
      port, "sa", "secret", tdsVersion, "Encryption=" + encryption));
  static constexpr conformance::DriverCalls kDriverManager{
      &::SQLMoreResults, &::SQLNumResultCols, &::SQLRowCount,   &::SQLDescribeCol,
      &::SQLFetch,       &::SQLGetData,       &::SQLGetDiagRec, &::SQLGetDiagField};
  json record = {
      {"client", "FreeTDS"},
      {"login", conformance::ServerMessages(kDriverManager, SQL_HANDLE_DBC, connection.Handle())}};
  if (!SQL_SUCCEEDED(rc)) {
    std::cerr << "tds-freetds-recorder: connection failed: "
              << sqlsim::testing::Describe(connection.Diags());
    return 1;
  }
  json& results = record["batches"] = json::array();
  for (const json& sql : batches) {
    results.push_back(conformance::RecordBatch(connection, sql.get<std::string>()));
  }
  out << record.dump(1) << "\n";
  return out ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::cerr << "usage: tds-freetds-recorder PORT off|require TDS_VERSION BATCHES.json OUT.json\n";
    return 2;
  }
  try {
    std::ifstream in(argv[4]);
    const json batches = json::parse(in);
    std::ofstream out(argv[5], std::ios::binary);
    return Record(std::stoi(argv[1]), argv[2], argv[3], batches, out);
  } catch (const std::exception& error) {
    std::cerr << "tds-freetds-recorder: " << error.what() << "\n";
    return 1;
  }
}

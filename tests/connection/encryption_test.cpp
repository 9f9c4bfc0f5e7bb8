#include <gtest/gtest.h>
#include <sys/stat.h>

#include "connection/connection_string.h"
#include "connection/freetds_config.h"
#include "connection/ini_file.h"
#include "connection/odbc_connection_string.h"
#include "connection/tls_diagnosis.h"
#include "temp_folder.h"

namespace quorvane::connection {
namespace {

using testing::TempFolder;

const std::vector<std::string> kFreeTds{"FreeTDS"};
const std::vector<std::string> kMicrosoft18{"ODBC Driver 18 for SQL Server"};
const std::vector<std::string> kMicrosoft17{"ODBC Driver 17 for SQL Server"};

EncryptionOptions Mandatory(bool trust = false, std::string caFile = {}, std::string host = {}) {
  return {EncryptMode::kMandatory, trust, std::move(caFile), std::move(host)};
}
const EncryptionOptions kStrict{EncryptMode::kStrict, false, {}, {}};

std::string Odbc(const std::vector<std::string>& drivers, const EncryptionOptions& encryption,
                 FreeTdsConfig* freetds = nullptr, const std::string& server = "db,1500") {
  return OdbcConnectionString(OleDbConnectionString("SQLOLEDB.1", server, "sa", "pw", encryption),
                              drivers, DriverPlatform::kUnix, freetds);
}

// What is between the driver and the login, the server included.
std::string Middle(const std::string& odbc) {
  const std::size_t from = odbc.find(';') + 1;
  return odbc.substr(from, odbc.find("UID=") - from);
}

std::string Refusal(const std::function<void()>& build) {
  try {
    build();
  } catch (const ConnectionStringError& error) {
    return error.what();
  }
  return "accepted";
}

TEST(EncryptionOdbc, MicrosoftDriversGetTheirOwnKeywords) {
  EXPECT_EQ(Middle(Odbc(kMicrosoft18, {})),
            "Server=tcp:db,1500;Encrypt=yes;TrustServerCertificate=yes;");
  EXPECT_EQ(Middle(Odbc(kMicrosoft18, Mandatory())),
            "Server=tcp:db,1500;Encrypt=Mandatory;TrustServerCertificate=no;");
  EXPECT_EQ(Middle(Odbc(kMicrosoft18, Mandatory(true))),
            "Server=tcp:db,1500;Encrypt=Mandatory;TrustServerCertificate=yes;");
  EXPECT_EQ(Middle(Odbc(kMicrosoft18, Mandatory(false, {}, "sql.example"))),
            "Server=tcp:db,1500;Encrypt=Mandatory;TrustServerCertificate=no;"
            "HostNameInCertificate=sql.example;");
  EXPECT_EQ(Middle(Odbc(kMicrosoft18, {EncryptMode::kStrict, false, "/etc/db;1.pem", "sql"})),
            "Server=tcp:db,1500;Encrypt=Strict;HostNameInCertificate=sql;"
            "ServerCertificate={/etc/db;1.pem};");
  const std::string library = "/opt/microsoft/msodbcsql18/lib64/libmsodbcsql-18.3.so.2.1";
  EXPECT_EQ(Middle(OdbcConnectionString(
                OleDbConnectionString(library, "db,1500", "sa", "pw", kStrict), {library})),
            "Server=tcp:db,1500;Encrypt=Strict;");
  // Driver 17 knows only yes and no, and nothing of host names or TDS 8.0.
  EXPECT_EQ(Middle(Odbc(kMicrosoft17, Mandatory())),
            "Server=tcp:db,1500;Encrypt=yes;TrustServerCertificate=no;");
  EXPECT_NE(Refusal([] { Odbc(kMicrosoft17, kStrict); }).find("Driver 18"), std::string::npos);
  EXPECT_NE(Refusal([] { Odbc(kMicrosoft17, Mandatory(false, {}, "x")); }).find("Driver 18"),
            std::string::npos);
  EXPECT_NE(Refusal([] {
              Odbc(kMicrosoft18, Mandatory(false, "/ca.pem"));
            }).find("only with strict encryption"),
            std::string::npos);
  EXPECT_NE(Refusal([] {
              OdbcConnectionString(OleDbConnectionString("My Driver", "db", Mandatory()),
                                   {"My Driver"});
            }).find("does not know how to make"),
            std::string::npos);
}

TEST(EncryptionOdbc, FreeTdsChecksCertificatesThroughItsConfigurationFile) {
  TempFolder folder;
  FreeTdsConfig freetds(folder / "freetds.conf", "[global]\n\ttext size = 64512\n");
  EXPECT_EQ(Middle(Odbc(kFreeTds, {}, &freetds)),
            "Server=db;Port=1500;TDS_Version=7.4;ClientCharset=UTF-8;Encryption=request;");
  EXPECT_EQ(Middle(Odbc(kFreeTds, Mandatory(true), &freetds)),
            "Server=db;Port=1500;TDS_Version=7.4;ClientCharset=UTF-8;Encryption=require;");
  EXPECT_FALSE(std::filesystem::exists(freetds.Path())) << "written before it was needed";

  EXPECT_EQ(Middle(Odbc(kFreeTds, Mandatory(false, "/etc/ca.pem"), &freetds)),
            "Servername=quorvane-1;ClientCharset=UTF-8;");
  EXPECT_EQ(Middle(Odbc(kFreeTds, Mandatory(), &freetds, "other\\INST")),
            "Servername=quorvane-2;ClientCharset=UTF-8;");
  // The same server again reuses its section.
  EXPECT_EQ(Middle(Odbc(kFreeTds, Mandatory(false, "/etc/ca.pem"), &freetds)),
            "Servername=quorvane-1;ClientCharset=UTF-8;");
  EXPECT_EQ(ReadFileBytes(freetds.Path()),
            "[global]\n\ttext size = 64512\n"
            "[quorvane-1]\nhost = db\nport = 1500\ntds version = 7.4\nencryption = require\n"
            "ca file = /etc/ca.pem\ncheck certificate hostname = yes\n"
            "[quorvane-2]\nhost = other\ninstance = INST\ntds version = 7.4\n"
            "encryption = require\nca file = system\ncheck certificate hostname = yes\n");
#ifndef _WIN32
  struct stat info {};
  ASSERT_EQ(::stat(freetds.Path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
#endif

  // What FreeTDS cannot do is refused, not done in part.
  EXPECT_NE(Refusal([&] { Odbc(kFreeTds, kStrict, &freetds); }).find("TDS 8.0"), std::string::npos);
  EXPECT_NE(
      Refusal([&] { Odbc(kFreeTds, Mandatory(false, {}, "sql"), &freetds); }).find("own name only"),
      std::string::npos);
  EXPECT_NE(Refusal([] { Odbc(kFreeTds, Mandatory()); }).find("configuration file"),
            std::string::npos);
  for (const std::string& bad :
       std::vector<std::string>{"/a;b.pem", "/a#b.pem", "/a  b.pem", "/" + std::string(300, 'x')}) {
    EXPECT_NE(Refusal([&] { Odbc(kFreeTds, Mandatory(false, bad), &freetds); }).find("no quoting"),
              std::string::npos)
        << bad;
  }
  const std::filesystem::path file = freetds.Path();
  { FreeTdsConfig gone(folder / "gone.conf"); }
  EXPECT_TRUE(std::filesystem::exists(file));
}

TEST(EncryptionOdbc, OleDbStringsThatNameTheOptionsKeepWorking) {
  auto odbc = [](const std::string& extra) {
    return Middle(OdbcConnectionString(
        "Provider=MSOLEDBSQL;Data Source=db,1500;User ID=sa;Password=pw;" + extra, kMicrosoft18));
  };
  EXPECT_EQ(odbc("Use Encryption for Data=Mandatory;Trust Server Certificate=True"),
            "Server=tcp:db,1500;Encrypt=Mandatory;TrustServerCertificate=yes;");
  EXPECT_EQ(odbc("Encrypt=yes;TrustServerCertificate=no;HostNameInCertificate=sql"),
            "Server=tcp:db,1500;Encrypt=Mandatory;TrustServerCertificate=no;"
            "HostNameInCertificate=sql;");
  EXPECT_EQ(odbc("Use Encryption for Data=False"),
            "Server=tcp:db,1500;Encrypt=yes;TrustServerCertificate=yes;");
  EXPECT_EQ(odbc("Use Encryption for Data=Strict;Server Certificate=/c.pem"),
            "Server=tcp:db,1500;Encrypt=Strict;ServerCertificate=/c.pem;");
  EXPECT_THROW(odbc("Use Encryption for Data=Sometimes"), ConnectionStringError);
  EXPECT_THROW(odbc("Trust Server Certificate=perhaps"), ConnectionStringError);
  // Contradictions are refused whichever way they arrive.
  EXPECT_THROW(odbc("Encrypt=Strict;TrustServerCertificate=yes"), ConnectionStringError);
  EXPECT_THROW(odbc("Encrypt=Optional;HostNameInCertificate=sql"), ConnectionStringError);
  EXPECT_THROW(odbc("Encrypt=Mandatory;TrustServerCertificate=yes;ServerCertificate=/c.pem"),
               ConnectionStringError);
}

TEST(TlsDiagnosis, TellsWhatToDoForEachFinding) {
  const TlsAdvice advice{"--trust", "--optional"};
  TlsFinding finding;
  finding.subject = "CN=db";
  finding.issuer = "CN=Corp CA";
  finding.notAfter = "Jan  1 00:00:00 2020 GMT";
  finding.names = {"db.example", "10.0.0.5"};
  finding.expectedName = "db";
  auto explain = [&](TlsFinding::Kind kind, const EncryptionOptions& e = Mandatory()) {
    finding.kind = kind;
    finding.detail = "unable to get local issuer certificate";
    return ExplainTlsFinding(finding, e, advice).value_or("(nothing)");
  };
  EXPECT_EQ(explain(TlsFinding::Kind::kNothingFound), "(nothing)");
  EXPECT_EQ(explain(TlsFinding::Kind::kUntrusted, Mandatory(false, "/ca.pem")),
            "The server's certificate is not trusted: unable to get local issuer certificate "
            "(issued to CN=db by CN=Corp CA; checked against /ca.pem). Use --trust or install "
            "the CA.");
  EXPECT_EQ(explain(TlsFinding::Kind::kExpired),
            "The server's certificate expired on Jan  1 00:00:00 2020 GMT (issued to CN=db by "
            "CN=Corp CA). Renew it on the server, or use --trust.");
  EXPECT_EQ(explain(TlsFinding::Kind::kWrongName),
            "The server's certificate is not issued to \"db\": it names \"db.example\", "
            "\"10.0.0.5\". Connect with a name it holds, or use --trust.");
  EXPECT_NE(explain(TlsFinding::Kind::kNoEncryption).find("use --optional."), std::string::npos);
  // Only a mandatory connection is looked into (optional never fails on encryption), and a
  // server that is not there is no question of encryption.
  EXPECT_FALSE(ExplainEncryptionFailure("127.0.0.1,1", {}, 1, advice));
  if (CertificateProbeAvailable()) {
    EXPECT_FALSE(ExplainEncryptionFailure("127.0.0.1,1", Mandatory(), 1, advice));
  }
}

}  // namespace
}  // namespace quorvane::connection

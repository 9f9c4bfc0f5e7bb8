#include <gtest/gtest.h>

#include <random>

#include "connection/connection_string.h"
#include "connection/odbc_connection_string.h"

namespace quorvane::connection {
namespace {

using namespace std::string_literals;

const std::vector<std::string> kFreeTdsOnly{"FreeTDS"};
const std::vector<std::string> kMicrosoft18{"FreeTDS", "ODBC Driver 18 for SQL Server"};

// Values a user could type that would add or change a keyword if inserted raw.
const std::vector<std::string> kHostile{"a;b",       "x;Provider=evil",
                                        "p\"q",      "p'q\"r",
                                        "'quoted'",  " lead",
                                        "trail ",    "a b",
                                        "k=v",       "{x}",
                                        "a}b",       "",
                                        "\"a;b\"",   "a==b;c",
                                        "p;w={d}\"x"};

TEST(OleDbConnectionString, BuildsBothFormsLiterally) {
  EXPECT_EQ(OleDbConnectionString("SQLOLEDB.1", "SRV1"),
            "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
            "Data Source=SRV1");
  EXPECT_EQ(OleDbConnectionString("SQLOLEDB.1", "SRV1", "sa", "secret"),
            "Provider=SQLOLEDB.1;Persist Security Info=False;Data Source=SRV1;User ID=sa;"
            "Password=secret");
}

TEST(OleDbConnectionString, CarriesTheServerTextUntrimmed) {
  const std::string text = OleDbConnectionString("SQLOLEDB.1", " SRV1 ");
  EXPECT_EQ(text,
            "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
            "Data Source= SRV1 ");
  EXPECT_EQ(ParseOleDbConnectionString(text).back(), (Pair{"Data Source", "SRV1"}));
}

TEST(OleDbConnectionString, QuotesValuesByTheOleDbRules) {
  EXPECT_EQ(QuoteOleDbValue("plain", true), "plain");
  EXPECT_EQ(QuoteOleDbValue("a;b", true), "\"a;b\"");
  EXPECT_EQ(QuoteOleDbValue("say \"hi\"", true), "'say \"hi\"'");
  EXPECT_EQ(QuoteOleDbValue("it's \"x\"", true), "\"it's \"\"x\"\"\"");
  EXPECT_EQ(QuoteOleDbValue(" pad ", true), "\" pad \"");
  EXPECT_EQ(QuoteOleDbValue("MY SERVER", false), "MY SERVER");
}

TEST(OleDbConnectionString, NoTypedValueChangesTheKeywords) {
  for (const std::string& value : kHostile) {
    const Pairs pairs =
        ParseOleDbConnectionString(OleDbConnectionString("SQLOLEDB.1", "SRV1", value, value));
    const Pairs expected{{"Provider", "SQLOLEDB.1"},
                         {"Persist Security Info", "False"},
                         {"Data Source", "SRV1"},
                         {"User ID", value},
                         {"Password", value}};
    EXPECT_EQ(pairs, expected) << value;
  }
}

TEST(OleDbConnectionString, RejectsMalformedText) {
  EXPECT_THROW(ParseOleDbConnectionString("Password=\"open"), ConnectionStringError);
  EXPECT_THROW(ParseOleDbConnectionString("Password=\"a\"b"), ConnectionStringError);
  EXPECT_THROW(ParseOleDbConnectionString("Provider"), ConnectionStringError);
  EXPECT_EQ(ParseOleDbConnectionString("A==B=c"), (Pairs{{"A=B", "c"}}));
}

TEST(OdbcDriverChoice, PrefersDriver18Then17ThenFreeTds) {
  const std::vector<std::string> all{"FreeTDS", "ODBC Driver 17 for SQL Server",
                                     "ODBC Driver 18 for SQL Server"};
  for (const char* provider : {"SQLOLEDB", "SQLOLEDB.1", "sqloledb.1", "SQLNCLI11", "MSOLEDBSQL",
                               "MSOLEDBSQL19", "", "  "}) {
    EXPECT_EQ(ChooseOdbcDriver(provider, all).name, "ODBC Driver 18 for SQL Server") << provider;
  }
  EXPECT_EQ(ChooseOdbcDriver("SQLOLEDB.1", {"FreeTDS", "ODBC Driver 17 for SQL Server"}),
            (OdbcDriver{"ODBC Driver 17 for SQL Server", DriverFamily::kMicrosoft}));
  EXPECT_EQ(ChooseOdbcDriver("SQLOLEDB.1", {"PostgreSQL", "FreeTDS"}),
            (OdbcDriver{"FreeTDS", DriverFamily::kFreeTds}));
  EXPECT_EQ(ChooseOdbcDriver("SQLOLEDB.1",
                             {"ODBC Driver 11 for SQL Server", "ODBC Driver 13 for SQL Server"})
                .name,
            "ODBC Driver 13 for SQL Server");
  EXPECT_THROW(ChooseOdbcDriver("SQLOLEDB.1", {}), ConnectionStringError);
  EXPECT_THROW(ChooseOdbcDriver("SQLOLEDB.1", {"PostgreSQL"}), ConnectionStringError);
}

TEST(OdbcDriverChoice, OnWindowsPrefersMicrosoftsDriversOldestLastThenFreeTds) {
  constexpr auto kWindows = DriverPlatform::kWindows;
  auto choose = [&](const std::vector<std::string>& installed) {
    return ChooseOdbcDriver("SQLOLEDB.1", installed, kWindows);
  };
  const std::vector<std::string> old{"FreeTDS", "SQL Server", "SQL Native Client",
                                     "SQL Server Native Client 10.0",
                                     "SQL Server Native Client 11.0"};
  EXPECT_EQ(choose(old), (OdbcDriver{"SQL Server Native Client 11.0", DriverFamily::kMicrosoft}));
  EXPECT_EQ(choose({"SQL Server", "SQL Native Client"}),
            (OdbcDriver{"SQL Native Client", DriverFamily::kMicrosoft}));
  EXPECT_EQ(choose({"FreeTDS", "SQL Server"}).name, "SQL Server");
  EXPECT_EQ(
      choose({"FreeTDS", "SQL Server Native Client 11.0", "ODBC Driver 13 for SQL Server"}).name,
      "ODBC Driver 13 for SQL Server");
  EXPECT_EQ(choose({"ODBC Driver 17 for SQL Server", "ODBC Driver 18 for SQL Server"}).name,
            "ODBC Driver 18 for SQL Server");
  EXPECT_EQ(choose(kFreeTdsOnly).name, "FreeTDS");
  // FreeTDS still comes before the newest Microsoft driver elsewhere.
  EXPECT_EQ(ChooseOdbcDriver("SQLOLEDB.1", {"FreeTDS", "ODBC Driver 13 for SQL Server"},
                             DriverPlatform::kUnix)
                .name,
            "FreeTDS");
  // A driver named as the provider is used as named.
  EXPECT_EQ(ChooseOdbcDriver("freetds", old, kWindows).name, "FreeTDS");
}

TEST(OdbcConnectionString, OnWindowsUsesIntegratedSecurityAndLocalProtocols) {
  constexpr auto kWindows = DriverPlatform::kWindows;
  EXPECT_EQ(OdbcConnectionString(OleDbConnectionString("SQLOLEDB.1", "host\\INST"),
                                 {"SQL Server Native Client 11.0"}, kWindows),
            "Driver={SQL Server Native Client 11.0};Server=host\\INST;Encrypt=yes;"
            "TrustServerCertificate=yes;Trusted_Connection=yes;");
  EXPECT_EQ(OdbcConnectionString(OleDbConnectionString("SQLOLEDB.1", "np:\\\\h\\pipe\\sql\\query"),
                                 kMicrosoft18, kWindows),
            "Driver={ODBC Driver 18 for SQL Server};Server=np:\\\\h\\pipe\\sql\\query;"
            "Encrypt=yes;TrustServerCertificate=yes;Trusted_Connection=yes;");
  EXPECT_THROW(OdbcConnectionString(OleDbConnectionString("SQLOLEDB.1", "lpc:."), kMicrosoft18,
                                    DriverPlatform::kUnix),
               ConnectionStringError);
}

TEST(OdbcDriverChoice, TakesAnyOtherProviderAsADriverName) {
  EXPECT_EQ(ChooseOdbcDriver("freetds", kFreeTdsOnly),
            (OdbcDriver{"FreeTDS", DriverFamily::kFreeTds}));
  EXPECT_EQ(ChooseOdbcDriver("My Driver", {}), (OdbcDriver{"My Driver", DriverFamily::kOther}));
  EXPECT_EQ(ChooseOdbcDriver("/usr/lib/odbc/libtdsodbc.so", kFreeTdsOnly).family,
            DriverFamily::kFreeTds);
  try {
    ChooseOdbcDriver("Missing Driver", kFreeTdsOnly);
    FAIL() << "expected an error";
  } catch (const ConnectionStringError& error) {
    EXPECT_NE(std::string(error.what()).find("\"FreeTDS\""), std::string::npos);
  }
}

TEST(DataSource, SplitsEveryForm) {
  EXPECT_EQ(ParseDataSource("srv1"), (DataSource{"", "srv1", "", {}}));
  EXPECT_EQ(ParseDataSource("srv1\\SQL2019"), (DataSource{"", "srv1", "SQL2019", {}}));
  EXPECT_EQ(ParseDataSource("srv1,1500"), (DataSource{"", "srv1", "", 1500}));
  EXPECT_EQ(ParseDataSource("TCP:srv1,1500"), (DataSource{"tcp", "srv1", "", 1500}));
  EXPECT_EQ(ParseDataSource(" srv1\\A , 1500 "), (DataSource{"", "srv1", "A", 1500}));
  EXPECT_EQ(ParseDataSource("(local)").host, "localhost");
  EXPECT_EQ(ParseDataSource(".\\SQLEXPRESS"), (DataSource{"", "localhost", "SQLEXPRESS", {}}));
  EXPECT_EQ(ParseDataSource("[::1],1433"), (DataSource{"", "::1", "", 1433}));
  for (const char* bad : {"srv1,", "srv1,abc", "srv1,0", "srv1,65536", ",1433", "", "\\inst"}) {
    EXPECT_THROW(ParseDataSource(bad), ConnectionStringError) << bad;
  }
}

TEST(OdbcConnectionString, TranslatesForFreeTds) {
  EXPECT_EQ(OdbcConnectionString(OleDbConnectionString("SQLOLEDB.1", "SRV1"), kFreeTdsOnly),
            "Driver=FreeTDS;Server=SRV1;TDS_Version=7.4;ClientCharset=UTF-8;Encryption=request;"
            "Trusted_Connection=Yes;");
  EXPECT_EQ(OdbcConnectionString(
                OleDbConnectionString("SQLOLEDB.1", "tcp:db.example,14330", "sa", "secret"),
                kFreeTdsOnly),
            "Driver=FreeTDS;Server=db.example;Port=14330;TDS_Version=7.4;ClientCharset=UTF-8;"
            "Encryption=request;UID=sa;PWD=secret;");

  auto server = [](const std::string& dataSource) {
    const Pairs pairs = ParseOdbcFreeTds(
        OdbcConnectionString(OleDbConnectionString("SQLOLEDB.1", dataSource), kFreeTdsOnly));
    std::string text;
    for (const Pair& pair : pairs) {
      if (pair.keyword == "Server" || pair.keyword == "Port")
        text += pair.keyword + "=" + pair.value + ";";
    }
    return text;
  };
  EXPECT_EQ(server("host\\INST"), "Server=host\\INST;");
  EXPECT_EQ(server("host,1500"), "Server=host;Port=1500;");
  EXPECT_EQ(server("host\\INST,1500"), "Server=host;Port=1500;");
  EXPECT_EQ(server(" host "), "Server=host;");
  EXPECT_THROW(OdbcConnectionString(OleDbConnectionString("SQLOLEDB.1", "np:\\\\h\\pipe\\sql"),
                                    kFreeTdsOnly),
               ConnectionStringError);
}

TEST(OdbcConnectionString, TranslatesForMicrosoftDrivers) {
  EXPECT_EQ(OdbcConnectionString(OleDbConnectionString("MSOLEDBSQL", "host,1500", "sa", "pw"),
                                 kMicrosoft18),
            "Driver={ODBC Driver 18 for SQL Server};Server=tcp:host,1500;Encrypt=yes;"
            "TrustServerCertificate=yes;UID=sa;PWD=pw;");
  EXPECT_EQ(OdbcConnectionString(OleDbConnectionString("SQLOLEDB.1", "host\\INST"), kMicrosoft18),
            "Driver={ODBC Driver 18 for SQL Server};Server=host\\INST;Encrypt=yes;"
            "TrustServerCertificate=yes;Trusted_Connection=yes;");
}

TEST(OdbcConnectionString, KeepsTheOtherDriversDataSourceAsTyped) {
  EXPECT_EQ(OdbcConnectionString(OleDbConnectionString("Other", "a\\b,1"), {"Other"}),
            "Driver=Other;Server=a\\b,1;Trusted_Connection=Yes;");
}

TEST(OdbcQuoting, UsesTheStandardEscapeForMicrosoftDrivers) {
  EXPECT_EQ(QuoteOdbcValue(DriverFamily::kMicrosoft, "p;w={d}\"x", "password"), "{p;w={d}}\"x}");
  EXPECT_EQ(QuoteOdbcValue(DriverFamily::kMicrosoft, "plain", "password"), "plain");
}

TEST(OdbcQuoting, BracesWithoutDoublingForFreeTds) {
  const std::string text = OdbcConnectionString(
      OleDbConnectionString("SQLOLEDB.1", "SRV1", "sa", "p;w={d}\"x"), kFreeTdsOnly);
  EXPECT_NE(text.find("PWD={p;w={d}\"x};"), std::string::npos) << text;
  EXPECT_EQ(ParseOdbcFreeTds(text).back(), (Pair{"PWD", "p;w={d}\"x"}));
}

TEST(OdbcQuoting, EndsEveryPairSoThatFreeTdsKeepsAClosingBraceOfTheValue) {
  const std::string text = OdbcConnectionString(
      OleDbConnectionString("SQLOLEDB.1", "SRV1", "a}}", "abc}"), kFreeTdsOnly);
  EXPECT_NE(text.find("UID={a}}};PWD={abc}};"), std::string::npos) << text;
  const Pairs pairs = ParseOdbcFreeTds(text);
  EXPECT_EQ(pairs[5], (Pair{"UID", "a}}"}));
  EXPECT_EQ(pairs[6], (Pair{"PWD", "abc}"}));
}

TEST(OdbcQuoting, RefusesWhatFreeTdsCannotReceiveWithoutNamingIt) {
  for (const std::string& password :
       {"ab};c"s, "};"s, "a}DRIVER=/tmp/evil.so"s, "a}DSN=x;b"s, "x\0y"s}) {
    try {
      OdbcConnectionString(OleDbConnectionString("SQLOLEDB.1", "SRV1", "sa", password),
                           kFreeTdsOnly);
      ADD_FAILURE() << "accepted " << password;
    } catch (const ConnectionStringError& error) {
      if (password.size() > 2) {  // "};" itself is named by the message
        EXPECT_EQ(std::string(error.what()).find(password), std::string::npos) << error.what();
      }
    }
  }
}

// Whatever is typed, a driver either receives exactly the typed login or nothing is sent; and
// the driver manager never sees a driver or data source other than the chosen one.
TEST(OdbcQuoting, NoTypedValueChangesWhatEitherParserReads) {
  std::mt19937 random(20240611);
  const std::string alphabet = "ab ;={}\"'";
  int acceptedWithBrace = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string user;
    std::string password;
    for (std::size_t i = random() % 7; i > 0; --i) user += alphabet[random() % alphabet.size()];
    for (std::size_t i = random() % 9; i > 0; --i) password += alphabet[random() % alphabet.size()];
    const std::string oleDb = OleDbConnectionString("SQLOLEDB.1", "SRV1", user, password);

    const std::string microsoft = OdbcConnectionString(oleDb, kMicrosoft18);
    const Pairs standard = ParseOdbcStandard(microsoft);
    ASSERT_EQ(standard.size(), 6u) << microsoft;
    EXPECT_EQ(standard[4], (Pair{"UID", user}));
    EXPECT_EQ(standard[5], (Pair{"PWD", password}));

    try {
      const std::string freeTds = OdbcConnectionString(oleDb, kFreeTdsOnly);
      const Pairs pairs = ParseOdbcFreeTds(freeTds);
      ASSERT_EQ(pairs.size(), 7u) << freeTds;
      EXPECT_EQ(pairs[5], (Pair{"UID", user}));
      EXPECT_EQ(pairs[6], (Pair{"PWD", password}));
      const Pairs manager = ParseOdbcStandard(freeTds);
      EXPECT_EQ(manager[0], (Pair{"Driver", "FreeTDS"}));
      for (std::size_t i = 1; i < manager.size(); ++i) {
        EXPECT_NE(manager[i].keyword, "Driver") << freeTds;
      }
      if ((user + password).find('}') != std::string::npos) ++acceptedWithBrace;
    } catch (const ConnectionStringError&) {
      EXPECT_TRUE(user.find('}') != std::string::npos || password.find('}') != std::string::npos)
          << "refused " << user << " / " << password;
    }
  }
  // Braces inside a value are fine for FreeTDS as long as the value cannot end early.
  EXPECT_GT(acceptedWithBrace, 100);
}

}  // namespace
}  // namespace quorvane::connection

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "report/report_file.h"
#include "report/report_name.h"
#include "support/environment.h"

namespace quorvane::report {
namespace {

namespace fs = std::filesystem;

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

class ReportFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base = fs::temp_directory_path() /
           ("quorvane-file-test-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(base);
    saved = std::getenv("TEMP") ? std::optional<std::string>(std::getenv("TEMP")) : std::nullopt;
    quorvane::testing::SetEnvironment("TEMP", base.string());
  }
  void TearDown() override {
    if (saved) {
      quorvane::testing::SetEnvironment("TEMP", *saved);
    } else {
      quorvane::testing::UnsetEnvironment("TEMP");
    }
    fs::remove_all(base);
  }
  fs::path base;
  std::optional<std::string> saved;
};

#ifndef _WIN32
// Windows gives every user a TEMP of their own; the folder and link checks are for the shared
// temporary folders of Unix.
TEST_F(ReportFileTest, PrivateFolderIsCreatedUnderTempWithMode0700) {
  const fs::path folder = PrivateTemporaryFolder();
  EXPECT_EQ(folder.parent_path(), base);
  struct stat info {};
  ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(PrivateTemporaryFolder(), folder);  // a second call reuses it
}

TEST_F(ReportFileTest, FolderThatIsASymlinkOrOpenToOthersIsRefused) {
  const fs::path name = base / ("quorvane-" + std::to_string(::getuid()));
  fs::create_directories(base / "elsewhere");
  fs::create_directory_symlink(base / "elsewhere", name);
  EXPECT_THROW(PrivateTemporaryFolder(), std::runtime_error);
  fs::remove(name);
  fs::create_directory(name);
  fs::permissions(name, fs::perms::all);
  EXPECT_THROW(PrivateTemporaryFolder(), std::runtime_error);
}

TEST_F(ReportFileTest, ALinkAtTheReportNameIsReplacedNotWrittenThrough) {
  const fs::path victim = base / "victim.txt";
  std::ofstream(victim) << "precious";
  const fs::path symbolic = base / "~SQLServerQuorvane.htm";
  const fs::path hard = base / "hard.htm";
  fs::create_symlink(victim, symbolic);
  fs::create_hard_link(victim, hard);
  WriteReportFile(symbolic, "<html>");
  WriteReportFile(hard, "<html>");
  EXPECT_FALSE(fs::is_symlink(symbolic));
  EXPECT_EQ(ReadWhole(victim), "precious");
  EXPECT_EQ(ReadWhole(hard), "<html>");
  EXPECT_EQ(fs::status(hard).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(ReportFileTest, AnUnfinishedReportLeavesTheOldOneAndNoTraceBehind) {
  const fs::path report = base / "r.htm";
  WriteReportFile(report, "old");
  {
    ReportFileWriter writer(report);
    writer.Append("new, half done");
  }
  EXPECT_EQ(ReadWhole(report), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator()), 1);
  EXPECT_THROW(ReportFileWriter(base / "no-such-folder" / "r.htm"), ReportWriteError);
}
#endif

TEST_F(ReportFileTest, WritesAndReplacesTheWholeFile) {
  const fs::path report = base / "r.htm";
  WriteReportFile(report, "first, a long text");
  WriteReportFile(report, "second \xE2\x84\xA2");
  EXPECT_EQ(ReadWhole(report), "second \xE2\x84\xA2");
}

#ifdef _WIN32
TEST(FileUrl, PercentEncodesUnsafeCharacters) {
  EXPECT_EQ(FileUrl(L"C:\\Users\\dba\\~SQLServerQuorvane.htm"),
            "file:///C:/Users/dba/~SQLServerQuorvane.htm");
  EXPECT_EQ(FileUrl(L"C:\\my reports\\a#b%\u00e9.htm"),
            "file:///C:/my%20reports/a%23b%25%C3%A9.htm");
}
#else
TEST(FileUrl, PercentEncodesUnsafeCharacters) {
  EXPECT_EQ(FileUrl("/tmp/quorvane-0/~SQLServerQuorvane.htm"),
            "file:///tmp/quorvane-0/~SQLServerQuorvane.htm");
  EXPECT_EQ(FileUrl("/tmp/my reports/a#b%.htm"), "file:///tmp/my%20reports/a%23b%25.htm");
}
#endif

}  // namespace
}  // namespace quorvane::report

namespace quorvane::report {
namespace {

// The save dialog's proposed name: the report's start, not the moment of saving; backslashes
// (and slashes, which no file name can hold here) become "-", blanks "_".
TEST(ProposedReportName, NamedInstanceAndStartTime) {
  const data::DateTime start{2010, 5, 4, 9, 7, 3, 0};
  EXPECT_EQ(ProposedReportName("DBHOST\\SQLEXPRESS", start),
            "DBHOST-SQLEXPRESS_2010-05-04_09.07.03.htm");
  EXPECT_EQ(ProposedReportName("my host/x", start), "my_host-x_2010-05-04_09.07.03.htm");
#ifdef _WIN32
  EXPECT_EQ(ProposedReportName("tcp:db,1433", start), "tcp-db,1433_2010-05-04_09.07.03.htm");
#endif
}

}  // namespace
}  // namespace quorvane::report

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "connection/ini_file.h"
#include "temp_folder.h"

namespace quorvane::connection {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

const char* const kSample =
    "; kept comment\r\n"
    "[Other]\r\n"
    "Key=other\r\n"
    "[sqlserverquorvane]\r\n"
    "  CurServer =  SRV1  \r\n"
    "Empty=\r\n"
    "curserver=second\r\n"
    "\r\n"
    "[SQLServerQuorvane]\r\n"
    "Late=ignored\r\n";

TEST(IniDocument, ReadsLikeThePrivateProfileFunctions) {
  const IniDocument ini = IniDocument::Parse(kSample);
  EXPECT_EQ(ini.Get("SQLServerQuorvane", "CURSERVER"), "SRV1");
  EXPECT_EQ(ini.Get("SQLServerQuorvane", "Empty"), "");
  EXPECT_EQ(ini.Get("SQLServerQuorvane", "Missing"), std::nullopt);
  EXPECT_EQ(ini.Get("SQLServerQuorvane", "Late"), std::nullopt);  // only the first section
  EXPECT_EQ(ini.Get("SQLServerQuorvane", "Key"), std::nullopt);
  EXPECT_EQ(ini.ReadString("SQLServerQuorvane", "Missing", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("SQLServerQuorvane", "Empty", "dflt"), "");
}

TEST(IniDocument, ReadsIntegersAndBooleans) {
  const IniDocument ini = IniDocument::Parse(
      "[S]\nDec=42\nNeg=-50\nHex=0x1F\nBad=12a\nEmpty=\nHuge=99999999999\nFive=5\nZero=0\n"
      "Twice=--5\n");
  EXPECT_EQ(ini.ReadInteger("S", "Dec", 7), 42);
  EXPECT_EQ(ini.ReadInteger("S", "Neg", 7), -50);
  EXPECT_EQ(ini.ReadInteger("S", "Hex", 7), 31);
  EXPECT_EQ(ini.ReadInteger("S", "Bad", 7), 7);
  EXPECT_EQ(ini.ReadInteger("S", "Empty", 7), 7);
  EXPECT_EQ(ini.ReadInteger("S", "Huge", 7), 7);
  EXPECT_EQ(ini.ReadInteger("S", "Missing", 7), 7);
  EXPECT_EQ(ini.ReadInteger("S", "Twice", 7), 7);
  EXPECT_TRUE(ini.ReadBool("S", "Five", false));
  EXPECT_FALSE(ini.ReadBool("S", "Zero", true));
  EXPECT_TRUE(ini.ReadBool("S", "Bad", true));
  EXPECT_FALSE(ini.ReadBool("S", "Missing", false));
}

TEST(IniDocument, WriteChangesOnlyItsOwnLine) {
  IniDocument ini = IniDocument::Parse(kSample);
  ini.Set("SQLServerQuorvane", "curServer", "SRV2");
  ini.Set("SQLServerQuorvane", "New", "v");
  ini.Set("Added", "K", "1");
  EXPECT_EQ(ini.Text(),
            "; kept comment\r\n"
            "[Other]\r\n"
            "Key=other\r\n"
            "[sqlserverquorvane]\r\n"
            "CurServer=SRV2\r\n"
            "Empty=\r\n"
            "curserver=second\r\n"
            "New=v\r\n"
            "\r\n"
            "[SQLServerQuorvane]\r\n"
            "Late=ignored\r\n"
            "[Added]\r\n"
            "K=1\r\n");
  EXPECT_THROW(ini.Set("S", "K", "two\nlines"), std::invalid_argument);
}

TEST(TextEncoding, TellsUtf8FromWindows1252) {
  EXPECT_TRUE(IsValidUtf8("plain \xC3\xBF \xE2\x82\xAC \xF0\x9F\x98\x80"));
  EXPECT_FALSE(IsValidUtf8("SRV1\xFFsa"));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));      // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));      // cut short
  EXPECT_EQ(Windows1252ToUtf8("\xFF\x80\x9F\x81 M\xFCller"),
            "\xC3\xBF\xE2\x82\xAC\xC5\xB8\xC2\x81 M\xC3\xBCller");

  EXPECT_EQ(DecodeText("a\xFF").encoding, TextEncoding::kWindows1252);
  const DecodedText bom = DecodeText("\xEF\xBB\xBF[S]");
  EXPECT_EQ(bom.text, "[S]");
  EXPECT_EQ(bom.encoding, TextEncoding::kUtf8WithBom);
  const DecodedText utf16 = DecodeText(std::string("\xFF\xFE[\0\xFF\0]\0", 8));
  EXPECT_EQ(utf16.text, "[\xC3\xBF]");
  EXPECT_EQ(utf16.encoding, TextEncoding::kUtf16);
}

TEST(IniFile, FirstWriteCreatesTheFile) {
  TempFolder folder;
  const auto path = folder / "a.ini";
  EXPECT_FALSE(ReadIniFile(path).exists);
  WriteIniValues(path, "S", {{"A", "1"}, {"B", "two"}});
  EXPECT_EQ(ReadBytes(path), "[S]\nA=1\nB=two\n");
  WriteIniValues(path, "S", {{"a", "3"}});
  EXPECT_EQ(ReadBytes(path), "[S]\nA=3\nB=two\n");
}

TEST(IniFile, RewritesAWindows1252FileAsUtf8KeepingItsLines) {
  TempFolder folder;
  const auto path = folder / "old.ini";
  WriteBytes(path, "; f\xFCr Windows\r\n[S]\r\nServers=SRV1\xFFsa\r\n");
  const IniFileContent content = ReadIniFile(path);
  EXPECT_EQ(content.encoding, TextEncoding::kWindows1252);
  EXPECT_EQ(content.document.Get("S", "Servers"), "SRV1\xC3\xBFsa");

  WriteIniValues(path, "S", {{"CurServer", "SRV1"}});
  EXPECT_EQ(ReadBytes(path),
            "; f\xC3\xBCr Windows\r\n[S]\r\nServers=SRV1\xC3\xBFsa\r\nCurServer=SRV1\r\n");
}

TEST(IniFile, KeepsAByteOrderMarkAndThePermissions) {
  TempFolder folder;
  const auto path = folder / "bom.ini";
  WriteBytes(path, "\xEF\xBB\xBF[S]\nA=1\n");
#ifndef _WIN32
  ::chmod(path.c_str(), 0640);
#endif
  WriteIniValues(path, "S", {{"A", "2"}});
  EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBF[S]\nA=2\n");
#ifndef _WIN32
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
#endif
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                          std::filesystem::directory_iterator()),
            1);
}

#ifndef _WIN32
// Making symbolic links takes a privilege on Windows.
TEST(IniFile, WritesThroughASymbolicLink) {
  TempFolder folder;
  const auto real = folder / "real.ini";
  const auto link = folder / "link.ini";
  WriteBytes(real, "[S]\nA=1\n");
  std::filesystem::create_symlink(real, link);
  WriteIniValues(link, "S", {{"A", "2"}});
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadBytes(real), "[S]\nA=2\n");
}
#endif

TEST(IniFile, FailsWithTheFileNameWhenItCannotWrite) {
  TempFolder folder;
  WriteBytes(folder / "plain", "x");
  const auto underAFile = folder / "plain" / "a.ini";
  try {
    WriteIniValues(underAFile, "S", {{"A", "1"}});
    FAIL() << "expected an error";
  } catch (const SettingsWriteError& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + underAFile.string());
    EXPECT_FALSE(error.reason().empty());
  }

  // A path that names a folder cannot be read, so it is not replaced either.
  const auto folderPath = folder / "dir.ini";
  std::filesystem::create_directory(folderPath);
  WriteBytes(folderPath / "inside", "kept");
  EXPECT_THROW(WriteIniValues(folderPath, "S", {{"A", "1"}}), SettingsWriteError);
  EXPECT_EQ(ReadBytes(folderPath / "inside"), "kept");
}

TEST(IniFile, RefusesAWriteProtectedFile) {
#ifndef _WIN32
  if (::geteuid() == 0) GTEST_SKIP() << "root may write anything";
#endif
  TempFolder folder;
  const auto path = folder / "ro.ini";
  WriteBytes(path, "[S]\nA=1\n");
  // The read-only attribute on Windows.
  std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                         std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);
  EXPECT_THROW(WriteIniValues(path, "S", {{"A", "2"}}), SettingsWriteError);
  EXPECT_EQ(ReadBytes(path), "[S]\nA=1\n");
  std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);  // so that it can go
}

}  // namespace
}  // namespace quorvane::connection

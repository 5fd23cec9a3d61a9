#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_home.h"

namespace bx {
namespace {

using test::ReadFile;
using test::TTempHome;
using test::WriteFile;

const std::string kBom = "\xEF\xBB\xBF";

TBxIniFile Parse(const std::string& text) {
  TBxIniFile ini;
  ini.SetText(text);
  return ini;
}

TEST(IniFileTest, ReadingTrimsDropsCommentsAndIgnoresCase) {
  TBxIniFile ini = Parse(kBom +
                         "orphan=1\r\n"
                         "  [ Main ]  \r\n"
                         "; comment\r\n"
                         "  Key  =  some value  \n"
                         "\tkey=second\r"
                         "bare line\r\n"
                         "empty=\r\n"
                         "[Other]\r\n"
                         "a=b=c");
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"Main", "Other"}));
  EXPECT_EQ(ini.ReadString("MAIN", "KEY", "d"), "some value");  // first match wins
  EXPECT_EQ(ini.ReadString("main", "empty", "d"), "");
  EXPECT_EQ(ini.ReadString("main", "orphan", "d"), "d");
  EXPECT_EQ(ini.ReadString("other", "a", "d"), "b=c");
  EXPECT_FALSE(ini.ValueExists("main", "; comment"));
  EXPECT_EQ(ini.ReadSectionLines("main"),
            (std::vector<std::string>{"Key=some value", "key=second", "bare line", "empty="}));
  EXPECT_EQ(ini.ReadSection("main"), (std::vector<std::string>{"Key", "key", "empty"}));
}

TEST(IniFileTest, IntegersFollowTheHexSignAndDefaultRules) {
  EXPECT_EQ(TBxIniFile::StrToIntDef("258", 7), 258);
  EXPECT_EQ(TBxIniFile::StrToIntDef("-12", 7), -12);
  EXPECT_EQ(TBxIniFile::StrToIntDef("+12", 7), 12);
  EXPECT_EQ(TBxIniFile::StrToIntDef("0x1F", 7), 31);
  EXPECT_EQ(TBxIniFile::StrToIntDef("0X1f", 7), 31);
  EXPECT_EQ(TBxIniFile::StrToIntDef("$ff", 7), 255);
  EXPECT_EQ(TBxIniFile::StrToIntDef("0xFFFFFFFF", 7), -1);
  EXPECT_EQ(TBxIniFile::StrToIntDef("0x100000000", 7), 7);
  EXPECT_EQ(TBxIniFile::StrToIntDef("0x", 7), 7);  // two characters: not hex, not decimal
  EXPECT_EQ(TBxIniFile::StrToIntDef("$", 7), 7);
  EXPECT_EQ(TBxIniFile::StrToIntDef("-0x10", 7), 7);
  EXPECT_EQ(TBxIniFile::StrToIntDef("2147483647", 7), 2147483647);
  EXPECT_EQ(TBxIniFile::StrToIntDef("-2147483648", 7), INT32_MIN);
  EXPECT_EQ(TBxIniFile::StrToIntDef("2147483648", 7), 7);
  EXPECT_EQ(TBxIniFile::StrToIntDef("99999999999999999999999", 7), 7);
  EXPECT_EQ(TBxIniFile::StrToIntDef("12a", 7), 7);
  EXPECT_EQ(TBxIniFile::StrToIntDef("yes", 7), 7);
  EXPECT_EQ(TBxIniFile::StrToIntDef("", 7), 7);
  EXPECT_EQ(TBxIniFile::StrToIntDef("-", 7), 7);

  TBxIniFile ini = Parse("[S]\r\nOn=2\r\nOff=0\r\nWord=yes\r\nSpaced= 1 \r\n");
  EXPECT_TRUE(ini.ReadBool("s", "on", false));
  EXPECT_FALSE(ini.ReadBool("s", "off", true));
  EXPECT_TRUE(ini.ReadBool("s", "word", true));
  EXPECT_FALSE(ini.ReadBool("s", "word", false));
  EXPECT_TRUE(ini.ReadBool("s", "spaced", false));
  EXPECT_EQ(ini.ReadInteger("s", "missing", 3434), 3434);
}

TEST(IniFileTest, WritingKeepsOrderAppendsAndMovesErasedSectionsToTheEnd) {
  TBxIniFile ini = Parse(kBom +
                         "[A]\r\nx=1\r\n; gone\r\n\r\n[Alias]\r\nDestinationDetails=Viewer\r\n"
                         "[B]\r\nkeep\r\ny=2\r\n");
  ini.WriteString("a", "X", "10");   // replaced in place, key spelling of the writer
  ini.WriteString("a", "z", "new");  // appended
  ini.EraseSection("A");
  ini.WriteInteger("A", "n", -5);
  ini.WriteBool("C", "flag", true);
  ini.WriteString("B", "line", "one\r\n[Evil]\r\nx=y");
  EXPECT_EQ(ini.GetText(), kBom +
                               "[Alias]\r\nDestinationDetails=Viewer\r\n\r\n"
                               "[B]\r\nkeep\r\ny=2\r\nline=one  [Evil]  x=y\r\n\r\n"
                               "[A]\r\nn=-5\r\n\r\n"
                               "[C]\r\nflag=1\r\n\r\n");
  ini.DeleteKey("b", "Y");
  EXPECT_EQ(ini.ReadSectionLines("B"), (std::vector<std::string>{"keep", "line=one  [Evil]  x=y"}));
  EXPECT_FALSE(ini.SectionExists("Evil"));
}

TEST(IniFileTest, GarbageDegradesToDefaults) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919 + 13) & 0xFF);
  TBxIniFile a = Parse(garbage);
  EXPECT_EQ(a.ReadInteger("Settings", "UIMode", 0), 0);
  TBxIniFile reparsed = Parse(a.GetText());  // whatever survived writes and reads back alike
  EXPECT_EQ(reparsed.GetText(), a.GetText());

  TBxIniFile b = Parse("[S]\r\nk=" + std::string(5'000'000, 'v'));  // huge line, no line break
  EXPECT_EQ(b.ReadString("S", "k", "").size(), 5'000'000u);

  TBxIniFile c = Parse("[S]\r\n" + kBom + "k=1\r\n" + std::string(3, '\0') + "\r\n[");
  EXPECT_EQ(c.ReadString("S", kBom + "k", "d"), "1");  // a BOM inside is just bytes
  EXPECT_EQ(c.ReadString("S", "k", "d"), "d");

  TBxIniFile d = Parse("\xEF\xBB");  // cut byte-order mark
  EXPECT_TRUE(d.ReadSections().empty());
  EXPECT_EQ(Parse("").GetText(), kBom);
  EXPECT_EQ(Parse("[]\r\n=v\r\n").ReadString("", "", "d"), "v");
}

TEST(IniFileTest, SaveReplacesWholeAndAFailedSaveKeepsTheOldFile) {
  TTempHome home;
  std::string path = home / "f.ini";
  TBxIniFile missing(path);
  EXPECT_TRUE(missing.ReadSections().empty());
  missing.WriteString("S", "k", "v");
  ASSERT_TRUE(missing.Save());
  EXPECT_EQ(ReadFile(path), kBom + "[S]\r\nk=v\r\n\r\n");

  TBxIniFile again;
  EXPECT_TRUE(again.Load(path));
  EXPECT_EQ(again.ReadString("s", "K", ""), "v");

  // A folder that refuses new files: the save fails and the old content stays.
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(home.Path().c_str(), 0555), 0);
    again.WriteString("S", "k", "changed");
    std::string error;
    EXPECT_FALSE(again.Save(&error));
    EXPECT_NE(error.find(home.Path()), std::string::npos) << error;
    EXPECT_EQ(ReadFile(path), kBom + "[S]\r\nk=v\r\n\r\n");
    ASSERT_EQ(chmod(home.Path().c_str(), 0755), 0);
  }
  TBxIniFile folder;
  EXPECT_FALSE(folder.Load(home.Path()));  // a folder is not a file

  // A rename that fails (the target is a folder) leaves no temporary file behind.
  std::filesystem::create_directory(home / "dir.ini");
  TBxIniFile blocked;
  blocked.WriteString("S", "k", "v");
  EXPECT_FALSE(blocked.SaveAs(home / "dir.ini"));
  size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(home.Path())) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 2u);  // f.ini and dir.ini
  EXPECT_FALSE(TBxIniFile().Save());
}

}  // namespace
}  // namespace bx

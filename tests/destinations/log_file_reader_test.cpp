#include "destinations/log_file_reader.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "destinations/log_file_destination.h"
#include "destinations/log_file_entry_text.h"
#include "destinations/log_file_record.h"
#include "support/log_capture.h"
#include "support/temp_home.h"

namespace bx {
namespace {

TDispatchMessagePtr Message(int32_t type, std::string_view text, std::string_view details) {
  TDispatchMessageFields f;
  f.MsgType = type;
  f.TimeStampTime = 3723004;  // 01:02:03.004
  f.TimeStampDate = DateToDayNumber(2024, 2, 29);
  f.TimeBias = -60;
  f.ProcessID = 4242;
  f.ThreadName = "worker";
  f.DispatchID = "{id}";
  f.ComputerName = "PC";
  f.AppName = "App";
  f.Category = "Cat";
  f.CategoryColor = 0xFF;
  f.CategoryFontColor = 0xFF00;
  f.TypeName = "Warning";
  f.MsgText = text;
  f.Details = details;
  return BuildDispatchMessage(f);
}

std::string EntryBytes(const TDispatchMessage& m) {
  std::vector<std::byte> entry;
  BuildLogFileEntry(m, entry);
  return std::string(reinterpret_cast<const char*>(entry.data()), entry.size());
}

TLogFileParse Parse(const std::string& bytes, std::vector<TLogFileEntry>& entries) {
  return ParseLogFileEntries(
      std::span(reinterpret_cast<const std::byte*>(bytes.data()), bytes.size()), 0, 1, entries);
}

TEST(LogFileReaderTest, ReadsBackWhatTheDestinationWrote) {
  test::TTempHome home;
  test::TLogCapture log;
  TBxLogFileDestination d;
  d.SetName("File");
  d.SetOptions("Path=" + home.Path() + "/app.bxl");
  d.Dispatch(*Message(2, "Hello", "World"));
  d.Dispatch(*Message(44, "", "only details \xC3\xA9"));
  d.Dispatch(*Message(0, std::string(70000, 'L'), ""));

  TLogFileReader reader(home.Path() + "/app.bxl");
  ASSERT_TRUE(reader.Ok()) << reader.Error();
  std::vector<TLogFileEntry> entries;
  const TLogFileParse parse = reader.Read(entries);
  EXPECT_EQ(parse.Stop, TLogFileStop::End);
  ASSERT_EQ(entries.size(), 3u);
  const TLogFileEntry& e = entries[0];
  EXPECT_EQ(e.Index, 1);
  EXPECT_EQ(e.Offset, 0);
  EXPECT_EQ(e.MsgType, 2);
  EXPECT_EQ(e.TimeStampTime, 3723004);
  EXPECT_EQ(e.TimeStampDate, DateToDayNumber(2024, 2, 29));
  EXPECT_EQ(e.TimeBias, -60);
  EXPECT_EQ(e.ProcessID, 4242u);
  EXPECT_EQ(e.ThreadName, "worker");
  EXPECT_EQ(e.ComputerName, "PC");
  EXPECT_EQ(e.AppName, "App");
  EXPECT_EQ(e.Category, "Cat");
  EXPECT_EQ(e.CategoryColor, 0xFFu);
  EXPECT_EQ(e.CategoryFontColor, 0xFF00u);
  EXPECT_EQ(e.TypeName, "Warning");
  EXPECT_EQ(e.MsgText, "Hello");
  EXPECT_EQ(e.Details, "World");
  EXPECT_EQ(entries[1].Offset, 4 + 202 + 10);
  EXPECT_EQ(entries[1].Details, "only details \xC3\xA9");
  EXPECT_EQ(entries[2].MsgText.size(), 70000u);
  EXPECT_EQ(reader.Offset(), 3 * (4 + 202) + 10 + 15 + 70000);
  EXPECT_TRUE(log.Lines().empty());
}

TEST(LogFileReaderTest, CutAtEveryOffsetOfTheLastEntryIsReported) {
  const std::string first = EntryBytes(*Message(1, "one", "1"));
  const std::string last = EntryBytes(*Message(1, "two", "details"));
  const std::string file = first + last;
  for (size_t cut = first.size(); cut < file.size(); ++cut) {
    std::vector<TLogFileEntry> entries;
    const TLogFileParse parse = Parse(file.substr(0, cut), entries);
    ASSERT_EQ(entries.size(), 1u) << cut;
    EXPECT_EQ(parse.Consumed, first.size()) << cut;
    if (cut == first.size()) {
      EXPECT_EQ(parse.Stop, TLogFileStop::End);
      continue;
    }
    EXPECT_EQ(parse.Stop, TLogFileStop::Cut) << cut;
    EXPECT_EQ(DescribeLogFileStop(parse),
              "file ends inside entry 2 at offset " + std::to_string(first.size()));
  }

  // The same through a file on disk, where the reader must not read past its end.
  test::TTempHome home;
  const std::string path = home.Path() + "/cut.bxl";
  for (size_t cut = first.size() + 1; cut < file.size(); ++cut) {
    test::WriteFile(path, file.substr(0, cut));
    TLogFileReader reader(path);
    std::vector<TLogFileEntry> entries;
    const TLogFileParse parse = reader.Read(entries);
    ASSERT_EQ(parse.Stop, TLogFileStop::Cut) << cut;
    EXPECT_EQ(entries.size(), 1u);
    EXPECT_EQ(parse.StopOffset, static_cast<int64_t>(first.size()));
  }
}

TEST(LogFileReaderTest, BrokenFilesStopWithTheirOffset) {
  const std::string one = EntryBytes(*Message(1, "a", ""));
  std::vector<TLogFileEntry> entries;

  std::string badMarker = one + one;
  badMarker[one.size() + 3] = 0x7E;
  TLogFileParse parse = Parse(badMarker, entries);
  EXPECT_EQ(parse.Stop, TLogFileStop::BadMarker);
  EXPECT_EQ(DescribeLogFileStop(parse),
            "no entry marker at offset " + std::to_string(one.size()) + " (entry 2)");
  // A partial marker that already disagrees is not mistaken for a cut entry.
  entries.clear();
  EXPECT_EQ(Parse(one + std::string("\x01\x00\x01", 3), entries).Stop, TLogFileStop::BadMarker);

  std::string negative = one;
  negative[4 + 16 + 3] = '\x80';  // MsgTextLen < 0
  entries.clear();
  EXPECT_EQ(Parse(negative, entries).Stop, TLogFileStop::BadLength);

  // A length far beyond the file is a cut entry, read without allocating what it claims.
  test::TTempHome home;
  std::string huge = one + one;
  huge[one.size() + 4 + 20 + 3] = 0x7F;  // DetailsLen about 2 GB
  test::WriteFile(home.Path() + "/huge.bxl", huge);
  TLogFileReader reader(home.Path() + "/huge.bxl");
  entries.clear();
  parse = reader.Read(entries);
  EXPECT_EQ(parse.Stop, TLogFileStop::Cut);
  EXPECT_EQ(entries.size(), 1u);
}

TEST(LogFileReaderTest, FollowingAGrowingFile) {
  test::TTempHome home;
  const std::string path = home.Path() + "/grow.bxl";
  const std::string entry = EntryBytes(*Message(1, "grow", ""));
  test::WriteFile(path, entry + entry.substr(0, 50));
  TLogFileReader reader(path);
  std::vector<TLogFileEntry> entries;
  EXPECT_EQ(reader.Read(entries).Stop, TLogFileStop::Cut);
  test::WriteFile(path, entry + entry + entry);
  EXPECT_EQ(reader.Read(entries).Stop, TLogFileStop::End);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[2].Index, 3);
}

TEST(LogFileEntryTextTest, JsonStaysValidForAnyBytes) {
  EXPECT_EQ(JsonEscape("a\"b\\c\n\t\x01\x7F"), "a\\\"b\\\\c\\n\\t\\u0001\\u007f");
  EXPECT_EQ(JsonEscape("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"),
            "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
  // Lone byte, cut sequence, overlong form, surrogate, above U+10FFFF.
  EXPECT_EQ(JsonEscape("\xFF|\xC3|\xC0\x80|\xED\xA0\x80|\xF4\x90\x80\x80"),
            "\\u00ff|\\u00c3|\\u00c0\\u0080|\\u00ed\\u00a0\\u0080|\\u00f4\\u0090\\u0080\\u0080");
  EXPECT_EQ(TextEscape("x\ny\xFF\\"), "x\\ny\\xFF\\\\");
  EXPECT_EQ(FormatLogFileTimeStamp(DateToDayNumber(2024, 2, 29), 3723004),
            "2024-02-29 01:02:03.004");
  EXPECT_EQ(FormatLogFileTimeStamp(0, -5), "day 0 ms -5");
}

// Runs a program and returns its standard output; *status gets its exit code.
std::string RunProgram(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int raw = pclose(pipe);
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

TEST(BxFileViewerTest, PrintsEntriesAndReportsACutFile) {
  test::TTempHome home;
  const std::string path = home.Path() + "/view.bxl";
  const std::string first = EntryBytes(*Message(2, "Hello \"you\"", "bad \xFF byte"));
  const std::string second = EntryBytes(*Message(3, "second", ""));
  test::WriteFile(path, first + second);
  const std::string viewer = std::string(BX_BIN_DIR) + "/BxFileViewer";

  int status = -1;
  std::string out = RunProgram(viewer + " --json '" + path + "'", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out,
            "{\"index\":1,\"offset\":0,\"type\":2,\"typeName\":\"Warning\","
            "\"time\":\"2024-02-29 01:02:03.004\",\"day\":738945,\"milliseconds\":3723004,"
            "\"timeBias\":-60,\"process\":4242,\"thread\":\"worker\",\"computer\":\"PC\","
            "\"app\":\"App\",\"category\":\"Cat\",\"categoryColor\":255,"
            "\"categoryFontColor\":65280,\"text\":\"Hello \\\"you\\\"\","
            "\"details\":\"bad \\u00ff byte\"}\n"
            "{\"index\":2,\"offset\":" +
                std::to_string(first.size()) +
                ",\"type\":3,\"typeName\":\"Warning\","
                "\"time\":\"2024-02-29 01:02:03.004\",\"day\":738945,"
                "\"milliseconds\":3723004,\"timeBias\":-60,\"process\":4242,"
                "\"thread\":\"worker\",\"computer\":\"PC\",\"app\":\"App\","
                "\"category\":\"Cat\",\"categoryColor\":255,\"categoryFontColor\":65280,"
                "\"text\":\"second\",\"details\":\"\"}\n");

  out = RunProgram(viewer + " '" + path + "'", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out.substr(0, out.find('\n')),
            "#1 2024-02-29 01:02:03.004 type 2 (Warning) process 4242 thread \"worker\" app "
            "\"App\" category \"Cat\" text \"Hello \"you\"\" details \"bad \\xFF byte\"");

  test::WriteFile(path, first + second.substr(0, 30));
  out = RunProgram(viewer + " '" + path + "' 2>&1", &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("BxFileViewer: " + path + ": file ends inside entry 2 at offset " +
                     std::to_string(first.size())),
            std::string::npos)
      << out;
}

}  // namespace
}  // namespace bx

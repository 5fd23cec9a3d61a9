// The Viewer destination with the real BxLiveViewer program: started on demand, fed every
// message, started again after it was closed; and the log line when the program is missing.
// The viewer runs through a small script that records each start and sends its output to a
// file in the temporary BREVIX_HOME (which the viewer inherits, so its endpoint lives there).
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "config/registry.h"
#include "destinations/live_viewer_destination.h"
#include "messages/dispatch_message.h"
#include "platform/detached_process.h"
#include "platform/message_loop.h"
#include "platform/window_endpoint.h"
#include "support/log_capture.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using test::FileExists;
using test::ReadFile;
using test::WriteFile;

constexpr auto kWait = std::chrono::seconds(10);

class LiveViewerTest : public ::testing::Test {
 protected:
  LiveViewerTest() {
    FScript = FHome / "viewer.sh";
    WriteFile(FScript, "#!/bin/sh\necho $$ >> '" + FHome / "starts" +
                           "'\nexec '" BX_BIN_DIR "/BxLiveViewer' " + "\"$@\" $VIEWER_ARGS >> '" +
                           FHome / "out" + "' 2>> '" + FHome / "err" + "'\n");
    std::filesystem::permissions(FScript, std::filesystem::perms::owner_all);
  }
  ~LiveViewerTest() override { CloseViewer(); }

  // Asks a running viewer to close and waits until its endpoint has gone.
  // Its endpoint's path goes first; the process (and with it every connection it holds) ends
  // a moment later. A message sent in between reaches a viewer that is closing, which answers
  // nothing, and is dropped rather than sent twice, so the wait covers the process as well.
  bool CloseViewer() {
    if (auto window = TBxLiveViewerDestination::FindViewerWindow()) {
      window->PostFrame(WM_CLOSE, 0, 0, {}, std::chrono::seconds(5));
    }
    if (!WaitUntil([] { return TBxLiveViewerDestination::FindViewerWindow() == nullptr; })) {
      return false;
    }
    return WaitUntil([this] {
      for (const std::string& pid : Lines(ReadFile(FHome / "starts"))) {
        if (!ProcessEnded(pid)) return false;
      }
      return true;
    });
  }
  // Gone, or ended and waiting to be reaped: its descriptors are closed either way.
  static bool ProcessEnded(const std::string& pid) {
    const std::string stat = ReadFile("/proc/" + pid + "/stat");
    const size_t paren = stat.rfind(')');
    return stat.empty() || paren == std::string::npos || paren + 2 >= stat.size() ||
           stat[paren + 2] == 'Z' || stat[paren + 2] == 'X';
  }
  static bool WaitUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::unique_ptr<TBxLiveViewerDestination> Make() {
    auto d = std::make_unique<TBxLiveViewerDestination>();
    d->SetName("Viewer");
    d->SetOptions("");
    d->Programs = {FScript};
    return d;
  }
  static TDispatchMessagePtr Message(int32_t type, const std::string& text,
                                     const std::string& details = "") {
    TDispatchMessageFields f;
    f.MsgType = type;
    f.AppName = "App";
    f.Category = "Cat";
    f.MsgText = text;
    f.Details = details;
    f.TimeStampDate = 738000;                                   // 2021-07-29
    f.TimeStampTime = ((12 * 60 + 34) * 60 + 56) * 1000 + 789;  // 12:34:56.789
    return BuildDispatchMessage(f);
  }

  test::TTempHome FHome;
  test::TLogCapture FLog;
  std::string FScript;
};

TEST_F(LiveViewerTest, StartsTheViewerOnceDeliversEverythingAndRestartsItAfterClose) {
  setenv("VIEWER_ARGS", "--json", 1);
  auto d = Make();
  constexpr int kCount = 40;
  for (int i = 0; i < kCount; ++i) {
    TDispatchMessagePtr m =
        Message(i % 50, "message " + std::to_string(i), i % 3 == 0 ? "detail line\nsecond" : "");
    d->Dispatch(*m);
  }
  EXPECT_EQ(Lines(ReadFile(FHome / "starts")).size(), 1u);  // started once, then reused
  std::vector<std::string> out = Lines(ReadFile(FHome / "out"));
  ASSERT_EQ(out.size(), static_cast<size_t>(kCount));
  for (int i = 0; i < kCount; ++i) {
    const std::string& line = out[static_cast<size_t>(i)];
    const std::string text = "message " + std::to_string(i);
    const size_t size = 246 + text.size() + (i % 3 == 0 ? 18 : 0);
    EXPECT_EQ(line.rfind("{\"type\":" + std::to_string(i % 50) + ",\"dataWord\":" +
                             std::to_string(i % 50) + ",\"size\":" + std::to_string(size) +
                             ",\"time\":\"2021-07-29 12:34:56.789\"",
                         0),
              0u)
        << line;
    EXPECT_NE(line.find("\"text\":\"" + text + "\""), std::string::npos) << line;
  }
  EXPECT_NE(out[0].find("\"details\":\"detail line\\nsecond\""), std::string::npos) << out[0];

  // The user closes the viewer; the next message starts it again and arrives.
  ASSERT_TRUE(CloseViewer());
  TDispatchMessagePtr after = Message(92, "after close");
  d->Dispatch(*after);
  EXPECT_EQ(Lines(ReadFile(FHome / "starts")).size(), 2u);
  out = Lines(ReadFile(FHome / "out"));
  ASSERT_EQ(out.size(), static_cast<size_t>(kCount + 1));
  EXPECT_EQ(out.back().rfind("{\"type\":92,\"dataWord\":92,\"size\":257,", 0), 0u) << out.back();
  EXPECT_TRUE(FLog.Texts(TLogLevel::Error).empty());
  EXPECT_EQ(ReadFile(FHome / "err"), "");
}

TEST_F(LiveViewerTest, TextFormAndCleanExitOnSigterm) {
  unsetenv("VIEWER_ARGS");
  auto d = Make();
  TDispatchMessagePtr m = Message(1, "tab\there", "first\r\nsecond");
  d->Dispatch(*m);
  EXPECT_EQ(ReadFile(FHome / "out"),
            "2021-07-29 12:34:56.789\t1\tApp\tCat\ttab here\n    first\n    second\n");
  const std::vector<std::string> starts = Lines(ReadFile(FHome / "starts"));
  ASSERT_EQ(starts.size(), 1u);
  const std::string endpoint = WindowEndpointPath(kViewerWindowClass, kViewerWindowTitle);
  ASSERT_TRUE(FileExists(endpoint));
  ASSERT_EQ(::kill(std::stoi(starts[0]), SIGTERM), 0);
  // A clean exit removes the endpoint's socket file.
  EXPECT_TRUE(WaitUntil([&] { return !FileExists(endpoint); }));
}

TEST_F(LiveViewerTest, AMissingProgramLogsOneErrorPerMessage) {
  auto d = Make();
  d->Programs = {FHome / "missing/BxLiveViewer"};
  TDispatchMessagePtr m = Message(0, "lost");
  d->Dispatch(*m);
  d->Dispatch(*m);
  EXPECT_EQ(FLog.Texts(TLogLevel::Error),
            (std::vector<std::string>{"The Brevix Live Viewer could not be started",
                                      "The Brevix Live Viewer could not be started"}));

  TBxLiveViewerDestination withOption;
  withOption.SetName("Viewer");
  withOption.SetOptions("x=1");
  EXPECT_TRUE(withOption.Invalid);
}

TEST_F(LiveViewerTest, AViewerThatEndsAtOnceGivesWayToTheNextCandidateWithoutWaiting) {
  unsetenv("VIEWER_ARGS");
  WriteFile(FHome / "quits.sh", "#!/bin/sh\necho quit >> '" + FHome / "quits" + "'\nexit 0\n");
  std::filesystem::permissions(FHome / "quits.sh", std::filesystem::perms::owner_all);
  auto d = Make();
  d->Programs = {FHome / "quits.sh", FScript};
  // Long enough that waiting it out for the first program could not go unnoticed.
  d->StartTimeout = std::chrono::seconds(60);
  TDispatchMessagePtr m = Message(1, "after a quitter");
  const auto start = std::chrono::steady_clock::now();
  d->Dispatch(*m);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(ReadFile(FHome / "quits"), "quit\n");
  EXPECT_EQ(Lines(ReadFile(FHome / "starts")).size(), 1u);
  EXPECT_EQ(Lines(ReadFile(FHome / "out")).size(), 1u);
  EXPECT_EQ(FLog.Lines(),
            std::vector<std::string>{"Warning: The Brevix Live Viewer \"" + FHome / "quits.sh" +
                                     "\" ended before its window appeared"});
}

// Restores an environment variable when the test ends.
class TSavedVariable {
 public:
  explicit TSavedVariable(const char* name) : FName(name) {
    if (const char* value = std::getenv(name)) FValue = value;
  }
  ~TSavedVariable() {
    if (FValue) {
      setenv(FName, FValue->c_str(), 1);
    } else {
      unsetenv(FName);
    }
  }

 private:
  const char* FName;
  std::optional<std::string> FValue;
};

TEST_F(LiveViewerTest, TheLookupOrderEndsWithTheViewerBesideTheProgram) {
  // The installation recorded has no viewer; the one on PATH ends at once; the one beside
  // this program (the build's) is the real viewer.
  ASSERT_TRUE(RegistryWriteString(TRegistryRoot::LocalMachine, kProductRegistryKey, "InstallPath",
                                  FHome / "install/", true));
  WriteFile(FHome / "path/BxLiveViewer",
            "#!/bin/sh\necho quit >> '" + FHome / "quits" + "'\nexit 0\n");
  std::filesystem::permissions(FHome / "path/BxLiveViewer", std::filesystem::perms::owner_all);
  TSavedVariable path("PATH");
  setenv("PATH", (FHome / "path:/usr/bin:/bin").c_str(), 1);

  auto d = Make();
  d->Programs.clear();
  EXPECT_EQ(TBxLiveViewerDestination::ViewerProgramCandidates(),
            (std::vector<std::string>{FHome / "install/Bin/BxLiveViewer", "BxLiveViewer",
                                      BX_BIN_DIR "/BxLiveViewer"}));
  TDispatchMessagePtr m = Message(1, "found beside");
  d->Dispatch(*m);
  EXPECT_EQ(ReadFile(FHome / "quits"), "quit\n");
  EXPECT_NE(TBxLiveViewerDestination::FindViewerWindow(), nullptr);
  EXPECT_EQ(
      FLog.Lines(),
      std::vector<std::string>{
          "Warning: The Brevix Live Viewer \"BxLiveViewer\" ended before its window appeared"});
}

}  // namespace
}  // namespace bx

// The Viewer destination against fake viewers on the viewer's endpoint path: one that answers
// late, one that never reads or takes connections, and one fed a record over the frame limit.
// Time-outs are shortened through the destination's settings; the fake viewer runs on its own
// thread, so these tests also run under ThreadSanitizer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "destinations/live_viewer_destination.h"
#include "messages/dispatch_message.h"
#include "platform/endpoint_frame.h"
#include "platform/socket.h"
#include "platform/window_endpoint.h"
#include "support/log_capture.h"
#include "support/temp_home.h"

namespace bx {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

constexpr const char* kNoAnswer = "The Brevix Live Viewer did not answer";

// A viewer endpoint served by hand. Answering: takes one connection at a time, as the real
// endpoint hands every frame to one loop, records the text of each WM_COPYDATA record and
// answers 1; a record whose text holds the held marker waits for Release() before its answer.
// Silent: listens and never takes a connection nor reads a byte.
class TFakeViewer {
 public:
  enum class TMode { Answering, Silent };

  explicit TFakeViewer(TMode mode, int backlog = 16)
      : FListener(TListenSocket::ListenUnix(
            WindowEndpointPath(kViewerWindowClass, kViewerWindowTitle), backlog)) {
    if (mode == TMode::Answering) FThread = std::thread([this] { Serve(); });
  }
  ~TFakeViewer() { Stop(); }

  void Hold(const std::string& marker) {
    std::lock_guard lock(FMutex);
    FHeld = marker;
  }
  void Release() {
    std::lock_guard lock(FMutex);
    FHeld.clear();
    FChanged.notify_all();
  }
  std::vector<std::string> Texts() {
    std::lock_guard lock(FMutex);
    return FTexts;
  }
  int Accepted() {
    std::lock_guard lock(FMutex);
    return FAccepted;
  }
  // Closes the endpoint: blocked peers see it gone.
  void Stop() {
    {
      std::lock_guard lock(FMutex);
      if (FStopping) return;
      FStopping = true;
      if (FCurrent != nullptr) FCurrent->Shutdown();
      FChanged.notify_all();
    }
    FListener.Shutdown();
    if (FThread.joinable()) FThread.join();
    FListener.Close();
    ::unlink(WindowEndpointPath(kViewerWindowClass, kViewerWindowTitle).c_str());
  }

 private:
  void Serve() {
    for (;;) {
      std::optional<TStreamSocket> socket = FListener.Accept();
      if (!socket) return;
      {
        std::lock_guard lock(FMutex);
        if (FStopping) return;
        ++FAccepted;
        FCurrent = &*socket;
      }
      try {
        ServeConnection(*socket);
      } catch (const ESocketError&) {
        // The destination gave up on this connection.
      }
      std::lock_guard lock(FMutex);
      FCurrent = nullptr;
      if (FStopping) return;
    }
  }
  void ServeConnection(TStreamSocket& socket) {
    TEndpointFrameParser parser;
    std::vector<char> buffer(65536);
    for (;;) {
      const size_t n = socket.Read(buffer.data(), buffer.size());
      if (n == 0 || !parser.Feed(buffer.data(), n)) return;
      while (std::optional<TEndpointFrame> frame = parser.Next()) {
        const auto& record = *reinterpret_cast<const TDispatchMessage*>(frame->Data.data());
        const std::string text(MsgText(record));
        {
          std::unique_lock lock(FMutex);
          FTexts.push_back(text);
          FChanged.wait(lock, [&] {
            return FStopping || FHeld.empty() || text.find(FHeld) == std::string::npos;
          });
          if (FStopping) return;
        }
        const std::string reply = EncodeReply(1);
        socket.Write(reply.data(), reply.size());
      }
    }
  }

  TListenSocket FListener;
  std::thread FThread;
  // State below is protected by FMutex.
  std::mutex FMutex;
  std::condition_variable FChanged;
  std::vector<std::string> FTexts;
  std::string FHeld;
  int FAccepted = 0;
  bool FStopping = false;
  TStreamSocket* FCurrent = nullptr;
};

class LiveViewerDestinationTest : public ::testing::Test {
 protected:
  std::unique_ptr<TBxLiveViewerDestination> Make(std::chrono::milliseconds sendTimeout) {
    auto d = std::make_unique<TBxLiveViewerDestination>();
    d->SetName("Viewer");
    d->SetOptions("");
    d->SendTimeout = sendTimeout;
    // A viewer that is there must never be started again; this records any start.
    test::WriteFile(FHome / "viewer.sh", "#!/bin/sh\necho started >> '" + FHome / "starts" + "'\n");
    std::filesystem::permissions(FHome / "viewer.sh", std::filesystem::perms::owner_all);
    d->Programs = {FHome / "viewer.sh"};
    return d;
  }
  static TDispatchMessagePtr Message(const std::string& text) {
    TDispatchMessageFields f;
    f.MsgType = 4;
    f.AppName = "App";
    f.MsgText = text;
    return BuildDispatchMessage(f);
  }
  // Runs one Dispatch on its own thread and returns how long it took; when it has not ended
  // after `bound`, `unblock` runs (so a broken destination fails the test instead of hanging it)
  // and no value is returned.
  static std::optional<std::chrono::milliseconds> TimedDispatch(
      TBxLiveViewerDestination& d, TDispatchMessage& m, std::chrono::milliseconds bound,
      const std::function<void()>& unblock) {
    const auto start = TClock::now();
    auto done = std::async(std::launch::async, [&] { d.Dispatch(m); });
    if (done.wait_for(bound) != std::future_status::ready) {
      unblock();
      done.wait();
      return std::nullopt;
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - start);
  }

  test::TTempHome FHome;
  test::TLogCapture FLog;
};

TEST_F(LiveViewerDestinationTest, AViewerThatAnswersLateGetsTheMessageExactlyOnce) {
  TFakeViewer viewer(TFakeViewer::TMode::Answering);
  auto d = Make(2s);
  TDispatchMessagePtr first = Message("first");
  d->Dispatch(*first);
  ASSERT_EQ(viewer.Texts(), std::vector<std::string>{"first"});

  // The viewer answers only after the send time-out has passed: the message is given up, and
  // it is not sent again on a new connection.
  viewer.Hold("slow");
  TDispatchMessagePtr slow = Message("slow");
  const auto took = TimedDispatch(*d, *slow, 60s, [&] { viewer.Release(); });
  ASSERT_TRUE(took.has_value());
  EXPECT_LT(*took, 2s + 5s);  // the deadline plus a margin for a loaded machine
  viewer.Release();

  // The next message goes through on a fresh connection, after the late answer; a second copy
  // of "slow" would have been read before it.
  TDispatchMessagePtr third = Message("third");
  d->Dispatch(*third);
  EXPECT_EQ(viewer.Texts(), (std::vector<std::string>{"first", "slow", "third"}));
  EXPECT_EQ(FLog.Texts(TLogLevel::Error), std::vector<std::string>{kNoAnswer});
  EXPECT_FALSE(test::FileExists(FHome / "starts"));
}

TEST_F(LiveViewerDestinationTest, AViewerThatNeverReadsCostsAtMostTheDeadlinePerMessage) {
  // Room for one waiting connection: the first connect succeeds, the next one finds the queue
  // full, as with a stopped viewer that has stopped taking connections.
  TFakeViewer viewer(TFakeViewer::TMode::Silent, 0);
  auto d = Make(1s);
  // Larger than the system's socket buffers: the write itself would wait.
  TDispatchMessagePtr big = Message(std::string(4 * 1024 * 1024, 'x'));
  TDispatchMessagePtr small = Message("small");
  for (TDispatchMessage* m : {big.get(), small.get()}) {
    const auto took = TimedDispatch(*d, *m, 30s, [&] { viewer.Stop(); });
    ASSERT_TRUE(took.has_value()) << "Dispatch did not end while the viewer never read";
    EXPECT_LT(*took, 1s + 5s);
  }
  EXPECT_EQ(FLog.Texts(TLogLevel::Error), (std::vector<std::string>{kNoAnswer, kNoAnswer}));
  // A viewer that is there but hung is not replaced by a second one.
  EXPECT_FALSE(test::FileExists(FHome / "starts"));
}

TEST_F(LiveViewerDestinationTest, ARecordOverTheFrameLimitIsSkippedAndTheConnectionStays) {
  TFakeViewer viewer(TFakeViewer::TMode::Answering);
  auto d = Make(10s);
  TDispatchMessagePtr first = Message("first");
  d->Dispatch(*first);
  TDispatchMessagePtr huge = Message(std::string(kMaxFrameData, 'h'));
  d->Dispatch(*huge);
  TDispatchMessagePtr third = Message("third");
  d->Dispatch(*third);
  EXPECT_EQ(viewer.Texts(), (std::vector<std::string>{"first", "third"}));
  EXPECT_EQ(viewer.Accepted(), 1);
  EXPECT_EQ(FLog.Texts(TLogLevel::Error),
            std::vector<std::string>{"The Brevix Live Viewer cannot take a message of " +
                                     std::to_string(246 + kMaxFrameData) +
                                     " bytes (at most 16777216); the message was skipped"});
}

}  // namespace
}  // namespace bx

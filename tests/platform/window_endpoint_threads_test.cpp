#include "platform/window_endpoint.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <future>
#include <thread>

#include "platform/endpoint_frame.h"
#include "platform/log_entry.h"
#include "platform/socket.h"
#include "support/temp_home.h"

namespace bx {
namespace {

// The owner's main loop: sent WM_COPYDATA answers wparam + data length; other messages are
// collected. Client work runs on a second thread while this thread runs the loop.
class TEndpointFixture {
 public:
  TEndpointFixture() {
    FLoop.SetHandler([this](TLoopMessage& m) -> int64_t {
      if (m.Msg == WM_COPYDATA) return static_cast<int64_t>(m.WParam + m.Data.size());
      if (m.Msg == kReplying) {
        m.Reply = std::string(m.WParam, 'r') + m.Data;
        return 7;
      }
      Posted.push_back(m);
      return 0;
    });
    SetMainLoop(&FLoop);  // activity-log entries arrive in Posted too
  }
  ~TEndpointFixture() { SetMainLoop(nullptr); }
  std::vector<std::string> LogTexts() const {
    std::vector<std::string> texts;
    for (const TLoopMessage& m : Posted) {
      if (m.Msg == kWmLogEntry) texts.push_back(m.Data);
    }
    return texts;
  }
  // Runs `client` on another thread while this thread runs the loop; returns its result.
  template <typename F>
  auto WithClient(F client) {
    auto future = std::async(std::launch::async, [&] {
      auto result = client();
      FLoop.Post(kDone);
      return result;
    });
    while (future.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
      FLoop.ProcessPending();
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    FLoop.ProcessPending();
    return future.get();
  }
  static constexpr uint32_t kDone = WM_USER + 999;
  static constexpr uint32_t kReplying = WM_USER + 998;  // answers 7 with bytes
  test::TTempHome Home;
  TMessageLoop FLoop;
  std::vector<TLoopMessage> Posted;
};

TEST(WindowEndpoint, SentAndPostedFramesReachTheLoop) {
  TEndpointFixture f;
  TWindowEndpoint endpoint("TFrmDispatcher", "Brevix Dispatcher", f.FLoop);
  EXPECT_EQ(endpoint.Path(), f.Home / "run/TFrmDispatcher.Brevix Dispatcher.sock");
  struct stat info {};
  ASSERT_EQ(::stat(endpoint.Path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  auto results = f.WithClient([] {
    auto client = FindWindowEndpoint("TFrmDispatcher", "Brevix Dispatcher");
    std::vector<std::optional<int64_t>> r;
    if (!client) return r;
    r.push_back(client->SendFrame(WM_COPYDATA, 100, 0x7F000001, "12345"));
    r.push_back(client->PostFrame(1106, 7, 8, "posted"));
    r.push_back(client->SendFrame(WM_COPYDATA, 1, 0, std::string(1 << 20, 'm')));
    return r;
  });
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0], 105);
  EXPECT_EQ(results[1], 1);
  EXPECT_EQ(results[2], 1 + (1 << 20));
  ASSERT_GE(f.Posted.size(), 1u);
  EXPECT_EQ(f.Posted[0].Msg, 1106u);
  EXPECT_EQ(f.Posted[0].WParam, 7u);
  EXPECT_EQ(f.Posted[0].LParam, 8u);
  EXPECT_EQ(f.Posted[0].Data, "posted");
  EXPECT_EQ(FindWindowEndpoint("TFrmViewer", "Brevix Live Viewer"), nullptr);
}

TEST(WindowEndpoint, SentFramesMayCarryTheHandlersBytesBack) {
  TEndpointFixture f;
  TWindowEndpoint endpoint("TFrmDispatcher", "Brevix Dispatcher", f.FLoop);
  struct TAnswer {
    std::optional<int64_t> Result;
    std::string Bytes;
  };
  auto answers = f.WithClient([] {
    auto client = FindWindowEndpoint("TFrmDispatcher", "Brevix Dispatcher");
    std::vector<TAnswer> r;
    if (!client) return r;
    TAnswer a;
    a.Result = client->SendFrameForReply(TEndpointFixture::kReplying, 3, 0, "xy", &a.Bytes);
    r.push_back(a);
    // The same connection goes on with plain frames, then a large reply, then an empty one.
    r.push_back({client->SendFrame(WM_COPYDATA, 1, 0, "abc"), {}});
    TAnswer large;
    large.Result =
        client->SendFrameForReply(TEndpointFixture::kReplying, 1 << 20, 0, {}, &large.Bytes);
    r.push_back(large);
    TAnswer none;
    none.Result = client->SendFrameForReply(WM_COPYDATA, 0, 0, "q", &none.Bytes);
    r.push_back(none);
    return r;
  });
  ASSERT_EQ(answers.size(), 4u);
  EXPECT_EQ(answers[0].Result, 7);
  EXPECT_EQ(answers[0].Bytes, "rrrxy");
  EXPECT_EQ(answers[1].Result, 4);
  EXPECT_EQ(answers[2].Result, 7);
  EXPECT_EQ(answers[2].Bytes, std::string(1 << 20, 'r'));
  EXPECT_EQ(answers[3].Result, 1);
  EXPECT_EQ(answers[3].Bytes, "");
}

TEST(WindowEndpoint, PostedCopyDataAndMessagesOutsideTheFilterAreAnsweredZero) {
  TEndpointFixture f;
  // Like the dispatcher's: 74 and 1106 only.
  TWindowEndpoint endpoint("TFrmDispatcher", "Brevix Dispatcher", f.FLoop,
                           [](uint32_t m) { return m == WM_COPYDATA || m == 1106; });
  auto results = f.WithClient([] {
    auto client = FindWindowEndpoint("TFrmDispatcher", "Brevix Dispatcher");
    std::vector<std::optional<int64_t>> r;
    if (!client) return r;
    r.push_back(client->PostFrame(WM_COPYDATA, 1, 0x7F000001, std::string(1 << 20, 'p')));
    r.push_back(client->SendFrame(kWmLogEntry, 3, 0, "forged activity-log line"));
    r.push_back(client->PostFrame(kWmLogEntry, 3, 0, "forged again"));
    r.push_back(client->PostFrame(1094, 0, 0, {}));
    r.push_back(client->PostFrame(WM_TIMER, 1, 0, {}));
    r.push_back(client->SendFrame(WM_COPYDATA, 1, 0, "ok"));  // the connection still serves
    r.push_back(client->PostFrame(1106, 0, 0, {}));
    return r;
  });
  EXPECT_EQ(results, (std::vector<std::optional<int64_t>>{0, 0, 0, 0, 0, 3, 1}));
  // Nothing forged reached the loop: only the reload and one Warning for the connection.
  std::vector<uint32_t> posted;
  for (const TLoopMessage& m : f.Posted) {
    if (m.Msg != TEndpointFixture::kDone) posted.push_back(m.Msg);
  }
  EXPECT_EQ(posted, (std::vector<uint32_t>{kWmLogEntry, 1106}));
  EXPECT_EQ(f.LogTexts(),
            std::vector<std::string>{"Window endpoint TFrmDispatcher.Brevix Dispatcher: refused "
                                     "message 1104, which other programs may not send"});
}

TEST(WindowEndpoint, BadFramesCloseOnlyTheirConnection) {
  TEndpointFixture f;
  TWindowEndpoint endpoint("TFrmDispatcher", "Brevix Dispatcher", f.FLoop);
  auto results = f.WithClient([&] {
    auto good = TWindowEndpointClient::Connect(endpoint.Path());
    auto oversized = TWindowEndpointClient::Connect(endpoint.Path());
    auto truncated = TWindowEndpointClient::Connect(endpoint.Path());
    std::vector<std::optional<int64_t>> r;
    r.push_back(good->SendFrame(WM_COPYDATA, 1, 0, "a"));
    // A header announcing 16 MiB + 1 bytes: the endpoint hangs up without waiting for them.
    std::string header = EncodeFrame(WM_COPYDATA, kFrameFlagSent, 0, 0, "");
    header.replace(kFrameLengthOffset, 4, std::string("\x01\x00\x00\x01", 4));
    oversized->WriteRawForTest(header);
    r.push_back(oversized->SendFrame(WM_COPYDATA, 1, 0, "b", std::chrono::seconds(10)));
    truncated->WriteRawForTest(EncodeFrame(WM_COPYDATA, kFrameFlagSent, 0, 0, "abc").substr(0, 20));
    truncated.reset();
    r.push_back(good->SendFrame(WM_COPYDATA, 2, 0, "a"));
    return r;
  });
  EXPECT_EQ(results[0], 2);
  EXPECT_EQ(results[1], std::nullopt);
  EXPECT_EQ(results[2], 3);
  // The truncated connection's reader may log a moment after the good client's answer.
  for (int i = 0; i < 5000 && f.LogTexts().size() < 2; ++i) {
    f.FLoop.ProcessPending();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const std::vector<std::string> log = f.LogTexts();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0],
            "Window endpoint TFrmDispatcher.Brevix Dispatcher: closed a connection: frame data of "
            "16777217 bytes exceeds the limit of 16777216 bytes");
  EXPECT_EQ(log[1],
            "Window endpoint TFrmDispatcher.Brevix Dispatcher: a connection ended in the middle "
            "of a frame");
}

TEST(WindowEndpoint, StaleSocketReplacedLiveOneKept) {
  test::TTempHome home;
  TMessageLoop loop;
  const std::string path = WindowEndpointPath("TFrmViewer", "Brevix Live Viewer");
  {  // A crashed owner: the socket file stays, nobody listens.
    TListenSocket crashed = TListenSocket::ListenUnix(path, 1);
  }
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  auto owner = std::make_unique<TWindowEndpoint>("TFrmViewer", "Brevix Live Viewer", loop);
  try {
    TWindowEndpoint thief("TFrmViewer", "Brevix Live Viewer", loop);
    FAIL() << "a live endpoint was taken over";
  } catch (const EWindowEndpointError& e) {
    EXPECT_NE(std::string(e.what()).find("already in use"), std::string::npos) << e.what();
  }
  EXPECT_NE(FindWindowEndpoint("TFrmViewer", "Brevix Live Viewer"), nullptr);
  owner.reset();
  EXPECT_NE(::stat(path.c_str(), &info), 0);  // removed by its owner
  EXPECT_THROW(WindowEndpointPath(std::string(120, 'c'), "x"), EWindowEndpointError);
  EXPECT_THROW(WindowEndpointPath("a/b", "x"), EWindowEndpointError);
}

TEST(WindowEndpoint, DestroyedWhileASenderWaits) {
  test::TTempHome home;
  TMessageLoop loop;  // never pumped: a sent frame waits for ever
  auto endpoint = std::make_unique<TWindowEndpoint>("TFrmDispatcher", "Brevix Dispatcher", loop);
  auto client = FindWindowEndpoint("TFrmDispatcher", "Brevix Dispatcher");
  ASSERT_NE(client, nullptr);
  auto waiting =
      std::async(std::launch::async, [&] { return client->SendFrame(WM_COPYDATA, 1, 0, "x"); });
  for (int i = 0; i < 5000 && endpoint->ConnectionCount() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  endpoint.reset();  // joins the reader that is blocked in Send
  EXPECT_EQ(waiting.get(), std::nullopt);
}

}  // namespace
}  // namespace bx

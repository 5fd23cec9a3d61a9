// Round trip of a sent window endpoint frame (client -> endpoint reader -> main loop handler ->
// reply), beside a bare ping-pong over a Unix stream socket with the same sizes, and the TCP
// server's request round trip beside a bare TCP ping-pong. The C programs
// unix_pingpong_baseline and tcp_pingpong_baseline give the same floors without C++.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include "net/tcp_server.h"
#include "platform/endpoint_frame.h"
#include "platform/message_loop.h"
#include "platform/socket.h"
#include "platform/thread.h"
#include "platform/window_endpoint.h"

namespace {

// A private BREVIX_HOME for the benchmark's sockets.
struct TBenchHome {
  TBenchHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "bxbench-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) Path = pattern;
    setenv("BREVIX_HOME", Path.c_str(), 1);
  }
  ~TBenchHome() {
    std::error_code ignored;
    std::filesystem::remove_all(Path, ignored);
  }
  std::string Path;
};

void BM_EndpointSentFrame(benchmark::State& state) {
  TBenchHome home;
  std::promise<bx::TMessageLoop*> ready;
  std::thread owner([&] {
    bx::TMessageLoop loop;
    loop.SetHandler([](bx::TLoopMessage& m) -> int64_t { return static_cast<int64_t>(m.WParam); });
    bx::TWindowEndpoint endpoint("TFrmBench", "Bench", loop);
    ready.set_value(&loop);
    loop.Run();
  });
  bx::TMessageLoop* loop = ready.get_future().get();
  auto client = bx::FindWindowEndpoint("TFrmBench", "Bench");
  const std::string data(8, 'd');
  int64_t sum = 0;
  for (auto _ : state) sum += client->SendFrame(bx::WM_COPYDATA, 1, 0, data).value_or(-1000000);
  if (sum != static_cast<int64_t>(state.iterations())) state.SkipWithError("wrong results");
  client.reset();
  loop->Quit();
  owner.join();
}
BENCHMARK(BM_EndpointSentFrame)->UseRealTime();

void BM_BareUnixPingPong(benchmark::State& state) {
  TBenchHome home;
  const std::string path = home.Path + "/pingpong.sock";
  bx::TListenSocket listener = bx::TListenSocket::ListenUnix(path, 1);
  std::thread server([&] {
    auto peer = listener.Accept();
    char request[bx::kFrameHeaderSize + 8];
    for (;;) {
      size_t got = 0;
      while (got < sizeof request) {
        const size_t n = peer->Read(request + got, sizeof request - got);
        if (n == 0) return;
        got += n;
      }
      peer->Write(request, bx::kFrameReplySize);
    }
  });
  auto client = bx::TStreamSocket::ConnectUnix(path);
  const std::string request = bx::EncodeFrame(bx::WM_COPYDATA, 1, 1, 0, std::string(8, 'd'));
  char reply[bx::kFrameReplySize];
  for (auto _ : state) {
    client->Write(request.data(), request.size());
    size_t got = 0;
    while (got < sizeof reply) got += client->Read(reply + got, sizeof reply - got);
  }
  client->Close();
  server.join();
}
BENCHMARK(BM_BareUnixPingPong)->UseRealTime();

void BM_TcpServerRequest(benchmark::State& state) {
  bx::TBxTCPServer server("Bench");
  server.AddBinding("127.0.0.1", 0, bx::TIPVersion::V4);
  server.SetOnExecute([](bx::TBxTCPConnection& c) { c.WriteInt32(c.ReadInt32()); });
  server.SetActive(true);
  auto client = bx::TStreamSocket::ConnectTcp("127.0.0.1", server.BoundBindings()[0].Port);
  client.SetNoDelay(true);
  char buffer[4] = {0, 0, 0, 1};
  for (auto _ : state) {
    client.Write(buffer, 4);
    size_t got = 0;
    while (got < 4) got += client.Read(buffer + got, 4 - got);
  }
  client.Close();
  server.SetActive(false);
}
BENCHMARK(BM_TcpServerRequest)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

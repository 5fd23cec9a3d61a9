#include "support/log_capture.h"

#include "platform/loop_call.h"

#include <thread>

namespace bx::test {

TLogCapture::TLogCapture() {
  FLoop.SetHandler([this](TLoopMessage& m) -> int64_t {
    // Work handed to the main thread (the UDP server's datagram event) runs here.
    if (m.Msg == kWmLoopCall) return RunLoopCall(m);
    if (m.Msg == kWmLogEntry) {
      FEntries.push_back({static_cast<TLogLevel>(m.WParam), m.Data});
    } else {
      FOther.push_back(m);
    }
    return 0;
  });
  SetMainLoop(&FLoop);
}

TLogCapture::~TLogCapture() { SetMainLoop(nullptr); }

void TLogCapture::Pump() { FLoop.ProcessPending(); }

const std::vector<TCapturedEntry>& TLogCapture::Entries() {
  Pump();
  return FEntries;
}

std::vector<std::string> TLogCapture::Texts(TLogLevel level) {
  std::vector<std::string> texts;
  for (const auto& e : Entries()) {
    if (e.Level == level) texts.push_back(e.Text);
  }
  return texts;
}

std::vector<std::string> TLogCapture::Lines() {
  std::vector<std::string> lines;
  for (const auto& e : Entries())
    lines.push_back(std::string(LogLevelName(e.Level)) + ": " + e.Text);
  return lines;
}

bool TLogCapture::WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    Pump();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

bool TLogCapture::WaitForText(const std::string& fragment, std::chrono::milliseconds timeout) {
  return WaitUntil(
      [&] {
        for (const auto& e : FEntries) {
          if (e.Text.find(fragment) != std::string::npos) return true;
        }
        return false;
      },
      timeout);
}

void TLogCapture::Clear() {
  Pump();
  FEntries.clear();
  FOther.clear();
}

}  // namespace bx::test

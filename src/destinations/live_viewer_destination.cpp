#include "destinations/live_viewer_destination.h"

#include <algorithm>

#include "config/paths.h"
#include "platform/detached_process.h"
#include "platform/endpoint_frame.h"
#include "platform/folders.h"
#include "platform/log_entry.h"
#include "platform/message_loop.h"

namespace bx {

namespace {

using TClock = std::chrono::steady_clock;

// How often a starting viewer's endpoint is looked for; the wait between looks ends at once
// when the program ends.
constexpr std::chrono::milliseconds kStartPollInterval{20};

std::chrono::milliseconds Left(TClock::time_point deadline) {
  const auto now = TClock::now();
  if (now >= deadline) return std::chrono::milliseconds(0);
  return std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
}

void LogNoAnswer() { AddLogEntry(TLogLevel::Error, "The Brevix Live Viewer did not answer"); }

}  // namespace

TBxLiveViewerDestination::TBxLiveViewerDestination() = default;
TBxLiveViewerDestination::~TBxLiveViewerDestination() = default;

std::unique_ptr<TWindowEndpointClient> TBxLiveViewerDestination::FindViewerWindow(
    std::chrono::milliseconds timeout) {
  try {
    return FindWindowEndpoint(kViewerWindowClass, kViewerWindowTitle, timeout);
  } catch (const std::exception&) {
    return nullptr;  // no run folder, no permission, not taken in time: no viewer to use
  }
}

TBxLiveViewerDestination::TFound TBxLiveViewerDestination::Find(TClock::time_point deadline) {
  try {
    FViewerWindow = FindWindowEndpoint(kViewerWindowClass, kViewerWindowTitle, Left(deadline));
    return FViewerWindow ? TFound::Found : TFound::None;
  } catch (const EWindowEndpointTimeout&) {
    // A viewer is there but does not take connections (stopped or hung): starting another
    // one would not help, its endpoint is taken.
    return TFound::NotTaken;
  } catch (const std::exception&) {
    return TFound::None;
  }
}

std::vector<std::string> TBxLiveViewerDestination::ViewerProgramCandidates() {
  std::vector<std::string> candidates;
  const std::string installed = GetLiveViewerPath();
  if (!installed.empty()) candidates.push_back(installed);
  candidates.push_back(kViewerProgramName);
  candidates.push_back(ExecutableFolder() + "/" + kViewerProgramName);
  return candidates;
}

bool TBxLiveViewerDestination::StartViewer() {
  return StartViewerBefore(TClock::now() + StartTimeout);
}

bool TBxLiveViewerDestination::StartViewerBefore(TClock::time_point deadline) {
  const std::vector<std::string> candidates =
      Programs.empty() ? ViewerProgramCandidates() : Programs;
  for (const std::string& program : candidates) {
    std::unique_ptr<TWatchedProgram> started = TWatchedProgram::Start({program});
    if (!started) continue;  // not there or not executable: the next candidate
    // The started viewer is ready once its endpoint answers.
    for (;;) {
      if (Find(deadline) == TFound::Found) return true;
      if (started->WaitEnded(std::min(kStartPollInterval, Left(deadline)))) {
        // It may have ended because another viewer opened the endpoint meanwhile.
        if (Find(deadline) == TFound::Found) return true;
        AddLogEntry(TLogLevel::Warning,
                    "The Brevix Live Viewer \"" + program + "\" ended before its window appeared");
        break;
      }
      if (TClock::now() >= deadline) return true;  // runs, but not ready in time
    }
  }
  return false;
}

void TBxLiveViewerDestination::Dispatch(TDispatchMessage& message) {
  const auto size = static_cast<size_t>(DispatchMessageSize(message));
  if (size > kMaxFrameData) {
    AddLogEntry(TLogLevel::Error, "The Brevix Live Viewer cannot take a message of " +
                                      std::to_string(size) + " bytes (at most " +
                                      std::to_string(kMaxFrameData) + "); the message was skipped");
    return;
  }
  const std::string_view bytes(reinterpret_cast<const char*>(&message), size);
  const auto start = TClock::now();
  const auto messageDeadline = start + std::max(StartTimeout, SendTimeout);
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!FViewerWindow || !FViewerWindow->Alive()) {
      FViewerWindow.reset();
      const auto sendStart = TClock::now();
      switch (Find(std::min(sendStart + SendTimeout, messageDeadline))) {
        case TFound::Found:
          break;
        case TFound::NotTaken:
          LogNoAnswer();
          return;
        case TFound::None:
          StartViewerBefore(std::min(TClock::now() + StartTimeout, messageDeadline));
          break;
      }
      if (!FViewerWindow) {
        AddLogEntry(TLogLevel::Error, "The Brevix Live Viewer could not be started");
        return;
      }
    }
    const auto deadline = std::min(TClock::now() + SendTimeout, messageDeadline);
    const TWindowEndpointClient::TExchange exchange = FViewerWindow->SendFrameBefore(
        WM_COPYDATA, 0, static_cast<uint64_t>(static_cast<int64_t>(message.MsgType)), bytes,
        deadline);
    switch (exchange.Outcome) {
      case TWindowEndpointClient::TOutcome::Replied:
        return;  // the viewer's reply is not used
      case TWindowEndpointClient::TOutcome::NotDelivered:
        // The viewer had closed the connection (the user closed it) before the message was
        // written: it cannot have seen it, so one more try with a found or started viewer.
        FViewerWindow.reset();
        continue;
      case TWindowEndpointClient::TOutcome::TooLarge:  // checked above
      case TWindowEndpointClient::TOutcome::TimedOut:
      case TWindowEndpointClient::TOutcome::Failed:
        // It may have been shown: never sent again.
        FViewerWindow.reset();
        LogNoAnswer();
        return;
    }
  }
  LogNoAnswer();
}

}  // namespace bx

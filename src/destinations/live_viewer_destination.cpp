#include "destinations/live_viewer_destination.h"

#include <thread>

#include "config/paths.h"
#include "platform/detached_process.h"
#include "platform/folders.h"
#include "platform/log_entry.h"
#include "platform/message_loop.h"

namespace bx {

namespace {

constexpr std::chrono::milliseconds kStartPollInterval{20};

}  // namespace

TBxLiveViewerDestination::TBxLiveViewerDestination() = default;
TBxLiveViewerDestination::~TBxLiveViewerDestination() = default;

std::unique_ptr<TWindowEndpointClient> TBxLiveViewerDestination::FindViewerWindow() {
  try {
    return FindWindowEndpoint(kViewerWindowClass, kViewerWindowTitle);
  } catch (const std::exception&) {
    return nullptr;  // no run folder, no permission: no viewer to be found
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
  const std::vector<std::string> candidates =
      ProgramPath.empty() ? ViewerProgramCandidates() : std::vector<std::string>{ProgramPath};
  bool started = false;
  for (const std::string& program : candidates) {
    if (SpawnDetached({program})) {
      started = true;
      break;
    }
  }
  if (!started) return false;
  // The started viewer is ready once its endpoint answers.
  const auto deadline = std::chrono::steady_clock::now() + StartTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (auto window = FindViewerWindow()) {
      FViewerWindow = std::move(window);
      return true;
    }
    std::this_thread::sleep_for(kStartPollInterval);
  }
  return true;
}

void TBxLiveViewerDestination::Dispatch(TDispatchMessage& message) {
  if (!FViewerWindow || !FViewerWindow->Alive()) {
    FViewerWindow = FindViewerWindow();
    if (!FViewerWindow) {
      StartViewer();
      if (!FViewerWindow) FViewerWindow = FindViewerWindow();
    }
  }
  if (!FViewerWindow) {
    AddLogEntry(TLogLevel::Error, "The Brevix Live Viewer could not be started");
    return;
  }
  const std::string_view bytes(reinterpret_cast<const char*>(&message),
                               static_cast<size_t>(DispatchMessageSize(message)));
  const auto reply = FViewerWindow->SendFrame(
      WM_COPYDATA, 0, static_cast<uint64_t>(static_cast<int64_t>(message.MsgType)), bytes,
      SendTimeout);
  if (!reply) {
    FViewerWindow.reset();
    AddLogEntry(TLogLevel::Error, "The Brevix Live Viewer did not answer");
  }
}

}  // namespace bx

// TBxLiveViewerDestination (kind "Viewer"): hands each message to the live viewer program.
//
// The viewer is found by its window endpoint, class "TFrmViewer" and title "Brevix Live
// Viewer". When none answers, the viewer is started. The candidates, in order: the
// installation's Bin/BxLiveViewer when an installation path is recorded, "BxLiveViewer" found
// through PATH, the BxLiveViewer beside the running program. A candidate that cannot be
// started, or that ends before its endpoint appears (noticed at once and logged as a
// Warning), gives way to the next one. A started viewer that is still running gets until
// StartTimeout (5 s: creating the endpoint takes milliseconds) to open its endpoint; after
// that it is treated as not started, and the next message looks again.
//
// Every message, whatever its type, is sent as WM_COPYDATA (74) with dwData = MsgType and
// exactly DispatchMessageSize bytes of the record, and the destination waits for the viewer's
// reply. One deadline, SendTimeout (30 s) from the start of the send, bounds the connect to
// the endpoint, the write of the message and the wait for the reply, so a viewer that is
// stopped, hung or never reads its socket costs at most that per message. Finding or starting
// the viewer and sending together never take longer than the larger of StartTimeout and
// SendTimeout. The found endpoint is kept and reused while it is alive.
//
// A message is never delivered twice: it is sent again (once, on a freshly found or started
// viewer) only when the kept connection turned out to be closed by the viewer before the
// message was written whole, so the viewer cannot have seen it. A message that timed out, or
// whose connection failed after it was written, is dropped.
//
// A record over the endpoint's frame limit (16 MiB; the TCP receiver accepts up to 64 MiB) is
// skipped before anything is sent; the viewer connection stays as it is.
//
// It has no options: any option text makes it invalid.
//
// Ownership: owns its connection to the viewer, never the viewer process (which lives on by
// itself). Threads: as every destination (destination.h): Dispatch on the dispatch thread.
// Failure: nothing escapes Dispatch. Level Error: "The Brevix Live Viewer could not be
// started" when no viewer can be found or started; "The Brevix Live Viewer did not answer"
// when the viewer does not take the connection, the message or give its reply in time;
// "The Brevix Live Viewer cannot take a message of %u bytes (at most 16777216); the message
// was skipped". The message is dropped in each case.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "destinations/destination.h"
#include "platform/window_endpoint.h"

namespace bx {

inline constexpr const char* kViewerWindowClass = "TFrmViewer";
inline constexpr const char* kViewerWindowTitle = "Brevix Live Viewer";
inline constexpr const char* kViewerProgramName = "BxLiveViewer";
inline constexpr std::chrono::milliseconds kViewerStartTimeout{5000};
inline constexpr std::chrono::milliseconds kViewerSendTimeout{30000};

class TBxLiveViewerDestination : public TBxDestination {
 public:
  static std::string_view ClassKindName() { return "Viewer"; }

  TBxLiveViewerDestination();
  ~TBxLiveViewerDestination() override;

  std::string_view KindName() const override { return ClassKindName(); }
  void Dispatch(TDispatchMessage& message) override;

  // A connection to the viewer's endpoint, or null when no viewer runs or it does not take
  // the connection within `timeout`. Uses no state.
  static std::unique_ptr<TWindowEndpointClient> FindViewerWindow(
      std::chrono::milliseconds timeout = kViewerSendTimeout);
  // Starts the viewer and waits until its endpoint answers, at most StartTimeout. False when
  // no candidate program could be started or every started one ended before its endpoint
  // appeared.
  bool StartViewer();

  // The programs StartViewer tries, in order (see above).
  static std::vector<std::string> ViewerProgramCandidates();

  // When not empty, the programs StartViewer tries instead of ViewerProgramCandidates().
  std::vector<std::string> Programs;
  std::chrono::milliseconds StartTimeout = kViewerStartTimeout;
  std::chrono::milliseconds SendTimeout = kViewerSendTimeout;

 private:
  enum class TFound : uint8_t { Found, None, NotTaken };
  // Looks for the viewer's endpoint, waiting for the connection at most until `deadline`.
  TFound Find(std::chrono::steady_clock::time_point deadline);
  bool StartViewerBefore(std::chrono::steady_clock::time_point deadline);

  std::unique_ptr<TWindowEndpointClient> FViewerWindow;
};

}  // namespace bx

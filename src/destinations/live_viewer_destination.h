// TBxLiveViewerDestination (kind "Viewer"): hands each message to the live viewer program.
//
// The viewer is found by its window endpoint, class "TFrmViewer" and title "Brevix Live
// Viewer". When none answers, the viewer is started: the installation's Bin/BxLiveViewer when
// an installation path is recorded, else "BxLiveViewer" found through PATH, else the
// BxLiveViewer beside the running program (the first of these that can be started). The
// destination then waits until the new viewer's endpoint answers, at most StartTimeout (5 s:
// the viewer only has to create its endpoint, which takes milliseconds; a viewer that is not
// there after 5 s is treated as not started, and the next message tries again).
//
// Every message, whatever its type, is sent as WM_COPYDATA (74) with dwData = MsgType and
// exactly DispatchMessageSize bytes of the record, and the destination waits for the viewer's
// reply, at most SendTimeout (30 s), so that a hung viewer cannot hold the dispatch thread for
// ever. The found endpoint is kept and reused while it is alive; a viewer that was closed is
// found or started again at the next message.
//
// It has no options: any option text makes it invalid.
//
// Ownership: owns its connection to the viewer, never the viewer process (which lives on by
// itself). Threads: as every destination (destination.h): Dispatch on the dispatch thread.
// Failure: nothing escapes Dispatch. When no viewer can be found or started, "The Brevix Live
// Viewer could not be started" is logged at level Error and the message dropped; a viewer that
// does not answer in time logs "The Brevix Live Viewer did not answer" and the message is
// dropped.
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

class TBxLiveViewerDestination : public TBxDestination {
 public:
  static std::string_view ClassKindName() { return "Viewer"; }

  TBxLiveViewerDestination();
  ~TBxLiveViewerDestination() override;

  std::string_view KindName() const override { return ClassKindName(); }
  void Dispatch(TDispatchMessage& message) override;

  // A connection to the viewer's endpoint, or null when no viewer runs. Uses no state.
  static std::unique_ptr<TWindowEndpointClient> FindViewerWindow();
  // Starts the viewer and waits (at most StartTimeout) until its endpoint answers. False when
  // no candidate program could be started.
  bool StartViewer();

  // The programs StartViewer tries, in order (see above).
  static std::vector<std::string> ViewerProgramCandidates();

  // When not empty, the only program StartViewer tries (tests point it at a build's viewer).
  std::string ProgramPath;
  std::chrono::milliseconds StartTimeout{5000};
  std::chrono::milliseconds SendTimeout{30000};

 private:
  std::unique_ptr<TWindowEndpointClient> FViewerWindow;
};

}  // namespace bx

// Test-only destination kinds and a published kind table for tests of the dispatch core.
//
// TRecordingDestination records every message it is given in a process-wide TRecordingSink as
// "<name as written>[<options>] <MsgType> <MsgText>". Its options: Path (text), MaxSize and
// Port (integer), LogByDate (Boolean). Variants: "Raise" throws std::runtime_error("boom")
// from Dispatch; one whose Path begins "freed:" logs its Path at level Info when it is
// destroyed (to see the order of freeing among the log entries); "Gate" waits in Dispatch until the
// sink's gate opens (to hold the dispatch thread while a test fills the queue).
//
// TTestKinds builds a table with the recording kind under "File" and "Viewer", "Raise",
// "Gate", and the real Tcp, Udp and Http kinds, publishes it for its lifetime and resets the
// sink.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/known_destinations.h"
#include "destinations/destination.h"

namespace bx::test {

class TRecordingSink {
 public:
  static TRecordingSink& Instance();

  void Record(std::string text);
  std::vector<std::string> Records();
  size_t Count();
  void Reset();

  // The gate that "Gate" destinations wait on; starts open.
  void CloseGate();
  void OpenGate();
  void WaitAtGate();
  // True once a "Gate" destination is waiting.
  bool SomeoneWaiting();

  std::atomic<int> Alive{0};      // recording destinations that exist
  std::atomic<int> Destroyed{0};  // recording destinations destroyed since Reset

 private:
  std::mutex FMutex;
  std::condition_variable FGateChanged;
  std::vector<std::string> FRecords;
  bool FGateOpen = true;
  bool FWaiting = false;
};

class TRecordingDestination : public TBxDestination {
 public:
  enum class TMode { Record, Raise, Gate };
  TRecordingDestination(std::string kind, TMode mode);
  ~TRecordingDestination() override;

  std::string_view KindName() const override { return FKind; }
  void Dispatch(TDispatchMessage& message) override;
  std::span<const TBxOptionDef> OptionTable() const override;

  std::string Path;
  int32_t MaxSize = 0;
  int32_t Port = 0;
  bool LogByDate = false;

 private:
  std::string FKind;
  TMode FMode;
};

class TTestKinds {
 public:
  TTestKinds();
  ~TTestKinds();
  TBxKnownDestinationsList& List() { return FList; }

 private:
  TBxKnownDestinationsList FList;
};

}  // namespace bx::test

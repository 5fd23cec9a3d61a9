// Delivery figures since the process started, for the status report (BxSend --status): the
// messages each transport received, the messages delivered to a registration's destinations
// (and those during whose delivery a destination failed), and
// per destination kind the last Error entry written while one of its destinations delivered.
//
// The figures are process-wide, like the queue and the registry they describe. Receivers and
// the dispatch thread add to them with one call each; the main thread reads a snapshot.
// Threads: every function from any thread. Failure: none; nothing throws but std::bad_alloc
// from recording an error text.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace bx {

// Indexed by the connection method (kConnectionCopyData, kConnectionTcp, kConnectionUdp).
inline constexpr size_t kTransportCount = 3;

void CountReceived(uint8_t connectionMethod);
// A message handed to its registration's destinations: `delivered` when none of them wrote an
// Error entry meanwhile, else it counts as failed.
void CountDelivered(bool delivered);

// The last Error entry of a destination kind ("File", "TCP", ...) and when it was recorded.
struct TBxDestinationError {
  std::string Text;
  TDateTime Time;
};
void RecordDestinationError(std::string_view kind, std::string text, const TDateTime& time);

struct TBxDispatchCounts {
  std::array<uint64_t, kTransportCount> Received{};
  uint64_t Delivered = 0;
  uint64_t Failed = 0;
  std::map<std::string, TBxDestinationError> LastErrors;  // by kind name
};
TBxDispatchCounts DispatchCounts();

// Back to zero, for tests that start a dispatcher again in the same process.
void ResetDispatchCountsForTest();

}  // namespace bx

// CallOnLoop: runs a function on a message loop's thread and waits for it, the way a worker
// thread hands work to the main thread (the UDP listener's datagram event).
//
// The call travels as the message kWmLoopCall whose WParam names an entry in a process-wide
// table, never a raw pointer: when the waiting worker gives up (the loop ended, or the worker
// was asked to stop), it withdraws the entry, and a late RunLoopCall finds nothing to run. If
// the function is already running when the worker gives up, the worker waits for it to finish,
// so what the function uses stays alive. The loop's handler must pass kWmLoopCall messages to
// RunLoopCall.
//
// Threads: CallOnLoop from any thread (from the loop's own thread it runs the function at
// once); RunLoopCall on the loop's thread. Failure: CallOnLoop returns false when the function
// did not run and never will; an exception thrown by the function is rethrown to the caller.
#pragma once

#include <cstdint>
#include <functional>
#include <stop_token>

#include "platform/message_loop.h"

namespace bx {

inline constexpr uint32_t kWmLoopCall = WM_USER + 90;

bool CallOnLoop(TMessageLoop& loop, const std::function<void()>& fn, std::stop_token stop = {});

// Runs the call named by a kWmLoopCall message; returns 1 when it ran, 0 when it was withdrawn.
int64_t RunLoopCall(const TLoopMessage& message);

}  // namespace bx

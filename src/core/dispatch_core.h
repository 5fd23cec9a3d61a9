// The dispatch core's process-wide objects and the routines that create and free them: the
// message-available event, the message queue and the dispatch-ID registry.
//
// Ownership: StartDispatchCore creates the objects, ShutdownDispatchCore frees them; the
// accessors lend them out. Both routines are called by the main window only: start first of all
// in its construction, shutdown in its destruction after the dispatch thread and every receiver
// have stopped, so no other thread holds a borrowed pointer by then.
// Threads: the accessors from any thread (acquire loads: a thread that sees an object sees it
// fully constructed). Start and shutdown from the main thread, never concurrently.
// Failure: StartDispatchCore lets std::bad_alloc through with nothing created; calling it again
// while the core exists throws std::logic_error. ShutdownDispatchCore never throws and does
// nothing when the core does not exist.
#pragma once

#include "core/dispatch_id_list.h"
#include "core/message_queue.h"
#include "platform/manual_reset_event.h"

namespace bx {

void StartDispatchCore();
void ShutdownDispatchCore();

// The process-wide instances; null before StartDispatchCore and after ShutdownDispatchCore.
TBxMessageQueue* MessageQueue();
TManualResetEvent* MessageAvailableEvent();
TBxDispatchIDList* DispatchIDList();

}  // namespace bx

// TBxReceiver: the common base of the three ways messages reach the dispatcher (window
// messages, TCP, UDP). It switches a receiver on and off with activity-log entries and hands
// every decoded record either to the message queue or, for a logger's registration (type 91),
// to the dispatch-ID registry.
//
// Names: each receiver class answers ReceiverName, DisplayName and ReceiverCode without an
// instance (static functions); an instance reports its class's ReceiverName through the
// virtual Name(), which the start and stop entries use.
//
// Ownership: a receiver borrows the process-wide queue and registry (core/dispatch_core.h);
// the main window creates the receivers after the dispatch core and frees them before it.
// Records handed to HandOff stay the caller's: a record built by a conversion is owned by its
// TDispatchMessagePtr and freed by it, a record used in place belongs to its buffer.
// Threads: SetActive (and so Start/Stop) on the main thread only. QueueMessage,
// RegisterDispatchID, HandOff and Log from any thread: the queue and the registry protect
// themselves, and Log only posts.
// Full queue: a receiver whose threads may wait (TCP) always queues and waits for room before
// it takes its next request; the others (window messages and UDP on the main thread, which
// must never wait) have a message refused while the queue is full: QueueMessage returns false
// and HandOff answers 0. The queue counts those drops; the main window reports them.
// Failure: QueueMessage lets std::bad_alloc through with nothing queued; without a dispatch
// core it queues nothing and writes one Error entry. RegisterDispatchID never throws (-1 on an
// exception, which the registry logs).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "messages/dispatch_message.h"
#include "platform/log_entry.h"

namespace bx {

class TBxReceiver {
 public:
  TBxReceiver() = default;
  virtual ~TBxReceiver() = default;
  TBxReceiver(const TBxReceiver&) = delete;
  TBxReceiver& operator=(const TBxReceiver&) = delete;

  virtual bool GetActive() const { return Active; }
  // Nothing when `value` equals Active; otherwise stores it and calls Start or Stop.
  virtual void SetActive(bool value);

  // AddMessage on the message queue, which copies the record. Nothing for no record. False
  // only when the queue was full and this receiver does not wait (the message is dropped).
  virtual bool QueueMessage(const TDispatchMessage* message);
  // The registry's RegisterDispatchID: 1 registered, 0 no usable destination, -1 exception.
  virtual int32_t RegisterDispatchID(const std::string& dispatchID,
                                     const std::string& destinationString,
                                     uint8_t connectionMethod);

  static std::string_view ReceiverName() { return "<Unknown>"; }
  static std::string_view DisplayName() { return ReceiverName(); }
  static std::string_view ReceiverCode() { return ""; }

  // The ReceiverName of the instance's class.
  virtual std::string_view Name() const { return ReceiverName(); }

  // AddLogEntry while a main loop exists, otherwise nothing. Any thread; never blocks.
  static void Log(TLogLevel level, std::string_view text);

 protected:
  // The "<name> Receiver Started" / "<name> Receiver Stopped" entries (Info).
  virtual void Start();
  virtual void Stop();

  // Whether this receiver's threads wait for room in a full queue (see above).
  virtual bool WaitsForQueueRoom() const { return false; }

  // The hand-off of a decoded record: message type 91 goes to the registry's RegisterLogger
  // (its result is the answer), anything else to QueueMessage (answer 1, or 0 when a full
  // queue refused it). `messageType` is the
  // type that decides (the record's own for window messages, the one sent ahead of the payload
  // for TCP). `message` must be built here or accepted by CheckDispatchMessage.
  int32_t HandOff(const TDispatchMessage& message, int32_t messageType, uint8_t connectionMethod);

  bool Active = false;
};

}  // namespace bx

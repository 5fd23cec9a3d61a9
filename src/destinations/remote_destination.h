// TBxRemoteDestination: the shared base of the kinds that forward messages to another
// dispatcher or an HTTP endpoint (Tcp, Udp, Http).
//
// Before its first message a remote destination makes a dispatch ID of its own
// (RemoteDispatchID) and announces it at the far side, asking it to deliver under the
// destination string RemoteDestinationDetails; every message it forwards is relabelled with
// that ID. When it is destroyed while Connected, it sends the matching unregistration record.
//
// How a concrete kind plugs in: override Connect (call the base first, then announce the ID),
// Dispatch (call the base first, which connects when needed, then StampRemoteDispatchID and
// send) and Disconnect (send the given unregistration record). Its destructor must call
// SendUnregistration() before it closes its transport: virtual calls from this base's
// destructor would no longer reach the concrete class.
//
// Time limits: one message never holds the dispatch thread longer than the largest time-out
// configured on its destination's client, whatever the far side does (silent, stopped,
// trickling its answer, never reading, an answer without end). Each step has its own bound
// as well:
//   Tcp  connect ConnectTimeout (30 s); the request's write and the reply's read ReadTimeout
//        (30 s) each; the first message's registration, a reconnect and the request together
//        at most max(ConnectTimeout, ReadTimeout). A write or read that times out drops the
//        connection (the stream would be out of step); the next message reconnects.
//   Http connect ConnectTimeout (30 s); the request's write and the whole answer together
//        ReadTimeout (30 s); "/connect" and "/message" together at most max(ConnectTimeout,
//        ReadTimeout).
//   Udp  a datagram is handed to the system without waiting for the far side.
// A negative time-out removes that bound (and with it the bound of the whole message); 0 means
// no waiting at all. Name lookups are bounded by the system resolver's own settings, not by
// these time-outs. What it costs: a far side that needs longer than the time-out loses that
// message (it is never sent again), and while one destination waits, every other destination
// waits with it, because one thread delivers everything. The live viewer destination has its
// own bounds (live_viewer_destination.h).
//
// Ownership and threads as for every destination (destination.h): configured on the
// registering thread, used on the dispatch thread, destroyed wherever the registration goes.
// Failure: Connect/Dispatch/Disconnect of the concrete kinds report their own failures;
// SendUnregistration never throws (a failure is logged).
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "destinations/destination.h"
#include "net/client_errors.h"

namespace bx {

inline constexpr const char* kRemoteAppName = "Remote BxDispatcher";

// Bounds one message's whole exchange on a client with LimitUntil for the guard's lifetime
// (BxMessageDeadline of the two time-outs), whatever leaves the scope.
template <typename TClient>
class TBxMessageLimit {
 public:
  TBxMessageLimit(TClient& client, std::chrono::milliseconds connectTimeout,
                  std::chrono::milliseconds readTimeout)
      : FClient(client) {
    FClient.LimitUntil(BxMessageDeadline(connectTimeout, readTimeout));
  }
  ~TBxMessageLimit() { FClient.LimitUntil(std::nullopt); }
  TBxMessageLimit(const TBxMessageLimit&) = delete;
  TBxMessageLimit& operator=(const TBxMessageLimit&) = delete;

 private:
  TClient& FClient;
};

class TBxRemoteDestination : public TBxDestination {
 public:
  ~TBxRemoteDestination() override;

  virtual std::string GetHost() const;
  virtual void SetHost(const std::string& text);

  // Makes a fresh RemoteDispatchID and sets Connected.
  virtual void Connect();
  // Sends an unregistration record to the far side. The base does nothing.
  virtual void Disconnect(const TDispatchMessage& message);
  // Connects first when not Connected.
  void Dispatch(TDispatchMessage& message) override;

  // The dispatch ID registered at the far side; made by Connect.
  std::string RemoteDispatchID;
  // True after Connect (a kind may clear it again after a failed connect).
  bool Connected = false;
  // Option: the destination string the far side is asked to deliver under.
  std::string RemoteDestinationDetails = "Viewer";

  // Registration record (type 91): DispatchID = RemoteDispatchID, AppName "Remote
  // BxDispatcher", ProcessID this process, MsgText the UTF-8 bytes of RemoteDestinationDetails.
  TDispatchMessagePtr BuildRegistrationRecord() const;
  // Unregistration record (type 92): 246 bytes, the same fields without text.
  TDispatchMessagePtr BuildUnregistrationRecord() const;

 protected:
  // Writes RemoteDispatchID into the message's DispatchID field, NUL-terminated.
  void StampRemoteDispatchID(TDispatchMessage& message) const;

  // When Connected: builds the unregistration record, passes it to Disconnect and clears
  // Connected. Call first in the destructor of every concrete kind.
  void SendUnregistration() noexcept;

 private:
  std::string FHost;
};

}  // namespace bx

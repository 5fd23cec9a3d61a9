// Errors raised by the client side of the network services (TCP, UDP and HTTP clients).
//
// Socket failures reach the caller as ESocketError whose text is "Socket Error # <number>"
// CR LF "<system text>", the form the remote destinations write into their log lines. A close
// by the peer is EBxConnClosedGracefully (net_errors.h). Misuse of a client (connecting twice,
// no host) is EBxNetError with a fixed text.
// Threads: free functions without state.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "net/net_errors.h"
#include "platform/socket.h"

namespace bx {

inline constexpr const char* kAlreadyConnectedText = "Already connected.";

// Time-outs of the clients unless a caller sets others. A far side that answers in time never
// meets them; one that accepts and then says nothing releases the caller after this long.
inline constexpr std::chrono::milliseconds kBxDefaultConnectTimeout{30000};
inline constexpr std::chrono::milliseconds kBxDefaultReadTimeout{30000};

// "Socket Error # %d\r\n%s" with the error's number and system text.
std::string BxSocketErrorText(int code, const std::string& systemText);

// The client form of a platform socket error (see above). A failed name lookup keeps the
// resolver's own text with the name ("Could not resolve "<host>": <text>"): its code is the
// resolver's, not a system error number, and would mean nothing in the numbered form.
ESocketError BxSocketError(const ESocketError& error);

// The end of a wait of `timeout` starting now, cut to `limit` when one is given; no value
// when neither bounds it (a negative time-out and no limit). A zero time-out ends now.
std::optional<TSteadyTime> BxWaitDeadline(std::chrono::milliseconds timeout,
                                          std::optional<TSteadyTime> limit);
// The same as a duration for calls that take one: negative when unbounded.
std::chrono::milliseconds BxWaitTimeout(std::chrono::milliseconds timeout,
                                        std::optional<TSteadyTime> limit);
// The end of one message's whole exchange: now + the larger of the two time-outs; no value
// when either is negative (unbounded by the user's choice).
std::optional<TSteadyTime> BxMessageDeadline(std::chrono::milliseconds connectTimeout,
                                             std::chrono::milliseconds readTimeout);

}  // namespace bx

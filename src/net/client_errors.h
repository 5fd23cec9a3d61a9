// Errors raised by the client side of the network services (TCP, UDP and HTTP clients).
//
// Socket failures reach the caller as ESocketError whose text is "Socket Error # <number>"
// CR LF "<system text>", the form the remote destinations write into their log lines. A close
// by the peer is EBxConnClosedGracefully (net_errors.h). Misuse of a client (connecting twice,
// no host) is EBxNetError with a fixed text.
// Threads: free functions without state.
#pragma once

#include <chrono>
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

// The client form of a platform socket error (see above).
ESocketError BxSocketError(const ESocketError& error);

}  // namespace bx

// Exceptions raised by the connection streams of the network services.
//
// EBxConnClosedGracefully: the peer closed its side; a connection thread ends quietly on it.
// EBxMaxLineLengthExceeded: a line did not end within the stream's maximum line length.
// Socket failures themselves are ESocketError (platform/socket.h), which keeps the system's
// error number and text.
#pragma once

#include <stdexcept>

namespace bx {

class EBxNetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class EBxConnClosedGracefully : public EBxNetError {
 public:
  EBxConnClosedGracefully() : EBxNetError("Connection Closed Gracefully.") {}
};

class EBxMaxLineLengthExceeded : public EBxNetError {
 public:
  EBxMaxLineLengthExceeded() : EBxNetError("Max line length exceeded.") {}
};

}  // namespace bx

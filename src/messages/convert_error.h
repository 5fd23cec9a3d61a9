// EBxConvertError: raised when an incoming buffer cannot be turned into a TDispatchMessage
// (a time stamp that is not a valid date or time, a buffer shorter than the lengths it claims,
// an unknown format code). The text is meant for the activity log; the receiver that called
// the conversion writes it there with its own prefix.
#pragma once

#include <stdexcept>
#include <string>

namespace bx {

class EBxConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace bx

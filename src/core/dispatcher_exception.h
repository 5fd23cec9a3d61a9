// EBxDispatcherException: the program's own exception class, for failures that are the
// program's rather than the system's (a bad index, a broken internal rule). Caught at the edge
// of the operation like any other std::exception and reported with its text.
#pragma once

#include <stdexcept>
#include <string>

namespace bx {

class EBxDispatcherException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace bx

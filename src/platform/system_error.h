// TSystemError: the outcome of one system call as the rest of the code sees it, the error
// number and the system's text for it, taken once where the call failed. Every wrapper of this
// folder reports failure through it: as a result (the file system's operations), inside an
// exception (ESocketError), or as the "<subject>: <text>" message of Describe.
//
// Threads: any. The text is taken with strerror_r into a buffer of the caller's stack, never
// from strerror's shared buffer. Failure: none; an unknown number gets the system's "Unknown
// error N" text.
#pragma once

#include <string>
#include <string_view>

namespace bx {

struct TSystemError {
  int Code = 0;      // the error number; 0 on success
  std::string Text;  // the system's text for Code; empty on success

  bool Ok() const { return Code == 0; }
  // "<subject>: <text>", the shape of the error messages of the platform layer.
  std::string Describe(std::string_view subject) const;

  // The error number `code` with the system's text for it (for 0 too: a default-constructed
  // value is the success that carries no text).
  static TSystemError Of(int code);
  // The error the last failed call left in errno.
  static TSystemError Last();
};

// The system's text for an error number.
std::string SystemErrorText(int code);

}  // namespace bx

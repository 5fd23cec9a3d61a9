#include "platform/system_error.h"

#include <cerrno>
#include <cstring>

namespace bx {

std::string SystemErrorText(int code) {
  char buffer[256];
  // GNU strerror_r returns the text, which may live in `buffer` or in static storage that is
  // never written again; either way it is copied before the buffer goes.
  return std::string(strerror_r(code, buffer, sizeof buffer));
}

TSystemError TSystemError::Of(int code) { return {code, SystemErrorText(code)}; }

TSystemError TSystemError::Last() { return Of(errno); }

std::string TSystemError::Describe(std::string_view subject) const {
  std::string result(subject);
  result += ": ";
  result += Text;
  return result;
}

}  // namespace bx

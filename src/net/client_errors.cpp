#include "net/client_errors.h"

namespace bx {

std::string BxSocketErrorText(int code, const std::string& systemText) {
  return "Socket Error # " + std::to_string(code) + "\r\n" + systemText;
}

ESocketError BxSocketError(const ESocketError& error) {
  const std::string text = error.SystemText().empty() ? error.what() : error.SystemText();
  return ESocketError(BxSocketErrorText(error.Code(), text), error.Code(), text);
}

}  // namespace bx

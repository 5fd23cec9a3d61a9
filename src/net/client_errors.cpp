#include "net/client_errors.h"

#include <algorithm>

namespace bx {

std::string BxSocketErrorText(int code, const std::string& systemText) {
  return "Socket Error # " + std::to_string(code) + "\r\n" + systemText;
}

ESocketError BxSocketError(const ESocketError& error) {
  if (error.ResolverFailure()) return EResolveError(error.what(), error.Error());
  const std::string text = error.SystemText().empty() ? error.what() : error.SystemText();
  return ESocketError(BxSocketErrorText(error.Code(), text), TSystemError{error.Code(), text});
}

std::optional<TSteadyTime> BxWaitDeadline(std::chrono::milliseconds timeout,
                                          std::optional<TSteadyTime> limit) {
  if (timeout.count() < 0) return limit;
  const TSteadyTime end = std::chrono::steady_clock::now() + timeout;
  return limit ? std::min(end, *limit) : end;
}

std::chrono::milliseconds BxWaitTimeout(std::chrono::milliseconds timeout,
                                        std::optional<TSteadyTime> limit) {
  const std::optional<TSteadyTime> end = BxWaitDeadline(timeout, limit);
  if (!end) return std::chrono::milliseconds(-1);
  return TimeLeft(*end);
}

std::optional<TSteadyTime> BxMessageDeadline(std::chrono::milliseconds connectTimeout,
                                             std::chrono::milliseconds readTimeout) {
  if (connectTimeout.count() < 0 || readTimeout.count() < 0) return std::nullopt;
  return std::chrono::steady_clock::now() + std::max(connectTimeout, readTimeout);
}

}  // namespace bx

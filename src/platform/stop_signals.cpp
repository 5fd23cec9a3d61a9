#include "platform/stop_signals.h"

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <ctime>
#include <system_error>

#include "platform/thread.h"

namespace bx {

struct TStopSignals::TImpl {
  sigset_t Set{};
  TThread Waiter;
};

TStopSignals::TStopSignals(std::function<void()> onStop) : FImpl(std::make_unique<TImpl>()) {
  sigemptyset(&FImpl->Set);
  sigaddset(&FImpl->Set, SIGINT);
  sigaddset(&FImpl->Set, SIGTERM);
  sigaddset(&FImpl->Set, SIGHUP);  // the terminal of a desktop run went away
  const int rc = pthread_sigmask(SIG_BLOCK, &FImpl->Set, nullptr);
  if (rc != 0) throw std::system_error(rc, std::generic_category(), "pthread_sigmask");
  const sigset_t set = FImpl->Set;
  FImpl->Waiter.Start("BxStopSignals", [set, onStop = std::move(onStop)](std::stop_token stop) {
    // A short wait keeps the thread responsive to the owner's stop request without needing a
    // signal of its own to wake it.
    const timespec tick{0, 100 * 1000 * 1000};
    while (!stop.stop_requested()) {
      siginfo_t info{};
      if (sigtimedwait(&set, &info, &tick) > 0) onStop();
    }
  });
}

TStopSignals::~TStopSignals() {
  FImpl->Waiter.RequestStop();
  FImpl->Waiter.Join();
}

}  // namespace bx

#include "platform/thread.h"

#include <pthread.h>

#include <cerrno>
#include <system_error>

namespace bx {

struct TThread::TImpl {
  pthread_t Handle{};
  bool Started = false;
  std::stop_source Stop;
  TBody Body;
  std::string Name;
};

namespace {
void* ThreadMain(void* arg) {
  auto* impl = static_cast<TThread::TImpl*>(arg);
  pthread_setname_np(pthread_self(), impl->Name.substr(0, 15).c_str());
  impl->Body(impl->Stop.get_token());
  return nullptr;
}
}  // namespace

TThread::TThread() : FImpl(std::make_unique<TImpl>()) {}

TThread::~TThread() {
  RequestStop();
  Join();
}

void TThread::Start(const std::string& name, TBody body, size_t stackSize) {
  if (FImpl->Started) throw std::logic_error("TThread started twice");
  FImpl->Body = std::move(body);
  FImpl->Name = name;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, stackSize);
  const int rc = pthread_create(&FImpl->Handle, &attr, &ThreadMain, FImpl.get());
  pthread_attr_destroy(&attr);
  if (rc != 0) throw std::system_error(rc, std::generic_category(), "pthread_create");
  FImpl->Started = true;
}

void TThread::RequestStop() { FImpl->Stop.request_stop(); }

std::stop_token TThread::StopToken() const { return FImpl->Stop.get_token(); }

void TThread::Join() {
  if (!FImpl->Started) return;
  pthread_join(FImpl->Handle, nullptr);
  FImpl->Started = false;
}

bool TThread::Joinable() const { return FImpl->Started; }

}  // namespace bx

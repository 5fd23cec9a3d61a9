// The TCP receiver's request handler over an in-memory connection, driven the way the server's
// connection loop drives it: requests until the input ends or the handler closes the
// connection. The first byte picks the chunk size of the reads. Messages land in the real
// queue, which is emptied after every input; registrations find no destination kinds, so
// nothing is written to disk (BREVIX_HOME points at a fresh temporary folder regardless).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "core/dispatch_core.h"
#include "net/memory_channel.h"
#include "net/tcp_connection.h"
#include "receivers/tcp_receiver.h"

namespace {
bx::TBxTcpReceiver* Receiver() {
  static bx::TBxTcpReceiver receiver(uint16_t{0});  // never activated: no socket
  return &receiver;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/tmp/bx-tcp-fuzz-XXXXXX";
  if (mkdtemp(folder) != nullptr) setenv("BREVIX_HOME", folder, 1);
  bx::StartDispatchCore();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t chunk = 1 + data[0] % 64;
  std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
  bx::TBxTCPConnection connection(std::make_unique<bx::TBxMemoryChannel>(std::move(input), chunk));
  try {
    while (connection.Connected()) {
      Receiver()->HandleRequest(connection);
      if (connection.Connected() && connection.InputBuffered() == 0) connection.Flush();
    }
  } catch (const std::exception&) {
    // End of input, or a read failure: the server would close the connection.
  }
  while (bx::MessageQueue()->TakeHead()) {
  }
  return 0;
}

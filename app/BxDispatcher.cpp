// Placeholder entry point until the hub lands: prints the build's identity.
#include <cstdio>

#include "messages/dispatch_message.h"

int main() {
  std::printf("Brevix Dispatcher (build in progress); record size %d bytes, new ID %s\n",
              bx::DispatchMessageSize(*bx::BuildDispatchMessage({})), bx::NewDispatchID().c_str());
  return 0;
}

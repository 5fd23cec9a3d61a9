// Ports for tests that start a listener by number (a dispatcher process told its ports through
// its settings file): the system picks a free port for a socket bound to port 0, which is then
// closed again. Another program may take the port in between; on a test machine that is rare.
#pragma once

#include <cstdint>

namespace bx::test {

uint16_t FreeTcpPort();
uint16_t FreeUdpPort();

}  // namespace bx::test

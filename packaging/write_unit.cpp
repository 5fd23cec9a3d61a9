// bx_write_unit: writes the unit that "BxDispatcher -INSTALL" would write for a program at a
// given path, so that the package ships exactly the text the program installs.
//
//   bx_write_unit EXECUTABLE OUTPUT
//
// Exit code 0 when written, 1 on a usage error or a failed write (said on standard error).
#include <cstdio>
#include <string>

#include "host/service_host.h"
#include "platform/file_access.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: bx_write_unit EXECUTABLE OUTPUT\n", stderr);
    return 1;
  }
  std::string error;
  if (!bx::ReplaceFileAtomicallyWithMode(argv[2], bx::ServiceUnitText(argv[1]), 0644, &error)) {
    std::fprintf(stderr, "bx_write_unit: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

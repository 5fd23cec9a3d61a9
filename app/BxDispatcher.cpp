// BxDispatcher: the dispatcher program. What it does is decided in ProgramEntry.
#include <string>
#include <vector>

#include "host/program_entry.h"

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return bx::ProgramEntry(args);
}

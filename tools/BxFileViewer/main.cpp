// BxFileViewer: prints the entries of .bxl log files.
//
//   BxFileViewer [--json] [--follow] FILE...
//
// Each entry becomes one line: readable text, or with --json one JSON object. With --follow the
// program keeps the files open and prints entries as they are appended (an entry that is still
// being written is waited for); it runs until it is stopped. Without --follow a file that ends
// inside an entry, or holds bytes that are not an entry, is reported on standard error with
// its offset and the exit code is 1; a file that cannot be opened gives exit code 2.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "destinations/log_file_entry_text.h"
#include "destinations/log_file_reader.h"

namespace {

constexpr auto kFollowInterval = std::chrono::milliseconds(200);

struct TOpenFile {
  std::string Path;
  std::unique_ptr<bx::TLogFileReader> Reader;
  bool Done = false;  // stopped at a fault
};

constexpr const char* kHelp = R"(Usage: BxFileViewer [--json] [--follow] FILE...

Prints the entries of Brevix log files (.bxl), one line each.

Options:
  --json     one JSON object per entry, with every field
  --follow   keep the files open and print entries as they are appended, until stopped
  --         the arguments after it are files, even when they start with "--"
  --help     this text
  --version  the program's version

Exit codes: 0 every file read whole; 1 a file ends inside an entry or holds bytes that are not
an entry (said on standard error with the offset); 2 a file cannot be opened, or a usage error.
)";

void Usage() {
  std::fputs("usage: BxFileViewer [--json] [--follow] FILE... (see --help)\n", stderr);
}

// Prints what has become readable in `file`; returns false when the file is broken (reported).
bool PrintNew(TOpenFile& file, bool json, bool follow, bool showFile) {
  std::vector<bx::TLogFileEntry> entries;
  const bx::TLogFileParse parse = file.Reader->Read(entries);
  for (const bx::TLogFileEntry& entry : entries) {
    std::string line;
    if (json) {
      line = bx::FormatLogFileEntryJson(entry);
      if (showFile) line.insert(1, "\"file\":\"" + bx::JsonEscape(file.Path) + "\",");
    } else {
      line = bx::FormatLogFileEntryText(entry);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  std::fflush(stdout);
  if (parse.Stop == bx::TLogFileStop::End) return true;
  if (parse.Stop == bx::TLogFileStop::Cut && follow) return true;  // still being written
  std::string message = "BxFileViewer: " + file.Path + ": " + bx::DescribeLogFileStop(parse);
  if (parse.Stop == bx::TLogFileStop::ReadError) message += " (" + file.Reader->Error() + ")";
  std::fprintf(stderr, "%s\n", message.c_str());
  file.Done = true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  bool follow = false;
  std::vector<std::string> paths;
  bool optionsEnd = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (!optionsEnd && (arg == "--help" || arg == "-h")) {
      std::fputs(kHelp, stdout);
      return 0;
    } else if (!optionsEnd && arg == "--version") {
      std::puts("BxFileViewer 4.0.0");
      return 0;
    } else if (!optionsEnd && arg == "--json") {
      json = true;
    } else if (!optionsEnd && arg == "--follow") {
      follow = true;
    } else if (!optionsEnd && arg == "--") {
      optionsEnd = true;
    } else if (!optionsEnd && arg.starts_with("--")) {
      std::fprintf(stderr, "BxFileViewer: unknown option %s\n", argv[i]);
      Usage();
      return 2;
    } else {
      paths.emplace_back(arg);
    }
  }
  if (paths.empty()) {
    Usage();
    return 2;
  }

  std::vector<TOpenFile> files;
  int exitCode = 0;
  for (const std::string& path : paths) {
    TOpenFile file;
    file.Path = path;
    file.Reader = std::make_unique<bx::TLogFileReader>(path);
    if (!file.Reader->Ok()) {
      std::fprintf(stderr, "BxFileViewer: %s: %s\n", path.c_str(), file.Reader->Error().c_str());
      exitCode = 2;
      continue;
    }
    files.push_back(std::move(file));
  }

  const bool showFile = paths.size() > 1;
  for (TOpenFile& file : files) {
    if (showFile && !json) std::printf("==> %s <==\n", file.Path.c_str());
    if (!PrintNew(file, json, follow, showFile) && exitCode == 0) exitCode = 1;
  }
  if (!follow) return exitCode;

  for (;;) {
    bool anyOpen = false;
    for (TOpenFile& file : files) {
      if (file.Done) continue;
      anyOpen = true;
      if (!PrintNew(file, json, follow, showFile) && exitCode == 0) exitCode = 1;
    }
    if (!anyOpen) return exitCode;
    std::this_thread::sleep_for(kFollowInterval);
  }
}

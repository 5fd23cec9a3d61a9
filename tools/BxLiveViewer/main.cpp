// BxLiveViewer: the live viewer. Creates the window endpoint of class "TFrmViewer", title
// "Brevix Live Viewer", and writes every message it receives by WM_COPYDATA to standard
// output, flushed per message:
//
//   text form (default): one line "<date> <time>\t<type>\t<app>\t<category>\t<text>", then,
//     when the message has details, each line of them indented by four blanks;
//   --json: one JSON object per line with every field of the record.
//
// A buffer that is not a whole record is refused (reply 0) with a line on standard error.
// Ends with exit code 0 on SIGINT, SIGTERM or a WM_CLOSE sent to its endpoint; with 1 when the
// endpoint cannot be made (another viewer runs, for example).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "destinations/live_viewer_destination.h"
#include "destinations/log_file_entry_text.h"
#include "messages/dispatch_message.h"
#include "platform/clock.h"
#include "platform/log_entry.h"
#include "platform/message_loop.h"
#include "platform/stop_signals.h"
#include "platform/window_endpoint.h"

namespace {

using namespace bx;

constexpr const char* kUsage = "Usage: BxLiveViewer [--json] (see --help)\n";
constexpr const char* kHelp = R"(Usage: BxLiveViewer [--json]

The Brevix live viewer: opens the window endpoint "TFrmViewer" / "Brevix Live Viewer" and
prints every message a dispatcher's Viewer destination sends it, one line each, until stopped
(SIGINT, SIGTERM or a WM_CLOSE sent to its endpoint).

Options:
  --json     one JSON object per message, with every field
  --help     this text
  --version  the program's version

Exit codes: 0 stopped; 1 the endpoint cannot be made (another viewer runs); 2 usage error.
)";

std::string DateTimeText(const TDispatchMessage& m) {
  return FormatLogFileTimeStamp(m.TimeStampDate, m.TimeStampTime);
}

// Control characters would break the one-line form; they show as blanks.
std::string OneLine(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return out;
}

void JsonString(std::string& out, std::string_view text) {
  out += '"';
  out += JsonEscape(text);
  out += '"';
}

void JsonField(std::string& out, const char* name, std::string_view value) {
  out += ",\"";
  out += name;
  out += "\":";
  JsonString(out, value);
}

void JsonNumber(std::string& out, const char* name, int64_t value) {
  out += ",\"";
  out += name;
  out += "\":";
  out += std::to_string(value);
}

std::string JsonLine(const TDispatchMessage& m, uint64_t dataWord, size_t size) {
  std::string out = "{\"type\":" + std::to_string(m.MsgType);
  JsonNumber(out, "dataWord", static_cast<int64_t>(dataWord));
  JsonNumber(out, "size", static_cast<int64_t>(size));
  JsonField(out, "time", DateTimeText(m));
  JsonNumber(out, "timeBias", m.TimeBias);
  JsonNumber(out, "processId", m.ProcessID);
  JsonField(out, "thread", FieldText(m.ThreadName));
  JsonField(out, "dispatchId", FieldText(m.DispatchID));
  JsonField(out, "computer", FieldText(m.ComputerName));
  JsonField(out, "app", FieldText(m.AppName));
  JsonField(out, "category", FieldText(m.Category));
  JsonNumber(out, "categoryColor", m.CategoryColor);
  JsonNumber(out, "categoryFontColor", m.CategoryFontColor);
  JsonField(out, "typeName", FieldText(m.TypeName));
  JsonField(out, "text", MsgText(m));
  JsonField(out, "details", Details(m));
  out += '}';
  return out;
}

std::string TextLines(const TDispatchMessage& m) {
  std::string out = DateTimeText(m) + "\t" + std::to_string(m.MsgType) + "\t" +
                    OneLine(FieldText(m.AppName)) + "\t" + OneLine(FieldText(m.Category)) + "\t" +
                    OneLine(MsgText(m));
  std::string_view details = Details(m);
  while (!details.empty()) {
    const size_t end = details.find('\n');
    std::string_view line = details.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    out += "\n    " + OneLine(line);
    if (end == std::string_view::npos) break;
    details.remove_prefix(end + 1);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kHelp, stdout);
      return 0;
    } else if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("BxLiveViewer 4.0.0");
      return 0;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }

  TMessageLoop loop;
  // Signals go to a waiter thread, which posts WM_QUIT; made before any other thread starts.
  TStopSignals stopSignals([&loop] { loop.Quit(0); });
  SetMainLoop(&loop);

  loop.SetHandler([&](TLoopMessage& message) -> int64_t {
    switch (message.Msg) {
      case WM_COPYDATA: {
        const auto check = CheckDispatchMessage(std::span<const std::byte>(
            reinterpret_cast<const std::byte*>(message.Data.data()), message.Data.size()));
        if (check.Message == nullptr) {
          std::fprintf(stderr, "BxLiveViewer: refused a record: %s\n", check.Error.c_str());
          return 0;
        }
        const std::string out = json ? JsonLine(*check.Message, message.LParam, message.Data.size())
                                     : TextLines(*check.Message);
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        return 1;
      }
      case WM_CLOSE:
        loop.Quit(0);
        return 0;
      case kWmLogEntry:
        // The endpoint's own reports (a broken frame from some sender).
        std::fprintf(stderr, "BxLiveViewer: %s: %s\n",
                     LogLevelName(static_cast<TLogLevel>(message.WParam)), message.Data.c_str());
        return 0;
      default:
        return 0;
    }
  });

  int exitCode = 0;
  try {
    TWindowEndpoint endpoint(kViewerWindowClass, kViewerWindowTitle, loop);
    exitCode = loop.Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "BxLiveViewer: %s\n", e.what());
    exitCode = 1;
  }
  SetMainLoop(nullptr);
  return exitCode;
}

// BxSend: a client of the dispatcher for scripts and people. Registers a dispatch ID, sends
// messages and unregisters over the window endpoint, TCP or UDP, in every transfer format, and
// sends the window messages that other programs send (reload, show log, is-service, stop).
// Prints each answer on its own line; exits non-zero with a message on standard error when no
// dispatcher answers.
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "messages/base64.h"
#include "messages/dispatch_message.h"
#include "messages/message_encoders.h"
#include "messages/message_format.h"
#include "platform/clock.h"
#include "platform/folders.h"
#include "platform/message_loop.h"
#include "platform/process_id.h"
#include "platform/socket.h"
#include "platform/window_endpoint.h"
#include "receivers/dispatcher_window_messages.h"

namespace bx {
namespace {

constexpr const char* kHelp = R"(Usage: BxSend COMMAND [options]

Commands:
  register             register a dispatch ID with a destination string
  message              send a log message
  unregister           unregister a dispatch ID
  --reload             ask the dispatcher to reload its settings (TCP command 93, or
                       window message 1106 over the endpoint)
  --show-log           show the activity log window (window message 1107)
  --is-service         ask whether the dispatcher runs as a service; prints 1 or 0
  --stop               close the dispatcher (WM_CLOSE posted; WM_QUIT with --quit)
  --status             print the dispatcher's health: state, queue depth and bytes,
                       messages received per transport and delivered since its start,
                       registrations, the last error of each destination kind (window
                       message 1108); --json for one JSON object

Options:
  --via endpoint|tcp|udp   transport (default endpoint)
  --format FORMAT          record (default), ansi, xml-utf8, xml-utf16, legacy
  --host HOST              TCP/UDP host (default 127.0.0.1)
  --port N                 TCP/UDP port (default 3434 for TCP, 3435 for UDP)
  --id ID                  dispatch ID (default: a new GUID, printed on standard error)
  --type N                 message type of "message" (default 4)
  --category TEXT          category
  --app TEXT               application name (default BxSend)
  --text TEXT              message text
  --details TEXT           details
  --destination TEXT       destination string of "register" (default Viewer)
  --count N                send the request N times (default 1)
  --pipeline               TCP: send all N requests, then read the N answers
  --quit                   with --stop: post WM_QUIT instead of WM_CLOSE
  --json                   with --status: one JSON object instead of text
  --service                the endpoint of the system service (/run/BrevixDispatcher); run
                           as its user: sudo -u brevix BxSend --service --status
  --help                   this text
  --version                the program's version

Answers: the window endpoint and TCP print the dispatcher's integer result per request
("OK" for a legacy TCP message); UDP is never answered.

Exit codes: 0 success; 1 usage error; 2 no dispatcher answers (or it does not report its
status).
)";

constexpr const char* kServiceRunFolder = "/run/BrevixDispatcher";

class EUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class ENoDispatcher : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TVia { Endpoint, Tcp, Udp };
enum class TFormat { Record, Ansi, XmlUtf8, XmlUtf16, Legacy };
enum class TCommand {
  None,
  Register,
  Message,
  Unregister,
  Reload,
  ShowLog,
  IsService,
  Stop,
  Status
};

struct TOptions {
  TCommand Command = TCommand::None;
  TVia Via = TVia::Endpoint;
  TFormat Format = TFormat::Record;
  std::string Host = "127.0.0.1";
  std::optional<uint16_t> Port;
  std::string ID;
  int32_t Type = 4;
  std::string Category;
  std::string App = "BxSend";
  std::string Text;
  std::string Details;
  std::string Destination = "Viewer";
  int Count = 1;
  bool Pipeline = false;
  bool Quit = false;
  bool Json = false;
};

long long ParseNumber(std::string_view option, std::string_view text, long long low,
                      long long high) {
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    throw EUsage(std::string(option) + " needs a number from " + std::to_string(low) + " to " +
                 std::to_string(high) + ", not \"" + std::string(text) + "\"");
  }
  return value;
}

// The command an argument names, if it names one.
std::optional<TCommand> CommandOf(std::string_view arg) {
  static constexpr std::pair<std::string_view, TCommand> kCommands[] = {
      {"register", TCommand::Register},     {"message", TCommand::Message},
      {"unregister", TCommand::Unregister}, {"--reload", TCommand::Reload},
      {"--show-log", TCommand::ShowLog},    {"--is-service", TCommand::IsService},
      {"--stop", TCommand::Stop},           {"--status", TCommand::Status}};
  for (const auto& [name, command] : kCommands) {
    if (arg == name) return command;
  }
  return std::nullopt;
}

// An option without a value; false when `arg` is none of them. --help and --version end the
// program.
bool TakeSwitch(std::string_view arg, TOptions& o) {
  if (arg == "--help" || arg == "-h") {
    std::fputs(kHelp, stdout);
    std::exit(0);
  } else if (arg == "--version") {
    std::puts("BxSend 4.0.0");
    std::exit(0);
  } else if (arg == "--json") {
    o.Json = true;
  } else if (arg == "--service") {
    // The run folder of the system service: RunFolder() takes it as systemd's would.
    setenv("RUNTIME_DIRECTORY", kServiceRunFolder, 1);
  } else if (arg == "--quit") {
    o.Quit = true;
  } else if (arg == "--pipeline") {
    o.Pipeline = true;
  } else {
    return false;
  }
  return true;
}

TVia ParseVia(const std::string& v) {
  if (v == "endpoint") return TVia::Endpoint;
  if (v == "tcp") return TVia::Tcp;
  if (v == "udp") return TVia::Udp;
  throw EUsage("--via takes endpoint, tcp or udp, not \"" + v + "\"");
}

TFormat ParseFormat(const std::string& v) {
  if (v == "record") return TFormat::Record;
  if (v == "ansi") return TFormat::Ansi;
  if (v == "xml-utf8") return TFormat::XmlUtf8;
  if (v == "xml-utf16") return TFormat::XmlUtf16;
  if (v == "legacy") return TFormat::Legacy;
  throw EUsage("--format takes record, ansi, xml-utf8, xml-utf16 or legacy, not \"" + v + "\"");
}

// An option followed by its value, which `value()` takes from the command line; false when
// `arg` is none of them.
template <typename TValue>
bool TakeValueOption(std::string_view arg, TValue&& value, TOptions& o) {
  static constexpr std::pair<std::string_view, std::string TOptions::*> kTexts[] = {
      {"--host", &TOptions::Host},
      {"--id", &TOptions::ID},
      {"--category", &TOptions::Category},
      {"--app", &TOptions::App},
      {"--text", &TOptions::Text},
      {"--details", &TOptions::Details},
      {"--destination", &TOptions::Destination}};
  for (const auto& [name, field] : kTexts) {
    if (arg == name) {
      o.*field = value();
      return true;
    }
  }
  if (arg == "--via") {
    o.Via = ParseVia(value());
  } else if (arg == "--format") {
    o.Format = ParseFormat(value());
  } else if (arg == "--port") {
    o.Port = static_cast<uint16_t>(ParseNumber(arg, value(), 1, 65535));
  } else if (arg == "--type") {
    o.Type = static_cast<int32_t>(ParseNumber(arg, value(), INT32_MIN, INT32_MAX));
  } else if (arg == "--count") {
    o.Count = static_cast<int>(ParseNumber(arg, value(), 1, 10000000));
  } else {
    return false;
  }
  return true;
}

// Refuses the combinations of command, transport and format that cannot work.
void CheckCombination(const TOptions& o) {
  if (o.Command == TCommand::None) throw EUsage("no command given (see --help)");
  if (o.Via == TVia::Udp && o.Format != TFormat::Record) {
    throw EUsage("UDP carries records only; leave out --format or use --format record");
  }
  const bool endpointOnly = o.Command == TCommand::ShowLog || o.Command == TCommand::IsService ||
                            o.Command == TCommand::Stop || o.Command == TCommand::Status;
  if (o.Json && o.Command != TCommand::Status) throw EUsage("--json goes with --status only");
  if (o.Via == TVia::Udp && (o.Command == TCommand::Reload || endpointOnly)) {
    throw EUsage("this command goes over the endpoint (or TCP for --reload), not UDP");
  }
  if (o.Via == TVia::Tcp && endpointOnly) {
    throw EUsage("this command goes over the endpoint only");
  }
}

TOptions ParseOptions(int argc, char** argv) {
  TOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw EUsage(std::string(arg) + " needs a value");
      return argv[++i];
    };
    if (const std::optional<TCommand> command = CommandOf(arg)) {
      if (o.Command != TCommand::None) throw EUsage("only one command at a time");
      o.Command = *command;
    } else if (!TakeSwitch(arg, o) && !TakeValueOption(arg, value, o)) {
      throw EUsage("unknown argument \"" + std::string(arg) + "\" (see --help)");
    }
  }
  CheckCombination(o);
  if (o.ID.empty()) {
    o.ID = NewDispatchID();
    if (o.Command == TCommand::Register || o.Command == TCommand::Message ||
        o.Command == TCommand::Unregister) {
      std::fprintf(stderr, "dispatch ID %s\n", o.ID.c_str());
    }
  }
  return o;
}

// The fields of the message a command sends.
TDispatchMessageFields Fields(const TOptions& o, std::string& thread) {
  TDispatchMessageFields f;
  const TDateTime now = SystemClock().Now();
  f.TimeStampDate = DateToDayNumber(now.Year, now.Month, now.Day);
  f.TimeStampTime = MillisecondsOfDay(now);
  f.ProcessID = CurrentProcessID();
  thread = "main";
  f.ThreadName = thread;
  f.DispatchID = o.ID;
  f.ComputerName = "localhost";
  f.AppName = o.App;
  f.Category = o.Category;
  f.TypeName = "BxSend";
  switch (o.Command) {
    case TCommand::Register:
      f.MsgType = kMsgTypeRegister;
      f.MsgText = o.Destination;
      break;
    case TCommand::Unregister:
      f.MsgType = kMsgTypeUnregister;
      break;
    default:
      f.MsgType = o.Type;
      f.MsgText = o.Text;
      f.Details = o.Details;
  }
  return f;
}

std::string RecordBytes(const TDispatchMessage& record) {
  return std::string(reinterpret_cast<const char*>(&record),
                     static_cast<size_t>(DispatchMessageSize(record)));
}

// Format code and payload of one message in the chosen format.
std::pair<int32_t, std::string> Payload(const TOptions& o, const TDispatchMessageFields& f) {
  const TDispatchMessagePtr record = BuildDispatchMessage(f);
  switch (o.Format) {
    case TFormat::Record:
      return {bxmUTF8MessageFormat, RecordBytes(*record)};
    case TFormat::Ansi:
      return {bxmAnsiMessageFormat, EncodeAnsiMessage(f)};
    case TFormat::XmlUtf8:
      return {bxmUTF8XmlMessageFormat, EncodeXmlMessage(*record, bxmUTF8XmlMessageFormat)};
    case TFormat::XmlUtf16:
      return {bxmUnicodeXmlMessageFormat, EncodeXmlMessage(*record, bxmUnicodeXmlMessageFormat)};
    case TFormat::Legacy:
      return {0, EncodeLegacyMessage(f, CurrentProcessID())};
  }
  return {0, {}};
}

std::string BigEndian(int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

// A TCP connection to the dispatcher with buffered reads.
class TTcpLink {
 public:
  TTcpLink(const std::string& host, uint16_t port) : FWhere(host + ":" + std::to_string(port)) {
    try {
      FSocket = TStreamSocket::ConnectTcp(host, port);
    } catch (const std::exception& e) {
      throw ENoDispatcher("no dispatcher answers at " + FWhere + " (" + e.what() + ")");
    }
    FSocket.SetNoDelay(true);
  }
  void Write(const std::string& bytes) { FSocket.Write(bytes.data(), bytes.size()); }
  int32_t ReadInt32() {
    Need(4);
    const auto* p = reinterpret_cast<const unsigned char*>(FBuffer.data());
    const uint32_t v =
        (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
    FBuffer.erase(0, 4);
    return static_cast<int32_t>(v);
  }
  std::string ReadLine() {
    for (;;) {
      const size_t lf = FBuffer.find('\n');
      if (lf != std::string::npos) {
        std::string line = FBuffer.substr(0, lf);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        FBuffer.erase(0, lf + 1);
        return line;
      }
      More();
    }
  }

 private:
  void Need(size_t count) {
    while (FBuffer.size() < count) More();
  }
  void More() {
    char chunk[4096];
    const size_t n = FSocket.Read(chunk, sizeof chunk);
    if (n == 0) throw ENoDispatcher("the dispatcher at " + FWhere + " closed the connection");
    FBuffer.append(chunk, n);
  }
  std::string FWhere;
  TStreamSocket FSocket;
  std::string FBuffer;
};

int RunTcp(const TOptions& o) {
  const uint16_t port = o.Port.value_or(3434);
  if (o.Command == TCommand::Reload) {
    TTcpLink link(o.Host, port);
    for (int i = 0; i < o.Count; ++i) {
      link.Write(BigEndian(bxmCommand) + BigEndian(93));
      if (!o.Pipeline) std::printf("%d\n", link.ReadInt32());
    }
    if (o.Pipeline) {
      for (int i = 0; i < o.Count; ++i) std::printf("%d\n", link.ReadInt32());
    }
    return 0;
  }
  std::string thread;
  const TDispatchMessageFields f = Fields(o, thread);
  if (o.Format == TFormat::Legacy && o.Command == TCommand::Register) {
    // The legacy registration: two lines, never answered.
    TTcpLink link(o.Host, port);
    std::string all;
    for (int i = 0; i < o.Count; ++i) all += BigEndian(41) + o.ID + "\r\n" + o.Destination + "\r\n";
    link.Write(all);
    return 0;
  }
  const auto [code, payload] = Payload(o, f);
  if (o.Format == TFormat::Legacy) {
    // A legacy message is answered with "OK" and the connection closed: one connection each.
    const std::string request =
        BigEndian(code) + BigEndian(static_cast<int32_t>(payload.size())) + payload;
    for (int i = 0; i < o.Count; ++i) {
      TTcpLink link(o.Host, port);
      link.Write(request);
      std::printf("%s\n", link.ReadLine().c_str());
    }
    return 0;
  }
  const std::string request = BigEndian(code) + BigEndian(f.MsgType) +
                              BigEndian(static_cast<int32_t>(payload.size())) + payload;
  TTcpLink link(o.Host, port);
  if (o.Pipeline) {
    std::string all;
    all.reserve(request.size() * static_cast<size_t>(o.Count));
    for (int i = 0; i < o.Count; ++i) all += request;
    link.Write(all);
    for (int i = 0; i < o.Count; ++i) std::printf("%d\n", link.ReadInt32());
  } else {
    for (int i = 0; i < o.Count; ++i) {
      link.Write(request);
      std::printf("%d\n", link.ReadInt32());
    }
  }
  return 0;
}

int RunUdp(const TOptions& o) {
  const uint16_t port = o.Port.value_or(3435);
  std::vector<TSocketAddress> addresses;
  try {
    addresses = ResolveHost(o.Host, port);
  } catch (const std::exception& e) {
    throw ENoDispatcher("cannot resolve " + o.Host + " (" + e.what() + ")");
  }
  const TSocketAddress& to = addresses.front();
  std::string datagram;
  if (o.Command == TCommand::Register) {
    datagram = "REGDISPATCH\r\n" + o.ID + "\r\n" + o.Destination;
  } else {
    std::string thread;
    const TDispatchMessagePtr record = BuildDispatchMessage(Fields(o, thread));
    const std::string bytes = RecordBytes(*record);
    datagram =
        "2130706433\r\n" + std::to_string(bytes.size()) + "\r\n" + EncodeBase64(bytes) + "\r\n";
  }
  TUdpSocket socket = TUdpSocket::Open(to.Version);
  for (int i = 0; i < o.Count; ++i) socket.SendTo(to, datagram.data(), datagram.size());
  return 0;
}

int RunEndpoint(const TOptions& o) {
  std::unique_ptr<TWindowEndpointClient> client =
      FindWindowEndpoint(kDispatcherWindowClass, kDispatcherWindowCaption);
  if (!client) {
    throw ENoDispatcher("no dispatcher window found (" +
                        WindowEndpointPath(kDispatcherWindowClass, kDispatcherWindowCaption) + ")");
  }
  auto answer = [](std::optional<int64_t> result) {
    if (!result) throw ENoDispatcher("the dispatcher window did not answer");
    std::printf("%lld\n", static_cast<long long>(*result));
  };
  for (int i = 0; i < o.Count; ++i) {
    switch (o.Command) {
      case TCommand::Reload:
        answer(client->PostFrame(kWmReloadSettings, 0, 0, {}));
        break;
      case TCommand::ShowLog:
        answer(client->PostFrame(kWmShowLog, 0, 0, {}));
        break;
      case TCommand::IsService:
        answer(client->SendFrame(kWmIsService, 0, 0, {}));
        break;
      case TCommand::Stop:
        answer(client->PostFrame(o.Quit ? WM_QUIT : WM_CLOSE, 0, 0, {}));
        break;
      case TCommand::Status: {
        std::string snapshot;
        const std::optional<int64_t> result =
            client->SendFrameForReply(kWmStatus, o.Json ? kStatusJson : kStatusText, 0, {},
                                      &snapshot, std::chrono::seconds(30));
        if (!result) throw ENoDispatcher("the dispatcher window did not answer");
        if (*result != 1) {
          throw ENoDispatcher("the dispatcher does not report its status (an older version?)");
        }
        std::fputs(snapshot.c_str(), stdout);
        if (o.Json) std::fputs("\n", stdout);
        break;
      }
      default: {
        std::string thread;
        const auto [code, payload] = Payload(o, Fields(o, thread));
        answer(client->SendFrame(WM_COPYDATA, 0, static_cast<uint32_t>(code), payload));
      }
    }
  }
  return 0;
}

}  // namespace
}  // namespace bx

int main(int argc, char** argv) {
  using namespace bx;
  try {
    const TOptions options = ParseOptions(argc, argv);
    switch (options.Via) {
      case TVia::Tcp:
        return RunTcp(options);
      case TVia::Udp:
        return RunUdp(options);
      case TVia::Endpoint:
        return RunEndpoint(options);
    }
  } catch (const EUsage& e) {
    std::fprintf(stderr, "BxSend: %s\n", e.what());
    return 1;
  } catch (const ENoDispatcher& e) {
    std::fprintf(stderr, "BxSend: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "BxSend: %s\n", e.what());
    return 2;
  }
  return 0;
}

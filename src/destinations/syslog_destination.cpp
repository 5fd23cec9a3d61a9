#include "destinations/syslog_destination.h"

#include <exception>

#include "config/text_case.h"
#include "destinations/syslog_message.h"
#include "platform/log_entry.h"

namespace bx {

namespace {

TBxSyslogDestination& Syslog(TBxDestination& d) { return static_cast<TBxSyslogDestination&>(d); }

constexpr TBxOptionDef kSyslogOptions[] = {
    {"Host", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) { Syslog(d).SetHost(std::string(v.Text)); }},
    {"Port", TBxOptionType::Integer,
     [](TBxDestination& d, const TBxOptionValue& v) {
       // A port keeps the low 16 bits of the number written.
       Syslog(d).SetPort(static_cast<uint16_t>(v.Integer));
     }},
    {"Protocol", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) { Syslog(d).SetProtocol(v.Text); }},
    {"Facility", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) { Syslog(d).SetFacility(v.Text); }},
    {"CAFile", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) {
       Syslog(d).Tls.CAFile = std::string(v.Text);
     }},
    {"VerifyPeer", TBxOptionType::Boolean,
     [](TBxDestination& d, const TBxOptionValue& v) { Syslog(d).Tls.VerifyPeer = v.Boolean; }},
};

}  // namespace

TBxSyslogDestination::TBxSyslogDestination() = default;

TBxSyslogDestination::~TBxSyslogDestination() {
  CloseStream();
  if (FTruncated > 0) {
    AddLogEntry(TLogLevel::Info, "Syslog destination " + FHost + ":" + std::to_string(GetPort()) +
                                     ": UDP messages cut to " + std::to_string(kMaxUdpMessage) +
                                     " bytes: " + std::to_string(FTruncated));
  }
}

void TBxSyslogDestination::SetOptions(const std::string& text) {
  if (!CheckRequiredOption(
          text, "HOST", "Invalid Destination: Host option not specified in destination \"%s\"")) {
    return;
  }
  TBxDestination::SetOptions(text);
}

std::span<const TBxOptionDef> TBxSyslogDestination::OptionTable() const { return kSyslogOptions; }

uint16_t TBxSyslogDestination::GetPort() const {
  if (FPortGiven) return FPort;
  return FProtocol == TBxSyslogProtocol::Tls ? kDefaultTlsPort : kDefaultPort;
}

void TBxSyslogDestination::SetPort(uint16_t port) {
  FPort = port;
  FPortGiven = true;
}

void TBxSyslogDestination::SetProtocol(std::string_view text) {
  if (SameText(text, "udp")) {
    FProtocol = TBxSyslogProtocol::Udp;
  } else if (SameText(text, "tcp")) {
    FProtocol = TBxSyslogProtocol::Tcp;
  } else if (SameText(text, "tls")) {
    FProtocol = TBxSyslogProtocol::Tls;
  } else {
    Reject("Invalid Destination: Unknown protocol \"" + std::string(text) + "\" in destination \"" +
           GetName() + "\" (udp, tcp or tls)");
  }
}

void TBxSyslogDestination::SetFacility(std::string_view text) {
  if (const auto facility = ParseSyslogFacility(text)) {
    FFacility = *facility;
  } else {
    Reject("Invalid Destination: Unknown facility \"" + std::string(text) + "\" in destination \"" +
           GetName() + "\"");
  }
}

bool TBxSyslogDestination::StreamOpen() const {
  return (FTcp && FTcp->IsConnected()) || FTlsChannel != nullptr;
}

void TBxSyslogDestination::CloseStream() {
  if (FTcp) FTcp->Disconnect();
  if (FTlsChannel) {
    FTlsChannel->Close();
    FTlsChannel.reset();
  }
}

void TBxSyslogDestination::OpenStream() {
  if (FHost.empty()) throw EBxNetError("A host must be specified.");
  if (GetPort() == 0) throw EBxNetError("A port must be specified.");
  if (FProtocol == TBxSyslogProtocol::Tcp) {
    if (!FTcp) FTcp = std::make_unique<TBxTCPClient>();
    FTcp->SetHost(FHost);
    FTcp->SetPort(GetPort());
    FTcp->ConnectTimeout = ConnectTimeout;
    FTcp->ReadTimeout = WriteTimeout;
    FTcp->LimitUntil(FLimit);
    FTcp->Connect();
    FTcp->SetNagle(true);
    return;
  }
  if (!FTlsContext) FTlsContext = std::make_unique<TBxTlsContext>(Tls);
  if (!Tls.VerifyPeer && !FVerifyWarned) {
    FVerifyWarned = true;
    AddLogEntry(TLogLevel::Warning, "Syslog destination " + FHost + ":" +
                                        std::to_string(GetPort()) +
                                        ": VerifyPeer=False, the TLS peer is not verified");
  }
  std::unique_ptr<TBxDeadlineChannel> transport;
  try {
    transport = std::make_unique<TBxDeadlineChannel>(
        TStreamSocket::ConnectTcp(FHost, GetPort(), BxWaitTimeout(ConnectTimeout, FLimit)));
  } catch (const ESocketError& e) {
    throw BxSocketError(e);
  }
  // The handshake is part of connecting.
  transport->SetDeadline(BxWaitDeadline(ConnectTimeout, FLimit));
  FTlsChannel =
      std::make_unique<TBxTlsChannel>(*FTlsContext, std::move(transport), FHost, GetPort());
}

void TBxSyslogDestination::SendFramed(const TDispatchMessage& message) {
  const std::string text = BuildSyslogMessage(message, FFacility);
  const std::string frame = std::to_string(text.size()) + " " + text;
  const bool open = FProtocol == TBxSyslogProtocol::Tcp ? FTcp && FTcp->IsConnected()
                                                        : FTlsChannel && FTlsChannel->IsOpen();
  if (!open) {
    // Closed by the receiver (or broken) since the last message: start afresh.
    CloseStream();
    OpenStream();
  }
  if (FProtocol == TBxSyslogProtocol::Tcp) {
    FTcp->WriteBytes(frame.data(), frame.size());
  } else {
    FTlsChannel->Transport().SetDeadline(BxWaitDeadline(WriteTimeout, FLimit));
    FTlsChannel->Write(frame.data(), frame.size());
  }
}

void TBxSyslogDestination::SendDatagram(const TDispatchMessage& message) {
  if (!FUdp) FUdp = std::make_unique<TBxUDPClient>();
  FUdp->SetHost(FHost);
  FUdp->SetPort(GetPort());
  std::string text = BuildSyslogMessage(message, FFacility);
  if (text.size() > kMaxUdpMessage) {
    text = FitSyslogMessage(message, FFacility, kMaxUdpMessage);
    if (++FTruncated == 1) {
      AddLogEntry(TLogLevel::Warning, "Syslog destination " + FHost + ":" +
                                          std::to_string(GetPort()) +
                                          ": UDP messages longer than " +
                                          std::to_string(kMaxUdpMessage) + " bytes are cut");
    }
  }
  FUdp->Send(text, TBxTextEncoding::Utf8);
}

void TBxSyslogDestination::Dispatch(TDispatchMessage& message) {
  if (message.MsgType == kMsgTypeRegister || message.MsgType == kMsgTypeUnregister) return;
  // A reconnect and the write share one bound.
  FLimit = BxMessageDeadline(ConnectTimeout, WriteTimeout);
  if (FTcp) FTcp->LimitUntil(FLimit);
  try {
    if (FProtocol == TBxSyslogProtocol::Udp) {
      SendDatagram(message);
    } else {
      SendFramed(message);
    }
  } catch (const std::exception& e) {
    // Lost for this destination; the next message connects afresh.
    CloseStream();
    AddLogEntry(TLogLevel::Error, std::string("Syslog Dispatch Unsuccessful (") + e.what() + ")");
  }
}

}  // namespace bx

#include "destinations/tcp_destination.h"

#include <exception>

#include "platform/log_entry.h"

namespace bx {

namespace {

constexpr TBxOptionDef kTcpOptions[] = {
    {"Host", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) {
       static_cast<TBxTcpDestination&>(d).SetHost(std::string(v.Text));
     }},
    {"Port", TBxOptionType::Integer,
     [](TBxDestination& d, const TBxOptionValue& v) {
       // A port keeps the low 16 bits of the number written.
       static_cast<TBxTcpDestination&>(d).SetPort(static_cast<uint16_t>(v.Integer));
     }},
    {"RemoteDestinationDetails", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) {
       static_cast<TBxTcpDestination&>(d).RemoteDestinationDetails = std::string(v.Text);
     }},
};

void LogFailure(std::string_view prefix, const std::exception& e) {
  AddLogEntry(TLogLevel::Error, std::string(prefix) + " (" + e.what() + ")");
}

}  // namespace

TBxTcpDestination::TBxTcpDestination()
    : FClient(std::make_unique<TBxTCPClient>("", kDefaultPort)) {}

TBxTcpDestination::~TBxTcpDestination() {
  SendUnregistration();
  if (FClient->IsConnected()) FClient->Disconnect();
}

void TBxTcpDestination::SetOptions(const std::string& text) {
  if (!CheckRequiredOption(
          text, "HOST", "Invalid Destination: Host option not specified in destination \"%s\"")) {
    return;
  }
  TBxRemoteDestination::SetOptions(text);
}

std::span<const TBxOptionDef> TBxTcpDestination::OptionTable() const { return kTcpOptions; }

void TBxTcpDestination::SetHost(const std::string& text) {
  TBxRemoteDestination::SetHost(text);
  FClient->SetHost(text);
}

uint16_t TBxTcpDestination::GetPort() const { return FClient->GetPort(); }

void TBxTcpDestination::SetPort(uint16_t port) { FClient->SetPort(port); }

void TBxTcpDestination::OpenConnection() {
  FClient->Connect();
  FClient->SetNagle(true);
}

void TBxTcpDestination::SendRequest(const TDispatchMessage& message) {
  const int32_t size = DispatchMessageSize(message);
  FClient->WriteBufferOpen();
  try {
    FClient->WriteInt32(kUTF8RecordFormat);
    FClient->WriteInt32(message.MsgType);
    FClient->WriteInt32(size);
    FClient->WriteBytes(&message, static_cast<size_t>(size));
  } catch (...) {
    FClient->WriteBufferClose();
    throw;
  }
  FClient->WriteBufferClose();
  (void)FClient->ReadInt32();  // the far side's result is not used
}

void TBxTcpDestination::Connect() {
  TBxRemoteDestination::Connect();
  try {
    OpenConnection();
    TDispatchMessagePtr registration = BuildRegistrationRecord();
    SendRequest(*registration);
  } catch (const EBxConnClosedGracefully&) {
    // The far side closed in an orderly way; the next send reopens the connection.
  } catch (const std::exception& e) {
    LogFailure("TCP Connect Unsuccessful", e);
    Connected = false;
  }
}

void TBxTcpDestination::SendMessage(const TDispatchMessage& message, std::string_view errorPrefix) {
  try {
    if (!FClient->IsConnected()) {
      // Lost since the last message: reopen without registering again.
      FClient->Disconnect();
      OpenConnection();
    }
    SendRequest(message);
  } catch (const EBxConnClosedGracefully&) {
  } catch (const std::exception& e) {
    LogFailure(errorPrefix, e);
  }
}

void TBxTcpDestination::Dispatch(TDispatchMessage& message) {
  // The registration (first message), a reconnect and the request share one bound.
  TBxMessageLimit limit(*FClient, FClient->ConnectTimeout, FClient->ReadTimeout);
  TBxRemoteDestination::Dispatch(message);
  StampRemoteDispatchID(message);
  SendMessage(message, "TCP Dispatch Unsuccessful");
}

void TBxTcpDestination::Disconnect(const TDispatchMessage& message) {
  TBxMessageLimit limit(*FClient, FClient->ConnectTimeout, FClient->ReadTimeout);
  SendMessage(message, "TCP Disconnect Unsuccessful");
}

}  // namespace bx

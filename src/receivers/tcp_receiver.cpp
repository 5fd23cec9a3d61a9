#include "receivers/tcp_receiver.h"

#include <chrono>
#include <exception>
#include <span>

#include "core/dispatch_core.h"
#include "core/dispatch_counters.h"
#include "destinations/destination.h"
#include "messages/convert_error.h"
#include "messages/legacy_message.h"
#include "messages/message_format.h"
#include "messages/xml_message.h"
#include "net/net_errors.h"
#include "platform/message_loop.h"
#include "receivers/dispatcher_window_messages.h"

namespace bx {

namespace {
std::span<const std::byte> Bytes(std::string_view payload) {
  return std::as_bytes(std::span<const char>(payload.data(), payload.size()));
}

// A waiting connection thread looks at its own shutdown this often.
constexpr std::chrono::milliseconds kRoomWaitSlice{100};
}  // namespace

TBxTcpReceiver::TBxTcpReceiver(TBxCommandLine& commandLine)
    : TBxTcpReceiver(ReceiverPortOrDefault(CommandLineTcpPort(commandLine), kDefaultTcpPort)) {}

TBxTcpReceiver::TBxTcpReceiver(uint16_t initialPort)
    : TBxNetworkReceiver("TBxTCPServer", "TCP", initialPort) {
  FServer.SetOnExecute([this](TBxTCPConnection& connection) { HandleRequest(connection); });
}

TBxTcpReceiver::~TBxTcpReceiver() { DeactivateTransport(); }

void TBxTcpReceiver::Refuse(TBxTCPConnection& connection, const std::string& reason) {
  Log(TLogLevel::Error,
      "TCP Receiver closed the connection from " + connection.PeerText() + ": " + reason);
  connection.Disconnect();
}

bool TBxTcpReceiver::ReadLength(TBxTCPConnection& connection, int32_t& length) {
  length = connection.ReadInt32();
  if (length >= 0 && length <= kMaxTcpPayloadLength) return true;
  Refuse(connection, "payload length " + std::to_string(length) + " is outside 0.." +
                         std::to_string(kMaxTcpPayloadLength));
  return false;
}

bool TBxTcpReceiver::WaitForQueueRoom(TBxTCPConnection& connection) {
  TBxMessageQueue* queue = MessageQueue();
  if (queue == nullptr || !queue->IsFull()) return true;
  // The answers owed so far go out first: the sender sees its accepted messages confirmed.
  connection.Flush();
  while (!queue->WaitForRoom(kRoomWaitSlice)) {
    if (connection.ShutdownRequested()) {
      connection.Disconnect();
      return false;
    }
  }
  return true;
}

void TBxTcpReceiver::HandleRequest(TBxTCPConnection& connection) {
  if (!WaitForQueueRoom(connection)) return;
  try {
    const int32_t code = connection.ReadInt32();
    if (code == kLegacyMsgTypeRegister) {
      HandleLegacyRegistration(connection);
    } else if (IsBx2MessageFormat(code)) {
      HandleLegacyMessage(connection);
    } else if (code == bxmCommand) {
      const int32_t command = connection.ReadInt32();
      connection.WriteInt32(1);
      if (command == kTcpCommandReload) {
        // The reload may switch the port, which closes this connection from the main thread:
        // the answer leaves before the request is posted, so the sender always gets it.
        connection.Flush();
        if (TMessageLoop* loop = MainLoop()) loop->Post(kWmReloadSettings, 0, 0);
      }
    } else {
      HandleTransferFormat(connection, code);
    }
  } catch (const EBxMaxLineLengthExceeded&) {
    // A failed read: the connection is closed and nothing is logged, so a peer cannot light
    // the error indicator with long lines.
    connection.Disconnect();
  }
}

void TBxTcpReceiver::HandleLegacyRegistration(TBxTCPConnection& connection) {
  const std::string dispatchID = connection.ReadLn();
  const std::string destination = connection.ReadLn();
  RegisterDispatchID(dispatchID, destination, kConnectionTcp);
  Log(TLogLevel::Reg, "TCP Connection Established: Details=\"" + destination + "\"");
}

void TBxTcpReceiver::HandleLegacyMessage(TBxTCPConnection& connection) {
  Log(TLogLevel::Info, "Received Bx2MessageFormat Message via TCP");
  int32_t length = 0;
  if (!ReadLength(connection, length)) return;
  const std::string payload = connection.ReadBytes(static_cast<size_t>(length));
  TDispatchMessagePtr record;
  try {
    record = ConvertLegacyMessage(Bytes(payload));
  } catch (const EBxConvertError& e) {
    // Answering "OK" would tell the peer its message arrived.
    Refuse(connection, std::string("legacy record refused: ") + e.what());
    return;
  }
  CountReceived(kConnectionTcp);
  QueueMessage(record.get());
  connection.WriteLn("OK");
  connection.Disconnect();
}

void TBxTcpReceiver::HandleTransferFormat(TBxTCPConnection& connection, int32_t code) {
  const int32_t messageType = connection.ReadInt32();
  int32_t length = 0;
  if (!ReadLength(connection, length)) return;
  // A payload that has arrived whole is used where it lies in the input buffer.
  std::string copied;
  std::string_view payload = connection.TakeBuffered(static_cast<size_t>(length));
  if (payload.size() != static_cast<size_t>(length)) {
    copied = connection.ReadBytes(static_cast<size_t>(length));
    payload = copied;
  }
  const std::span<const std::byte> bytes = Bytes(payload);
  const bool xml = !payload.empty() && payload[0] == '<';

  // Binary records must hold what their length fields claim before anything reads them.
  const TDispatchMessage* inPlace = nullptr;
  if (code == bxmAnsiMessageFormat || (code == bxmUTF8MessageFormat && !xml)) {
    const TDispatchMessageCheck check = CheckDispatchMessage(bytes);
    if (check.Message == nullptr) {
      Refuse(connection, "record refused: " + check.Error);
      return;
    }
    inPlace = check.Message;
  }

  int32_t result = 1;
  try {
    TDispatchMessagePtr built;
    const TDispatchMessage* record = nullptr;
    switch (code) {
      case bxmAnsiMessageFormat:
        built = ConvertAnsiMessage(bytes);
        break;
      case bxmUTF8MessageFormat:
        if (xml) {
          built = ParseXmlMessage(bxmUTF8XmlMessageFormat, bytes);
        } else {
          record = inPlace;
        }
        break;
      case bxmUnicodeXmlMessageFormat:
        Log(TLogLevel::Warning, "Received bxmUnicodeXmlMessageFormat Message via TCP");
        break;
      case bxmUTF8XmlMessageFormat:
        built = ParseXmlMessage(bxmUTF8XmlMessageFormat, bytes);
        break;
      default:
        break;
    }
    if (built) record = built.get();
    if (record != nullptr) result = HandOff(*record, messageType, kConnectionTcp);
  } catch (const std::exception& e) {
    Log(TLogLevel::Error, std::string("Exception in TcpServerExecute: ") + e.what());
  }
  connection.WriteInt32(result);
}

}  // namespace bx

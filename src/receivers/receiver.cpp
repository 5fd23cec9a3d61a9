#include "receivers/receiver.h"

#include <string>

#include "core/dispatch_core.h"
#include "core/dispatch_counters.h"
#include "platform/message_loop.h"

namespace bx {

void TBxReceiver::SetActive(bool value) {
  if (value == Active) return;
  Active = value;
  if (value) {
    Start();
  } else {
    Stop();
  }
}

void TBxReceiver::Start() { Log(TLogLevel::Info, std::string(Name()) + " Receiver Started"); }

void TBxReceiver::Stop() { Log(TLogLevel::Info, std::string(Name()) + " Receiver Stopped"); }

bool TBxReceiver::QueueMessage(const TDispatchMessage* message) {
  if (message == nullptr) return true;
  TBxMessageQueue* queue = MessageQueue();
  if (queue == nullptr) {
    Log(TLogLevel::Error,
        std::string(Name()) + " Receiver dropped a message: the message queue does not exist");
    return true;
  }
  if (!WaitsForQueueRoom()) return queue->AddMessageIfRoom(*message);
  queue->AddMessage(*message);
  return true;
}

int32_t TBxReceiver::RegisterDispatchID(const std::string& dispatchID,
                                        const std::string& destinationString,
                                        uint8_t connectionMethod) {
  TBxDispatchIDList* registry = DispatchIDList();
  if (registry == nullptr) {
    Log(TLogLevel::Error,
        std::string(Name()) + " Receiver could not register a logger: the registry does not exist");
    return -1;
  }
  return registry->RegisterDispatchID(dispatchID, destinationString, connectionMethod);
}

void TBxReceiver::Log(TLogLevel level, std::string_view text) {
  if (MainLoop() != nullptr) AddLogEntry(level, text);
}

int32_t TBxReceiver::HandOff(const TDispatchMessage& message, int32_t messageType,
                             uint8_t connectionMethod) {
  if (messageType == kMsgTypeRegister) {
    TBxDispatchIDList* registry = DispatchIDList();
    if (registry == nullptr) {
      Log(TLogLevel::Error,
          std::string(Name()) +
              " Receiver could not register a logger: the registry does not exist");
      return -1;
    }
    return registry->RegisterLogger(message, connectionMethod);
  }
  if (!QueueMessage(&message)) return 0;  // a full queue refused it
  CountReceived(connectionMethod);
  return 1;
}

}  // namespace bx

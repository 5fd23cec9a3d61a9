#include "destinations/remote_destination.h"

#include <exception>

#include "platform/log_entry.h"
#include "platform/process_id.h"

namespace bx {

TBxRemoteDestination::~TBxRemoteDestination() {
  // Concrete kinds have already sent it; this only covers a kind that forgot (Disconnect of the
  // base does nothing, so at least the state is consistent).
  SendUnregistration();
}

std::string TBxRemoteDestination::GetHost() const { return FHost; }

void TBxRemoteDestination::SetHost(const std::string& text) { FHost = text; }

void TBxRemoteDestination::Connect() {
  RemoteDispatchID = NewDispatchID();
  Connected = true;
}

void TBxRemoteDestination::Disconnect(const TDispatchMessage& /*message*/) {}

void TBxRemoteDestination::Dispatch(TDispatchMessage& /*message*/) {
  if (!Connected) Connect();
}

TDispatchMessagePtr TBxRemoteDestination::BuildRegistrationRecord() const {
  TDispatchMessageFields fields;
  fields.MsgType = kMsgTypeRegister;
  fields.DispatchID = RemoteDispatchID;
  fields.AppName = kRemoteAppName;
  fields.ProcessID = CurrentProcessID();
  fields.MsgText = RemoteDestinationDetails;
  return BuildDispatchMessage(fields);
}

TDispatchMessagePtr TBxRemoteDestination::BuildUnregistrationRecord() const {
  TDispatchMessageFields fields;
  fields.MsgType = kMsgTypeUnregister;
  fields.DispatchID = RemoteDispatchID;
  fields.AppName = kRemoteAppName;
  fields.ProcessID = CurrentProcessID();
  return BuildDispatchMessage(fields);
}

void TBxRemoteDestination::StampRemoteDispatchID(TDispatchMessage& message) const {
  SetFieldText(message.DispatchID, RemoteDispatchID);
}

void TBxRemoteDestination::SendUnregistration() noexcept {
  if (!Connected) return;
  Connected = false;
  try {
    TDispatchMessagePtr record = BuildUnregistrationRecord();
    Disconnect(*record);
  } catch (const std::exception& e) {
    AddLogEntry(TLogLevel::Error, std::string("Exception occurred in Disconnect: ") + e.what());
  } catch (...) {
    AddLogEntry(TLogLevel::Error, "Exception occurred in Disconnect: unknown exception");
  }
}

}  // namespace bx

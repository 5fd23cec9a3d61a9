// Shared set-up of the remote destination tests: a temporary BREVIX_HOME, a captured main loop,
// the dispatch core with the test destination kinds (the far side's "Viewer" records), and
// helpers for records and the far side's registry.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/dispatch_core.h"
#include "core/dispatch_id_list.h"
#include "messages/dispatch_message.h"
#include "net/tcp_server.h"
#include "support/log_capture.h"
#include "support/recording_destination.h"
#include "support/temp_home.h"

namespace bx::test {

class RemoteFixture : public ::testing::Test {
 protected:
  RemoteFixture() { StartDispatchCore(); }
  ~RemoteFixture() override { ShutdownDispatchCore(); }

  static TDispatchMessagePtr Message(int32_t type, std::string_view text = "",
                                     std::string_view details = "",
                                     std::string_view id = "{ORIGINAL}") {
    TDispatchMessageFields f;
    f.MsgType = type;
    f.DispatchID = id;
    f.AppName = "App";
    f.MsgText = text;
    f.Details = details;
    f.TimeStampDate = 738000;
    return BuildDispatchMessage(f);
  }
  static std::string Bytes(const TDispatchMessage& m) {
    return std::string(reinterpret_cast<const char*>(&m),
                       static_cast<size_t>(DispatchMessageSize(m)));
  }
  std::vector<TDispatchMessagePtr> TakeQueued() {
    std::vector<TDispatchMessagePtr> out;
    while (TDispatchMessagePtr m = MessageQueue()->TakeHead()) out.push_back(std::move(m));
    return out;
  }
  // "<destination text> <connection method>" of a registered ID, "-" when not registered.
  std::string Registered(const std::string& id) {
    TBxDispatchIDList& list = *DispatchIDList();
    auto lock = list.LockForTest();
    const int index = list.Find(lock, id);
    if (index < 0) return "-";
    const auto& object = list.Objects(lock, index);
    return TBxDispatchIDList::DestinationText(*object) + " " +
           std::to_string(object->ConnectionMethod);
  }
  static uint16_t IPv4Port(const std::vector<TBxSocketBinding>& bindings) {
    for (const auto& b : bindings) {
      if (b.IPVersion == TIPVersion::V4) return b.Port;
    }
    return 0;
  }
  std::vector<std::string> Errors() { return FLog.Texts(TLogLevel::Error); }

  TTempHome FHome;
  TTestKinds FKinds;
  TLogCapture FLog;
};

}  // namespace bx::test

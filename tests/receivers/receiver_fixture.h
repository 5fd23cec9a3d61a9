// Shared set-up of the receiver tests: a temporary BREVIX_HOME, the test destination kinds
// ("Viewer" and "File" record what they get), a captured main loop and the dispatch core, plus
// helpers that read what reached the queue and the registry.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/dispatch_core.h"
#include "core/dispatch_id_list.h"
#include "messages/dispatch_message.h"
#include "support/log_capture.h"
#include "support/recording_destination.h"
#include "support/temp_home.h"

namespace bx::test {

class ReceiverFixture : public ::testing::Test {
 protected:
  ReceiverFixture() { StartDispatchCore(); }
  ~ReceiverFixture() override { ShutdownDispatchCore(); }

  // Takes every queued message, oldest first.
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
  // A record of `type` with the given texts, as its bytes.
  static std::string RecordBytes(int32_t type, std::string_view id = "{ID}",
                                 std::string_view text = "", std::string_view details = "") {
    TDispatchMessageFields f;
    f.MsgType = type;
    f.DispatchID = id;
    f.MsgText = text;
    f.Details = details;
    f.TimeStampDate = 738000;
    const TDispatchMessagePtr m = BuildDispatchMessage(f);
    return std::string(reinterpret_cast<const char*>(m.get()),
                       static_cast<size_t>(DispatchMessageSize(*m)));
  }

  TTempHome FHome;
  TTestKinds FKinds;
  TLogCapture FLog;
};

inline std::span<const std::byte> AsBytes(const std::string& s) {
  return std::as_bytes(std::span<const char>(s.data(), s.size()));
}

}  // namespace bx::test

#include "receivers/copy_data_receiver.h"

#include <string>

#include "destinations/destination.h"
#include "messages/convert_error.h"
#include "messages/legacy_message.h"
#include "messages/message_format.h"
#include "messages/xml_message.h"

namespace bx {

TBxCopyDataReceiver::TBxCopyDataReceiver() { SetActive(true); }

int32_t TBxCopyDataReceiver::Refuse(std::string_view reason) {
  Log(TLogLevel::Error, "CopyData Receiver refused a message: " + std::string(reason));
  return 0;
}

int32_t TBxCopyDataReceiver::HandleCopyData(uint64_t dwData, std::span<const std::byte> data) {
  TDispatchMessagePtr built;                // a record made by a conversion
  const TDispatchMessage* record = nullptr;  // the record to hand off, built or in place
  switch (dwData) {
    case static_cast<uint32_t>(bxmAnsiMessageFormat): {
      const TDispatchMessageCheck check = CheckDispatchMessage(data);
      if (check.Message == nullptr) return Refuse(check.Error);
      try {
        built = ConvertAnsiMessage(data);
      } catch (const EBxConvertError& e) {
        return Refuse(e.what());
      }
      break;
    }
    case static_cast<uint32_t>(bxmUTF8MessageFormat): {
      if (!data.empty() && data[0] == std::byte{'<'}) {
        built = ParseXmlMessage(bxmUTF8XmlMessageFormat, data);
        break;
      }
      const TDispatchMessageCheck check = CheckDispatchMessage(data);
      if (check.Message == nullptr) return Refuse(check.Error);
      record = check.Message;
      break;
    }
    case static_cast<uint32_t>(bxmUnicodeXmlMessageFormat):
      built = ParseXmlMessage(bxmUnicodeXmlMessageFormat, data);
      break;
    case static_cast<uint32_t>(bxmUTF8XmlMessageFormat):
      Log(TLogLevel::Warning, "Received bxmUTF8XmlMessageFormat Message via CopyData");
      return 1;
    default:
      Log(TLogLevel::Info, "Received Bx2MessageFormat Message via CopyData");
      try {
        built = ConvertLegacyMessage(data);
      } catch (const EBxConvertError& e) {
        return Refuse(e.what());
      }
      break;
  }
  if (built) record = built.get();
  if (record == nullptr) return 1;
  return HandOff(*record, record->MsgType, kConnectionCopyData);
}

}  // namespace bx

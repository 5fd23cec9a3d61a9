// TBxCopyDataReceiver: messages from programs on the same machine, sent as WM_COPYDATA to the
// dispatcher's window endpoint. The main window passes each one to HandleCopyData and returns
// its result to the sender.
//
// Formats (by dwData): 0x7F000000 an ANSI record; 0x7F000001 a record used in place, or 8-bit
// XML when the first byte is "<"; 0x7F000002 UTF-16 XML; 0x7F000003 refused with a Warning
// (not accepted by window message); any other value a legacy record (with an Info entry).
// A registration (record type 91) goes to the registry and its result is returned (1, 0 or
// -1); anything else is queued and 1 returned.
//
// The byte span (cbData bytes) is the only bound: nothing outside it is read. A binary record
// shorter than its format or than the lengths it claims is refused with result 0 and one Error
// entry "CopyData Receiver refused a message: <reason>"; nothing is queued then.
//
// Ownership: the main window owns the receiver; the data is borrowed for the call only.
// Threads: the main thread only (window messages).
// Failure: an XML buffer whose time stamp is invalid raises EBxConvertError ("Invalid argument
// to date encode" ...) out of HandleCopyData with nothing queued; the main window's handling of
// exceptions in window messages reports it. std::bad_alloc passes through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "receivers/receiver.h"

namespace bx {

class TBxCopyDataReceiver : public TBxReceiver {
 public:
  // Active from construction: the "Default Receiver Started" entry is logged here.
  TBxCopyDataReceiver();

  int32_t HandleCopyData(uint64_t dwData, std::span<const std::byte> data);

  static std::string_view ReceiverName() { return "Default"; }
  static std::string_view DisplayName() { return "CopyData"; }
  static std::string_view ReceiverCode() { return "COPYDATA"; }
  std::string_view Name() const override { return ReceiverName(); }

 private:
  // Logs why a buffer was refused; the result for the sender (0).
  int32_t Refuse(std::string_view reason);
};

}  // namespace bx

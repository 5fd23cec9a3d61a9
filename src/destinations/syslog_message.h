// The RFC 5424 form of a message record, as the Syslog destination sends it.
//
//   <PRI>1 TIMESTAMP HOSTNAME APP-NAME PROCID MSGID [brevix@32473 ...] BOM MSG
//
// PRI = facility * 8 + severity. The severity comes from the message type:
//
//   type                                                         severity
//   2 Error, 37 Exceptions, 24 Level 1 - Red                     3 err
//   1 Warning, 25 Level 2 - Orange                               4 warning
//   23 Reminders, 26 Level 3 - Yellow                            5 notice
//   0 Info, 8 Notes, 45 Custom Messages, 27 to 30 (Levels 4-7)   6 info
//   3 Check Points, 9 Enter Methods, 10 Exit Methods             7 debug
//   the data dumps: 4 to 6, 16 to 22, 31 to 36, 38, 41, 44       7 debug
//   every other type (7, 11 to 15, 39, 40, 42, 43, 46, 47, >47)  6 info
//
// TIMESTAMP: the record's date and time (the sender's local time, to the millisecond) with the
// offset that TimeBias gives (UTC = local + bias, so a bias of -60 is "+01:00"); "-" when the
// date, time or bias is outside what the RFC can express. HOSTNAME, APP-NAME and PROCID:
// ComputerName, AppName and ProcessID, each character outside printable ASCII (and each byte
// of broken UTF-8) written as "_", cut to the RFC's lengths; "-" when empty. MSGID: the
// message type in decimal.
//
// STRUCTURED-DATA: one element under the private-use SD-ID "brevix@32473" (32473 is the
// enterprise number set aside for examples and private use) with the parameters category,
// categoryColor and categoryFontColor (only with a category), thread, typeName (each only
// when not empty) and dispatchID. Colours are "#RRGGBB", a system colour "0xFF0000NN". Values
// are UTF-8 with '"', '\' and ']' escaped by a backslash.
//
// MSG: the UTF-8 byte-order mark, the text, and when there are details a line feed and the
// details. Text that is not valid UTF-8 has each broken byte replaced by U+FFFD.
//
// Threads: any; no state. Failure: std::bad_alloc only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "messages/dispatch_message.h"

namespace bx {

inline constexpr const char* kSyslogSDID = "brevix@32473";
inline constexpr const char* kSyslogBOM = "\xEF\xBB\xBF";
inline constexpr uint8_t kSyslogDefaultFacility = 1;  // user

// RFC 5424 severity (0 emerg .. 7 debug) of a message type, by the table above.
uint8_t SyslogSeverity(int32_t msgType);

// A facility by name (kern, user, mail, daemon, auth, syslog, lpr, news, uucp, cron, authpriv,
// ftp, ntp, security, console, solaris-cron, local0 to local7; any case) or by number 0 to 23.
std::optional<uint8_t> ParseSyslogFacility(std::string_view text);

// "2026-12-09T07:32:03.123+01:00", or "-" (see above).
std::string SyslogTimestamp(int32_t dayNumber, int32_t millisOfDay, int32_t timeBias);

// The whole message, without any transport framing.
std::string BuildSyslogMessage(const TDispatchMessage& message, uint8_t facility);

// The largest prefix of `text` no longer than `maxBytes` that does not end inside a UTF-8
// sequence (a broken byte counts as a character of its own).
size_t Utf8CutLength(std::string_view text, size_t maxBytes);

// The message cut to at most `maxBytes`: MSG is shortened at a character boundary; when the
// header and STRUCTURED-DATA alone do not fit, STRUCTURED-DATA becomes "-". Unchanged when it
// already fits.
std::string FitSyslogMessage(const TDispatchMessage& message, uint8_t facility, size_t maxBytes);

}  // namespace bx

// TBxDestination: the base of every place a message is delivered to (log file, live viewer,
// remote dispatchers) and of the dispatch list that holds several of them.
//
// A destination is made by its kind's factory (TBxDestinationClass, see known_destinations.h),
// named with SetName (the kind name as written in the destination string), configured once with
// SetOptions (the text between the item's square brackets), and then used by Dispatch on the
// dispatch thread only. A destination never throws on bad options: it sets Invalid and writes
// one activity-log line per reason, each beginning "Invalid Destination: ".
//
// Options: each concrete class publishes a table of its options (name, type, setter). Names
// match without regard to case; integer, text and Boolean values are converted here, and each
// setter runs at the moment its item is applied, in the order the items are written.
//
// Ownership: the registration that holds a destination owns it; a destination never owns the
// message given to Dispatch (it may write into it).
// Threads: SetName/SetOptions on the thread that builds the registration, before the
// destination is shared; Dispatch on the dispatch thread only. GetName/GetOptions may be called
// from any thread once configured (their texts never change afterwards). A destination holds
// no lock of its own; the registry keeps creation, delivery and destruction apart.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "messages/dispatch_message.h"

namespace bx {

// How the registration that owns a destination arrived. Stored on the destination by the
// registry; the file keeps the number, log lines show the letter.
inline constexpr uint8_t kConnectionCopyData = 0;  // "C": window message
inline constexpr uint8_t kConnectionTcp = 1;       // "T"
inline constexpr uint8_t kConnectionUdp = 2;       // "U"

// "C", "T" or "U"; any other value (a hand-edited file) as its decimal number.
std::string ConnectionMethodLetter(uint8_t method);

class TBxDestination;

enum class TBxOptionType : uint8_t { Integer, Text, Boolean };

// The converted value handed to an option's setter; only the member of the option's type is
// meaningful.
struct TBxOptionValue {
  int32_t Integer = 0;
  bool Boolean = false;
  std::string_view Text;
};

// One row of a class's option table. `Set` receives the destination the table belongs to.
struct TBxOptionDef {
  std::string_view Name;
  TBxOptionType Type;
  void (*Set)(TBxDestination& destination, const TBxOptionValue& value);
};

class TBxDestination {
 public:
  TBxDestination() = default;
  virtual ~TBxDestination() = default;
  TBxDestination(const TBxDestination&) = delete;
  TBxDestination& operator=(const TBxDestination&) = delete;

  // The kind name as written in the destination string (a dispatch list: its whole string).
  virtual std::string GetName() const;
  virtual void SetName(const std::string& text);

  // The option text as last given to SetOptions.
  virtual std::string GetOptions() const;
  // Parses the option text into the class's options. Never throws for bad text: sets Invalid
  // and logs. Kinds with a required option override it to check for that option's word first.
  virtual void SetOptions(const std::string& text);

  // The kind this class implements ("File", "Viewer", "Tcp", "Udp", "Http", "DispatchList").
  // Each concrete class also provides `static std::string_view ClassKindName()`.
  virtual std::string_view KindName() const = 0;

  // Delivers one message. The base does nothing. May write into the message (remote kinds
  // relabel its DispatchID); destinations later in the same list see the change.
  virtual void Dispatch(TDispatchMessage& message);

  // The options this class accepts; the base has none.
  virtual std::span<const TBxOptionDef> OptionTable() const;

  // Set when the option text, or a value derived from it, was rejected. Written while the
  // destination is configured, read by whoever built it.
  bool Invalid = false;
  // How the owning registration arrived (kConnection...). Set by the registry under its lock.
  uint8_t ConnectionMethod = kConnectionCopyData;

 protected:
  // For the kinds with a required option: false (and Invalid, with `missingFormat` logged
  // with GetName) when `text` is empty or its upper-case form does not contain `word`.
  // `missingFormat` holds one "%s".
  bool CheckRequiredOption(const std::string& text, std::string_view word,
                           std::string_view missingFormat);

  // Logs "Invalid Destination: ..." lines at level Error and sets Invalid.
  void Reject(const std::string& text);

 private:
  std::string FName;
  std::string FOptions;
};

// Splits an option text into its items at ";" outside square brackets (the first character of
// each item never counts as a bracket). False when a "[" is never closed: the text ends inside
// brackets and no item boundary can be found. Exposed for tests and fuzzing.
bool SplitOptionItems(std::string_view text, std::vector<std::string>& items);

// Reads a signed 32-bit integer option value: optional blanks and sign, then decimal digits, or
// hexadecimal digits after "$" or "0x". Anything else (also an out-of-range number) gives 0.
int32_t OptionInteger(std::string_view value);

}  // namespace bx

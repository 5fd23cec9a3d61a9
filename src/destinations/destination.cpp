#include "destinations/destination.h"

#include <cctype>
#include <limits>

#include "config/text_case.h"
#include "platform/log_entry.h"

namespace bx {

namespace {

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string ConnectionMethodLetter(uint8_t method) {
  switch (method) {
    case kConnectionCopyData:
      return "C";
    case kConnectionTcp:
      return "T";
    case kConnectionUdp:
      return "U";
    default:
      return std::to_string(method);
  }
}

bool SplitOptionItems(std::string_view text, std::vector<std::string>& items) {
  items.clear();
  // The text is scanned as if one ";" were appended, so the last item always ends.
  const size_t end = text.size() + 1;
  auto at = [&](size_t i) { return i < text.size() ? text[i] : ';'; };
  size_t start = 0;
  while (start < end) {
    int depth = 0;
    size_t i = start;
    for (;; ++i) {
      if (i == end) return false;  // still inside brackets at the end of the text
      const char c = at(i);
      if (i > start) {
        if (c == '[') ++depth;
        if (c == ']') --depth;
      }
      if (c == ';' && depth <= 0) break;
    }
    items.emplace_back(text.substr(start, std::min(i, text.size()) - start));
    start = i + 1;
  }
  return true;
}

int32_t OptionInteger(std::string_view value) {
  size_t i = 0;
  while (i < value.size() && value[i] == ' ') ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
    negative = value[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < value.size() && value[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < value.size() && value[i] == '0' &&
             (value[i + 1] == 'x' || value[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == value.size()) return 0;
  uint64_t magnitude = 0;
  for (; i < value.size(); ++i) {
    const int digit =
        hex ? HexDigit(value[i])
            : (std::isdigit(static_cast<unsigned char>(value[i])) ? value[i] - '0' : -1);
    if (digit < 0) return 0;
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
    if (magnitude > 0xFFFFFFFFull) return 0;
  }
  if (hex) {
    // Eight hexadecimal digits cover the whole 32-bit pattern ($FFFFFFFF is -1).
    const auto bits = static_cast<uint32_t>(magnitude);
    const auto result = static_cast<int32_t>(bits);
    return negative ? static_cast<int32_t>(0u - bits) : result;
  }
  if (negative) {
    if (magnitude > 0x80000000ull) return 0;
    return static_cast<int32_t>(-static_cast<int64_t>(magnitude));
  }
  if (magnitude > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return 0;
  return static_cast<int32_t>(magnitude);
}

std::string TBxDestination::GetName() const { return FName; }

void TBxDestination::SetName(const std::string& text) { FName = text; }

std::string TBxDestination::GetOptions() const { return FOptions; }

void TBxDestination::Dispatch(TDispatchMessage& /*message*/) {}

std::span<const TBxOptionDef> TBxDestination::OptionTable() const { return {}; }

void TBxDestination::Reject(const std::string& text) {
  Invalid = true;
  AddLogEntry(TLogLevel::Error, text);
}

bool TBxDestination::CheckRequiredOption(const std::string& text, std::string_view word,
                                         std::string_view missingFormat) {
  if (!text.empty() && AsciiUpper(text).find(word) != std::string::npos) return true;
  std::string line(missingFormat);
  if (const size_t at = line.find("%s"); at != std::string::npos) line.replace(at, 2, GetName());
  Reject(line);
  return false;
}

namespace {

// One item of the option text: "Name=Value", or a whole without "=" (no name, no value).
struct TOptionItem {
  std::string_view Whole;
  std::string_view Name;
  std::string_view Value;
};

// The items as views into `items`, which must outlive them.
std::vector<TOptionItem> NameItems(const std::vector<std::string>& items) {
  std::vector<TOptionItem> parsed;
  parsed.reserve(items.size());
  for (const std::string& item : items) {
    const std::string_view whole(item);
    const size_t eq = whole.find('=');
    if (eq == std::string_view::npos) {
      parsed.push_back({whole, {}, {}});
    } else {
      parsed.push_back({whole, whole.substr(0, eq), whole.substr(eq + 1)});
    }
  }
  return parsed;
}

// The value of the first item named `item.Name` (names compared without case): it decides the
// value for every item of that name.
std::string_view DecidingValue(const std::vector<TOptionItem>& parsed, const TOptionItem& item) {
  for (const TOptionItem& earlier : parsed) {
    if (SameText(earlier.Name, item.Name)) return earlier.Value;
  }
  return item.Value;
}

const TBxOptionDef* FindOption(std::span<const TBxOptionDef> table, std::string_view name) {
  if (name.empty()) return nullptr;
  for (const TBxOptionDef& def : table) {
    if (SameText(def.Name, name)) return &def;
  }
  return nullptr;
}

// The value as the option's type; false for a boolean that is neither "True" nor "False".
bool ConvertOption(const TBxOptionDef& option, std::string_view value, TBxOptionValue& converted) {
  switch (option.Type) {
    case TBxOptionType::Integer:
      converted.Integer = OptionInteger(value);
      return true;
    case TBxOptionType::Text:
      converted.Text = value;
      return true;
    case TBxOptionType::Boolean:
      if (SameText(value, "True")) {
        converted.Boolean = true;
      } else if (SameText(value, "False")) {
        converted.Boolean = false;
      } else {
        return false;
      }
      return true;
  }
  return true;
}

}  // namespace

void TBxDestination::SetOptions(const std::string& text) {
  if (text == FOptions) return;
  std::vector<std::string> items;
  if (!SplitOptionItems(text, items)) {
    Reject("Invalid Destination: Unclosed \"[\" in options \"" + text + "\" of destination \"" +
           GetName() + "\"");
    return;
  }
  FOptions = text;
  const std::vector<TOptionItem> parsed = NameItems(items);
  const std::span<const TBxOptionDef> table = OptionTable();
  for (const TOptionItem& item : parsed) {
    const TBxOptionDef* option = FindOption(table, item.Name);
    TBxOptionValue converted;
    if (option == nullptr || !ConvertOption(*option, DecidingValue(parsed, item), converted)) {
      Reject("Invalid Destination: Unknown option \"" + std::string(item.Whole) +
             "\" in destination \"" + GetName() + "\"");
      continue;
    }
    option->Set(*this, converted);
  }
}

}  // namespace bx

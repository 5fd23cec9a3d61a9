#include "messages/kv_custom_ml_parser.h"

#include <cinttypes>
#include <cstdio>

namespace bx {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

}  // namespace

bool ParseDecimalInt32(std::u16string_view text, int32_t& value, bool allowBlanks) {
  if (allowBlanks) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  }
  bool negative = false;
  if (!text.empty() && (text.front() == u'-' || text.front() == u'+')) {
    negative = text.front() == u'-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  int64_t magnitude = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    magnitude = magnitude * 10 + (c - u'0');
    if (magnitude > INT64_C(2147483648)) return false;
  }
  const int64_t result = negative ? -magnitude : magnitude;
  if (result > INT32_MAX || result < INT32_MIN) return false;
  value = static_cast<int32_t>(result);
  return true;
}

TKvCustomMLParser::TKvCustomMLParser() = default;
TKvCustomMLParser::~TKvCustomMLParser() = default;

void TKvCustomMLParser::Parse(std::u16string_view text) {
  if (FParsing) return;
  FParsing = true;
  struct TReset {
    bool& Flag;
    ~TReset() { Flag = false; }
  } reset{FParsing};
  FStack.Clear();
  FRoot.ClearChildren();
  FWarnings.clear();
  FOmittedWarnings = 0;
  DoParse(text);
  FStack.Clear();
}

std::u16string TKvCustomMLParser::ElementText(std::u16string_view name) const {
  const TKvNode* node = FindNode(name);
  return node == nullptr ? std::u16string() : node->NodeText();
}

int32_t TKvCustomMLParser::ElementInteger(std::u16string_view name, int32_t defaultValue) const {
  int32_t value = 0;
  return ParseDecimalInt32(ElementText(name), value, true) ? value : defaultValue;
}

void TKvCustomMLParser::AddWarning(const std::string& text, int64_t col, int64_t row) {
  if (FWarnings.size() < kMaxListedWarnings) {
    char position[64];
    std::snprintf(position, sizeof position, "  Col: %05" PRId64 "  Row: %05" PRId64, col, row);
    FWarnings.push_back(text + position);
  } else {
    ++FOmittedWarnings;
  }
  if (OnError) OnError(col, row, text);
}

}  // namespace bx

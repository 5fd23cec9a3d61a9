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
  FRefusal.clear();
  FNodes = 0;
  FTreeBytes = 0;
  FTreeBudget = Limits.TreeBaseBytes + kTreeBytesPerCharacter * text.size();
  if (text.size() > Limits.MaxTextLength) {
    Refuse("more than " + std::to_string(Limits.MaxTextLength) + " characters");
    return;
  }
  DoParse(text);
  FStack.Clear();
  if (Refused()) FRoot.ClearChildren();
}

void TKvCustomMLParser::Refuse(std::string reason) {
  if (FRefusal.empty()) FRefusal = std::move(reason);
  FStack.Clear();
}

size_t TKvCustomMLParser::AffordablePieces(size_t characters) const {
  const size_t cost = kNodeCost + 4 * characters;
  if (FTreeBytes + cost > FTreeBudget) return 0;
  return (FTreeBudget - FTreeBytes - cost) / kPieceCost;
}

bool TKvCustomMLParser::AdmitNode(size_t characters, size_t pieces) {
  if (Refused()) return false;
  if (FNodes >= Limits.MaxNodes) {
    Refuse("more than " + std::to_string(Limits.MaxNodes) + " nodes");
    return false;
  }
  const size_t cost = kNodeCost + 4 * characters + kPieceCost * pieces;
  if (FTreeBytes + cost > FTreeBudget) {
    Refuse("more than " + std::to_string(FTreeBudget) + " bytes of document tree");
    return false;
  }
  ++FNodes;
  FTreeBytes += cost;
  return true;
}

bool TKvCustomMLParser::AdmitDepth(size_t openElements) {
  if (Refused()) return false;
  if (openElements >= Limits.MaxDepth) {
    Refuse("elements nested more than " + std::to_string(Limits.MaxDepth) + " deep");
    return false;
  }
  return true;
}

std::u16string TKvCustomMLParser::ElementText(std::u16string_view name) const {
  const TKvNode* node = FindNode(name);
  return node == nullptr ? std::u16string() : node->NodeText();
}

int32_t TKvCustomMLParser::ElementInteger(std::u16string_view name, int32_t defaultValue) const {
  int32_t value = 0;
  // The text as it stands: blanks around the digits make it no decimal integer.
  return ParseDecimalInt32(ElementText(name), value, false) ? value : defaultValue;
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

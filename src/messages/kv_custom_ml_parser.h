// TKvCustomMLParser: what every markup parser of the component library shares: the document
// tree under a root node, the list of warnings of the last parse, the stack of open elements,
// the error event, and the lookups by element name.
//
// Parse(text) clears the tree and the warnings and hands the text to DoParse. A Parse called
// while one is running on the same object (from the error event) returns at once.
// Warnings keep the first kMaxListedWarnings texts; later ones are only counted
// (OmittedWarnings), so that hostile input cannot turn every byte into a stored string. The
// error event is raised for every warning, listed or not.
//
// Ownership: the parser owns the tree; nodes handed out stay valid until the next Parse or
// the parser's destruction. Threads: one thread at a time. Failure: std::bad_alloc only;
// malformed text yields warnings, never an exception.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "messages/kv_node.h"
#include "messages/kv_parser_stack.h"

namespace bx {

class TKvCustomMLParser {
 public:
  // Column and row of the character at fault, and the warning text without its position.
  using TErrorEvent = std::function<void(int64_t col, int64_t row, const std::string& text)>;

  static constexpr size_t kMaxListedWarnings = 1000;

  TKvCustomMLParser();
  virtual ~TKvCustomMLParser();
  TKvCustomMLParser(const TKvCustomMLParser&) = delete;
  TKvCustomMLParser& operator=(const TKvCustomMLParser&) = delete;

  void Parse(std::u16string_view text);

  TKvNode& Root() { return FRoot; }
  const TKvNode& Root() const { return FRoot; }
  // Warning texts of the last parse, each ending in its "Col: %05d  Row: %05d" position.
  const std::vector<std::string>& Warnings() const { return FWarnings; }
  // Warnings of the last parse beyond the first kMaxListedWarnings.
  size_t OmittedWarnings() const { return FOmittedWarnings; }

  // Searches below the root (see TKvNode::FindNode).
  TKvNode* FindNode(std::u16string_view name) const { return FRoot.FindNode(name); }
  // NodeText of the first element named `name`, empty when there is none.
  std::u16string ElementText(std::u16string_view name) const;
  // ElementText as a decimal 32-bit integer (optional sign, blanks around it allowed), or
  // `defaultValue` when it is not one or does not fit.
  int32_t ElementInteger(std::u16string_view name, int32_t defaultValue) const;

  TErrorEvent OnError;

 protected:
  virtual void DoParse(std::u16string_view text) = 0;

  // Records a warning "<text>  Col: %05d  Row: %05d" and raises OnError.
  void AddWarning(const std::string& text, int64_t col, int64_t row);

  TKvNode FRoot{TKvNodeKind::None, {}};
  TKvParserStack FStack;

 private:
  bool FParsing = false;
  std::vector<std::string> FWarnings;
  size_t FOmittedWarnings = 0;
};

// `text` as a decimal 32-bit integer: blanks (space, tab, CR, LF) around it, an optional sign,
// then digits only. False when it is not one or does not fit.
bool ParseDecimalInt32(std::u16string_view text, int32_t& value, bool allowBlanks);

}  // namespace bx

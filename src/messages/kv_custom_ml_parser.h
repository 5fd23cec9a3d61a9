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
// Bounds: one document may build at most Limits.MaxNodes nodes, nest elements at most
// Limits.MaxDepth deep, and hold at most Limits.MaxTextLength characters. The tree's memory
// is counted as it grows (kNodeCost bytes a node, kPieceCost bytes an attribute, and four
// bytes per character of names, texts and attributes: the string and the copies that the
// stack and the lookups make) and may not exceed Limits.TreeBaseBytes plus kTreeBytesPerCharacter
// bytes per character of the text. The first bound crossed ends the parse: the tree is freed
// at once and Refusal() says why; the warnings found so far are kept. Memory multiple: while
// parsing a text of T characters the parser holds the tree (at most 4 MiB + 4 T bytes) and
// its pending run (at most 4 T bytes, a string that doubles as it grows); with the UTF-16
// text itself (2 T bytes) a parse never needs more than 10 T + 4 MiB bytes, however hostile
// the document. ParseXmlMessage states the figure for a whole conversion.
//
// Ownership: the parser owns the tree; nodes handed out stay valid until the next Parse or
// the parser's destruction. Threads: one thread at a time. Failure: std::bad_alloc only;
// malformed text yields warnings, never an exception; a document beyond the bounds yields an
// empty tree and a Refusal() text.
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

struct TKvParseLimits {
  size_t MaxNodes = 65536;
  size_t MaxDepth = 256;
  size_t MaxTextLength = size_t{32} * 1024 * 1024;
  size_t TreeBaseBytes = size_t{4} * 1024 * 1024;  // the tree's allowance besides the text's
};

class TKvCustomMLParser {
 public:
  // Column and row of the character at fault, and the warning text without its position.
  using TErrorEvent = std::function<void(int64_t col, int64_t row, const std::string& text)>;

  static constexpr size_t kMaxListedWarnings = 1000;
  // What one node is counted as: the node object with its vectors, the heap block's header,
  // the parent's pointer to it and, for an open element, its entry on the stack.
  static constexpr size_t kNodeCost = 256;
  // What one attribute is counted as besides its characters: the string object in the
  // node's vector (which may have doubled) and the heap block's header.
  static constexpr size_t kPieceCost = 80;
  static constexpr size_t kTreeBytesPerCharacter = 4;

  TKvParseLimits Limits;

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
  // Why the last parse was refused ("more than 65536 nodes"), empty when it was not.
  const std::string& Refusal() const { return FRefusal; }
  bool Refused() const { return !FRefusal.empty(); }

  // Searches below the root (see TKvNode::FindNode).
  TKvNode* FindNode(std::u16string_view name) const { return FRoot.FindNode(name); }
  // NodeText of the first element named `name`, empty when there is none.
  std::u16string ElementText(std::u16string_view name) const;
  // ElementText as a decimal 32-bit integer (optional sign, then digits only; blanks around
  // it make it not one), or `defaultValue` when it is not one or does not fit.
  int32_t ElementInteger(std::u16string_view name, int32_t defaultValue) const;

  TErrorEvent OnError;

 protected:
  virtual void DoParse(std::u16string_view text) = 0;

  // Records a warning "<text>  Col: %05d  Row: %05d" and raises OnError.
  void AddWarning(const std::string& text, int64_t col, int64_t row);
  // Counts one more node of `characters` characters (name, text and attributes) and `pieces`
  // attributes against the bounds; false (and the parse refused) when it would cross one.
  // The caller then adds nothing and DoParse returns.
  bool AdmitNode(size_t characters, size_t pieces = 0);
  // How many attributes a node of `characters` characters could still have within the
  // bounds, so that a tag's tokens can be capped before they are built.
  size_t AffordablePieces(size_t characters) const;
  // False (and the parse refused) when one more element cannot be opened.
  bool AdmitDepth(size_t openElements);

  TKvNode FRoot{TKvNodeKind::None, {}};
  TKvParserStack FStack;

 private:
  void Refuse(std::string reason);

  bool FParsing = false;
  std::vector<std::string> FWarnings;
  size_t FOmittedWarnings = 0;
  std::string FRefusal;
  size_t FNodes = 0;
  size_t FTreeBytes = 0;
  size_t FTreeBudget = 0;
};

// `text` as a decimal 32-bit integer: blanks (space, tab, CR, LF) around it, an optional sign,
// then digits only. False when it is not one or does not fit.
bool ParseDecimalInt32(std::u16string_view text, int32_t& value, bool allowBlanks);

}  // namespace bx

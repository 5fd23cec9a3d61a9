// TKvXmlParser: the component library's forgiving XML reader. One pass over UTF-16 text with a
// small state machine builds a tree of TKvNode under the root and lists what looked wrong as
// warnings ("Unexpected "<" encountered  Col: 00012  Row: 00003"). It never stops early and
// never throws on malformed text; entity references are left as written, namespaces and
// encodings are not interpreted. Elements still open at the end are not reported.
//
// Positions: row and column start at 1; after each character the row advances (and the
// column returns to 1) when the character is LF or the column is already above 256, else the
// column advances. A warning carries the position of the character that caused it.
//
// Ownership, threads, failure: as TKvCustomMLParser.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "messages/kv_custom_ml_parser.h"

namespace bx {

class TKvXmlParser final : public TKvCustomMLParser {
 protected:
  void DoParse(std::u16string_view text) override;

 private:
  struct TScan;  // the scan's state, defined beside DoParse

  // One step of DoParse for each kind of character that can change the state; each returns
  // whether the character joins the pending run.
  bool OpenAngle(TScan& scan);
  bool CloseAngle(TScan& scan);
  // "!", "?" or "/" at the start of `rest`.
  bool MarkupStart(TScan& scan, std::u16string_view rest);
  // "-", "[" and "]" inside a declaration; the character always joins the run.
  void DeclarationPart(TScan& scan, char16_t c);

  TKvNode& AppendNode(std::unique_ptr<TKvNode> node);
  // Tokenizes a tag or instruction into `tokens` and counts its node; false when refused.
  bool AdmitTag(std::u16string_view run, std::vector<std::u16string>& tokens);
  void ElementComplete(std::u16string_view run, bool emptyElement);
  void EndTagComplete(std::u16string_view run, int64_t col, int64_t row);
  void DeclarationComplete(std::u16string_view run);
  void CommentComplete(std::u16string_view run);
  void InstructionComplete(std::u16string_view run);
};

// Splits the inside of a tag into tokens: tabs, CRs and spaces separate tokens outside
// quotes; double or single quotes group text and are removed; an LF outside quotes is removed
// without separating; blanks right after an "=" outside quotes are skipped.
std::vector<std::u16string> TokenizeTag(std::u16string_view run);
// The same into `tokens`, stopping with false before a token beyond the first `maxTokens`.
bool TokenizeTag(std::u16string_view run, size_t maxTokens, std::vector<std::u16string>& tokens);

}  // namespace bx

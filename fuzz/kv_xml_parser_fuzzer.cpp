// The XML parser on arbitrary text. The first byte chooses how the rest becomes text: even,
// as UTF-16 little-endian code units (any unit value, zero included); odd, as UTF-8 (invalid
// bytes become U+FFFD). The lookups then walk whatever tree came out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "messages/kv_xml_parser.h"
#include "platform/unicode_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::u16string text;
  if ((data[0] & 1) == 0) {
    for (size_t i = 1; i + 1 < size; i += 2) {
      text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    }
  } else {
    text = bx::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
  }
  bx::TKvXmlParser parser;
  size_t events = 0;
  parser.OnError = [&](int64_t col, int64_t row, const std::string&) {
    if (col < 1 || col > 257 || row < 1) std::abort();
    ++events;
    parser.Parse(u"<ignored/>");  // must return at once
  };
  parser.Parse(text);
  if (events != parser.Warnings().size() + parser.OmittedWarnings()) std::abort();
  if (parser.Warnings().size() > bx::TKvCustomMLParser::kMaxListedWarnings) std::abort();
  for (const char16_t* name : {u"MsgType", u"details", u"PCDATA", u"!", u""}) {
    const bx::TKvNode* node = parser.FindNode(name);
    if (node != nullptr && !bx::SameNameIgnoringCase(node->Name, name)) std::abort();
    (void)parser.ElementText(name);
    (void)parser.ElementInteger(name, 0);
  }
  (void)parser.Root().NodeText();
  return 0;
}

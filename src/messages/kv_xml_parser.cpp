#include "messages/kv_xml_parser.h"

#include <cstdint>
#include <memory>

#include "platform/unicode_text.h"

namespace bx {

namespace {

enum class TState { Text, Tag, EndTag, Comment, Declaration, DeclComment, Bracket, Instruction };

bool IsSeparator(char16_t c) { return c == u'\t' || c == u'\r' || c == u' '; }
bool IsBlank(char16_t c) { return IsSeparator(c) || c == u'\n'; }

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && s.front() <= u' ') s.remove_prefix(1);
  while (!s.empty() && s.back() <= u' ') s.remove_suffix(1);
  return s;
}

constexpr std::u16string_view kCDataStart = u"[CDATA[";

}  // namespace

std::vector<std::u16string> TokenizeTag(std::u16string_view run) {
  std::vector<std::u16string> tokens;
  TokenizeTag(run, SIZE_MAX, tokens);
  return tokens;
}

bool TokenizeTag(std::u16string_view run, size_t maxTokens, std::vector<std::u16string>& tokens) {
  tokens.clear();
  std::u16string current;
  bool haveToken = false;
  bool afterEquals = false;
  char16_t quote = 0;
  for (char16_t c : run) {
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else {
        current += c;
      }
      continue;
    }
    if (c == u'"' || c == u'\'') {
      quote = c;
      haveToken = true;
      afterEquals = false;
    } else if (c == u'\n') {
      // removed without separating tokens
    } else if (IsSeparator(c)) {
      if (afterEquals) continue;
      if (haveToken) {
        if (tokens.size() >= maxTokens) return false;
        tokens.push_back(std::move(current));
        current.clear();
        haveToken = false;
      }
    } else {
      current += c;
      haveToken = true;
      afterEquals = c == u'=';
    }
  }
  if (haveToken) {
    if (tokens.size() >= maxTokens) return false;
    tokens.push_back(std::move(current));
  }
  return true;
}

bool TKvXmlParser::AdmitTag(std::u16string_view run, std::vector<std::u16string>& tokens) {
  // The tokens are capped before they are built: a tag of a million blank-separated
  // letters would otherwise cost a string object for each.
  const size_t pieces = AffordablePieces(run.size());
  if (!TokenizeTag(run, pieces + 1, tokens)) return AdmitNode(run.size(), pieces + 1);
  return AdmitNode(run.size(), tokens.empty() ? 0 : tokens.size() - 1);
}

TKvNode& TKvXmlParser::AppendNode(std::unique_ptr<TKvNode> node) {
  TKvNode* parent = FStack.Empty() ? &FRoot : FStack.TopNode();
  return parent->AddChild(std::move(node));
}

void TKvXmlParser::ElementComplete(std::u16string_view run, bool emptyElement) {
  if (!emptyElement && !AdmitDepth(FStack.Count())) return;
  std::vector<std::u16string> tokens;
  if (!AdmitTag(run, tokens)) return;
  auto node = std::make_unique<TKvTagNode>(tokens.empty() ? std::u16string() : tokens[0]);
  for (size_t i = 1; i < tokens.size(); ++i) node->Attributes.push_back(std::move(tokens[i]));
  node->EmptyElement = emptyElement;
  TKvNode& added = AppendNode(std::move(node));
  if (!emptyElement) FStack.Push(LowerCaseName(added.Name), &added);
}

void TKvXmlParser::EndTagComplete(std::u16string_view run, int64_t col, int64_t row) {
  std::u16string name = LowerCaseName(run);
  if (!FStack.Empty() && FStack.TopName() == name) {
    FStack.Pop();
    return;
  }
  AddWarning("End tag found without matching start tag: </" + Utf16ToUtf8(name) + ">", col, row);
}

void TKvXmlParser::DeclarationComplete(std::u16string_view run) {
  if (!AdmitNode(run.size())) return;
  if (run.substr(0, kCDataStart.size()) == kCDataStart) {
    std::u16string_view content = run.substr(kCDataStart.size());
    if (content.size() >= 2 && content.substr(content.size() - 2) == u"]]") {
      content.remove_suffix(2);
    }
    AppendNode(std::make_unique<TKvNode>(TKvNodeKind::CData, u"CDATA", std::u16string(content)));
    return;
  }
  size_t wordEnd = 0;
  while (wordEnd < run.size() && !IsBlank(run[wordEnd])) ++wordEnd;
  AppendNode(std::make_unique<TKvNode>(TKvNodeKind::DTDItem,
                                       u"!" + std::u16string(run.substr(0, wordEnd)),
                                       std::u16string(Trim(run.substr(wordEnd)))));
}

void TKvXmlParser::CommentComplete(std::u16string_view run) {
  if (!AdmitNode(run.size())) return;
  // The run starts with the "--" after "<!" and, trailing blanks aside, ends with "--".
  std::u16string_view content = run;
  while (!content.empty() && content.back() <= u' ') content.remove_suffix(1);
  if (content.size() >= 2) content.remove_suffix(2);
  if (content.substr(0, 2) == u"--") content.remove_prefix(2);
  AppendNode(std::make_unique<TKvNode>(TKvNodeKind::Comment, u"!", std::u16string(Trim(content))));
}

void TKvXmlParser::InstructionComplete(std::u16string_view run) {
  if (!run.empty()) run.remove_suffix(1);  // the "?" of "?>"
  std::vector<std::u16string> tokens;
  if (!AdmitTag(run, tokens)) return;
  auto node =
      std::make_unique<TKvNode>(TKvNodeKind::PI, tokens.empty() ? std::u16string() : tokens[0]);
  for (size_t i = 1; i < tokens.size(); ++i) node->Attributes.push_back(std::move(tokens[i]));
  AppendNode(std::move(node));
}

// Where the scan stands: the state, the run of characters not yet turned into a node, the
// position of the current character, and its neighbours (0 stands for "no character": it equals
// none of the characters the rules look for).
struct TKvXmlParser::TScan {
  TState State = TState::Text;
  std::u16string Run;
  int64_t Row = 1;
  int64_t Col = 1;
  char16_t Previous = 0;
  char16_t Next = 0;

  // Turns the run into nothing and goes on in `state`.
  void Restart(TState state) {
    Run.clear();
    State = state;
  }
};

bool TKvXmlParser::OpenAngle(TScan& scan) {
  if (scan.State == TState::Tag) {
    AddWarning("Unexpected \"<\" encountered", scan.Col, scan.Row);
    return false;
  }
  if (scan.State == TState::Text || scan.State == TState::EndTag ||
      scan.State == TState::Declaration || scan.State == TState::Instruction) {
    if (!scan.Run.empty() && AdmitNode(scan.Run.size()))
      AppendNode(std::make_unique<TKvNode>(TKvNodeKind::PCData, u"PCDATA", scan.Run));
    scan.Restart(TState::Tag);
    return false;
  }
  return true;
}

bool TKvXmlParser::CloseAngle(TScan& scan) {
  switch (scan.State) {
    case TState::Tag:
      ElementComplete(scan.Run, scan.Previous == u'/');
      break;
    case TState::EndTag:
      EndTagComplete(scan.Run, scan.Col, scan.Row);
      break;
    case TState::Comment: {
      // Only "-->" ends a comment (blanks allowed before the ">"); any other ">" is content.
      std::u16string_view trimmed = scan.Run;
      while (!trimmed.empty() && IsBlank(trimmed.back())) trimmed.remove_suffix(1);
      if (trimmed.size() < 2 || trimmed.substr(trimmed.size() - 2) != u"--") return true;
      CommentComplete(scan.Run);
      break;
    }
    case TState::Declaration:
      DeclarationComplete(scan.Run);
      break;
    case TState::Bracket:
      return true;
    case TState::Instruction:
      if (scan.Previous != u'?') AddWarning("\"?>\" expected but \">\" found", scan.Col, scan.Row);
      InstructionComplete(scan.Run);
      break;
    case TState::Text:
    case TState::DeclComment:
      AddWarning("Unexpected \">\" encountered", scan.Col, scan.Row);
      return false;
  }
  scan.Restart(TState::Text);
  return false;
}

bool TKvXmlParser::MarkupStart(TScan& scan, std::u16string_view rest) {
  if (scan.State != TState::Tag) return true;
  const char16_t c = rest[0];
  if (scan.Previous == u'<') {
    if (c == u'!') {
      scan.Restart(rest.substr(1, 2) == u"--" ? TState::Comment : TState::Declaration);
    } else {
      scan.Restart(c == u'?' ? TState::Instruction : TState::EndTag);
    }
    return false;
  }
  // The "/" of an empty element's "/>" is not part of its tag.
  return !(c == u'/' && scan.Next == u'>');
}

void TKvXmlParser::DeclarationPart(TScan& scan, char16_t c) {
  switch (c) {
    case u'-':
      if (scan.State == TState::Declaration) {
        if (IsBlank(scan.Previous) && scan.Next == u'-') scan.State = TState::DeclComment;
      } else if (scan.State == TState::DeclComment) {
        if (scan.Next == u'-') scan.State = TState::Declaration;
      }
      break;
    case u'[':
      if (scan.State == TState::Declaration) scan.State = TState::Bracket;
      break;
    case u']':
      if (scan.State == TState::Bracket && scan.Next == u'>') scan.State = TState::Declaration;
      break;
    default:
      break;
  }
}

void TKvXmlParser::DoParse(std::u16string_view text) {
  TScan scan;
  const size_t length = text.size();
  for (size_t i = 0; i < length; ++i) {
    const char16_t c = text[i];
    scan.Previous = i > 0 ? text[i - 1] : 0;
    scan.Next = i + 1 < length ? text[i + 1] : 0;
    bool append = true;
    switch (c) {
      case u'<':
        append = OpenAngle(scan);
        break;
      case u'>':
        append = CloseAngle(scan);
        break;
      case u'!':
      case u'?':
      case u'/':
        append = MarkupStart(scan, text.substr(i));
        break;
      default:
        DeclarationPart(scan, c);
        break;
    }
    if (append) scan.Run += c;
    if (c == u'\n' || scan.Col > 256) {
      ++scan.Row;
      scan.Col = 1;
    } else {
      ++scan.Col;
    }
    if (Refused()) return;
  }
  // A pending run left at the end is discarded.
}

}  // namespace bx

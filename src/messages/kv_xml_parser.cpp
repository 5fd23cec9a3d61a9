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

void TKvXmlParser::DoParse(std::u16string_view text) {
  TState state = TState::Text;
  std::u16string run;  // the pending run of characters
  int64_t row = 1;
  int64_t col = 1;
  const size_t length = text.size();
  for (size_t i = 0; i < length; ++i) {
    const char16_t c = text[i];
    // 0 stands for "no character": it equals none of the characters the rules look for.
    const char16_t previous = i > 0 ? text[i - 1] : 0;
    const char16_t next = i + 1 < length ? text[i + 1] : 0;
    bool append = true;
    switch (c) {
      case u'<':
        if (state == TState::Tag) {
          AddWarning("Unexpected \"<\" encountered", col, row);
          append = false;
        } else if (state == TState::Text || state == TState::EndTag ||
                   state == TState::Declaration || state == TState::Instruction) {
          if (!run.empty() && AdmitNode(run.size()))
            AppendNode(std::make_unique<TKvNode>(TKvNodeKind::PCData, u"PCDATA", run));
          run.clear();
          state = TState::Tag;
          append = false;
        }
        break;
      case u'>':
        append = false;
        switch (state) {
          case TState::Tag:
            ElementComplete(run, previous == u'/');
            run.clear();
            state = TState::Text;
            break;
          case TState::EndTag:
            EndTagComplete(run, col, row);
            run.clear();
            state = TState::Text;
            break;
          case TState::Comment: {
            std::u16string_view trimmed = run;
            while (!trimmed.empty() && IsBlank(trimmed.back())) trimmed.remove_suffix(1);
            if (trimmed.size() >= 2 && trimmed.substr(trimmed.size() - 2) == u"--") {
              CommentComplete(run);
              run.clear();
              state = TState::Text;
            } else {
              append = true;
            }
            break;
          }
          case TState::Declaration:
            DeclarationComplete(run);
            run.clear();
            state = TState::Text;
            break;
          case TState::Bracket:
            append = true;
            break;
          case TState::Instruction:
            if (previous != u'?') AddWarning("\"?>\" expected but \">\" found", col, row);
            InstructionComplete(run);
            run.clear();
            state = TState::Text;
            break;
          case TState::Text:
          case TState::DeclComment:
            AddWarning("Unexpected \">\" encountered", col, row);
            break;
        }
        break;
      case u'!':
        if (state == TState::Tag && previous == u'<') {
          const bool comment = i + 2 < length && text[i + 1] == u'-' && text[i + 2] == u'-';
          state = comment ? TState::Comment : TState::Declaration;
          run.clear();
          append = false;
        }
        break;
      case u'?':
        if (state == TState::Tag && previous == u'<') {
          state = TState::Instruction;
          run.clear();
          append = false;
        }
        break;
      case u'/':
        if (state == TState::Tag) {
          if (previous == u'<') {
            state = TState::EndTag;
            run.clear();
            append = false;
          } else if (next == u'>') {
            append = false;
          }
        }
        break;
      case u'-':
        if (state == TState::Declaration) {
          if (IsBlank(previous) && next == u'-') state = TState::DeclComment;
        } else if (state == TState::DeclComment) {
          if (next == u'-') state = TState::Declaration;
        }
        break;
      case u'[':
        if (state == TState::Declaration) state = TState::Bracket;
        break;
      case u']':
        if (state == TState::Bracket && next == u'>') state = TState::Declaration;
        break;
      default:
        break;
    }
    if (append) run += c;
    if (c == u'\n' || col > 256) {
      ++row;
      col = 1;
    } else {
      ++col;
    }
    if (Refused()) return;
  }
  // A pending run left at the end is discarded.
}

}  // namespace bx

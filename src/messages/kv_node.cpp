#include "messages/kv_node.h"

#include <utility>

namespace bx {

namespace {

char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? c - u'A' + u'a' : c; }

}  // namespace

const char* NodeKindName(TKvNodeKind kind) {
  switch (kind) {
    case TKvNodeKind::None:
      return "None";
    case TKvNodeKind::Element:
      return "Element";
    case TKvNodeKind::PCData:
      return "PCData";
    case TKvNodeKind::Comment:
      return "Comment";
    case TKvNodeKind::DTDItem:
      return "DTDItem";
    case TKvNodeKind::CData:
      return "CData";
    case TKvNodeKind::PI:
      return "PI";
  }
  return "";
}

bool SameNameIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::u16string LowerCaseName(std::u16string_view name) {
  std::u16string lower(name);
  for (char16_t& c : lower) c = LowerAscii(c);
  return lower;
}

TKvNode::TKvNode(TKvNodeKind kind, std::u16string name, std::u16string text)
    : Name(std::move(name)), Text(std::move(text)), FKind(kind) {}

TKvNode::~TKvNode() { ClearChildren(); }

TKvNode& TKvNode::AddChild(std::unique_ptr<TKvNode> child) {
  child->FParent = this;
  FChildren.push_back(std::move(child));
  return *FChildren.back();
}

void TKvNode::ClearChildren() {
  // Detach grandchildren before each node dies, so no destructor recurses more than a level.
  std::vector<std::unique_ptr<TKvNode>> pending = std::move(FChildren);
  FChildren.clear();
  while (!pending.empty()) {
    std::unique_ptr<TKvNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->FChildren) pending.push_back(std::move(child));
    node->FChildren.clear();
  }
}

TKvNode* TKvNode::FindNode(std::u16string_view name) const {
  // Pre-order walk: (node, index of the next child to visit).
  std::vector<std::pair<const TKvNode*, size_t>> path{{this, 0}};
  while (!path.empty()) {
    auto& [node, next] = path.back();
    if (next == node->FChildren.size()) {
      path.pop_back();
      continue;
    }
    TKvNode* child = node->FChildren[next++].get();
    if (SameNameIgnoringCase(child->Name, name)) return child;
    if (!child->FChildren.empty()) path.emplace_back(child, 0);
  }
  return nullptr;
}

std::u16string TKvNode::NodeText() const {
  std::u16string text;
  if (FKind == TKvNodeKind::PCData) return Text;
  std::vector<std::pair<const TKvNode*, size_t>> path{{this, 0}};
  while (!path.empty()) {
    auto& [node, next] = path.back();
    if (next == node->FChildren.size()) {
      path.pop_back();
      continue;
    }
    const TKvNode* child = node->FChildren[next++].get();
    if (child->FKind == TKvNodeKind::PCData) {
      text += child->Text;
    } else if (!child->FChildren.empty()) {
      path.emplace_back(child, 0);
    }
  }
  return text;
}

}  // namespace bx

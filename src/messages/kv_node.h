// TKvNode, TKvTagNode: the document tree that TKvXmlParser builds.
//
// A node owns its children (in document order) and knows its parent. Texts are UTF-16, as the
// parser reads them. The root node has kind None and no name; element nodes are TKvTagNode.
// Trees from outside may nest arbitrarily deep, so teardown, FindNode and NodeText walk the
// tree with an explicit stack instead of recursion.
//
// Threads: a tree belongs to the thread that parses it; no internal locking.
// Failure: std::bad_alloc only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace bx {

enum class TKvNodeKind : uint8_t {
  None = 0,     // the root
  Element = 1,  // a start tag or an empty-element tag
  PCData = 2,   // character data between tags
  Comment = 3,  // <!-- ... -->
  DTDItem = 4,  // any other <! ... > declaration
  CData = 5,    // <![CDATA[ ... ]]>
  PI = 6,       // <? ... ?>
};

// "None", "Element", "PCData", "Comment", "DTDItem", "CData", "PI".
const char* NodeKindName(TKvNodeKind kind);

// True when `a` and `b` are equal after ASCII lower-casing.
bool SameNameIgnoringCase(std::u16string_view a, std::u16string_view b);
// ASCII lower-case; other characters unchanged.
std::u16string LowerCaseName(std::u16string_view name);

class TKvNode {
 public:
  TKvNode(TKvNodeKind kind, std::u16string name, std::u16string text = {});
  virtual ~TKvNode();
  TKvNode(const TKvNode&) = delete;
  TKvNode& operator=(const TKvNode&) = delete;

  TKvNodeKind Kind() const { return FKind; }
  TKvNode* Parent() const { return FParent; }
  size_t ChildCount() const { return FChildren.size(); }
  TKvNode& Child(size_t index) const { return *FChildren[index]; }

  // Appends `child` as the last child and returns it.
  TKvNode& AddChild(std::unique_ptr<TKvNode> child);
  // Frees every node below this one.
  void ClearChildren();

  // The first node below this one, in document order, whose name equals `name` without
  // regard to ASCII case; a child is tried before its own children, those before the next
  // child. This node itself never matches. Null when nothing matches.
  TKvNode* FindNode(std::u16string_view name) const;

  // The texts of all PCData nodes at or below this one, in document order.
  std::u16string NodeText() const;

  std::u16string Name;
  std::u16string Text;
  std::vector<std::u16string> Attributes;  // "name=value" as written, quotes removed

 private:
  TKvNodeKind FKind;
  TKvNode* FParent = nullptr;
  std::vector<std::unique_ptr<TKvNode>> FChildren;
};

class TKvTagNode final : public TKvNode {
 public:
  explicit TKvTagNode(std::u16string name) : TKvNode(TKvNodeKind::Element, std::move(name)) {}
  bool EmptyElement = false;  // written as <name/>: never opened, has no children
};

}  // namespace bx

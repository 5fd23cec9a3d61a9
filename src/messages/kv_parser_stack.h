// TKvParserStack: the elements a parse has opened and not yet closed, innermost on top, each
// under its lower-cased name. The nodes belong to the parser's tree; the stack only points at
// them and is cleared whenever that tree is.
//
// Threads: owned by one parser, used by the thread running its parse.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "messages/kv_node.h"

namespace bx {

class TKvParserStack {
 public:
  void Push(std::u16string lowerName, TKvNode* node) {
    FItems.emplace_back(std::move(lowerName), node);
  }
  void Pop() {
    if (!FItems.empty()) FItems.pop_back();
  }
  bool Empty() const { return FItems.empty(); }
  size_t Count() const { return FItems.size(); }
  // Name and node on top; only valid when not Empty().
  const std::u16string& TopName() const { return FItems.back().first; }
  TKvNode* TopNode() const { return FItems.back().second; }
  void Clear() { FItems.clear(); }

 private:
  std::vector<std::pair<std::u16string, TKvNode*>> FItems;
};

}  // namespace bx

#include "config/category_list.h"

#include <stdexcept>

#include "config/text_case.h"

namespace bx {

size_t TBxCategoryList::LowerBound(std::string_view text, bool& found) const {
  size_t low = 0;
  size_t high = FEntries.size();
  std::string folded = FoldCase(text);
  found = false;
  while (low < high) {
    size_t mid = low + (high - low) / 2;
    int order = FEntries[mid].Folded.compare(folded);
    if (order < 0) {
      low = mid + 1;
    } else {
      if (order == 0) found = true;
      high = mid;
    }
  }
  return low;
}

const TBxCategoryList::TEntry& TBxCategoryList::At(int index) const {
  if (index < 0 || index >= Count()) {
    throw std::out_of_range("category index " + std::to_string(index) + " out of range");
  }
  return FEntries[static_cast<size_t>(index)];
}

int TBxCategoryList::IndexOf(std::string_view text) const {
  bool found;
  size_t pos = LowerBound(text, found);
  return found ? static_cast<int>(pos) : -1;
}

int TBxCategoryList::AddCategory(std::string_view text, bool blocked) {
  if (text.empty()) return -1;
  bool found;
  size_t pos = LowerBound(text, found);
  if (found) return static_cast<int>(pos);
  TMutexLock guard(FChangeLock);
  std::vector<TEntry>& entries = EntriesToChange();
  entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(pos),
                 TEntry{std::string(text), FoldCase(text), static_cast<uint8_t>(blocked ? 1 : 0)});
  return static_cast<int>(pos);
}

void TBxCategoryList::RemoveCategory(std::string_view text) {
  int index = IndexOf(text);
  if (index < 0) return;
  TMutexLock guard(FChangeLock);
  std::vector<TEntry>& entries = EntriesToChange();
  entries.erase(entries.begin() + index);
}

bool TBxCategoryList::IsCategoryBlocked(std::string_view text) const {
  int index = IndexOf(text);
  return index >= 0 && FEntries[static_cast<size_t>(index)].Blocked == 1;
}

void TBxCategoryList::SetCategoryBlocked(std::string_view text, bool blocked) {
  int index = IndexOf(text);
  if (index < 0) {
    AddCategory(text, blocked);
  } else {
    SetBlockedAt(index, blocked);
  }
}

bool TBxCategoryList::IsBlockedAt(int index) const { return At(index).Blocked == 1; }

void TBxCategoryList::SetBlockedAt(int index, bool blocked) {
  At(index);
  TMutexLock guard(FChangeLock);
  EntriesToChange()[static_cast<size_t>(index)].Blocked = blocked ? 1 : 0;
}

const std::string& TBxCategoryList::Text(int index) const { return At(index).Text; }

}  // namespace bx

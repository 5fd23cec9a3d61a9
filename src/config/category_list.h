// TBxCategoryList: the message categories named in the settings, each blocked or forwarded.
//
// Kept sorted without regard to case (text_case.h); lookups ignore case, so "Network" and
// "NETWORK" are one category; no duplicates and no empty texts. Flags are stored as 1 (blocked)
// and 0 (forwarded).
//
// Threads: additions, removals and flag changes of every list in the process take the
// process-wide category lock (FChangeLock); reads take no lock. A list that other threads
// read must therefore not be changed: the running dispatcher publishes whole settings objects
// (settings_snapshot.h) and never edits a published one. Clear takes no lock.
// Failure: an index outside 0..Count()-1 throws std::out_of_range.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mutex.h"

namespace bx {

class TBxCategoryList {
 public:
  // Index of the new or existing entry; -1 for an empty text. An existing entry keeps its flag.
  int AddCategory(std::string_view text, bool blocked);
  void RemoveCategory(std::string_view text);
  bool IsCategoryBlocked(std::string_view text) const;
  void SetCategoryBlocked(std::string_view text, bool blocked);
  bool IsBlockedAt(int index) const;
  void SetBlockedAt(int index, bool blocked);

  int IndexOf(std::string_view text) const;  // -1 when absent
  int Count() const { return static_cast<int>(FEntries.size()); }
  const std::string& Text(int index) const;
  void Clear() { FEntries.clear(); }

  bool operator==(const TBxCategoryList&) const = default;

 private:
  struct TEntry {
    std::string Text;
    std::string Folded;  // FoldCase(Text), the sort key
    uint8_t Blocked = 0;
    bool operator==(const TEntry&) const = default;
  };
  // Position of the first entry not sorting before `text`; found = it names `text`.
  size_t LowerBound(std::string_view text, bool& found) const;
  const TEntry& At(int index) const;
  // The entries for a change: every addition, removal and flag change goes through here, so
  // the thread-safety build refuses one made without the lock.
  std::vector<TEntry>& EntriesToChange() REQUIRES(FChangeLock) { return FEntries; }

  // Serialises changes of category lists in the whole process.
  static constinit inline TMutex FChangeLock;
  std::vector<TEntry> FEntries;
};

}  // namespace bx

// TBxDispatchList: the destinations built from one destination string, itself a destination
// that passes every message to its members in the order of the string.
//
// A destination string is a comma-separated list of items `Kind` or `Kind[options]`; a comma
// inside square brackets does not separate, and brackets may nest inside the options. The kind
// is looked up in the published table of destination kinds (known_destinations.h); each new
// destination is named with the kind as written and handed its option text. A first item
// `Alias[Name=x]` (kind matched exactly) is replaced, with everything after it, by the
// "DestinationDetails" of section x of BxDispatcher.ini.
//
// Ownership: the list owns its members; Extract hands one out. The registry owns the list.
// Threads: built on the registering thread (SetName), then used by Dispatch on the dispatch
// thread only; GetName from any thread once built.
// Failure: SetName never throws for bad input: each unusable item is logged at level Error and
// left out; Invalid is set when no item gave a usable destination. Dispatch lets a member's
// exception through, so the members after it do not receive that message. Item and Extract
// throw EBxDispatcherException("Error retrieving TBxDestination") for an index out of range.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/dispatcher_exception.h"
#include "destinations/destination.h"

namespace bx {

class TBxDispatchList : public TBxDestination {
 public:
  static std::string_view ClassKindName() { return "DispatchList"; }
  ~TBxDispatchList() override;

  std::string_view KindName() const override { return ClassKindName(); }
  // The destination string after alias resolution.
  std::string GetName() const override;
  // Resolves and parses a destination string into members (see the header comment).
  void SetName(const std::string& text) override;
  // Passes the message to every member in order; no exception is caught here.
  void Dispatch(TDispatchMessage& message) override;

  int Count() const;
  TBxDestination& Item(int index) const;
  // Removes the member at `index` from the list without freeing it.
  std::unique_ptr<TBxDestination> Extract(int index);

  // The dispatch ID the list was built for (set by the registry before parsing).
  std::string DispatchID;

 private:
  std::vector<std::unique_ptr<TBxDestination>> FDestinations;
  std::string FDestinationString;
};

// Takes the first item off `remaining` (which becomes the text after the item's comma) and
// returns its kind (trimmed of blanks and control characters, one trailing "]" removed) and
// its option text (between the outer brackets, as written).
void SplitNextDestination(std::string& remaining, std::string& kind, std::string& options);
// The same over `text` from `position`, which moves behind the item's comma (to the end of
// the text for the last item). Time is linear in the item's length, so a whole string is
// split in time linear in its length.
void SplitNextDestination(std::string_view text, size_t& position, std::string& kind,
                          std::string& options);

// The string to parse for `destinationString`: the alias's "DestinationDetails" (or "Unknown
// Alias" when the settings file has no such section) when the first item is
// Alias[Name=<alias>] and the settings file exists; otherwise the string itself. The result
// is never resolved again.
std::string ResolveAlias(const std::string& destinationString);

}  // namespace bx

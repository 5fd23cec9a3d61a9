#include "core/dispatch_list.h"

#include "config/dispatcher_settings.h"
#include "config/ini_file.h"
#include "config/text_case.h"
#include "core/dispatch_counters.h"
#include "core/known_destinations.h"
#include "platform/clock.h"
#include "platform/file_access.h"
#include "platform/log_entry.h"

namespace bx {

namespace {

// Blanks and control characters, as trimmed around kind names.
bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string Trim(std::string_view text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && IsTrimmed(text[first])) ++first;
  while (last > first && IsTrimmed(text[last - 1])) --last;
  return std::string(text.substr(first, last - first));
}

void LogInvalid(const std::string& text) { AddLogEntry(TLogLevel::Error, text); }

}  // namespace

void SplitNextDestination(std::string_view text, size_t& position, std::string& kind,
                          std::string& options) {
  std::string kindText;
  std::string optionText;
  int depth = 0;
  size_t i = position;
  size_t next = text.size();
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ',' && depth <= 0) {
      next = i + 1;
      break;
    }
    if (c == ']') --depth;
    if (c == '[') ++depth;
    // The opening bracket lands in the options, its matching closing bracket in the kind.
    if (depth > 0) {
      optionText += c;
    } else {
      kindText += c;
    }
  }
  position = next;
  options = optionText.empty() ? std::string() : optionText.substr(1);
  if (!kindText.empty() && kindText.back() == ']') kindText.pop_back();
  kind = Trim(kindText);
}

void SplitNextDestination(std::string& remaining, std::string& kind, std::string& options) {
  size_t position = 0;
  SplitNextDestination(remaining, position, kind, options);
  remaining.erase(0, position);
}

std::string ResolveAlias(const std::string& destinationString) {
  size_t position = 0;
  std::string kind;
  std::string options;
  SplitNextDestination(destinationString, position, kind, options);
  if (kind != "Alias") return destinationString;
  const std::string settingsFile = DefaultSettingsFileName();
  if (!RegularFileExists(settingsFile)) return destinationString;
  if (options.size() < 5 || !SameText(std::string_view(options).substr(0, 5), "NAME=")) {
    return destinationString;
  }
  const std::string alias = options.substr(5);
  TBxIniFile ini;
  ini.Load(settingsFile);
  return ini.ReadString(alias, "DestinationDetails", "Unknown Alias");
}

TBxDispatchList::~TBxDispatchList() = default;

std::string TBxDispatchList::GetName() const { return FDestinationString; }

void TBxDispatchList::SetName(const std::string& text) {
  FDestinationString = ResolveAlias(text);
  FDestinations.clear();
  int named = 0;
  int failed = 0;
  // Walked by position: cutting the text after every item would cost quadratic time.
  size_t position = 0;
  while (position < FDestinationString.size()) {
    std::string kind;
    std::string options;
    SplitNextDestination(FDestinationString, position, kind, options);
    if (kind.empty()) continue;
    ++named;
    std::optional<TBxDestinationClass> found = FindDestinationClass(kind);
    if (!found) {
      LogInvalid("Invalid Destination: Unknown destination \"" + kind + "\"");
      ++failed;
      continue;
    }
    std::unique_ptr<TBxDestination> destination = found->Create();
    destination->SetName(kind);
    destination->SetOptions(options);
    if (destination->Invalid) {
      ++failed;
    } else {
      FDestinations.push_back(std::move(destination));
    }
  }
  if (named == 0) LogInvalid("Invalid Destination: No Active destinations specified");
  Invalid = failed >= named;
}

void TBxDispatchList::Dispatch(TDispatchMessage& message) {
  for (const std::unique_ptr<TBxDestination>& destination : FDestinations) {
    // An Error entry written during the delivery is that kind's last error (status report).
    const uint64_t errorsBefore = ThreadErrorEntryCount();
    destination->Dispatch(message);
    if (ThreadErrorEntryCount() != errorsBefore) {
      RecordDestinationError(destination->KindName(), ThreadLastErrorEntry(), SystemClock().Now());
    }
  }
}

int TBxDispatchList::Count() const { return static_cast<int>(FDestinations.size()); }

TBxDestination& TBxDispatchList::Item(int index) const {
  if (index < 0 || index >= Count())
    throw EBxDispatcherException("Error retrieving TBxDestination");
  return *FDestinations[static_cast<size_t>(index)];
}

std::unique_ptr<TBxDestination> TBxDispatchList::Extract(int index) {
  if (index < 0 || index >= Count())
    throw EBxDispatcherException("Error retrieving TBxDestination");
  auto at = FDestinations.begin() + index;
  std::unique_ptr<TBxDestination> destination = std::move(*at);
  FDestinations.erase(at);
  return destination;
}

}  // namespace bx

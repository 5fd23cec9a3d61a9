#include "core/dispatch_id_list.h"

#include <algorithm>
#include <array>
#include <exception>
#include <stdexcept>

#include "config/ini_file.h"
#include "config/paths.h"
#include "config/text_case.h"
#include "core/dispatch_list.h"
#include "platform/file_access.h"
#include "platform/folders.h"
#include "platform/log_entry.h"

namespace bx {

namespace {

constexpr std::string_view kDestinationStringKey = "DestinationString";
constexpr std::string_view kConnectionMethodKey = "ConnectionMethod";
constexpr std::string_view kFirstRegisteredOnKey = "FirstRegisteredOn";

// "<format>"<destination>"" with the registration's details, as the Reg/Error lines show them.
std::string LoggerLine(std::string_view prefix, const TDispatchMessage& message,
                       std::string_view dispatchID, uint8_t connectionMethod,
                       std::string_view destinationString) {
  std::string line(prefix);
  line += "   ";
  line += dispatchID.substr(0, 8);
  line += " (" + ConnectionMethodLetter(connectionMethod) + "):  [ ";
  line += FieldText(message.ComputerName);
  line += "  ";
  line += FieldText(message.AppName);
  line += "  (" + std::to_string(message.ProcessID) + ")  ";
  line += FieldText(message.Category);
  line += " ]  --  \"";
  line += destinationString;
  line += "\"";
  return line;
}

// The sort and lookup key of a dispatch ID, folded into `buffer` when it is short plain ASCII
// (every dispatch ID a message can carry), so that lookups for delivery allocate nothing.
std::string_view LookupKey(std::string_view id, std::array<char, 64>& buffer, std::string& spill) {
  const bool ascii = std::all_of(id.begin(), id.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!ascii || id.size() > buffer.size()) {
    spill = FoldCase(id);
    return spill;
  }
  for (size_t i = 0; i < id.size(); ++i) {
    const char c = id[i];
    buffer[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
  }
  return std::string_view(buffer.data(), id.size());
}

}  // namespace

TBxDispatchIDList::TLock::TLock(TBxDispatchIDList& list) : FList(list) { FList.FMutex.Lock(); }

TBxDispatchIDList::TLock::~TLock() {
  std::vector<std::shared_ptr<TBxDestination>> retired;
  retired.swap(FList.FRetired);
  FList.FMutex.Unlock();
  // In the order of removal: Clear retires the last entry first, and so frees it first.
  for (auto& object : retired) object.reset();
}

void TBxDispatchIDList::FreeRetired(TLock& /*lock*/) {
  std::vector<std::shared_ptr<TBxDestination>> retired;
  retired.swap(FRetired);
  for (auto& object : retired) object.reset();
}

TBxDispatchIDList::TBxDispatchIDList(const TClock& clock) : FClock(clock) {}

TBxDispatchIDList::~TBxDispatchIDList() {
  TLock lock(*this);
  Clear(lock);
}

TBxDispatchIDList::TLock TBxDispatchIDList::LockForTest() { return TLock(*this); }

std::string TBxDispatchIDList::FileName() { return GetDispatchIDsFolder() + "BxDispatchIDs.ini"; }

std::string TBxDispatchIDList::DestinationText(const TBxDestination& destination) {
  std::string text = destination.GetName();
  const std::string options = destination.GetOptions();
  if (!options.empty()) text += "[" + options + "]";
  return text;
}

bool TBxDispatchIDList::Loading() const { return FLoading.load(std::memory_order_relaxed); }

size_t TBxDispatchIDList::LowerBound(std::string_view key) const {
  auto at = std::lower_bound(FEntries.begin(), FEntries.end(), key,
                             [](const TEntry& e, std::string_view k) { return e.Key < k; });
  return static_cast<size_t>(at - FEntries.begin());
}

int TBxDispatchIDList::Find(const TLock& /*lock*/, std::string_view dispatchID) const {
  std::array<char, 64> buffer;
  std::string spill;
  const std::string_view key = LookupKey(dispatchID, buffer, spill);
  const size_t at = LowerBound(key);
  if (at < FEntries.size() && FEntries[at].Key == key) return static_cast<int>(at);
  return -1;
}

int TBxDispatchIDList::Count(const TLock& /*lock*/) const {
  return static_cast<int>(FEntries.size());
}

const std::string& TBxDispatchIDList::Strings(const TLock& /*lock*/, int index) const {
  return FEntries.at(static_cast<size_t>(index)).ID;
}

const std::shared_ptr<TBxDestination>& TBxDispatchIDList::Objects(const TLock& /*lock*/,
                                                                  int index) const {
  return FEntries.at(static_cast<size_t>(index)).Object;
}

void TBxDispatchIDList::Delete(TLock& /*lock*/, int index) {
  auto at = FEntries.begin() + index;
  if (index < 0 || at >= FEntries.end()) return;
  FRetired.push_back(std::move(at->Object));
  FEntries.erase(at);
  FGeneration.fetch_add(1, std::memory_order_release);
}

void TBxDispatchIDList::Clear(TLock& /*lock*/) {
  while (!FEntries.empty()) {
    FRetired.push_back(std::move(FEntries.back().Object));
    FEntries.pop_back();
  }
  FGeneration.fetch_add(1, std::memory_order_release);
}

std::shared_ptr<TBxDestination> TBxDispatchIDList::FindForDelivery(std::string_view dispatchID) {
  TLock lock(*this);
  const int index = Find(lock, dispatchID);
  if (index < 0) return nullptr;
  return FEntries[static_cast<size_t>(index)].Object;
}

int32_t TBxDispatchIDList::RegisterDispatchID(const std::string& dispatchID,
                                              const std::string& destinationString,
                                              uint8_t connectionMethod) {
  try {
    // Built outside the lock: parsing may read the settings file and open log files.
    auto list = std::make_unique<TBxDispatchList>();
    list->DispatchID = dispatchID;
    list->SetName(destinationString);
    if (list->Invalid) return 0;
    std::shared_ptr<TBxDestination> object;
    if (list->Count() == 1) {
      object = list->Extract(0);
    } else {
      object = std::move(list);
    }
    object->ConnectionMethod = connectionMethod;

    TLock lock(*this);
    std::string key = FoldCase(dispatchID);
    const size_t at = LowerBound(key);
    if (at < FEntries.size() && FEntries[at].Key == key) {
      // Already registered: the first registration stays.
      FRetired.push_back(std::move(object));
    } else {
      FEntries.insert(FEntries.begin() + static_cast<std::ptrdiff_t>(at),
                      TEntry{dispatchID, std::move(key), std::move(object)});
      FGeneration.fetch_add(1, std::memory_order_release);
    }
    if (!Loading()) SaveDispatchIDs(lock);
    return 1;
  } catch (const std::exception& e) {
    AddLogEntry(TLogLevel::Error,
                std::string("Exception in RegisterDispatchID;  Exception: ") + e.what());
  } catch (...) {
    AddLogEntry(TLogLevel::Error, "Exception in RegisterDispatchID;  Exception: unknown exception");
  }
  return -1;
}

int32_t TBxDispatchIDList::RegisterLogger(const TDispatchMessage& message,
                                          uint8_t connectionMethod) {
  // The field is in the ANSI code page; the registry keeps IDs as UTF-8.
  const std::string dispatchID = DispatchIDUtf8(message);
  const std::string destinationString(MsgText(message));
  const int32_t result = RegisterDispatchID(dispatchID, destinationString, connectionMethod);
  if (result == 1) {
    AddLogEntry(TLogLevel::Reg, LoggerLine("Register Logger", message, dispatchID, connectionMethod,
                                           destinationString));
  } else {
    AddLogEntry(TLogLevel::Error, LoggerLine("Unable to Register Logger", message, dispatchID,
                                             connectionMethod, destinationString));
  }
  return result;
}

void TBxDispatchIDList::LoadDispatchIDs() {
  struct TLoadingFlag {
    std::atomic<bool>& Flag;
    explicit TLoadingFlag(std::atomic<bool>& flag) : Flag(flag) {
      Flag.store(true, std::memory_order_relaxed);
    }
    ~TLoadingFlag() { Flag.store(false, std::memory_order_relaxed); }
  } loading(FLoading);

  const std::string path = FileName();
  TBxIniFile ini;
  std::string error;
  if (!ini.Load(path, &error) && RegularFileExists(path)) throw std::runtime_error(error);
  const std::vector<std::string> sections = ini.ReadSections();
  AddLogEntry(TLogLevel::Info,
              "Loading Saved Dispatch IDs (" + std::to_string(sections.size()) + "): " + path);
  for (const std::string& section : sections) {
    const std::string destinationString = ini.ReadString(section, kDestinationStringKey, "");
    const auto method = static_cast<uint8_t>(ini.ReadInteger(section, kConnectionMethodKey, 0));
    if (!destinationString.empty()) RegisterDispatchID(section, destinationString, method);
  }
}

void TBxDispatchIDList::SaveDispatchIDs() {
  TLock lock(*this);
  SaveDispatchIDs(lock);
}

void TBxDispatchIDList::SaveDispatchIDs(TLock& lock) {
  const std::string path = FileName();
  TBxIniFile ini;
  std::string error;
  // A file that exists but cannot be read is not overwritten with what little we know.
  if (!ini.Load(path, &error) && RegularFileExists(path)) throw std::runtime_error(error);

  const TDateTime now = FClock.Now();
  const int32_t today = DateToSerialDay(now.Year, now.Month, now.Day);

  // New registrations get a section; an existing section keeps its first date.
  for (const TEntry& entry : FEntries) {
    if (ini.SectionExists(entry.ID)) continue;
    ini.WriteString(entry.ID, kDestinationStringKey, DestinationText(*entry.Object));
    ini.WriteInteger(entry.ID, kConnectionMethodKey, entry.Object->ConnectionMethod);
    ini.WriteInteger(entry.ID, kFirstRegisteredOnKey, today);
  }

  for (const std::string& section : ini.ReadSections()) {
    const int32_t firstRegisteredOn = ini.ReadInteger(section, kFirstRegisteredOnKey, 0);
    const int index = Find(lock, section);
    if (index < 0) {
      ini.EraseSection(section);
    } else if (today - 2 > firstRegisteredOn) {
      // First written three or more days ago: the registration expires with its section.
      ini.EraseSection(section);
      Delete(lock, index);
    }
  }

  if (!CreateFolderChain(FolderOfPath(path), &error) || !ini.Save(&error)) {
    throw std::runtime_error(error);
  }
}

}  // namespace bx

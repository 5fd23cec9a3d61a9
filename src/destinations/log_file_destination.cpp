#include "destinations/log_file_destination.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "config/settings_snapshot.h"
#include "config/text_case.h"
#include "destinations/date_format.h"
#include "destinations/log_file_record.h"
#include "platform/log_entry.h"

namespace bx {

namespace {

constexpr int kOpenAttempts = 5;
constexpr auto kOpenRetryWait = std::chrono::milliseconds(20);
constexpr int kDefaultPartWidth = 4;
constexpr std::string_view kExtension = ".bxl";
constexpr std::string_view kIncompleteSuffix = "_Incomplete.bxl";
// Folder variables whose values name each other (or themselves) would expand without end.
constexpr int kMaxExpansions = 64;
constexpr size_t kMaxExpandedLength = 32 * 1024;

TBxLogFileDestination& File(TBxDestination& d) { return static_cast<TBxLogFileDestination&>(d); }

constexpr TBxOptionDef kFileOptions[] = {
    {"Path", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) { File(d).SetPath(std::string(v.Text)); }},
    {"MaxSize", TBxOptionType::Integer,
     [](TBxDestination& d, const TBxOptionValue& v) { File(d).MaxSize = v.Integer; }},
    {"MaxParts", TBxOptionType::Integer,
     [](TBxDestination& d, const TBxOptionValue& v) { File(d).MaxParts = v.Integer; }},
    {"LogByDate", TBxOptionType::Boolean,
     [](TBxDestination& d, const TBxOptionValue& v) { File(d).LogByDate = v.Boolean; }},
    {"LogByDateFormat", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) {
       File(d).LogByDateFormat = std::string(v.Text);
     }},
    {"KeepOpen", TBxOptionType::Boolean,
     [](TBxDestination& d, const TBxOptionValue& v) { File(d).KeepOpen = v.Boolean; }},
    {"DataFormat", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) { File(d).DataFormat = std::string(v.Text); }},
};

// The folder part of `path` with its trailing "/" ("" for a name without folder).
std::string FolderPrefix(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// `path` without the extension of its last component.
std::string WithoutExtension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
  return path.substr(0, dot);
}

// The part number at the end of a part file's name ("app_07.bxl" -> 7); 1 when the text after
// the last "_" is not a number.
int64_t PartNumberOf(const std::string& name) {
  const std::string stem = WithoutExtension(name);
  const size_t underscore = stem.rfind('_');
  const std::string_view digits = underscore == std::string::npos
                                      ? std::string_view(stem)
                                      : std::string_view(stem).substr(underscore + 1);
  if (digits.empty() || digits.size() > 10) return 1;
  int64_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return 1;
    value = value * 10 + (c - '0');
  }
  return value > INT32_MAX ? 1 : value;
}

int DecimalDigits(int64_t value) {
  int digits = 1;
  while (value >= 10) {
    value /= 10;
    ++digits;
  }
  return digits;
}

}  // namespace

TBxLogFileDestination::TBxLogFileDestination()
    : TBxLogFileDestination(RealFileSystem(), SystemClock()) {}

TBxLogFileDestination::TBxLogFileDestination(TFileSystem& fileSystem, const TClock& clock)
    : FFileSystem(fileSystem), FClock(clock) {}

TBxLogFileDestination::~TBxLogFileDestination() {
  // First out of the list (whatever FKeptListed says: the dispatch thread may be changing it):
  // after this no other thread closes the file through it.
  UnregisterKeptFile(this);
  if (FFileStream != nullptr) {
    WritePending();
    TSystemError status;
    FFileStream->Close(status);
  }
}

void TBxLogFileDestination::SetOptions(const std::string& text) {
  if (!CheckRequiredOption(
          text, "PATH", "Invalid Destination: Path option not specified in destination \"%s\"")) {
    return;
  }
  TBxDestination::SetOptions(text);
}

std::span<const TBxOptionDef> TBxLogFileDestination::OptionTable() const { return kFileOptions; }

void TBxLogFileDestination::SetPath(const std::string& value) {
  if (value == FPath) return;
  FPath = value;
  if (FPath.size() >= 2 && FPath.front() == '"' && FPath.back() == '"') {
    FPath = FPath.substr(1, FPath.size() - 2);
  }
  FPath = ExpandFolderVariables(FPath);
  FPathStem = WithoutExtension(FPath);
  if (!CurrentSettings()->IsPathAllowed(FPath)) {
    Reject("Invalid Destination: Path not allowed in destination \"" + GetName() + "\"");
  }
}

std::string TBxLogFileDestination::ExpandFolderVariables(std::string text) {
  const std::shared_ptr<const TBxDispatcherSettings> settings = CurrentSettings();
  const std::string invalid =
      "Invalid Destination: Invalid Folder variable in destination \"" + GetName() + "\"";
  int expansions = 0;
  for (size_t at = text.find("$("); at != std::string::npos; at = text.find("$(")) {
    if (++expansions > kMaxExpansions || text.size() > kMaxExpandedLength) {
      Reject(invalid);
      break;
    }
    const std::string prefix = text.substr(0, at);
    const std::string continuation = text.substr(at + 2);
    const size_t close = continuation.find(')');
    std::string value;
    bool known = false;
    std::string rest;
    if (close == std::string::npos) {
      Reject(invalid);
      rest = continuation;
    } else {
      known = settings->FindNamedPath(continuation.substr(0, close), value) && !value.empty();
      rest = continuation.substr(close + 1);
    }
    if (!known) {
      Reject("Invalid Destination: Unknown Folder variable in destination \"" + GetName() + "\"");
      value.clear();
    }
    text = prefix + value + rest;
  }
  return text;
}

std::string TBxLogFileDestination::PartFileName(const std::string& base, int64_t part) const {
  const int width = MaxParts > 0 ? DecimalDigits(MaxParts) : kDefaultPartWidth;
  std::string digits = std::to_string(part);
  if (digits.size() < static_cast<size_t>(width)) {
    digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
  }
  return base + "_" + digits + std::string(kExtension);
}

int64_t TBxLogFileDestination::ChoosePart(const std::string& base) {
  const std::string folder = FolderPrefix(base);
  const std::string prefix = base.substr(folder.size()) + "_";
  // The folder is listed again only when an entry may have been added, removed or renamed
  // since the last listing; appending to a part changes nothing in the folder.
  if (FLastPart.Folder != folder || FLastPart.Prefix != prefix ||
      !FFileSystem.FolderUnchanged(folder, FLastPart.Stamp)) {
    FLastPart.Folder = folder;
    FLastPart.Prefix = prefix;
    std::vector<std::string> names =
        FFileSystem.ListFolder(folder, prefix, kExtension, &FLastPart.Stamp);
    std::erase_if(names, [](const std::string& n) { return n.find("Incomplete") != n.npos; });
    // The last name in an order that ignores case; names equal but for case in byte order, so
    // the choice does not depend on the listing order.
    const auto last = std::max_element(names.begin(), names.end(),
                                       [](const std::string& a, const std::string& b) {
                                         const int order = CompareText(a, b);
                                         return order != 0 ? order < 0 : a < b;
                                       });
    FLastPart.Name = last == names.end() ? std::string() : *last;
  }
  if (FLastPart.Name.empty()) return 1;
  const std::string& last = FLastPart.Name;
  const int64_t part = PartNumberOf(last);
  const int64_t size = FFileSystem.FileSize(folder + last);
  if (size < static_cast<int64_t>(MaxSize) * 1024) return part;
  if (part != MaxParts || MaxParts <= 0) return part + 1;
  if (MaxParts == 1) return 1;  // a single part keeps growing
  // Make room: part 1, the oldest, goes; every other part moves down by one.
  TSystemError ignored;
  for (int64_t c = 2; c <= MaxParts; ++c) {
    const std::string older = PartFileName(base, c - 1);
    FFileSystem.Delete(older, ignored);
    FFileSystem.Rename(PartFileName(base, c), older, ignored);
  }
  return MaxParts;
}

std::string TBxLogFileDestination::BaseName() const {
  if (!LogByDate) return FPathStem;
  return FPathStem + "_" + FormatDateTime(LogByDateFormat, FClock.Now());
}

const std::string& TBxLogFileDestination::ChooseFileName() {
  if (MaxSize > 1) {
    const std::string base = BaseName();
    CurrentFileName = PartFileName(base, ChoosePart(base));
  } else if (LogByDate) {
    CurrentFileName = BaseName() + std::string(kExtension);
  } else {
    // The name never changes: built in place, without a temporary.
    CurrentFileName.assign(FPathStem).append(kExtension);
  }
  return CurrentFileName;
}

bool TBxLogFileDestination::OpenFile() {
  FileOpened = false;
  TSystemError status;
  bool askedOwnHolders = false;
  for (int attempt = 1;; ++attempt) {
    FFileStream = FFileSystem.OpenForWrite(CurrentFileName, TOpenMode::Existing, status);
    if (FFileStream != nullptr) break;
    // Locked perhaps by a destination of this very dispatcher that keeps the file open: it
    // lets go, and this does not count as an attempt.
    if (status.Code == kFileLockedCode && !askedOwnHolders) {
      askedOwnHolders = true;
      if (CloseKeptFilesNamed(CurrentFileName, this)) {
        --attempt;
        continue;
      }
    }
    if (IsFileMissing(status)) {
      // A new file, only in a folder that exists: folders are never made here.
      if (!FFileSystem.FolderExists(FolderPrefix(CurrentFileName))) {
        AddLogEntry(TLogLevel::Error, "Log file path is invalid: " + CurrentFileName);
        return false;
      }
      FFileStream = FFileSystem.OpenForWrite(CurrentFileName, TOpenMode::OpenOrCreate, status);
      if (FFileStream == nullptr) {
        AddLogEntry(TLogLevel::Error,
                    "Log File Create Error (" + status.Text + "): " + CurrentFileName);
        return false;
      }
      break;
    }
    if (attempt == kOpenAttempts) {
      AddLogEntry(TLogLevel::Error,
                  "Log File Open Error (" + status.Text + "): " + CurrentFileName);
      return false;
    }
    AddLogEntry(TLogLevel::Warning, "Attempt " + std::to_string(attempt) +
                                        " - Log File Open Error (" + status.Text +
                                        "): " + CurrentFileName);
    std::this_thread::sleep_for(kOpenRetryWait);
  }
  FileOpened = true;
  return true;
}

bool TBxLogFileDestination::WriteEntry() {
  const size_t entry = FEntry.size();
  // With a backlog, a kept file gathers the entry for a later write of several.
  if (KeepOpen && DispatchBacklog() && FPending.size() + entry <= kKeptWriteBatchBytes) {
    FPending.insert(FPending.end(), FEntry.begin(), FEntry.end());
    FPendingEnds.push_back(FPending.size());
    FKept.Size += static_cast<int64_t>(entry);
    NoteKeptWritesPending();
    return true;
  }
  if (!FPending.empty() && !WritePending()) return false;
  const size_t ends[] = {entry};
  return WriteEntries(FEntry, ends, CurrentFileName);
}

bool TBxLogFileDestination::WritePending() {
  if (FPending.empty() || FFileStream == nullptr) return true;
  // Counted when gathered; WriteEntries counts again what it writes.
  FKept.Size -= static_cast<int64_t>(FPending.size());
  const bool whole = WriteEntries(FPending, FPendingEnds, FKept.Name);
  FPending.clear();
  FPendingEnds.clear();
  return whole;
}

bool TBxLogFileDestination::WriteEntries(std::span<const std::byte> bytes,
                                         std::span<const size_t> ends, const std::string& name) {
  // The file is open for appending. The marker and the record go out in one write: the file
  // gets the same bytes as from two writes, for one system call less per message. Write goes
  // on after a partial write, so `written` is what reached the file either way.
  TSystemError status;
  const size_t written = FFileStream->Write(bytes, status);
  FKept.Size += static_cast<int64_t>(written);
  if (written == bytes.size()) return true;

  // The file now ends inside an entry. Move it aside while it is still locked, so no other
  // writer appends behind the cut entry; the next message starts a new file.
  AddLogEntry(TLogLevel::Error, "Incomplete message written to log file: " + name +
                                    ". Incomplete log file saved. New log file created.");
  const std::string saved =
      name.substr(0, name.size() - kExtension.size()) + std::string(kIncompleteSuffix);
  if (!FFileSystem.Rename(name, saved, status)) {
    AddLogEntry(TLogLevel::Error, "Could not backup Incomplete log file: " + name);
    // The file stays under its regular name: cut it back to its last whole entry so that
    // later entries are not appended behind a broken one.
    size_t whole = 0;
    for (const size_t end : ends) {
      if (end <= written) whole = end;
    }
    const int64_t size = FFileStream->Size(status);
    const auto cut = static_cast<int64_t>(written - whole);
    if (size >= cut) FFileStream->Truncate(size - cut, status);
  }
  return false;
}

void TBxLogFileDestination::CloseFile() {
  if (FKeptListed) UnregisterKeptFile(this);
  CloseKeptFile();
}

void TBxLogFileDestination::CloseKeptFile() {
  FKeptListed = false;
  if (FFileStream == nullptr) return;
  WritePending();
  TSystemError status;
  FFileStream->Close(status);
  FFileStream.reset();
}

bool TBxLogFileDestination::IdleExpired() const {
  return FClock.SteadyMilliseconds() - FKept.LastUseMs >= kKeptFileIdleMs;
}

bool TBxLogFileDestination::KeptFileStillFits() {
  // A new date; without dates the base name is the fixed stem, compared without a copy.
  if (LogByDate ? BaseName() != FKept.Base : FPathStem != FKept.Base) return false;
  if (MaxSize > 1 && FKept.Size >= static_cast<int64_t>(MaxSize) * 1024) return false;  // full
  const int64_t now = FClock.SteadyMilliseconds();
  if (FKept.HasIdentity && now - FKept.LastCheckMs >= kKeptFileIdleMs) {
    FKept.LastCheckMs = now;
    TFileIdentity current;
    if (!FFileSystem.IdentityOf(FKept.Name, current) || current != FKept.Identity) {
      return false;  // renamed, removed or replaced under its name
    }
  }
  return true;
}

void TBxLogFileDestination::Dispatch(TDispatchMessage& message) {
  const auto type = static_cast<uint32_t>(message.MsgType);
  if (!(type <= 11 || (type >= 16 && type <= 44))) return;
  BuildLogFileEntry(message, FEntry);  // before anything is opened: it may throw
  if (FFileStream != nullptr && !KeptFileStillFits()) CloseFile();
  if (FFileStream == nullptr) {
    ChooseFileName();
    if (!OpenFile()) return;
    if (KeepOpen) {
      TSystemError status;
      FKept.Name = CurrentFileName;
      FKept.Base = BaseName();
      FKept.Size = std::max<int64_t>(FFileStream->Size(status), 0);
      FKept.HasIdentity = FFileStream->Identity(FKept.Identity);
      FKept.LastCheckMs = FClock.SteadyMilliseconds();
    }
  } else {
    CurrentFileName = FKept.Name;
    FileOpened = true;
  }
  const bool whole = WriteEntry();
  if (KeepOpen && whole) {
    FKept.LastUseMs = FClock.SteadyMilliseconds();
    if (!FKeptListed) {
      RegisterKeptFile(this);
      FKeptListed = true;
    }
    return;
  }
  CloseFile();
}

}  // namespace bx

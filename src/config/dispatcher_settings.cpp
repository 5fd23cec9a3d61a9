#include "config/dispatcher_settings.h"

#include "config/paths.h"
#include "config/text_case.h"
#include "platform/file_access.h"

namespace bx {

namespace {

constexpr int kWrittenMessageTypes = 46;

// Loads `fileName` for a change. False when the file exists but cannot be read: replacing it
// with only the values written now would lose the rest of it.
bool LoadForChange(TBxIniFile& ini, const std::string& fileName, std::string* error) {
  if (ini.Load(fileName, error)) return true;
  return !RegularFileExists(fileName);
}

bool EditSettingsFile(const std::string& fileName, void (*edit)(TBxIniFile&, int), int value) {
  if (!CheckFileWriteAccess(fileName)) return false;
  TBxIniFile ini;
  if (!LoadForChange(ini, fileName, nullptr)) return false;
  edit(ini, value);
  return ini.Save();
}

}  // namespace

std::string DefaultSettingsFileName() { return GetCommonDataFolder() + "BxDispatcher.ini"; }

TBxDispatcherSettings::TBxDispatcherSettings() : TBxDispatcherSettings(DefaultSettingsFileName()) {}

TBxDispatcherSettings::TBxDispatcherSettings(std::string fileName)
    : FFileName(std::move(fileName)) {
  CheckWriteAccess();
}

TBxDispatcherSettings::TBxDispatcherSettings(TDefaultsOnly) {}

void TBxDispatcherSettings::CheckWriteAccess() {
  CanModify = !FFileName.empty() && CheckFileWriteAccess(FFileName);
}

void TBxDispatcherSettings::LoadSettings() {
  auto ini = std::make_shared<TBxIniFile>();
  FFileLoaded = !FFileName.empty() && ini->Load(FFileName);
  Categories.Clear();
  NamedPaths.clear();
  UIMode = static_cast<uint8_t>(ini->ReadInteger("Settings", "UIMode", 0) & 0xFF);
  for (const auto& [key, value] : ini->ReadSectionValues("Categories")) {
    Categories.AddCategory(key, value == "1");
  }
  MonitorPorts = ini->ReadBool("Ports", "MonitorPorts", false);
  TCPPort = ini->ReadInteger("Ports", "TCPPort", 3434);
  UDPPort = ini->ReadInteger("Ports", "UDPPort", 3435);
  // Every line, those without "=" included, is a named path; only the switch is not.
  for (const std::string& line : ini->ReadSectionLines("NamedPaths")) {
    if (line.substr(0, line.find('=')) != "RestrictFolders") NamedPaths.push_back(line);
  }
  RestrictFolders = ini->ReadBool("NamedPaths", "RestrictFolders", false);
  Disabled = ini->ReadBool("Dispatcher", "Disabled", false);
  BlockedMessages = ParseBlockedMessages(ini->ReadString("Dispatcher", "BlockedMessages", ""));
  MaxQueueMemoryMB = ini->ReadInteger("Dispatcher", "MaxQueueMemoryMB", kDefaultMaxQueueMemoryMB);
  StopDrainMilliseconds =
      ini->ReadInteger("Dispatcher", "StopDrainMilliseconds", kDefaultStopDrainMilliseconds);
  FLoadedFile = std::move(ini);
}

bool TBxDispatcherSettings::SaveSettings(std::string* error) {
  if (FFileName.empty()) {
    if (error != nullptr) *error = "no settings file";
    return false;
  }
  TBxIniFile ini;
  if (!LoadForChange(ini, FFileName, error)) return false;
  ini.WriteInteger("Settings", "UIMode", UIMode);
  ini.EraseSection("Categories");
  for (int i = 0; i < Categories.Count(); ++i) {
    ini.WriteString("Categories", Categories.Text(i), Categories.IsBlockedAt(i) ? "1" : "0");
  }
  ini.WriteBool("Ports", "MonitorPorts", MonitorPorts);
  ini.WriteInteger("Ports", "TCPPort", TCPPort);
  ini.WriteInteger("Ports", "UDPPort", UDPPort);
  ini.EraseSection("NamedPaths");
  for (const std::string& entry : NamedPaths) {
    size_t equals = entry.find('=');
    if (equals == std::string::npos) {
      ini.AppendBareLine("NamedPaths", entry);  // written back as it was read
    } else {
      ini.WriteString("NamedPaths", entry.substr(0, equals), entry.substr(equals + 1));
    }
  }
  ini.WriteBool("NamedPaths", "RestrictFolders", RestrictFolders);
  ini.WriteBool("Dispatcher", "Disabled", Disabled);
  ini.WriteString("Dispatcher", "BlockedMessages", BlockedMessagesToString(BlockedMessages));
  return ini.SaveAs(FFileName, error);
}

std::string TBxDispatcherSettings::BlockedMessagesToString(const TBxMessageTypeSet& set) {
  std::string text(kWrittenMessageTypes, '0');
  for (int type = 0; type < kWrittenMessageTypes; ++type) {
    if (set.test(static_cast<size_t>(type))) text[static_cast<size_t>(type)] = '1';
  }
  return text;
}

TBxMessageTypeSet TBxDispatcherSettings::ParseBlockedMessages(std::string_view text) {
  TBxMessageTypeSet set;
  for (size_t i = 0; i < text.size() && i < set.size(); ++i) {
    if (text[i] == '1') set.set(i);
  }
  return set;
}

int TBxDispatcherSettings::BlockedMessageCount() const {
  int count = 0;
  for (int type = 0; type < kWrittenMessageTypes; ++type) {
    if (BlockedMessages.test(static_cast<size_t>(type))) ++count;
  }
  return count;
}

bool TBxDispatcherSettings::ReadLoadedValue(std::string_view section, std::string_view key,
                                            std::string& value) const {
  return FLoadedFile != nullptr && FLoadedFile->FindString(section, key, value);
}

bool TBxDispatcherSettings::FindNamedPath(std::string_view name, std::string& path) const {
  for (const std::string& entry : NamedPaths) {
    size_t equals = entry.find('=');
    std::string_view entryName = std::string_view(entry).substr(0, equals);
    if (SameText(entryName, name)) {
      path = equals == std::string::npos ? std::string() : entry.substr(equals + 1);
      return true;
    }
  }
  return false;
}

bool TBxDispatcherSettings::IsPathAllowed(std::string_view path) const {
  if (!RestrictFolders) return true;
  if (!path.empty() && path.back() == '/') path.remove_suffix(1);
  // "/logs/../etc/x" begins with "/logs" but lies outside it.
  size_t pos = 0;
  while (pos <= path.size()) {
    size_t end = path.find('/', pos);
    if (end == std::string_view::npos) end = path.size();
    if (path.substr(pos, end - pos) == "..") return false;
    pos = end + 1;
  }
  for (const std::string& entry : NamedPaths) {
    size_t equals = entry.find('=');
    std::string_view folder = equals == std::string::npos
                                  ? std::string_view()
                                  : std::string_view(entry).substr(equals + 1);
    if (path.substr(0, folder.size()) == folder) return true;
  }
  return false;
}

bool WriteInitialUIMode(uint8_t mode, const std::string& fileName) {
  return EditSettingsFile(
      fileName, [](TBxIniFile& ini, int value) { ini.WriteInteger("Settings", "UIMode", value); },
      mode);
}

bool WriteInitialMonitorPorts(const std::string& fileName) {
  return EditSettingsFile(
      fileName, [](TBxIniFile& ini, int) { ini.WriteBool("Ports", "MonitorPorts", true); }, 1);
}

}  // namespace bx

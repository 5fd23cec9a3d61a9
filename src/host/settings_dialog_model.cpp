#include "host/settings_dialog_model.h"

#include <algorithm>

#include "config/text_case.h"
#include "host/message_type_buttons.h"
#include "platform/log_entry.h"

namespace bx {

void SplitNamedPath(std::string_view entry, std::string& name, std::string& path) {
  size_t equals = entry.find('=');
  if (equals == std::string_view::npos) {
    name = entry;
    path.clear();
  } else {
    name = entry.substr(0, equals);
    path = entry.substr(equals + 1);
  }
}

TSettingsDialogModel::TSettingsDialogModel(std::string settingsFileName)
    : TSettingsDialogModel(std::make_unique<TBxDispatcherSettings>(std::move(settingsFileName))) {}

TSettingsDialogModel::TSettingsDialogModel(std::unique_ptr<TBxDispatcherSettings> settings)
    : FSettings(std::move(settings)) {}

void TSettingsDialogModel::Show() {
  FSettings->LoadSettings();
  FillNamedPaths();
  FCategoryItems.clear();
  for (int i = 0; i < FSettings->Categories.Count(); ++i) {
    FCategoryItems.push_back({FSettings->Categories.Text(i), FSettings->Categories.IsBlockedAt(i)});
  }
  FSelectedCategory = -1;
  FMonitorPorts = FSettings->MonitorPorts;
  FUDPPort = ClampPort(FSettings->UDPPort);
  FTCPPort = ClampPort(FSettings->TCPPort);
  FRestrictFolders = FSettings->RestrictFolders;
}

void TSettingsDialogModel::FillNamedPaths() {
  FNamedPathLines.clear();
  std::string name;
  std::string path;
  for (const std::string& entry : FSettings->NamedPaths) {
    SplitNamedPath(entry, name, path);
    FNamedPathLines.push_back(name + "\t" + path);
  }
  FSelectedNamedPath = -1;
}

void TSettingsDialogModel::SelectNamedPath(int index) {
  FSelectedNamedPath = index >= 0 && index < static_cast<int>(FNamedPathLines.size()) ? index : -1;
}

void TSettingsDialogModel::AddNamedPath(std::string_view name, std::string_view path) {
  FSettings->NamedPaths.push_back(std::string(name) + "=" + std::string(path));
  FillNamedPaths();
}

bool TSettingsDialogModel::SelectedNamedPathFields(std::string& name, std::string& path) const {
  if (FSelectedNamedPath < 0) return false;
  SplitNamedPath(FSettings->NamedPaths[static_cast<size_t>(FSelectedNamedPath)], name, path);
  return true;
}

void TSettingsDialogModel::ModifySelectedNamedPath(std::string_view name, std::string_view path) {
  if (FSelectedNamedPath < 0) return;
  FSettings->NamedPaths[static_cast<size_t>(FSelectedNamedPath)] =
      std::string(name) + "=" + std::string(path);
  FillNamedPaths();
}

void TSettingsDialogModel::DeleteSelectedNamedPath() {
  if (FSelectedNamedPath < 0) return;
  const std::string& line = FNamedPathLines[static_cast<size_t>(FSelectedNamedPath)];
  const std::string_view target = std::string_view(line).substr(0, line.find('\t'));
  std::vector<std::string>& entries = FSettings->NamedPaths;
  std::string name;
  std::string path;
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    SplitNamedPath(*it, name, path);
    if (SameText(name, target)) {
      entries.erase(it);
      break;
    }
  }
  FillNamedPaths();
}

int TSettingsDialogModel::ClampPort(int value) { return std::clamp(value, kMinPort, kMaxPort); }

void TSettingsDialogModel::DefaultPorts() {
  FTCPPort = kDefaultTCPPort;
  FUDPPort = kDefaultUDPPort;
  FSettings->TCPPort = kDefaultTCPPort;
  FSettings->UDPPort = kDefaultUDPPort;
}

bool TSettingsDialogModel::MessageButtonDown(int type) const {
  return FindMessageTypeButton(type) != nullptr &&
         FSettings->BlockedMessages.test(static_cast<size_t>(type));
}

void TSettingsDialogModel::SetMessageButtonDown(int type, bool down) {
  if (FindMessageTypeButton(type) == nullptr) return;
  FSettings->BlockedMessages.set(static_cast<size_t>(type), down);
}

void TSettingsDialogModel::BlockAllMessages() {
  for (const TMessageTypeButton& button : MessageTypeButtons()) {
    FSettings->BlockedMessages.set(static_cast<size_t>(button.Type));
  }
}

void TSettingsDialogModel::ForwardAllMessages() {
  for (const TMessageTypeButton& button : MessageTypeButtons()) {
    FSettings->BlockedMessages.reset(static_cast<size_t>(button.Type));
  }
}

void TSettingsDialogModel::SelectCategory(int index) {
  FSelectedCategory = index >= 0 && index < static_cast<int>(FCategoryItems.size()) ? index : -1;
}

void TSettingsDialogModel::SetCategoryChecked(int index, bool checked) {
  if (index < 0 || index >= static_cast<int>(FCategoryItems.size())) return;
  TCategoryItem& item = FCategoryItems[static_cast<size_t>(index)];
  item.Checked = checked;
  FSettings->Categories.SetCategoryBlocked(item.Text, checked);
}

int TSettingsDialogModel::AddCategory(std::string_view text, bool blocked) {
  // A second spelling of a present line goes after it, as a sorted list box inserts.
  auto pos = std::upper_bound(FCategoryItems.begin(), FCategoryItems.end(), text,
                              [](std::string_view value, const TCategoryItem& item) {
                                return CompareText(value, item.Text) < 0;
                              });
  pos = FCategoryItems.insert(pos, TCategoryItem{std::string(text), blocked});
  FSelectedCategory = static_cast<int>(pos - FCategoryItems.begin());
  FSettings->Categories.AddCategory(text, blocked);
  return FSelectedCategory;
}

void TSettingsDialogModel::RemoveSelectedCategory() {
  if (FSelectedCategory < 0) return;
  const std::string text = FCategoryItems[static_cast<size_t>(FSelectedCategory)].Text;
  FCategoryItems.erase(FCategoryItems.begin() + FSelectedCategory);
  const int count = static_cast<int>(FCategoryItems.size());
  if (FSelectedCategory >= count) FSelectedCategory = count - 1;
  FSettings->Categories.RemoveCategory(text);
}

void TSettingsDialogModel::SetAllCategories(bool checked) {
  for (int i = 0; i < static_cast<int>(FCategoryItems.size()); ++i) SetCategoryChecked(i, checked);
}

TSettingsDialogModel::TCloseResult TSettingsDialogModel::Close(const std::function<void()>& onSaved,
                                                               std::string* error) {
  if (!FSettings->CanModify) return TCloseResult::ReadOnly;
  FSettings->MonitorPorts = FMonitorPorts;
  FSettings->TCPPort = FTCPPort;
  FSettings->UDPPort = FUDPPort;
  FSettings->RestrictFolders = FRestrictFolders;
  std::string reason;
  if (!FSettings->SaveSettings(&reason)) {
    AddLogEntry(TLogLevel::Error,
                "Settings could not be saved to " + FSettings->SettingsFileName() + ": " + reason);
    if (error != nullptr) *error = reason;
    return TCloseResult::SaveFailed;
  }
  if (onSaved) onSaved();
  return TCloseResult::Saved;
}

}  // namespace bx

// TSettingsDialogModel: the rules of the settings dialog "Brevix Dispatcher Settings", without
// any toolkit. A face draws the four pages ("Paths", "Ports", "Blocked Messages", "Blocked
// Categories") from this model and reports each user action to it.
//
// The model works on a private TBxDispatcherSettings, created with the model, so CanModify
// tells whether the file could be written when the dialog was created. Show() loads the file
// and fills every control anew, so each showing starts from the file and forgets edits that
// were dropped with the close box. The lists and the blocked types change the private settings
// at the moment the user edits them; the monitor switch, the two ports and the restrict switch
// are copied in by Close(), which then saves and calls the main window back. When CanModify is
// false the pages cannot be switched and Close() saves nothing.
//
// Rules of the pages:
// - Paths: one line "name<TAB>folder" per named path, in file order. Add appends name=folder
//   without looking for the name (the file then keeps the name once, with the later folder);
//   Modify replaces the selected entry by position; Delete removes the first entry whose name
//   (compared without regard to case) is the selected line's text up to its first tab. After
//   each of them the list is refilled and nothing is selected. The restrict check box is enabled
//   only while the list holds a line; its state is saved whether enabled or not.
// - Ports: the monitor switch enables both port rows; the port values are kept and saved when
//   it is off. Values are 0..65535. "Default Ports" sets 3434 (TCP) and 3435 (UDP).
// - Blocked Messages: a button that is down is a blocked type; "Block All" and "Forward All"
//   change exactly the 36 types that have a button.
// - Blocked Categories: the check list is sorted without regard to case and may hold lines the
//   settings do not (an empty text, a second spelling of a category); checking a line blocks
//   its category at once. Add inserts the line in sorted place, selects it, and adds the
//   category unless it is empty or present in any case (a present one keeps its flag). Remove
//   deletes the selected line and its category, then selects the line now at that position, or
//   the one before it.
//
// Ownership: the face owns the model. Threads: the UI thread only.
// Failure: a save that fails is logged (an Error entry with the reason), Close() then reports
// SaveFailed and does not call back. Indices outside the lists are ignored.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/dispatcher_settings.h"

namespace bx {

class TSettingsDialogModel {
 public:
  static constexpr const char* kCaption = "Brevix Dispatcher Settings";
  static constexpr const char* kHelpTopic = "Dispatcher_Settings";
  static constexpr int kDefaultTCPPort = 3434;
  static constexpr int kDefaultUDPPort = 3435;
  static constexpr int kMinPort = 0;
  static constexpr int kMaxPort = 65535;

  struct TCategoryItem {
    std::string Text;
    bool Checked = false;
  };

  enum class TCloseResult {
    Saved,       // saved, and the callback (when set) was called
    ReadOnly,    // CanModify is false: nothing saved, no callback
    SaveFailed,  // the file could not be written: logged, no callback
  };

  // A private settings object for the file `settingsFileName` (write access checked now).
  explicit TSettingsDialogModel(std::string settingsFileName = DefaultSettingsFileName());
  // Works on `settings` (not loaded yet; Show loads it).
  explicit TSettingsDialogModel(std::unique_ptr<TBxDispatcherSettings> settings);

  // Loads the file and fills every control from it; clears both selections.
  void Show();

  bool CanModify() const { return FSettings->CanModify; }
  // Whether the page tabs may be used; when not, the first page stays active.
  bool PagesEnabled() const { return FSettings->CanModify; }
  // The private settings object (for the face's tests and the summary it may show).
  const TBxDispatcherSettings& Settings() const { return *FSettings; }

  // --- Paths ---
  const std::vector<std::string>& NamedPathLines() const { return FNamedPathLines; }
  int SelectedNamedPath() const { return FSelectedNamedPath; }
  void SelectNamedPath(int index);  // -1 clears the selection
  bool ModifyEnabled() const { return FSelectedNamedPath >= 0; }
  bool DeleteEnabled() const { return FSelectedNamedPath >= 0; }
  void AddNamedPath(std::string_view name, std::string_view path);
  // The selected entry's name and folder, to fill the editor for "&Modify"; false without one.
  bool SelectedNamedPathFields(std::string& name, std::string& path) const;
  void ModifySelectedNamedPath(std::string_view name, std::string_view path);
  void DeleteSelectedNamedPath();
  bool RestrictFoldersEnabled() const { return !FNamedPathLines.empty(); }
  bool RestrictFoldersChecked() const { return FRestrictFolders; }
  void SetRestrictFolders(bool checked) { FRestrictFolders = checked; }

  // --- Ports ---
  bool MonitorPortsChecked() const { return FMonitorPorts; }
  void SetMonitorPorts(bool checked) { FMonitorPorts = checked; }
  bool PortRowsEnabled() const { return FMonitorPorts; }
  int TCPPortValue() const { return FTCPPort; }
  int UDPPortValue() const { return FUDPPort; }
  void SetTCPPort(int value) { FTCPPort = ClampPort(value); }
  void SetUDPPort(int value) { FUDPPort = ClampPort(value); }
  void DefaultPorts();
  static int ClampPort(int value);

  // --- Blocked Messages ---
  // Whether the button of `type` is down (false for a type without a button).
  bool MessageButtonDown(int type) const;
  // A click that left the button of `type` down (blocked) or up; ignored without a button.
  void SetMessageButtonDown(int type, bool down);
  void BlockAllMessages();
  void ForwardAllMessages();

  // --- Blocked Categories ---
  const std::vector<TCategoryItem>& CategoryItems() const { return FCategoryItems; }
  int SelectedCategory() const { return FSelectedCategory; }
  void SelectCategory(int index);  // -1 clears the selection
  void SetCategoryChecked(int index, bool checked);
  // The new-category prompt's OK: returns the index of the new line (now selected).
  int AddCategory(std::string_view text, bool blocked);
  bool RemoveCategoryEnabled() const { return FSelectedCategory >= 0; }
  void RemoveSelectedCategory();
  bool CategoryBulkEnabled() const { return !FCategoryItems.empty(); }
  void BlockAllCategories() { SetAllCategories(true); }
  void ForwardAllCategories() { SetAllCategories(false); }

  // --- Buttons below the pages ---
  // "Close": when CanModify, copies the four switches and values into the settings, saves and
  // calls `onSaved` (when set). The face hides the window in every case. `error` receives the
  // reason of a failed save.
  TCloseResult Close(const std::function<void()>& onSaved, std::string* error = nullptr);

 private:
  void FillNamedPaths();
  void SetAllCategories(bool checked);

  std::unique_ptr<TBxDispatcherSettings> FSettings;
  std::vector<std::string> FNamedPathLines;
  int FSelectedNamedPath = -1;
  bool FRestrictFolders = false;
  bool FMonitorPorts = false;
  int FTCPPort = kDefaultTCPPort;
  int FUDPPort = kDefaultUDPPort;
  std::vector<TCategoryItem> FCategoryItems;
  int FSelectedCategory = -1;
};

// Splits a named path entry "name=folder" at its first "=" (no "=": all name, no folder).
void SplitNamedPath(std::string_view entry, std::string& name, std::string& path);

}  // namespace bx

// TfrmDispatcherSettings: the settings dialog "Brevix Dispatcher Settings", a thin Qt layer over
// TSettingsDialogModel. Four pages ("Paths", "Ports", "Blocked Messages", "Blocked
// Categories"), "Close" and "&Help" below them. Each showing loads the file and fills every
// control; "Close" saves (when the file may be written), calls the callback and hides; the
// close box (and Escape) only hides. Read-only settings disable the page tabs.
//
// Ownership: whoever creates the dialog owns it; the desktop face keeps one for the life of the
// process. The callback runs on the GUI thread inside "Close"'s click; an exception it throws
// is written to the activity log and goes no further.
// Threads: the GUI thread only.
// Failure: a failed save is logged by the model and shown in a message box; the dialog hides.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "host/message_type_buttons.h"
#include "host/settings_dialog_model.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QToolButton;

namespace bx::ui {

class TfrmDispatcherSettings : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmDispatcherSettings(std::string settingsFileName = DefaultSettingsFileName(),
                                  QWidget* parent = nullptr);
  explicit TfrmDispatcherSettings(std::unique_ptr<TBxDispatcherSettings> settings,
                                  QWidget* parent = nullptr);

  // Sets the callback that runs after a save and shows the dialog modeless (or raises it).
  void ShowSettings(std::function<void()> onSaved);

  const TSettingsDialogModel& Model() const { return FModel; }

  // The controls, for tests and screenshots.
  QTabWidget* Pages() const { return FPages; }
  QPushButton* CloseButton() const { return FClose; }
  QPushButton* HelpButton() const { return FHelp; }
  QListWidget* NamedPathList() const { return FPathList; }
  QPushButton* AddPathButton() const { return FAddPath; }
  QPushButton* ModifyPathButton() const { return FModifyPath; }
  QPushButton* DeletePathButton() const { return FDeletePath; }
  QCheckBox* RestrictCheckBox() const { return FRestrict; }
  QCheckBox* MonitorCheckBox() const { return FMonitor; }
  QSpinBox* TCPPortEdit() const { return FTCPPort; }
  QSpinBox* UDPPortEdit() const { return FUDPPort; }
  QPushButton* DefaultPortsButton() const { return FDefaultPorts; }
  QToolButton* MessageButton(int type) const;
  QPushButton* BlockAllMessagesButton() const { return FBlockAllMessages; }
  QPushButton* ForwardAllMessagesButton() const { return FForwardAllMessages; }
  QListWidget* CategoryList() const { return FCategoryList; }
  QPushButton* AddCategoryButton() const { return FAddCategory; }
  QPushButton* RemoveCategoryButton() const { return FRemoveCategory; }
  QPushButton* BlockAllCategoriesButton() const { return FBlockAllCategories; }
  QPushButton* ForwardAllCategoriesButton() const { return FForwardAllCategories; }
  // The widgets of one port row (label, bold protocol, "for ... Brevix messages").
  QList<QWidget*> PortRowWidgets() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildPathsPage(QWidget* page);
  void BuildPortsPage(QWidget* page);
  void BuildMessagesPage(QWidget* page);
  void BuildCategoriesPage(QWidget* page);
  void AddPortRow(QWidget* page, int top, const char* protocol, QSpinBox*& edit);

  void FillAll();
  void FillNamedPaths();
  void FillCategories();
  void FillMessageButtons();
  void UpdatePathButtons();
  void UpdatePortRows();
  void UpdateCategoryButtons();

  int RunModal(QDialog& dialog);
  void AddPath();
  void ModifyPath();
  void DeletePath();
  void AddCategory();
  void RemoveCategory();
  void CloseClicked();
  void HelpClicked();

  TSettingsDialogModel FModel;
  std::function<void()> FOnSaved;

  QTabWidget* FPages = nullptr;
  QPushButton* FClose = nullptr;
  QPushButton* FHelp = nullptr;
  QListWidget* FPathList = nullptr;
  QPushButton* FAddPath = nullptr;
  QPushButton* FModifyPath = nullptr;
  QPushButton* FDeletePath = nullptr;
  QCheckBox* FRestrict = nullptr;
  QCheckBox* FMonitor = nullptr;
  QSpinBox* FTCPPort = nullptr;
  QSpinBox* FUDPPort = nullptr;
  QList<QWidget*> FPortRowWidgets;
  QPushButton* FDefaultPorts = nullptr;
  std::array<QToolButton*, kMessageTypeButtonCount> FMessageButtons{};
  QPushButton* FBlockAllMessages = nullptr;
  QPushButton* FForwardAllMessages = nullptr;
  QListWidget* FCategoryList = nullptr;
  QPushButton* FAddCategory = nullptr;
  QPushButton* FRemoveCategory = nullptr;
  QPushButton* FBlockAllCategories = nullptr;
  QPushButton* FForwardAllCategories = nullptr;
  bool FFilling = false;  // controls are being filled from the model: their signals are ignored
};

}  // namespace bx::ui

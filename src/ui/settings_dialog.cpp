#include "ui/settings_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <exception>

#include "host/settings_dialog_texts.h"
#include "platform/log_entry.h"
#include "ui/dialog_style.h"
#include "ui/dialogs.h"
#include "ui/message_type_images.h"
#include "ui/named_path_dialog.h"
#include "ui/new_category_dialog.h"

namespace bx::ui {

namespace {

QString Text(const char* text) { return QString::fromUtf8(text); }
QString Text(const std::string& text) { return QString::fromStdString(text); }

QLabel* Intro(QWidget* page, const char* text) {
  auto* label = new QLabel(Text(text), page);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(12, 8, 429, 50);
  return label;
}

QPushButton* Button(QWidget* parent, const char* text, int left, int top, int width = 80) {
  auto* button = new QPushButton(Text(text), parent);
  button->setAutoDefault(false);
  Place(button, left, top, width, 25);
  return button;
}

// The selected row of a single-selection list, or -1.
int SelectedRow(const QListWidget* list) {
  const QList<QListWidgetItem*> selected = list->selectedItems();
  return selected.isEmpty() ? -1 : list->row(selected.front());
}

void SelectRow(QListWidget* list, int row) {
  if (row < 0) {
    list->clearSelection();
    list->setCurrentRow(-1, QItemSelectionModel::Clear);
  } else {
    list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
  }
}

}  // namespace

TfrmDispatcherSettings::TfrmDispatcherSettings(std::string settingsFileName, QWidget* parent)
    : TfrmDispatcherSettings(std::make_unique<TBxDispatcherSettings>(std::move(settingsFileName)),
                             parent) {}

TfrmDispatcherSettings::TfrmDispatcherSettings(std::unique_ptr<TBxDispatcherSettings> settings,
                                               QWidget* parent)
    : QDialog(parent), FModel(std::move(settings)) {
  setWindowTitle(Text(TSettingsDialogModel::kCaption));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  ApplyDialogStyle(this);
  FixClientSize(this, 476, 297);

  FPages = new QTabWidget(this);
  FPages->setGeometry(8, 12, 461, 245);
  const char* captions[4] = {kSettingsPagePaths, kSettingsPagePorts, kSettingsPageMessages,
                             kSettingsPageCategories};
  QWidget* pages[4];
  for (int i = 0; i < 4; ++i) {
    pages[i] = new QWidget;
    FPages->addTab(pages[i], Text(captions[i]));
  }
  BuildPathsPage(pages[0]);
  BuildPortsPage(pages[1]);
  BuildMessagesPage(pages[2]);
  BuildCategoriesPage(pages[3]);
  FPages->setCurrentIndex(0);
  // Without write access no other page can be chosen; the first one stays.
  FPages->tabBar()->setEnabled(FModel.PagesEnabled());

  FClose = Button(this, kSettingsClose, 300, 264);
  FHelp = Button(this, kSettingsHelp, 388, 264);
  connect(FClose, &QPushButton::clicked, this, &TfrmDispatcherSettings::CloseClicked);
  connect(FHelp, &QPushButton::clicked, this, &TfrmDispatcherSettings::HelpClicked);
}

void TfrmDispatcherSettings::BuildPathsPage(QWidget* page) {
  Intro(page, kPathsIntro);
  FPathList = new QListWidget(page);
  FPathList->setGeometry(12, 64, 341, 117);
  FPathList->setSelectionMode(QAbstractItemView::SingleSelection);
  FPathList->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  FPathList->setTextElideMode(Qt::ElideNone);
  FAddPath = Button(page, kPathsAdd, 364, 64);
  FModifyPath = Button(page, kPathsModify, 364, 96);
  FDeletePath = Button(page, kPathsDelete, 364, 128);
  FRestrict = new QCheckBox(Text(kPathsRestrict), page);
  Place(FRestrict, 11, 189);

  connect(FPathList, &QListWidget::itemSelectionChanged, this, [this] {
    if (FFilling) return;
    FModel.SelectNamedPath(SelectedRow(FPathList));
    UpdatePathButtons();
  });
  connect(FPathList, &QListWidget::itemDoubleClicked, this, [this] { ModifyPath(); });
  connect(FAddPath, &QPushButton::clicked, this, &TfrmDispatcherSettings::AddPath);
  connect(FModifyPath, &QPushButton::clicked, this, &TfrmDispatcherSettings::ModifyPath);
  connect(FDeletePath, &QPushButton::clicked, this, &TfrmDispatcherSettings::DeletePath);
  connect(FRestrict, &QCheckBox::toggled, this, [this](bool checked) {
    if (!FFilling) FModel.SetRestrictFolders(checked);
  });
}

void TfrmDispatcherSettings::AddPortRow(QWidget* page, int top, const char* protocol,
                                        QSpinBox*& edit) {
  edit = new QSpinBox(page);
  edit->setRange(TSettingsDialogModel::kMinPort, TSettingsDialogModel::kMaxPort);
  edit->setKeyboardTracking(true);
  Place(edit, 94, top, 73);
  const int textTop = top + (edit->height() - QFontMetrics(font()).height()) / 2;

  auto* monitorPort = new QLabel(Text(kPortsMonitorPort), page);
  Place(monitorPort, 28, textTop);
  auto* forMessages = new QLabel(Text(kPortsForMessages), page);
  Place(forMessages, 176, textTop);
  // The bold name sits centred in the nine blanks after "for".
  auto* name = new QLabel(Text(protocol), page);
  QFont bold = name->font();
  bold.setBold(true);
  name->setFont(bold);
  const QFontMetrics plain(forMessages->font());
  const int gapLeft = plain.horizontalAdvance(QStringLiteral("for"));
  const int gapWidth = plain.horizontalAdvance(QStringLiteral("for         ")) - gapLeft;
  const int nameWidth = QFontMetrics(bold).horizontalAdvance(Text(protocol));
  Place(name, 176 + gapLeft + (gapWidth - nameWidth) / 2, textTop);
  FPortRowWidgets << monitorPort << edit << name << forMessages;
}

void TfrmDispatcherSettings::BuildPortsPage(QWidget* page) {
  Intro(page, kPortsIntro);
  FMonitor = new QCheckBox(Text(kPortsMonitor), page);
  Place(FMonitor, 12, 64);
  AddPortRow(page, 88, kPortsTCP, FTCPPort);
  AddPortRow(page, 120, kPortsUDP, FUDPPort);
  FDefaultPorts = Button(page, kPortsDefault, 364, 88);

  connect(FMonitor, &QCheckBox::toggled, this, [this](bool checked) {
    if (FFilling) return;
    FModel.SetMonitorPorts(checked);
    UpdatePortRows();
  });
  connect(FTCPPort, &QSpinBox::valueChanged, this, [this](int value) {
    if (!FFilling) FModel.SetTCPPort(value);
  });
  connect(FUDPPort, &QSpinBox::valueChanged, this, [this](int value) {
    if (!FFilling) FModel.SetUDPPort(value);
  });
  connect(FDefaultPorts, &QPushButton::clicked, this, [this] {
    FModel.DefaultPorts();
    FFilling = true;
    FTCPPort->setValue(FModel.TCPPortValue());
    FUDPPort->setValue(FModel.UDPPortValue());
    FFilling = false;
  });
}

void TfrmDispatcherSettings::BuildMessagesPage(QWidget* page) {
  Intro(page, kMessagesIntro);
  auto* caption = new QLabel(Text(kMessagesCaption), page);
  Place(caption, 12, 40);
  auto* panel = new QFrame(page);
  panel->setObjectName(QStringLiteral("MessageTypePanel"));
  panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  const int panelWidth =
      kMessageTypeLastColumnLeft + kMessageTypeButtonSize + kMessageTypePanelMargin;
  const int panelHeight = MessageTypeButtonTop(MessageTypeButtons().back()) +
                          kMessageTypeButtonSize + kMessageTypePanelMargin;
  panel->setGeometry(12, 56, panelWidth, panelHeight);
  // A button that is down (a blocked type) must be told apart at a glance.
  panel->setStyleSheet(QStringLiteral(
      "QToolButton { border: 1px solid #9a9a9a; border-radius: 3px; background: #f6f6f6; }"
      "QToolButton:hover { border-color: #2f5597; }"
      "QToolButton:checked { border: 2px solid #2f5597; background: #a9bfe3; }"));
  for (size_t i = 0; i < MessageTypeButtons().size(); ++i) {
    const TMessageTypeButton& entry = MessageTypeButtons()[i];
    auto* button = new QToolButton(panel);
    button->setCheckable(true);
    button->setIcon(MessageTypeIcon(entry.Type));
    button->setIconSize(QSize(16, 16));
    button->setToolTip(Text(entry.Hint));
    button->setAccessibleName(Text(entry.Hint));
    button->setGeometry(MessageTypeButtonLeft(entry), MessageTypeButtonTop(entry),
                        kMessageTypeButtonSize, kMessageTypeButtonSize);
    const int type = entry.Type;
    connect(button, &QToolButton::toggled, this, [this, type](bool down) {
      if (!FFilling) FModel.SetMessageButtonDown(type, down);
    });
    FMessageButtons[i] = button;
  }
  FBlockAllMessages = Button(page, kBlockAll, 364, 72);
  FForwardAllMessages = Button(page, kForwardAll, 364, 104);
  connect(FBlockAllMessages, &QPushButton::clicked, this, [this] {
    FModel.BlockAllMessages();
    FillMessageButtons();
  });
  connect(FForwardAllMessages, &QPushButton::clicked, this, [this] {
    FModel.ForwardAllMessages();
    FillMessageButtons();
  });
}

void TfrmDispatcherSettings::BuildCategoriesPage(QWidget* page) {
  Intro(page, kCategoriesIntro);
  FCategoryList = new QListWidget(page);
  FCategoryList->setGeometry(12, 64, 341, 141);
  FCategoryList->setSelectionMode(QAbstractItemView::SingleSelection);
  FCategoryList->setUniformItemSizes(true);
  FAddCategory = Button(page, kCategoriesAdd, 364, 64);
  FAddCategory->setToolTip(Text(kCategoriesAddHint));
  FRemoveCategory = Button(page, kCategoriesRemove, 364, 96);
  FRemoveCategory->setToolTip(Text(kCategoriesRemoveHint));
  FBlockAllCategories = Button(page, kBlockAll, 364, 148);
  FForwardAllCategories = Button(page, kForwardAll, 364, 180);

  connect(FCategoryList, &QListWidget::itemSelectionChanged, this, [this] {
    if (FFilling) return;
    FModel.SelectCategory(SelectedRow(FCategoryList));
    UpdateCategoryButtons();
  });
  connect(FCategoryList, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (FFilling) return;
    const int row = FCategoryList->row(item);
    const bool checked = item->checkState() == Qt::Checked;
    if (row >= 0 && FModel.CategoryItems()[static_cast<size_t>(row)].Checked != checked) {
      FModel.SetCategoryChecked(row, checked);
    }
  });
  auto* deleteKey = new QShortcut(QKeySequence(Qt::Key_Delete), FCategoryList);
  deleteKey->setContext(Qt::WidgetShortcut);
  connect(deleteKey, &QShortcut::activated, this, [this] {
    if (FModel.RemoveCategoryEnabled()) RemoveCategory();
  });
  connect(FAddCategory, &QPushButton::clicked, this, &TfrmDispatcherSettings::AddCategory);
  connect(FRemoveCategory, &QPushButton::clicked, this, &TfrmDispatcherSettings::RemoveCategory);
  connect(FBlockAllCategories, &QPushButton::clicked, this, [this] {
    FModel.BlockAllCategories();
    FillCategories();
  });
  connect(FForwardAllCategories, &QPushButton::clicked, this, [this] {
    FModel.ForwardAllCategories();
    FillCategories();
  });
}

QToolButton* TfrmDispatcherSettings::MessageButton(int type) const {
  for (size_t i = 0; i < MessageTypeButtons().size(); ++i) {
    if (MessageTypeButtons()[i].Type == type) return FMessageButtons[i];
  }
  return nullptr;
}

QList<QWidget*> TfrmDispatcherSettings::PortRowWidgets() const { return FPortRowWidgets; }

void TfrmDispatcherSettings::ShowSettings(std::function<void()> onSaved) {
  FOnSaved = std::move(onSaved);
  if (isVisible()) {
    raise();
    activateWindow();
    return;
  }
  show();
  raise();
  activateWindow();
}

void TfrmDispatcherSettings::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // A window restored from the task bar is not a new showing.
  if (event->spontaneous()) return;
  FModel.Show();
  FillAll();
}

void TfrmDispatcherSettings::closeEvent(QCloseEvent* event) {
  // The close box hides without saving; the next showing reloads the file.
  event->accept();
}

void TfrmDispatcherSettings::FillAll() {
  FillNamedPaths();
  FillCategories();
  FillMessageButtons();
  FFilling = true;
  FMonitor->setChecked(FModel.MonitorPortsChecked());
  FUDPPort->setValue(FModel.UDPPortValue());
  FTCPPort->setValue(FModel.TCPPortValue());
  FRestrict->setChecked(FModel.RestrictFoldersChecked());
  FFilling = false;
  UpdatePortRows();
}

void TfrmDispatcherSettings::FillNamedPaths() {
  FFilling = true;
  FPathList->clear();
  for (const std::string& line : FModel.NamedPathLines()) {
    auto* item = new QListWidgetItem(Text(line), FPathList);
    QString hint = Text(line);
    hint.replace(QLatin1Char('\t'), QStringLiteral("    "));
    item->setToolTip(hint);
  }
  SelectRow(FPathList, FModel.SelectedNamedPath());
  FFilling = false;
  UpdatePathButtons();
}

void TfrmDispatcherSettings::FillCategories() {
  FFilling = true;
  FCategoryList->clear();
  for (const auto& category : FModel.CategoryItems()) {
    auto* item = new QListWidgetItem(Text(category.Text), FCategoryList);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(category.Checked ? Qt::Checked : Qt::Unchecked);
    item->setSizeHint(QSize(0, 17));
  }
  SelectRow(FCategoryList, FModel.SelectedCategory());
  FFilling = false;
  UpdateCategoryButtons();
}

void TfrmDispatcherSettings::FillMessageButtons() {
  FFilling = true;
  for (size_t i = 0; i < MessageTypeButtons().size(); ++i) {
    FMessageButtons[i]->setChecked(FModel.MessageButtonDown(MessageTypeButtons()[i].Type));
  }
  FFilling = false;
}

void TfrmDispatcherSettings::UpdatePathButtons() {
  FModifyPath->setEnabled(FModel.ModifyEnabled());
  FDeletePath->setEnabled(FModel.DeleteEnabled());
  FRestrict->setEnabled(FModel.RestrictFoldersEnabled());
}

void TfrmDispatcherSettings::UpdatePortRows() {
  for (QWidget* widget : FPortRowWidgets) widget->setEnabled(FModel.PortRowsEnabled());
}

void TfrmDispatcherSettings::UpdateCategoryButtons() {
  FRemoveCategory->setEnabled(FModel.RemoveCategoryEnabled());
  FBlockAllCategories->setEnabled(FModel.CategoryBulkEnabled());
  FForwardAllCategories->setEnabled(FModel.CategoryBulkEnabled());
}

int TfrmDispatcherSettings::RunModal(QDialog& dialog) {
  const int result = dialog.exec();
  // Keyboard focus comes back here, also where no window manager hands it back.
  activateWindow();
  return result;
}

void TfrmDispatcherSettings::AddPath() {
  TFrmAddFolderVariable editor(this);
  if (RunModal(editor) != QDialog::Accepted) return;
  FModel.AddNamedPath(editor.Name(), editor.Path());
  FillNamedPaths();
}

void TfrmDispatcherSettings::ModifyPath() {
  std::string name;
  std::string path;
  if (!FModel.SelectedNamedPathFields(name, path)) return;
  TFrmAddFolderVariable editor(this);
  editor.SetName(name);
  editor.SetPath(path);
  if (RunModal(editor) != QDialog::Accepted) return;
  FModel.ModifySelectedNamedPath(editor.Name(), editor.Path());
  FillNamedPaths();
}

void TfrmDispatcherSettings::DeletePath() {
  FModel.DeleteSelectedNamedPath();
  FillNamedPaths();
}

void TfrmDispatcherSettings::AddCategory() {
  TFrmNewCategory prompt(this);
  if (RunModal(prompt) != QDialog::Accepted) return;
  FModel.AddCategory(prompt.Text(), prompt.Block());
  FillCategories();
  FCategoryList->setFocus();
}

void TfrmDispatcherSettings::RemoveCategory() {
  FModel.RemoveSelectedCategory();
  FillCategories();
}

void TfrmDispatcherSettings::CloseClicked() {
  std::string error;
  TSettingsDialogModel::TCloseResult result;
  try {
    result = FModel.Close(FOnSaved, &error);
  } catch (const std::exception& e) {
    AddLogEntry(TLogLevel::Error, std::string("Exception after saving the settings: ") + e.what());
    result = TSettingsDialogModel::TCloseResult::Saved;
  }
  hide();
  if (result == TSettingsDialogModel::TCloseResult::SaveFailed) {
    QMessageBox::critical(nullptr, Text(TSettingsDialogModel::kCaption),
                          QStringLiteral("The settings could not be saved: ") + Text(error));
  }
}

void TfrmDispatcherSettings::HelpClicked() { ShowHelp(TSettingsDialogModel::kHelpTopic); }

}  // namespace bx::ui

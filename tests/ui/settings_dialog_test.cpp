// The settings dialog "Brevix Dispatcher Settings" driven as a user drives it: clicks, keys and
// mnemonics, with every result read back from the saved settings file.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <memory>
#include <string>

#include "config/ini_file.h"
#include "dialog_test_helpers.h"
#include "host/message_type_buttons.h"
#include "support/temp_home.h"
#include "ui/named_path_dialog.h"
#include "ui/new_category_dialog.h"
#include "ui/settings_dialog.h"

using bx::test::OnModal;
using bx::ui::TFrmAddFolderVariable;
using bx::ui::TfrmDispatcherSettings;
using bx::ui::TFrmNewCategory;

namespace {

// A settings file holding `text` and a dialog on it, shown and active.
struct TOpenDialog {
  explicit TOpenDialog(const std::string& text = "") : Path(Home / "s.ini") {
    bx::test::WriteFile(Path, text);
    Dialog = std::make_unique<TfrmDispatcherSettings>(Path);
    Dialog->ShowSettings([this] { ++Saves; });
  }
  QString Value(const char* section, const char* key) const {
    return QString::fromStdString(bx::TBxIniFile(Path).ReadString(section, key, "<missing>"));
  }
  QStringList Section(const char* section) const {
    QStringList lines;
    for (const std::string& line : bx::TBxIniFile(Path).ReadSectionLines(section)) {
      lines << QString::fromStdString(line);
    }
    return lines;
  }
  void Page(int index) {
    QTabBar* tabs = Dialog->Pages()->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(index).center());
  }
  void Close() { QTest::mouseClick(Dialog->CloseButton(), Qt::LeftButton); }
  void Alt(Qt::Key key) { QTest::keyClick(Dialog.get(), key, Qt::AltModifier); }

  bx::test::TTempHome Home;
  std::string Path;
  std::unique_ptr<TfrmDispatcherSettings> Dialog;
  int Saves = 0;
};

void ClickRow(QListWidget* list, int row) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                    list->visualItemRect(list->item(row)).center());
}

QStringList Rows(const QListWidget* list) {
  QStringList rows;
  for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
  return rows;
}

// Answers the named-path editor: checks OK along the way, types both fields, clicks OK.
auto AnswerEditor(QString name, QString path) {
  return OnModal<TFrmAddFolderVariable>([name, path](TFrmAddFolderVariable* editor) {
    editor->NameEdit()->clear();
    editor->PathEdit()->clear();
    QVERIFY(!editor->OkButton()->isEnabled());
    QTest::keyClicks(editor->NameEdit(), name);
    QVERIFY(!editor->OkButton()->isEnabled());
    QTest::keyClicks(editor->PathEdit(), path);
    QVERIFY(editor->OkButton()->isEnabled());
    QTest::mouseClick(editor->OkButton(), Qt::LeftButton);
  });
}

auto AnswerPrompt(QString text, bool block) {
  return OnModal<TFrmNewCategory>([text, block](TFrmNewCategory* prompt) {
    QVERIFY(prompt->BlockCheckBox()->isChecked());
    QTest::keyClicks(prompt->Edit(), text);
    if (!block) QTest::mouseClick(prompt->BlockCheckBox(), Qt::LeftButton);
    QTest::keyClick(prompt->Edit(), Qt::Key_Return);
  });
}

}  // namespace

class SettingsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void LayoutAndTextsAsSpecified() {
    TOpenDialog open;
    TfrmDispatcherSettings& dialog = *open.Dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Brevix Dispatcher Settings"));
    QCOMPARE(dialog.size(), QSize(476, 297));
    QCOMPARE(dialog.Pages()->geometry(), QRect(8, 12, 461, 245));
    QCOMPARE(dialog.Pages()->count(), 4);
    const QStringList captions{"Paths", "Ports", "Blocked Messages", "Blocked Categories"};
    for (int i = 0; i < 4; ++i) QCOMPARE(dialog.Pages()->tabText(i), captions[i]);
    QCOMPARE(dialog.Pages()->currentIndex(), 0);
    QCOMPARE(dialog.CloseButton()->geometry(), QRect(300, 264, 80, 25));
    QCOMPARE(dialog.HelpButton()->geometry(), QRect(388, 264, 80, 25));
    QCOMPARE(dialog.CloseButton()->text(), QStringLiteral("Close"));
    QCOMPARE(dialog.HelpButton()->text(), QStringLiteral("&Help"));
    QCOMPARE(dialog.NamedPathList()->geometry(), QRect(12, 64, 341, 117));
    QCOMPARE(dialog.RestrictCheckBox()->text(),
             QStringLiteral("Allow logging to only these &folders"));
    QCOMPARE(dialog.RestrictCheckBox()->pos(), QPoint(11, 189));
    QCOMPARE(dialog.MonitorCheckBox()->text(), QStringLiteral("Monitor Ports for Remote Messages"));
    QCOMPARE(dialog.MonitorCheckBox()->pos(), QPoint(12, 64));
    QCOMPARE(dialog.TCPPortEdit()->geometry().topLeft(), QPoint(94, 88));
    QCOMPARE(dialog.UDPPortEdit()->geometry().topLeft(), QPoint(94, 120));
    QCOMPARE(dialog.TCPPortEdit()->width(), 73);
    QCOMPARE(dialog.TCPPortEdit()->maximum(), 65535);
    QCOMPARE(dialog.TCPPortEdit()->minimum(), 0);
    QCOMPARE(dialog.DefaultPortsButton()->pos(), QPoint(364, 88));
    QCOMPARE(dialog.BlockAllMessagesButton()->pos(), QPoint(364, 72));
    QCOMPARE(dialog.ForwardAllMessagesButton()->pos(), QPoint(364, 104));
    QCOMPARE(dialog.CategoryList()->geometry(), QRect(12, 64, 341, 141));
    QCOMPARE(dialog.BlockAllCategoriesButton()->pos(), QPoint(364, 148));
    QCOMPARE(dialog.ForwardAllCategoriesButton()->pos(), QPoint(364, 180));
    QCOMPARE(dialog.AddCategoryButton()->toolTip(),
             QStringLiteral("Add a New Category to the List"));
    QCOMPARE(dialog.RemoveCategoryButton()->toolTip(),
             QStringLiteral("Remove the Selected Category from the List"));
    QStringList labels;
    for (QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
    for (const char* text :
         {"Use the following list to define a set of variables that map to specific paths on the "
          "system. Use $(variable_name) in BrevixDestination.LogFile.FilePath properties.",
          "To allow the Dispatcher to monitor messages sent from remote machines or messages sent "
          "via TCP from BrevixObjects, check the check box below. Be sure the port numbers match "
          "the port numbers used to send the Brevix messages.",
          "To block messages of a specific type from reaching their intended destination, simply "
          "select the desired types below.  ",
          "To block messages of a specific category from reaching their intended destination, "
          "simply add the category to the list below.  Uncheck categories in the list to allow "
          "messages of this category to reach their destination.",
          "Brevix Message Types", "Monitor Port", "for         Brevix messages", "TCP", "UDP"}) {
      QVERIFY2(labels.contains(QString::fromUtf8(text)), text);
    }
    // The 36 toggle buttons: hints, images, size, rows 28 and columns 29 apart.
    for (const bx::TMessageTypeButton& entry : bx::MessageTypeButtons()) {
      QToolButton* button = dialog.MessageButton(entry.Type);
      QVERIFY(button != nullptr);
      QCOMPARE(button->toolTip(), QString::fromUtf8(entry.Hint));
      QVERIFY(button->isCheckable());
      QVERIFY(!button->icon().isNull());
      QCOMPARE(button->height(), 24);
      QCOMPARE(button->pos(),
               QPoint(bx::MessageTypeButtonLeft(entry), bx::MessageTypeButtonTop(entry)));
    }
    QCOMPARE(dialog.MessageButton(24)->y() - dialog.MessageButton(0)->y(), 28);
    QCOMPARE(dialog.MessageButton(8)->x() - dialog.MessageButton(0)->x(), 29);
    QCOMPARE(dialog.MessageButton(21)->x(), 215);
    QVERIFY(dialog.MessageButton(7) == nullptr);
    // Mnemonics are unique on every page (the pages' own and the buttons below them).
    for (int page = 0; page < 4; ++page) {
      open.Page(page);
      QCOMPARE(dialog.Pages()->currentIndex(), page);
      const QStringList letters = bx::test::MnemonicLetters(&dialog);
      QCOMPARE(QSet<QString>(letters.begin(), letters.end()).size(), letters.size());
    }
  }

  void PathsPageAddModifyDeleteAndRestrictWithMnemonics() {
    TOpenDialog open("[NamedPaths]\r\nData=/data\r\n");
    TfrmDispatcherSettings& dialog = *open.Dialog;
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QListWidget* list = dialog.NamedPathList();
    QCOMPARE(Rows(list), QStringList{"Data\t/data"});
    QVERIFY(!dialog.ModifyPathButton()->isEnabled());
    QVERIFY(!dialog.DeletePathButton()->isEnabled());
    QVERIFY(dialog.RestrictCheckBox()->isEnabled());

    // Alt+A, then the same name again with the button: both lines are listed.
    auto first = AnswerEditor("Logs", "/var/log/a");
    open.Alt(Qt::Key_A);
    QTRY_VERIFY(*first);
    auto second = AnswerEditor("Logs", "/var/log/b");
    QTest::mouseClick(dialog.AddPathButton(), Qt::LeftButton);
    QVERIFY(*second);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(Rows(list), (QStringList{"Data\t/data", "Logs\t/var/log/a", "Logs\t/var/log/b"}));

    // Modify by Alt+M on the selected line: the editor opens with its fields.
    ClickRow(list, 0);
    QVERIFY(dialog.ModifyPathButton()->isEnabled() && dialog.DeletePathButton()->isEnabled());
    QString shownName;
    QString shownPath;
    auto modified = OnModal<TFrmAddFolderVariable>([&](TFrmAddFolderVariable* editor) {
      shownName = editor->NameEdit()->text();
      shownPath = editor->PathEdit()->text();
      editor->PathEdit()->selectAll();
      QTest::keyClicks(editor->PathEdit(), QStringLiteral("/srv/data"));
      QTest::keyClick(editor->PathEdit(), Qt::Key_Return);
    });
    open.Alt(Qt::Key_M);
    QTRY_VERIFY(*modified);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(shownName, QStringLiteral("Data"));
    QCOMPARE(shownPath, QStringLiteral("/data"));
    QCOMPARE(Rows(list).front(), QStringLiteral("Data\t/srv/data"));
    QVERIFY(!dialog.ModifyPathButton()->isEnabled());  // the list was refilled

    // A cancelled editor changes nothing.
    ClickRow(list, 0);
    auto cancelled = OnModal<TFrmAddFolderVariable>(
        [](TFrmAddFolderVariable* editor) { QTest::keyClick(editor, Qt::Key_Escape); });
    QTest::mouseClick(dialog.ModifyPathButton(), Qt::LeftButton);
    QVERIFY(*cancelled);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(Rows(list).front(), QStringLiteral("Data\t/srv/data"));

    // Alt+D on the second "Logs" line deletes the first "Logs" entry.
    ClickRow(list, 2);
    open.Alt(Qt::Key_D);
    QTRY_COMPARE(Rows(list), (QStringList{"Data\t/srv/data", "Logs\t/var/log/b"}));

    // Alt+F checks the restrict box.
    QVERIFY(!dialog.RestrictCheckBox()->isChecked());
    open.Alt(Qt::Key_F);
    QTRY_VERIFY(dialog.RestrictCheckBox()->isChecked());

    open.Close();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(open.Saves, 1);
    QCOMPARE(open.Section("NamedPaths"),
             (QStringList{"Data=/srv/data", "Logs=/var/log/b", "RestrictFolders=1"}));

    // Deleting every line disables the restrict box (it keeps its state).
    dialog.ShowSettings([] {});
    QCOMPARE(Rows(list), (QStringList{"Data\t/srv/data", "Logs\t/var/log/b"}));
    for (int i = 0; i < 2; ++i) {
      ClickRow(list, 0);
      QTest::mouseClick(dialog.DeletePathButton(), Qt::LeftButton);
    }
    QCOMPARE(list->count(), 0);
    QVERIFY(!dialog.RestrictCheckBox()->isEnabled());
    QVERIFY(dialog.RestrictCheckBox()->isChecked());
  }

  void PortsPageKeepsValuesWhenMonitoringIsOff() {
    TOpenDialog open("[Ports]\r\nMonitorPorts=1\r\nTCPPort=5000\r\nUDPPort=5001\r\n");
    TfrmDispatcherSettings& dialog = *open.Dialog;
    open.Page(1);
    QCOMPARE(dialog.Pages()->currentIndex(), 1);
    QVERIFY(dialog.MonitorCheckBox()->isChecked());
    QCOMPARE(dialog.TCPPortEdit()->value(), 5000);
    QCOMPARE(dialog.UDPPortEdit()->value(), 5001);
    for (QWidget* widget : dialog.PortRowWidgets()) QVERIFY(widget->isEnabled());

    QTest::mouseClick(dialog.MonitorCheckBox(), Qt::LeftButton);
    QVERIFY(!dialog.MonitorCheckBox()->isChecked());
    QCOMPARE(dialog.PortRowWidgets().size(), 8);
    for (QWidget* widget : dialog.PortRowWidgets()) QVERIFY(!widget->isEnabled());
    open.Close();
    QCOMPARE(open.Section("Ports"),
             (QStringList{"MonitorPorts=0", "TCPPort=5000", "UDPPort=5001"}));

    // Typed values, then "Default Ports"; typing beyond the range stops at 65535.
    dialog.ShowSettings([] {});
    QVERIFY(!dialog.TCPPortEdit()->isEnabled());
    QTest::mouseClick(dialog.MonitorCheckBox(), Qt::LeftButton);
    QVERIFY(dialog.TCPPortEdit()->isEnabled());
    QTest::keyClick(dialog.UDPPortEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(dialog.UDPPortEdit(), QStringLiteral("6001"));
    QCOMPARE(dialog.UDPPortEdit()->value(), 6001);
    open.Close();
    QCOMPARE(open.Section("Ports"),
             (QStringList{"MonitorPorts=1", "TCPPort=5000", "UDPPort=6001"}));

    dialog.ShowSettings([] {});
    QTest::mouseClick(dialog.DefaultPortsButton(), Qt::LeftButton);
    QCOMPARE(dialog.TCPPortEdit()->value(), 3434);
    QCOMPARE(dialog.UDPPortEdit()->value(), 3435);
    open.Close();
    QCOMPARE(open.Section("Ports"),
             (QStringList{"MonitorPorts=1", "TCPPort=3434", "UDPPort=3435"}));
  }

  void MessagesPageTogglesAndTouchesOnlyTheButtonTypes() {
    TOpenDialog open("[Dispatcher]\r\nBlockedMessages=0000000100001\r\n");
    TfrmDispatcherSettings& dialog = *open.Dialog;
    open.Page(2);
    QToolButton* exceptions = dialog.MessageButton(37);
    QVERIFY(!exceptions->isChecked());
    QTest::mouseClick(exceptions, Qt::LeftButton);
    QVERIFY(exceptions->isChecked());  // stays down after the click
    QTest::mouseClick(dialog.MessageButton(45), Qt::LeftButton);
    QTest::mouseClick(dialog.MessageButton(45), Qt::LeftButton);  // and comes up on the next
    QVERIFY(!dialog.MessageButton(45)->isChecked());
    open.Close();
    std::string expected(46, '0');
    expected[7] = expected[12] = expected[37] = '1';
    QCOMPARE(open.Value("Dispatcher", "BlockedMessages"), QString::fromStdString(expected));

    dialog.ShowSettings([] {});
    QTest::mouseClick(dialog.BlockAllMessagesButton(), Qt::LeftButton);
    for (const bx::TMessageTypeButton& entry : bx::MessageTypeButtons()) {
      QVERIFY(dialog.MessageButton(entry.Type)->isChecked());
    }
    open.Close();
    QCOMPARE(open.Value("Dispatcher", "BlockedMessages"), QStringLiteral("1111111"
                                                                         "1"
                                                                         "111"
                                                                         "01000"
                                                                         "11111111111111111111111"
                                                                         "00"
                                                                         "1"
                                                                         "00"
                                                                         "11"));

    dialog.ShowSettings([] {});
    QVERIFY(dialog.MessageButton(0)->isChecked());
    QTest::mouseClick(dialog.ForwardAllMessagesButton(), Qt::LeftButton);
    QVERIFY(!dialog.MessageButton(0)->isChecked());
    open.Close();
    expected = std::string(46, '0');
    expected[7] = expected[12] = '1';
    QCOMPARE(open.Value("Dispatcher", "BlockedMessages"), QString::fromStdString(expected));
  }

  void CategoriesPageAddRemoveChecksAndBulkButtons() {
    TOpenDialog open("[Categories]\r\nNet=0\r\nb=1\r\n");
    TfrmDispatcherSettings& dialog = *open.Dialog;
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    open.Page(3);
    QListWidget* list = dialog.CategoryList();
    QCOMPARE(Rows(list), (QStringList{"b", "Net"}));
    QCOMPARE(list->item(0)->checkState(), Qt::Checked);
    QVERIFY(!dialog.RemoveCategoryButton()->isEnabled());
    QVERIFY(dialog.BlockAllCategoriesButton()->isEnabled());

    // Alt+A: a new blocked category, sorted into place and selected.
    auto added = AnswerPrompt("Database", true);
    open.Alt(Qt::Key_A);
    QTRY_VERIFY(*added);
    QCOMPARE(Rows(list), (QStringList{"b", "Database", "Net"}));
    QCOMPARE(list->currentRow(), 1);
    QVERIFY(list->item(1)->isSelected());
    QCOMPARE(list->item(1)->checkState(), Qt::Checked);
    QVERIFY(dialog.RemoveCategoryButton()->isEnabled());
    // Another case of an existing one, forwarded: a second line; the file keeps "Net=0".
    auto again = AnswerPrompt("NET", true);
    QTest::mouseClick(dialog.AddCategoryButton(), Qt::LeftButton);
    QVERIFY(*again);
    QCOMPARE(Rows(list), (QStringList{"b", "Database", "Net", "NET"}));
    // An empty text: an empty line, no category.
    auto empty = AnswerPrompt("", false);
    QTest::mouseClick(dialog.AddCategoryButton(), Qt::LeftButton);
    QVERIFY(*empty);
    QCOMPARE(Rows(list), (QStringList{"", "b", "Database", "Net", "NET"}));
    QCOMPARE(list->currentRow(), 0);
    // Space on the selected "b" line unchecks it, which forwards the category at once.
    ClickRow(list, 1);
    QTest::keyClick(list, Qt::Key_Space);
    QCOMPARE(list->item(1)->checkState(), Qt::Unchecked);
    open.Close();
    QCOMPARE(open.Section("Categories"), (QStringList{"b=0", "Database=1", "Net=0"}));

    dialog.ShowSettings([] {});
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(Rows(list), (QStringList{"b", "Database", "Net"}));
    // Delete key on the middle line: the next line takes its place and is selected.
    ClickRow(list, 1);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(Rows(list), (QStringList{"b", "Net"}));
    QCOMPARE(list->currentRow(), 1);
    // Alt+R on the last line: the one before it is selected.
    open.Alt(Qt::Key_R);
    QTRY_COMPARE(Rows(list), QStringList{"b"});
    QCOMPARE(list->currentRow(), 0);
    QTest::mouseClick(dialog.BlockAllCategoriesButton(), Qt::LeftButton);
    QCOMPARE(list->item(0)->checkState(), Qt::Checked);
    open.Close();
    QCOMPARE(open.Section("Categories"), QStringList{"b=1"});

    dialog.ShowSettings([] {});
    QTest::mouseClick(dialog.ForwardAllCategoriesButton(), Qt::LeftButton);
    QCOMPARE(list->item(0)->checkState(), Qt::Unchecked);
    ClickRow(list, 0);
    QTest::mouseClick(dialog.RemoveCategoryButton(), Qt::LeftButton);
    QCOMPARE(list->count(), 0);
    QVERIFY(!dialog.RemoveCategoryButton()->isEnabled());
    QVERIFY(!dialog.BlockAllCategoriesButton()->isEnabled());
    QVERIFY(!dialog.ForwardAllCategoriesButton()->isEnabled());
    open.Close();
    QCOMPARE(open.Value("Categories", "b"), QStringLiteral("<missing>"));
  }

  void CloseBoxSavesNothingAndTheNextShowingStartsFromTheFile() {
    TOpenDialog open("[Ports]\r\nTCPPort=4000\r\n[Categories]\r\nA=1\r\n");
    TfrmDispatcherSettings& dialog = *open.Dialog;
    const std::string before = bx::test::ReadFile(open.Path);
    dialog.TCPPortEdit()->setValue(4100);
    open.Page(3);
    ClickRow(dialog.CategoryList(), 0);
    QTest::mouseClick(dialog.RemoveCategoryButton(), Qt::LeftButton);
    QVERIFY(dialog.close());  // the window's close box
    QVERIFY(!dialog.isVisible());
    QCOMPARE(open.Saves, 0);
    QCOMPARE(bx::test::ReadFile(open.Path), before);
    // Escape is the same as the close box.
    dialog.ShowSettings([] {});
    QCOMPARE(dialog.TCPPortEdit()->value(), 4000);
    QCOMPARE(Rows(dialog.CategoryList()), QStringList{"A"});
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(bx::test::ReadFile(open.Path), before);
  }

  void ReadOnlySettingsDisableThePagesAndCloseOnlyHides() {
    bx::test::TTempHome home;
    const std::string path = home / "s.ini";
    const std::string text = "[Ports]\r\nTCPPort=4000\r\n";
    bx::test::WriteFile(path, text);
    auto settings = std::make_unique<bx::TBxDispatcherSettings>(path);
    settings->CanModify = false;  // as for a file the user may not write
    TfrmDispatcherSettings dialog(std::move(settings));
    bool called = false;
    dialog.ShowSettings([&] { called = true; });
    QTabBar* tabs = dialog.Pages()->tabBar();
    QVERIFY(!tabs->isEnabled());
    QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(2).center());
    QCOMPARE(dialog.Pages()->currentIndex(), 0);
    QCOMPARE(dialog.TCPPortEdit()->value(), 4000);
    dialog.TCPPortEdit()->setValue(4100);
    QTest::mouseClick(dialog.CloseButton(), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QVERIFY(!called);
    QCOMPARE(bx::test::ReadFile(path), text);
  }

  void FailedSaveIsShownAndDoesNotCallBack() {
    TOpenDialog open;
    // The file turns into a folder: it can no longer be replaced.
    std::filesystem::remove(open.Path);
    std::filesystem::create_directory(open.Path);
    QString caption;
    QString text;
    auto shown = OnModal<QMessageBox>([&](QMessageBox* box) {
      caption = box->windowTitle();
      text = box->text();
      box->accept();
    });
    open.Close();
    QVERIFY(*shown);
    QVERIFY(!open.Dialog->isVisible());
    QCOMPARE(open.Saves, 0);
    QCOMPARE(caption, QStringLiteral("Brevix Dispatcher Settings"));
    QVERIFY2(text.startsWith(QStringLiteral("The settings could not be saved: ")),
             qPrintable(text));
  }

  void HelpShowsTheMissingHelpFileMessage() {
    TOpenDialog open;
    QVERIFY(QTest::qWaitForWindowActive(open.Dialog.get()));
    QString text;
    auto shown = OnModal<QMessageBox>([&](QMessageBox* box) {
      text = box->text();
      box->accept();
    });
    open.Alt(Qt::Key_H);
    QTRY_VERIFY(*shown);
    QCOMPARE(text, QStringLiteral("Brevix Help File (Brevix4.chm) could not be found."));
    QVERIFY(open.Dialog->isVisible());
  }
};

QTEST_MAIN(SettingsDialogTest)
#include "settings_dialog_test.moc"

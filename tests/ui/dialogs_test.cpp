// The small dialogs and the dialogs.h functions, driven as a user drives them. The program
// also shows one dialog by name for pictures: bx_ui_dialogs_test --show NAME [--sample].
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "config/dispatcher_settings.h"
#include "config/ini_file.h"
#include "config/paths.h"
#include "dialog_test_helpers.h"
#include "host/about_box_model.h"
#include "support/temp_home.h"
#include "ui/about_box.h"
#include "ui/dialogs.h"
#include "ui/empty_queue_dialog.h"
#include "ui/named_path_dialog.h"
#include "ui/new_category_dialog.h"
#include "ui/settings_dialog.h"

using bx::test::OnModal;

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void NamedPathEditorEnablesOkOnlyWithBothFields() {
    bx::ui::TFrmAddFolderVariable editor;
    QCOMPARE(editor.windowTitle(), QStringLiteral("Specify Named Path"));
    QCOMPARE(editor.size(), QSize(443, 124));
    QCOMPARE(editor.NameEdit()->geometry().topLeft(), QPoint(52, 12));
    QCOMPARE(editor.PathEdit()->geometry(), QRect(52, 40, 365, editor.PathEdit()->height()));
    QCOMPARE(editor.OkButton()->pos(), QPoint(268, 92));
    QCOMPARE(editor.CancelButton()->pos(), QPoint(356, 92));
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QVERIFY(!editor.OkButton()->isEnabled());
    QTest::keyClicks(editor.NameEdit(), QStringLiteral("Logs"));
    QVERIFY(!editor.OkButton()->isEnabled());
    QTest::keyClick(editor.NameEdit(), Qt::Key_Return);  // the disabled default does nothing
    QVERIFY(editor.isVisible());
    QTest::keyClicks(editor.PathEdit(), QStringLiteral("/var/log"));
    QVERIFY(editor.OkButton()->isEnabled());
    QTest::keyClick(editor.NameEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(editor.NameEdit(), Qt::Key_Delete);
    QVERIFY(!editor.OkButton()->isEnabled());
    QTest::keyClicks(editor.NameEdit(), QStringLiteral("a = b"));
    QVERIFY(editor.OkButton()->isEnabled());
    QTest::keyClick(editor.PathEdit(), Qt::Key_Return);
    QCOMPARE(editor.result(), int(QDialog::Accepted));
    QCOMPARE(editor.Name(), std::string("a = b"));
    QCOMPARE(editor.Path(), std::string("/var/log"));

    bx::ui::TFrmAddFolderVariable modify;
    modify.SetName("Data");
    modify.SetPath("/data");
    QVERIFY(modify.OkButton()->isEnabled());
    modify.show();
    QVERIFY(QTest::qWaitForWindowExposed(&modify));
    QTest::keyClick(modify.PathEdit(), Qt::Key_Escape);
    QCOMPARE(modify.result(), int(QDialog::Rejected));
  }

  void FolderButtonOpensThePickerAndItsFolderReplacesThePath() {
    bx::test::TTempHome home;
    const QString folder = QString::fromStdString(home / "picked");
    QDir().mkpath(folder);
    bx::ui::TFrmAddFolderVariable editor;
    editor.SetPath("/old");
    QString title;
    auto picked = OnModal<QFileDialog>([&](QFileDialog* picker) {
      title = picker->windowTitle();
      // Typed into the picker's file name field and confirmed with Enter.
      auto* field = picker->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      QVERIFY(field != nullptr);
      field->setText(folder);
      QTest::keyClick(field, Qt::Key_Return);
    });
    editor.FolderAction()->trigger();
    QVERIFY(*picked);
    QCOMPARE(title, QStringLiteral("Select a folder"));
    QCOMPARE(editor.PathEdit()->text(), folder);

    auto cancelled = OnModal<QFileDialog>([](QFileDialog* picker) { picker->reject(); });
    editor.FolderAction()->trigger();
    QVERIFY(*cancelled);
    QCOMPARE(editor.PathEdit()->text(), folder);
  }

  void NewCategoryPromptStartsCheckedStaysOnTopAndAcceptsEmptyText() {
    bx::ui::TFrmNewCategory prompt;
    QCOMPARE(prompt.windowTitle(), QStringLiteral("Brevix Dispatcher"));
    QVERIFY(prompt.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(prompt.size(), QSize(355, 121));
    QCOMPARE(prompt.BlockCheckBox()->text(), QStringLiteral("Block Messages with this Category"));
    QCOMPARE(prompt.BlockCheckBox()->pos(), QPoint(12, 44));
    QCOMPARE(prompt.Edit()->pos(), QPoint(132, 12));
    QVERIFY(prompt.findChildren<QLabel*>().size() >= 1);
    QCOMPARE(prompt.findChildren<QLabel*>().front()->text(),
             QStringLiteral("Enter a New Category"));
    QVERIFY(prompt.BlockCheckBox()->isChecked());
    prompt.show();
    QVERIFY(QTest::qWaitForWindowExposed(&prompt));
    QTest::keyClick(prompt.Edit(), Qt::Key_Return);
    QCOMPARE(prompt.result(), int(QDialog::Accepted));
    QCOMPARE(prompt.Text(), std::string());
    QVERIFY(prompt.Block());

    bx::ui::TFrmNewCategory second;
    second.show();
    QVERIFY(QTest::qWaitForWindowExposed(&second));
    QTest::keyClicks(second.Edit(), QStringLiteral("Network"));
    QTest::mouseClick(second.BlockCheckBox(), Qt::LeftButton);
    QVERIFY(!second.Block());
    QTest::mouseClick(second.OkButton(), Qt::LeftButton);
    QCOMPARE(second.result(), int(QDialog::Accepted));
    QCOMPARE(second.Text(), std::string("Network"));

    bx::ui::TFrmNewCategory cancelled;
    cancelled.show();
    QVERIFY(QTest::qWaitForWindowExposed(&cancelled));
    QTest::keyClick(cancelled.Edit(), Qt::Key_Escape);
    QCOMPARE(cancelled.result(), int(QDialog::Rejected));
  }

  void EmptyQueueConfirmationShowsItsTextsAndOnlyYesSaysYes() {
    {
      bx::ui::TFrmEmptyQueue confirmation;
      QCOMPARE(confirmation.windowTitle(), QStringLiteral("Brevix Dispatcher"));
      QVERIFY(confirmation.windowFlags() & Qt::WindowStaysOnTopHint);
      QCOMPARE(confirmation.size(), QSize(364, 185));
      auto* icon = confirmation.findChild<QLabel*>(QStringLiteral("QuestionIcon"));
      QVERIFY(icon != nullptr);
      QCOMPARE(icon->geometry(), QRect(12, 12, 32, 32));
      QVERIFY(!icon->pixmap().isNull());
      QStringList texts;
      for (QLabel* label : confirmation.findChildren<QLabel*>()) texts << label->text();
      QVERIFY(texts.contains(QStringLiteral("Remove All messages currently in the queue?")));
      QVERIFY(texts.contains(QStringLiteral("Note")));
      QVERIFY(texts.contains(QStringLiteral(
          "If you empty the queue, the Dispatcher will be Disabled to prevent other messages "
          "from being added to the queue.\n\nYou must re-enable the Dispatcher for it to "
          "continue dispatching messages.")));
      QCOMPARE(confirmation.YesButton()->text(), QStringLiteral("&Yes"));
      QCOMPARE(confirmation.NoButton()->text(), QStringLiteral("&No"));
      QVERIFY(confirmation.NoButton()->isDefault());
      QCOMPARE(confirmation.YesButton()->pos(), QPoint(188, 152));
      QCOMPARE(confirmation.NoButton()->pos(), QPoint(276, 152));
      QCOMPARE(bx::test::MnemonicLetters(&confirmation), (QStringList{"Y", "N"}));
    }
    struct TCase {
      Qt::Key Key;
      Qt::KeyboardModifiers Modifiers;
      bool Yes;
    };
    const TCase cases[] = {{Qt::Key_Escape, Qt::NoModifier, false},
                           {Qt::Key_Return, Qt::NoModifier, false},
                           {Qt::Key_Enter, Qt::KeypadModifier, false},
                           {Qt::Key_N, Qt::AltModifier, false},
                           {Qt::Key_Y, Qt::AltModifier, true}};
    for (const TCase& c : cases) {
      auto ran = OnModal<bx::ui::TFrmEmptyQueue>(
          [c](bx::ui::TFrmEmptyQueue* modal) { QTest::keyClick(modal, c.Key, c.Modifiers); });
      QCOMPARE(bx::ui::ConfirmEmptyQueue(nullptr), c.Yes);
      QVERIFY(*ran);
    }
    auto clicked = OnModal<bx::ui::TFrmEmptyQueue>([](bx::ui::TFrmEmptyQueue* modal) {
      QTest::mouseClick(modal->YesButton(), Qt::LeftButton);
    });
    QVERIFY(bx::ui::ConfirmEmptyQueue(nullptr));
    QVERIFY(*clicked);
    auto closed = OnModal<bx::ui::TFrmEmptyQueue>([](bx::ui::TFrmEmptyQueue* modal) {
      modal->close();  // the window manager's close box
    });
    QVERIFY(!bx::ui::ConfirmEmptyQueue(nullptr));
    QVERIFY(*closed);
  }

  void AboutBoxShowsToolZeroClosesOnlyFromItsAreaAndDrags() {
    bx::ui::TFrmAbout about(0);
    QCOMPARE(about.size(), QSize(425, 350));
    QVERIFY(about.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(about.VersionLabel()->text(), QStringLiteral("Version 4.6.2"));
    QCOMPARE(about.VersionLabel()->pos(), QPoint(39, 83));
    QCOMPARE(about.NameLabel()->text(), QStringLiteral("Brevix Dispatcher"));
    QCOMPARE(about.NameLabel()->pos(), QPoint(39, 142));
    QCOMPARE(about.DescriptionLabel()->text(),
             QStringLiteral("The Brevix Dispatcher is responsible for routing Brevix Logging "
                            "messages to the appropriate destination."));
    QCOMPARE(about.DescriptionLabel()->geometry(), QRect(39, 175, 361, 53));
    QCOMPARE(about.CloseArea()->geometry(), QRect(334, 311, 75, 25));
    QCOMPARE(about.CloseArea()->cursor().shape(), Qt::PointingHandCursor);
    // The artwork is ours and fills the box.
    const QImage art = bx::ui::DrawAboutArtwork().toImage();
    QCOMPARE(art.size(), QSize(425, 350));
    QVERIFY(art.pixelColor(5, 5) != art.pixelColor(200, 150));

    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    const QPoint start = about.pos();
    QTest::mousePress(&about, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QMouseEvent move(QEvent::MouseMove, QPointF(40, 30), about.mapToGlobal(QPointF(40, 30)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&about, &move);
    QTest::mouseRelease(&about, Qt::LeftButton, Qt::NoModifier, QPoint(40, 30));
    QCOMPARE(about.pos(), start + QPoint(30, 20));
    QVERIFY(about.isVisible());
    QTest::mouseClick(&about, Qt::LeftButton, Qt::NoModifier, QPoint(330, 320));  // beside it
    QVERIFY(about.isVisible());
    QTest::mouseClick(about.CloseArea(), Qt::LeftButton, Qt::NoModifier, QPoint(37, 12));
    QVERIFY(!about.isVisible());

    QString shownName;
    auto ran = OnModal<bx::ui::TFrmAbout>([&](bx::ui::TFrmAbout* modal) {
      shownName = modal->NameLabel()->text();
      QTest::mouseClick(modal->CloseArea(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    });
    bx::ui::ShowAboutBox();
    QVERIFY(*ran);
    QCOMPARE(shownName, QStringLiteral("Brevix Dispatcher"));
  }

  void MissingHelpFileShowsItsMessageBox() {
    bx::test::TTempHome home;  // no install path: no help file
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    auto ran = OnModal<QMessageBox>([&](QMessageBox* box) {
      caption = box->windowTitle();
      text = box->text();
      icon = box->icon();
      QTest::keyClick(box, Qt::Key_Return);
    });
    bx::ui::ShowHelp("Dispatcher");
    QVERIFY(*ran);
    QCOMPARE(caption, QStringLiteral("Brevix Help"));
    QCOMPARE(text, QStringLiteral("Brevix Help File (Brevix4.chm) could not be found."));
    QCOMPARE(icon, QMessageBox::Critical);
  }

  void SettingsDialogIsCreatedOnceAndCallsBackAfterSaving() {
    bx::test::TTempHome home;
    const std::string file = bx::DefaultSettingsFileName();
    int saved = 0;
    std::string seenOnSave;
    bx::ui::ShowSettingsDialog([&] {
      ++saved;
      seenOnSave = bx::TBxIniFile(file).ReadString("Ports", "TCPPort", "");
    });
    QWidget* first = QApplication::activeWindow();
    auto* dialog = qobject_cast<bx::ui::TfrmDispatcherSettings*>(first);
    if (dialog == nullptr) {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* d = qobject_cast<bx::ui::TfrmDispatcherSettings*>(widget)) dialog = d;
      }
    }
    QVERIFY(dialog != nullptr);
    QVERIFY(dialog->isVisible());
    dialog->TCPPortEdit()->setValue(4321);
    QTest::mouseClick(dialog->CloseButton(), Qt::LeftButton);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(saved, 1);
    QCOMPARE(seenOnSave, std::string("4321"));
    bx::ui::ShowSettingsDialog([&] { saved += 10; });
    int dialogs = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (qobject_cast<bx::ui::TfrmDispatcherSettings*>(widget) != nullptr) ++dialogs;
    }
    QCOMPARE(dialogs, 1);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->TCPPortEdit()->value(), 4321);
    QTest::mouseClick(dialog->CloseButton(), Qt::LeftButton);
    QCOMPARE(saved, 11);  // the callback of the latest showing
  }
};

namespace {

// Writes a settings file with something on every page, for pictures.
void WriteSampleSettings() {
  bx::TBxDispatcherSettings settings;
  settings.LoadSettings();
  settings.UIMode = 2;
  settings.NamedPaths = {"Logs=/var/log/brevix", "Projects=/home/user/projects/logs",
                         "Temp=/tmp/brevix"};
  settings.RestrictFolders = true;
  settings.MonitorPorts = true;
  for (int type : {1, 2, 8, 24, 25, 37, 44}) settings.BlockedMessages.set(type);
  settings.Categories.AddCategory("Database", true);
  settings.Categories.AddCategory("Network", false);
  settings.Categories.AddCategory("User Interface", true);
  settings.Categories.AddCategory("Startup", false);
  settings.SaveSettings();
}

// Prints "shown NAME WINDOW-ID" once the window is up, for scripts that photograph it.
void AnnounceWhenShown(const char* name, std::function<QWidget*()> window) {
  const std::string label = name;
  QTimer::singleShot(300, [label, window] {
    QWidget* widget = window();
    std::printf("shown %s %llu\n", label.c_str(),
                widget == nullptr ? 0ULL : static_cast<unsigned long long>(widget->winId()));
    std::fflush(stdout);
  });
}

int ShowOne(const std::string& name, bool sample) {
  if (sample) WriteSampleSettings();
  const char* pages[] = {"settings-paths", "settings-ports", "settings-messages",
                         "settings-categories"};
  for (int page = 0; page < 4; ++page) {
    if (name != pages[page]) continue;
    bx::ui::TfrmDispatcherSettings dialog;
    dialog.ShowSettings({});
    dialog.Pages()->setCurrentIndex(page);
    if (name == "settings-paths" && sample) dialog.NamedPathList()->setCurrentRow(0);
    AnnounceWhenShown(name.c_str(), [&dialog] { return &dialog; });
    QObject::connect(&dialog, &QDialog::finished, qApp, &QApplication::quit);
    return QApplication::exec();
  }
  auto modal = [] { return QApplication::activeModalWidget(); };
  AnnounceWhenShown(name.c_str(), modal);
  if (name == "named-path") {
    bx::ui::TFrmAddFolderVariable editor;
    if (sample) {
      editor.SetName("Logs");
      editor.SetPath("/var/log/brevix");
    }
    editor.exec();
  } else if (name == "new-category") {
    bx::ui::TFrmNewCategory prompt;
    if (sample) prompt.Edit()->setText(QStringLiteral("Database"));
    prompt.exec();
  } else if (name == "empty-queue") {
    bx::ui::ConfirmEmptyQueue(nullptr);
  } else if (name == "about") {
    bx::ui::ShowAboutBox();
  } else if (name == "help-missing") {
    bx::ui::ShowMessageBox(bx::kHelpMissingText);
  } else {
    std::fprintf(stderr,
                 "unknown dialog %s; one of settings-paths, settings-ports, settings-messages, "
                 "settings-categories, named-path, new-category, empty-queue, about, "
                 "help-missing\n",
                 name.c_str());
    return 2;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc >= 3 && std::strcmp(argv[1], "--show") == 0) {
    const bool sample = argc >= 4 && std::strcmp(argv[3], "--sample") == 0;
    return ShowOne(argv[2], sample);
  }
  DialogsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "dialogs_test.moc"

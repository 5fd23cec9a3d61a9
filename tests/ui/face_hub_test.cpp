// The hub on the Qt view with Qt's event loop driving the hub's loop, without a display: a
// logger's record over the endpoint answered without any polling interval, a modal
// confirmation that keeps log entries and endpoint messages flowing, the popup menu built
// from the hub's model, menu commands and Clear reaching the hub as messages.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <atomic>
#include <optional>
#include <thread>

#include "face_fixture.h"
#include "platform/log_entry.h"
#include "platform/window_endpoint.h"
#include "receivers/dispatcher_window_messages.h"

using bx::test::ClickButton;
using bx::test::RecordBytes;
using bx::test::TFaceFixture;
using bx::test::TWhileModal;

namespace {

constexpr const char* kUnrestricted = "[Settings]\nUIMode=2\n";
constexpr auto kWait = std::chrono::seconds(30);

// One request to the dispatcher's endpoint from another thread, as another program sends it.
std::optional<int64_t> SendToEndpoint(const std::string& path, uint32_t msg, uint64_t lparam = 0,
                                      const std::string& data = {}) {
  auto client = bx::TWindowEndpointClient::Connect(path);
  if (!client) return std::nullopt;
  return client->SendFrame(msg, 0, lparam, data,
                           std::chrono::duration_cast<std::chrono::milliseconds>(kWait));
}

}  // namespace

class FaceHubTest : public QObject {
  Q_OBJECT

 private slots:
  // No hub timer is due for an hour, so Qt's loop sleeps until the wake handle says that the
  // endpoint's reader queued the record: the answer comes from the pump that wake started.
  void LoggersRecordIsAnsweredWithoutPolling() {
    TFaceFixture face("");
    face.Loop.KillTimer(bx::kWorkLoadTimer);
    face.Loop.SetTimer(99, std::chrono::hours(1));
    QTest::qWait(50);  // start-up entries handled
    const int pumpsBefore = face.Pump->PumpCountForTest();
    std::atomic<bool> answered{false};
    std::optional<int64_t> result;
    std::thread logger([&] {
      result = SendToEndpoint(face.EndpointPath(), bx::WM_COPYDATA, bx::bxmUTF8MessageFormat,
                              RecordBytes(4, "{7A6B5C4D-0000-4000-8000-000000000001}", "hello"));
      answered.store(true, std::memory_order_release);
    });
    QTRY_VERIFY_WITH_TIMEOUT(answered.load(std::memory_order_acquire), 30000);
    logger.join();
    QCOMPARE(result, std::optional<int64_t>(1));
    QVERIFY(face.Pump->PumpCountForTest() > pumpsBefore);
    QVERIFY(*face.Loop.NextTimerDue() >
            std::chrono::steady_clock::now() + std::chrono::minutes(50));
    QCOMPARE(bx::MessageQueue()->IsEmpty(), false);  // queued; no dispatch thread runs here
  }

  // While the "&Empty Message Queue" confirmation is up, an entry from a worker thread reaches
  // the log and another program's messages are answered; "&No" then changes nothing, "&Yes"
  // empties and disables.
  void ModalConfirmationKeepsEntriesAndEndpointFlowing() {
    TFaceFixture face(kUnrestricted);
    bx::MessageQueue()->AddMessage(*bx::BuildDispatchMessage({.MsgType = 4}));
    std::atomic<bool> workerDone{false};
    std::optional<int64_t> isService;
    std::optional<int64_t> copyData;
    std::thread worker;
    bool sawFlowWhileModal = false;
    TWhileModal script([&](QWidget* modal) {
      if (!worker.joinable()) {
        worker = std::thread([&] {
          bx::AddLogEntry(bx::TLogLevel::Info, "entry while the dialog is up");
          isService = SendToEndpoint(face.EndpointPath(), bx::kWmIsService);
          copyData = SendToEndpoint(face.EndpointPath(), bx::WM_COPYDATA, bx::bxmUTF8MessageFormat,
                                    RecordBytes(4, "{7A6B5C4D-0000-4000-8000-000000000002}", "x"));
          workerDone.store(true, std::memory_order_release);
        });
        return false;
      }
      if (!workerDone.load(std::memory_order_acquire)) return false;
      if (!face.HasEntry("entry while the dialog is up")) return false;
      sawFlowWhileModal = QApplication::activeModalWidget() == modal;
      return ClickButton(modal, QStringLiteral("&No"));
    });
    face.Loop.Post(bx::kWmMenuCommand, face.MenuIndex("mnuEmptyQueue"));
    QTRY_VERIFY_WITH_TIMEOUT(script.Finished(), 60000);
    worker.join();
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(sawFlowWhileModal);
    QCOMPARE(isService, std::optional<int64_t>(0));
    QCOMPARE(copyData, std::optional<int64_t>(1));
    QTest::qWait(50);
    QVERIFY(!face.HasEntry("Emptying Message Queue"));
    QVERIFY(!face.Hub->Settings()->Disabled);
    QCOMPARE(face.Hub->Menu().Item("mnuDisable").Caption, std::string("&Disable"));

    TWhileModal yes([](QWidget* modal) { return ClickButton(modal, QStringLiteral("&Yes")); });
    face.Loop.Post(bx::kWmMenuCommand, face.MenuIndex("mnuEmptyQueue"));
    QTRY_VERIFY_WITH_TIMEOUT(yes.Finished(), 60000);
    QTRY_VERIFY(face.HasEntry("Emptying Message Queue"));
    QVERIFY(face.Hub->Settings()->Disabled);
    QCOMPARE(face.Hub->Menu().Item("mnuDisable").Caption, std::string("&Enable"));
  }

  // The popup menu shows the model: captions with their keys, separators, images, the bold
  // default item, the enabled rule; Restricted mode hides what it hides. Choosing an item
  // runs the hub's command through the loop.
  void PopupMenuShowsTheModelAndItsCommandsReachTheHub() {
    {
      TFaceFixture face(kUnrestricted);
      face.Hub->TrayCallback(bx::WM_RBUTTONUP);
      QMenu* menu = face.View->OpenedMenu();
      QVERIFY(menu != nullptr);
      const QList<QAction*> actions = menu->actions();
      const auto& items = face.Hub->Menu().Items();
      QCOMPARE(actions.size(), static_cast<qsizetype>(items.size()));
      for (qsizetype i = 0; i < actions.size(); ++i) {
        const bx::TTrayMenuItem& item = items[static_cast<size_t>(i)];
        QCOMPARE(actions[i]->isSeparator(), item.IsSeparator);
        QCOMPARE(actions[i]->isVisible(), item.Visible);
        if (item.IsSeparator) continue;
        QCOMPARE(actions[i]->text().toStdString(), item.Caption);
        QVERIFY(!actions[i]->icon().isNull());
        QCOMPARE(actions[i]->font().bold(), item.IsDefault);
      }
      QCOMPARE(menu->defaultAction()->text(), QStringLiteral("&Settings..."));
      QCOMPARE(actions[3]->text(), QStringLiteral("&Empty Message Queue"));
      QVERIFY(!actions[3]->isEnabled());  // the queue is empty
      QVERIFY(actions[3]->isVisible());
      QVERIFY(!face.View->LogWindowVisible());
      actions[2]->trigger();  // "&View Dispatcher Log..."
      QTRY_VERIFY(face.View->LogWindowVisible());

      // "&Disable" from the menu: the hub's command, its caption and entry.
      face.Hub->TrayCallback(bx::WM_RBUTTONUP);
      face.View->OpenedMenu()->actions()[4]->trigger();
      QTRY_VERIFY(face.HasEntry("Dispatcher is Disabled"));
      face.Hub->TrayCallback(bx::WM_RBUTTONUP);
      QCOMPARE(face.View->OpenedMenu()->actions()[4]->text(), QStringLiteral("&Enable"));
    }
    {
      TFaceFixture face("[Settings]\nUIMode=1\n");
      face.Hub->TrayCallback(bx::WM_RBUTTONUP);
      const QList<QAction*> actions = face.View->OpenedMenu()->actions();
      QStringList shown;
      for (QAction* action : actions) {
        if (action->isVisible())
          shown << (action->isSeparator() ? QStringLiteral("-") : action->text());
      }
      QCOMPARE(shown, (QStringList{"-", "&View Dispatcher Log...", "-", "&Help",
                                   "&About Brevix Dispatcher", "-", "Stop &Dispatcher"}));
      // A command of a hidden item, posted by another program, does nothing.
      face.Loop.Post(bx::kWmMenuCommand, face.MenuIndex("mnuDisable"));
      QTest::qWait(50);
      QVERIFY(!face.Hub->Settings()->Disabled);
    }
  }

  // A double click opens the settings dialog in Unrestricted mode only; its Close saves and
  // the reload reaches the hub as WM_USER+82.
  void DoubleClickOpensTheSettingsOnlyInUnrestrictedMode() {
    auto settingsShown = [] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->windowTitle() == QStringLiteral("Brevix Dispatcher Settings")) {
          return w;
        }
      }
      return static_cast<QWidget*>(nullptr);
    };
    {
      TFaceFixture face("[Settings]\nUIMode=1\n");
      face.Loop.Post(bx::kWmTrayCallback, 0, bx::WM_LBUTTONDBLCLK);
      QTest::qWait(100);
      QVERIFY(settingsShown() == nullptr);
    }
    TFaceFixture face(kUnrestricted);
    face.Loop.Post(bx::kWmTrayCallback, 0, bx::WM_LBUTTONDBLCLK);
    QTRY_VERIFY(settingsShown() != nullptr);
    QWidget* dialog = settingsShown();
    size_t summaries = 0;
    for (const auto& e : face.Hub->Log().Entries()) summaries += e.Text.rfind("Enabled;", 0) == 0;
    QVERIFY(ClickButton(dialog, QStringLiteral("Close")));
    QTRY_VERIFY(settingsShown() == nullptr);
    QTRY_VERIFY([&] {
      size_t now = 0;
      for (const auto& e : face.Hub->Log().Entries()) now += e.Text.rfind("Enabled;", 0) == 0;
      return now == summaries + 1;
    }());
  }

  // WM_USER+83 from another program (BxSend --show-log) shows the window and clears the error
  // indicator; Clear reaches the hub, and a file that cannot be rewritten is reported as an
  // Error entry in the cleared list instead of unwinding into Qt.
  void ShowLogFromOutsideAndClearWithItsFailureReported() {
    TFaceFixture face(kUnrestricted);
    face.Hub->StartDispatcher(false);
    bx::AddLogEntry(bx::TLogLevel::Error, "something failed");
    QTRY_VERIFY(face.Hub->ErrorIndicator());
    std::optional<int64_t> shown;
    std::thread other([&] { shown = SendToEndpoint(face.EndpointPath(), bx::kWmShowLog); });
    QTRY_VERIFY_WITH_TIMEOUT(face.View->LogWindowVisible(), 30000);
    other.join();
    QVERIFY(shown.has_value());
    QVERIFY(!face.Hub->ErrorIndicator());
    QCOMPARE(face.View->ShownIconIndex(), face.Hub->CurrentIconIndex());

    bx::ui::TLogWindow& window = face.View->LogWindow();
    window.ClearButton()->click();
    QTRY_COMPARE(window.Model()->rowCount(), 0);
    QCOMPARE(window.MessagesPane(), QStringLiteral("Messages 0"));
    bx::AddLogEntry(bx::TLogLevel::Info, "after clear");
    QTRY_COMPARE(window.Model()->rowCount(), 1);

    // The log file's place taken by a folder: rewriting it fails.
    const std::string path = face.Hub->Log().LogFilePath();
    QVERIFY(std::remove(path.c_str()) == 0);
    std::string error;
    QVERIFY(bx::CreateFolderChain(path, &error));
    window.ClearButton()->click();
    QTRY_VERIFY(!face.HasEntry("after clear"));
    QTRY_COMPARE(window.Model()->rowCount(), 1);
    QCOMPARE(face.Hub->Log().Count(), 1u);
    QCOMPARE(face.Hub->Log().Entries()[0].Level, bx::TLogLevel::Error);
    QVERIFY(!face.Hub->Log().Entries()[0].Text.empty());
  }
};

QTEST_MAIN(FaceHubTest)
#include "face_hub_test.moc"

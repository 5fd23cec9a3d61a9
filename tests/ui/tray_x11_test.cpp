// The tray on a real X display: a private Xvfb (its display number chosen by Xvfb itself) with
// trayer as the tray host and no session bus, so Qt embeds the icon by XEmbed. The icon shown
// follows the hub's work load, error indicator and disabled switch, read through the view and
// on the screen itself; a tray host that starts late or restarts gets the icon; Stealth never
// shows one. Skipped (exit code 77) where Xvfb or trayer is not installed.
#include <sys/stat.h>
#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "face_fixture.h"
#include "platform/window_endpoint.h"
#include "receivers/dispatcher_window_messages.h"
#include "support/child_process.h"
#include "ui/face_images.h"

using bx::test::RecordBytes;
using bx::test::TChildProcess;
using bx::test::TFaceFixture;

namespace {

constexpr const char* kXvfb = "/usr/bin/Xvfb";
constexpr const char* kTrayer = "/usr/bin/trayer";

std::string gWorkDir;
std::string gDisplay;

std::unique_ptr<TChildProcess> StartTrayer() {
  return std::make_unique<TChildProcess>(
      std::vector<std::string>{kTrayer, "--edge", "top", "--align", "right", "--SetDockType",
                               "false", "--SetPartialStrut", "false"},
      std::map<std::string, std::string>{{"DISPLAY", gDisplay},
                                         {"DBUS_SESSION_BUS_ADDRESS", "\x01"}},
      gWorkDir);
}

// Which of the six icons the screen shows where the tray icon sits: the one whose picture,
// drawn over the tray's background at the embedded size, differs least from the screen.
int IconOnScreen(const QRect& where) {
  if (where.width() < 8 || where.height() < 8) return -1;
  const QImage shot = QGuiApplication::primaryScreen()
                          ->grabWindow(0, where.x(), where.y(), where.width(), where.height())
                          .toImage()
                          .convertToFormat(QImage::Format_RGB32);
  const QColor background = shot.pixelColor(0, 0);
  const int size = std::min(shot.width(), shot.height());
  const QRect square((shot.width() - size) / 2, (shot.height() - size) / 2, size, size);
  int best = -1;
  long bestDistance = 0;
  for (int index = 0; index < bx::ui::kTrayIconCount; ++index) {
    QImage drawn(size, size, QImage::Format_RGB32);
    drawn.fill(background);
    QPainter painter(&drawn);
    painter.drawPixmap(0, 0, bx::ui::TrayIconPixmap(index, size));
    painter.end();
    long distance = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const QColor a = drawn.pixelColor(x, y);
        const QColor b = shot.pixelColor(square.x() + x, square.y() + y);
        distance += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                    std::abs(a.blue() - b.blue());
      }
    }
    if (best < 0 || distance < bestDistance) {
      best = index;
      bestDistance = distance;
    }
  }
  return best;
}

// `count` records from another program over the endpoint, one after the other.
void SendBurst(TFaceFixture& face, int count) {
  std::atomic<bool> done{false};
  std::thread logger([&] {
    auto client = bx::TWindowEndpointClient::Connect(face.EndpointPath());
    const std::string record = RecordBytes(4, "{7A6B5C4D-0000-4000-8000-000000000003}", "burst");
    for (int i = 0; client && i < count; ++i) {
      if (!client->SendFrame(bx::WM_COPYDATA, 0, bx::bxmUTF8MessageFormat, record,
                             std::chrono::seconds(30))) {
        break;
      }
    }
    done.store(true, std::memory_order_release);
    // Wakes the test's wait below, which sleeps in Qt's loop between the records.
    QMetaObject::invokeMethod(
        qApp, [] {}, Qt::QueuedConnection);
  });
  while (!done.load(std::memory_order_acquire)) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  logger.join();
}

bool WaitForEmptyQueue() {
  return QTest::qWaitFor([] { return bx::MessageQueue()->IsEmpty(); }, 60000);
}

bx::TThreadPriority DispatchPriority(TFaceFixture& face) {
  return bx::GetThreadPriority(face.Hub->DispatchThread()->PriorityHandle());
}

}  // namespace

class TrayX11Test : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TChildProcess> FTrayer;

  // The view's icon, its picture and what the screen shows all agree on `index`.
  static bool Shows(TFaceFixture& face, int index) {
    if (face.View->ShownIconIndex() != index) return false;
    if (face.View->Tray().icon().pixmap(22).toImage() !=
        bx::ui::TrayIconPixmap(index, 22).toImage()) {
      return false;
    }
    return IconOnScreen(face.View->Tray().geometry()) == index;
  }

 private slots:
  void initTestCase() {
    FTrayer = StartTrayer();
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 20000);
  }
  void cleanupTestCase() { FTrayer.reset(); }

  void IconFollowsLoadErrorAndDisabled() {
    TFaceFixture face("[Settings]\nUIMode=2\n");
    // The test takes the work-load timer's steps itself, so each burst falls in one interval.
    face.Loop.KillTimer(bx::kWorkLoadTimer);
    face.Hub->StartDispatcher(false);
    QTRY_VERIFY_WITH_TIMEOUT(face.View->Tray().geometry().width() > 0, 20000);
    QCOMPARE(face.View->Tray().toolTip(), QStringLiteral("Brevix Dispatcher"));
    QTRY_VERIFY_WITH_TIMEOUT(Shows(face, 0), 20000);

    SendBurst(face, 600);
    face.Hub->MonitorWorkLoad();
    QTRY_VERIFY_WITH_TIMEOUT(Shows(face, 3), 20000);
    QCOMPARE(DispatchPriority(face), bx::TThreadPriority::Lowest);
    QVERIFY(WaitForEmptyQueue());
    face.Hub->MonitorWorkLoad();  // a quiet interval
    QTRY_VERIFY_WITH_TIMEOUT(Shows(face, 0), 20000);
    QCOMPARE(DispatchPriority(face), bx::TThreadPriority::Normal);

    SendBurst(face, 100);
    face.Hub->MonitorWorkLoad();
    QTRY_VERIFY_WITH_TIMEOUT(Shows(face, 2), 20000);
    QVERIFY(WaitForEmptyQueue());
    face.Hub->MonitorWorkLoad();
    QTRY_VERIFY_WITH_TIMEOUT(Shows(face, 0), 20000);

    // An error while the log window is hidden: the error icon from the next tick, whatever
    // the load, until the log window opens.
    bx::AddLogEntry(bx::TLogLevel::Error, "a failure");
    QTRY_VERIFY(face.Hub->ErrorIndicator());
    face.Hub->MonitorWorkLoad();
    QTRY_VERIFY_WITH_TIMEOUT(Shows(face, 4), 20000);
    SendBurst(face, 600);
    face.Hub->MonitorWorkLoad();
    QTRY_VERIFY_WITH_TIMEOUT(Shows(face, 4), 20000);
    face.Loop.Post(bx::kWmShowLog);
    QTRY_VERIFY(face.View->LogWindowVisible());
    QTRY_VERIFY_WITH_TIMEOUT(Shows(face, 3), 20000);  // the load asked for before
    QVERIFY(WaitForEmptyQueue());
    face.Hub->MonitorWorkLoad();
    QTRY_VERIFY_WITH_TIMEOUT(Shows(face, 0), 20000);

    // Disabled: the disabled icon regardless of load.
    face.Hub->SetDisabled(true);
    face.Hub->MonitorWorkLoad();
    QTRY_VERIFY_WITH_TIMEOUT(Shows(face, 5), 20000);
    bx::MessageQueue()->Disabled.store(false, std::memory_order_relaxed);  // let a burst in
    SendBurst(face, 600);
    bx::MessageQueue()->Disabled.store(true, std::memory_order_relaxed);
    face.Hub->MonitorWorkLoad();
    QTRY_VERIFY_WITH_TIMEOUT(Shows(face, 5), 20000);
  }

  void StealthNeverShowsAnIcon() {
    TFaceFixture face("[Settings]\nUIMode=0\n");
    face.Loop.KillTimer(bx::kWorkLoadTimer);
    face.Hub->StartDispatcher(false);
    SendBurst(face, 600);
    face.Hub->MonitorWorkLoad();
    bx::AddLogEntry(bx::TLogLevel::Error, "a failure");
    QTRY_VERIFY(face.Hub->ErrorIndicator());
    face.Hub->MonitorWorkLoad();
    QTest::qWait(300);
    QCOMPARE(face.View->ShownIconIndex(), -1);
    QVERIFY(!face.View->Tray().isVisible());
  }

  // No tray host at start: one Info entry, and the icon once a host starts; after the host
  // restarts, the icon is in the new one.
  void TrayHostThatStartsLateOrRestartsGetsTheIcon() {
    FTrayer.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!QSystemTrayIcon::isSystemTrayAvailable(), 20000);
    TFaceFixture face("[Settings]\nUIMode=1\n");
    face.Hub->StartDispatcher(false);
    const std::string note =
        "No notification area on this display: the tray icon appears when one starts";
    QTRY_VERIFY(face.HasEntry(note));
    FTrayer = StartTrayer();
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(IconOnScreen(face.View->Tray().geometry()) == 0, 20000);
    FTrayer.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!QSystemTrayIcon::isSystemTrayAvailable(), 20000);
    FTrayer = StartTrayer();
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(IconOnScreen(face.View->Tray().geometry()) == 0, 20000);
    int notes = 0;
    for (const bx::TDispatcherLogEntry& e : face.Hub->Log().Entries()) notes += e.Text == note;
    QCOMPARE(notes, 1);
  }
};

int main(int argc, char** argv) {
  if (access(kXvfb, X_OK) != 0 || access(kTrayer, X_OK) != 0) {
    std::fprintf(stderr, "skipped: %s or %s is not installed\n", kXvfb, kTrayer);
    return 77;
  }
  QString work = QDir::tempPath() + QStringLiteral("/bx-tray-XXXXXX");
  QByteArray pattern = work.toLocal8Bit();
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  gWorkDir = pattern.toStdString();
  // Xvfb picks a free display itself and writes its number to standard output (collected in
  // a file by TChildProcess), so parallel runs never share one.
  auto xvfb = std::make_unique<TChildProcess>(
      std::vector<std::string>{kXvfb, "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten",
                               "tcp"},
      std::map<std::string, std::string>{}, gWorkDir);
  if (!bx::test::WaitFor([&] { return xvfb->StandardOutput().find('\n') != std::string::npos; },
                         std::chrono::seconds(30))) {
    std::fprintf(stderr, "Xvfb did not start: %s\n", xvfb->StandardError().c_str());
    return 1;
  }
  gDisplay = ":" + xvfb->StandardOutput().substr(0, xvfb->StandardOutput().find('\n'));
  const std::string runtime = gWorkDir + "/runtime";
  mkdir(runtime.c_str(), 0700);
  setenv("DISPLAY", gDisplay.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  unsetenv("WAYLAND_DISPLAY");
  int result = 0;
  {
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    TrayX11Test test;
    result = QTest::qExec(&test, argc, argv);
  }
  xvfb.reset();
  QDir(QString::fromStdString(gWorkDir)).removeRecursively();
  return result;
}

#include "tray_x11_test.moc"

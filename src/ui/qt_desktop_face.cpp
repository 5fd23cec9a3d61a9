#include "ui/qt_desktop_face.h"

#include <QDir>
#include <QLibraryInfo>
#include <cstdlib>
#include <exception>

#include "platform/desktop_display.h"
#include "platform/short_date.h"

namespace bx::ui {

namespace {

// QApplication keeps references to these for its whole life.
int gArgc = 1;
char gProgramName[] = "BxDispatcher";
char* gArgv[] = {gProgramName, nullptr};

bool WaylandPluginInstalled() {
  const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                       QStringLiteral("/platforms"));
  return !platforms.entryList({QStringLiteral("libqwayland*.so")}, QDir::Files).isEmpty();
}

// Whether Qt will be able to open its display; the reason when not. An X display is held by
// `*hold` until Qt has connected (see HoldXDisplay).
bool DisplayUsable(std::string* why, std::unique_ptr<TXDisplayHold>* hold) {
  const char* named = std::getenv("QT_QPA_PLATFORM");
  const std::string platform = named ? named : "";
  if (!platform.empty() && platform.rfind("xcb", 0) != 0) return true;
  *hold = HoldXDisplay();
  if (*hold != nullptr) return true;
  if (platform.empty() && WaylandDisplayReachable() && WaylandPluginInstalled()) return true;
  *why = "the display cannot be opened";
  return false;
}

}  // namespace

std::unique_ptr<TQtDesktopFace> TQtDesktopFace::Create(TMessageLoop& loop, std::string* error) {
  std::string why;
  std::unique_ptr<TXDisplayHold> hold;
  if (!DisplayUsable(&why, &hold)) {
    if (error) *error = why;
    return nullptr;
  }
  try {
    auto app = std::make_unique<QApplication>(gArgc, gArgv);
    hold.reset();  // Qt's own connection now keeps the server from resetting
    UseUserDateFormat();
    // The log window and the dialogs close; the program ends only through the hub.
    app->setQuitOnLastWindowClosed(false);
    app->setApplicationName(QStringLiteral("Brevix Dispatcher"));
    return std::unique_ptr<TQtDesktopFace>(new TQtDesktopFace(loop, std::move(app)));
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return nullptr;
  }
}

TQtDesktopFace::TQtDesktopFace(TMessageLoop& loop, std::unique_ptr<QApplication> app)
    : FLoop(loop),
      FApp(std::move(app)),
      FPump(std::make_unique<TLoopPump>(loop)),
      FView(std::make_unique<TQtTrayView>(loop)) {}

TQtDesktopFace::~TQtDesktopFace() {
  FView.reset();
  FPump.reset();
  FApp.reset();
}

int TQtDesktopFace::Run() {
  if (FPump->LoopEnded()) return FLoop.ExitCode();
  QApplication::exec();
  return FLoop.ExitCode();
}

}  // namespace bx::ui

extern "C" __attribute__((visibility("default"))) bx::TDesktopFace* BxCreateDesktopFace(
    bx::TMessageLoop* loop, std::string* error) {
  if (loop == nullptr) return nullptr;
  return bx::ui::TQtDesktopFace::Create(*loop, error).release();
}

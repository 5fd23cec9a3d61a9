#include "host/program_entry.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <memory>

#include "config/command_line.h"
#include "config/dispatcher_settings.h"
#include "config/paths.h"
#include "config/registry.h"
#include "host/desktop_face.h"
#include "host/frm_dispatcher.h"
#include "host/service_host.h"
#include "platform/descriptors.h"
#include "platform/desktop_display.h"
#include "platform/folders.h"
#include "platform/instance_lock.h"
#include "platform/message_loop.h"
#include "platform/mutex.h"
#include "platform/service_manager.h"
#include "platform/short_date.h"
#include "platform/stop_signals.h"
#include "platform/thread.h"

namespace bx {

namespace {

constexpr const char* kInstanceLockName = "Brevix Dispatcher Mutex.lock";

bool HasSwitch(const std::vector<std::string>& args, const char* name, const char* chars) {
  return FindCmdLineSwitch(args, name, chars);
}

// The one-shot commands; true when one of them was given (and carried out or refused).
bool RunAdministrativeSwitch(const std::vector<std::string>& args) {
  if (HasSwitch(args, "REGISTER", kAdminSwitchChars)) {
    // Only into an existing key: the installer creates it.
    (void)RegistryWriteString(TRegistryRoot::LocalMachine, kProductRegistryKey, "Dispatcher",
                              ExecutablePath(), false);
    return true;
  }
  static constexpr struct {
    const char* Name;
    uint8_t Mode;
  } kModes[] = {{"INIT_STEALTH", 0}, {"INIT_RESTRICTED", 1}, {"INIT_UNRESTRICTED", 2}};
  for (const auto& mode : kModes) {
    if (HasSwitch(args, mode.Name, kAdminSwitchChars)) {
      (void)WriteInitialUIMode(mode.Mode);
      return true;
    }
  }
  if (HasSwitch(args, "MONITOR_PORTS", kAdminSwitchChars)) {
    (void)WriteInitialMonitorPorts();
    return true;
  }
  return false;
}

void EchoToTerminal(const TDispatcherLogEntry& entry) {
  const std::string line = TFrmDispatcherLog::EntryLine(entry) + "\n";
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
}

// Runs the loop with a hub until the loop ends; the hub is destroyed before the loop.
class TMainLoopScope {
 public:
  TMainLoopScope() { SetMainLoop(&FLoop); }
  ~TMainLoopScope() { SetMainLoop(nullptr); }
  TMessageLoop& Loop() { return FLoop; }

 private:
  TMessageLoop FLoop;
};

int RunDesktop(const std::vector<std::string>& args) {
  TMainLoopScope scope;
  TMessageLoop& loop = scope.Loop();
  // Before any other thread starts (the toolkit's among them), so that only the watcher takes
  // the stop signals.
  auto stopSignals = std::make_unique<TStopSignals>([&loop] { loop.Post(WM_CLOSE, 0, 0); });
  // The desktop face only where a display is named.
  std::unique_ptr<TDesktopFace> face;
  std::string noFace;
  const bool display = DesktopDisplayNamed();
  if (display) face = LoadDesktopFace(loop, &noFace);
  TFrmDispatcherOptions options;
  options.Arguments = args;
  if (face) options.View = &face->View();
  // A run from a terminal also shows the activity log there.
  if (StandardOutputIsTerminal()) options.EchoEntry = EchoToTerminal;
  auto hub = std::make_unique<TFrmDispatcher>(loop, std::move(options));
  if (display && !face) {
    AddLogEntry(TLogLevel::Info, "No desktop face (" + noFace +
                                     "): running without tray icon, log window and dialogs");
  }
  hub->StartDispatcher(false);
  const int exitCode = face ? face->Run() : loop.Run();
  stopSignals.reset();
  // The hub goes before the face whose view it borrows; the toolkit ends with the face.
  hub.reset();
  face.reset();
  return exitCode;
}

// While the service starts (the registrations may be many), asks systemd every 20 s for 60 s
// more than TimeoutStartSec= allows, so only a start that stops making progress times out.
class TStartTimeoutExtender {
 public:
  TStartTimeoutExtender() {
    FThread.Start("BxStartExtend", [this](std::stop_token stop) {
      TMutexLock lock(FLock);
      do {
        (void)SendServiceNotification("EXTEND_TIMEOUT_USEC=60000000");
      } while (!FWake.wait_for(lock, stop, std::chrono::seconds(20), [] { return false; }) &&
               !stop.stop_requested());
    });
  }
  ~TStartTimeoutExtender() {
    FThread.RequestStop();
    FThread.Join();
  }
  TStartTimeoutExtender(const TStartTimeoutExtender&) = delete;
  TStartTimeoutExtender& operator=(const TStartTimeoutExtender&) = delete;

 private:
  // Guards nothing: the wait below only needs a lock to wait with.
  TMutex FLock;
  std::condition_variable_any FWake;
  TThread FThread;
};

void SendToJournal(TJournal& journal, const TDispatcherLogEntry& entry) {
  std::string error;
  if (!journal.Send(JournalPriority(entry.Level), entry.Text,
                    {{"BX_LEVEL", LogLevelName(entry.Level)}}, &error)) {
    static bool reported = false;  // main thread only
    if (!reported) std::fprintf(stderr, "Brevix Dispatcher: journal: %s\n", error.c_str());
    reported = true;
  }
}

int RunService(const std::vector<std::string>& args) {
  if (ServiceNotifySocket().empty()) {
    WriteSystemLogError(kServiceName,
                        "The service process could not connect to the service manager: it was "
                        "not started by systemd (NOTIFY_SOCKET is not set).");
    return 1;
  }
  TMainLoopScope scope;
  TMessageLoop& loop = scope.Loop();
  TJournal journal(kServiceName);
  TFrmDispatcherOptions options;
  options.Arguments = args;
  options.EchoEntry = [&journal](const TDispatcherLogEntry& entry) {
    SendToJournal(journal, entry);
  };
  options.ServiceNotify = [](const std::string& state) { (void)SendServiceNotification(state); };
  options.WatchdogMicroseconds = ServiceWatchdogMicroseconds();
  TSvcDispatcher service(loop);
  // Before any thread starts, so that only the watcher takes the signals.
  auto stopSignals = std::make_unique<TStopSignals>([&service] { service.Stop(); });
  std::unique_ptr<TFrmDispatcher> hub;
  {
    TStartTimeoutExtender extender;
    hub = std::make_unique<TFrmDispatcher>(loop, std::move(options));
  }
  hub->ServiceLogonName = EffectiveUserName();
  // READY=1 now: the ports are bound and the registrations loaded.
  service.Start();
  const int exitCode = loop.Run();
  stopSignals.reset();
  hub.reset();
  return exitCode;
}

// A run folder that cannot be used is not a second instance: it is said on standard error and
// in the journal (a service's standard error may go nowhere), and the exit code is 1.
int RefuseRunFolder(const std::string& reason) {
  const std::string text = std::string("Brevix Dispatcher cannot start: ") + reason;
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  TJournal journal(kServiceName);
  if (!journal.Send(3, text)) WriteSystemLogError(kServiceName, text);
  return 1;
}

}  // namespace

bool ProgramInformation(const std::vector<std::string>& args, int* exitCode) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h" || arg == "-?" || arg == "/?") {
      std::fputs(kDispatcherHelp, stdout);
      *exitCode = 0;
      return true;
    }
    if (arg == "--version") {
      std::printf("BxDispatcher %s\n", kProductVersion);
      *exitCode = 0;
      return true;
    }
  }
  return false;
}

int ProgramEntry(const std::vector<std::string>& args) {
  int informationExit = 0;
  if (ProgramInformation(args, &informationExit)) return informationExit;
  // The activity log's dates follow the user's short date format.
  UseUserDateFormat();
  std::unique_ptr<TInstanceLock> lock;
  try {
    lock = TInstanceLock::TryAcquire(RunFolder() + "/" + kInstanceLockName);
  } catch (const std::exception& e) {
    return RefuseRunFolder(e.what());
  }
  // Another dispatcher of this user (or this service) holds the lock: silently done.
  if (!lock) return 0;
  // Each TCP connection holds a descriptor: take the whole hard limit before anything opens.
  RaiseDescriptorLimit();

  try {
    const bool install = HasSwitch(args, "INSTALL", kServiceSwitchChars);
    const bool uninstall = HasSwitch(args, "UNINSTALL", kServiceSwitchChars);
    // Started by systemd as a notify service: the package's unit may be started without being
    // enabled ("systemctl start"), and then no installed unit names it.
    if (install || uninstall || IsServiceInstalled() || !ServiceNotifySocket().empty()) {
      const bool silent = HasSwitch(args, "SILENT", kServiceActionSwitchChars);
      if (HasSwitch(args, "INSTALL", kServiceActionSwitchChars)) {
        return RunServiceInstallation(true, silent);
      }
      if (HasSwitch(args, "UNINSTALL", kServiceActionSwitchChars)) {
        return RunServiceInstallation(false, silent);
      }
      return RunService(args);
    }
    if (RunAdministrativeSwitch(args)) return 0;
    return RunDesktop(args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Brevix Dispatcher: %s\n", e.what());
    return 1;
  }
}

}  // namespace bx

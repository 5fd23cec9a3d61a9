// TFrmDispatcher: the program's hub, the "main window" that is never shown. It lives on the main
// message loop and owns, in creation order, the dispatch core, the settings, the table of
// destination kinds, the activity log, the window endpoint (class "TFrmDispatcher", caption
// "Brevix Dispatcher"), the receivers and the dispatch thread. It handles the private window
// messages (WM_COPYDATA, WM_USER+70..83, WM_CLOSE), watches the work load every 500 ms and
// keeps the tray's state (icon index, menu, error indicator), which a TTrayView shows.
//
// Start-up: the constructor builds the dispatch core, loads and publishes the settings and then
// runs the creation steps (log file, "Dispatcher has been started", destination kinds, copy-data
// receiver, port monitoring, saved registrations, UI mode, disabled switch, settings summary).
// StartDispatcher then shows the tray icon and creates the dispatch thread.
// Stop: Close() (WM_CLOSE, "Stop &Dispatcher") logs "Dispatcher has been stopped", removes the
// tray icon and ends the loop; a WM_QUIT ends the loop without that. The destructor frees the
// endpoint and the receivers, lets the dispatch thread deliver what is queued for at most the
// settings' StopDrainMilliseconds, logs "N queued messages discarded at stop" (Warning) for
// what is left, saves the registrations and frees the dispatch core.
//
// Queue memory: every published settings object sets the queue's limit (MaxQueueMemoryMB);
// messages that a full queue refused are counted in one Warning entry per second at most.
//
// Settings: the hub never changes a published settings object. A reload or a change of the
// disabled switch builds a new object and publishes it whole (settings_snapshot.h), so worker
// threads keep whichever object they hold.
//
// Ownership: the program's entry owns the hub and the loop; the loop must outlive the hub, and
// so must the view. Only one hub exists at a time (it is the process-wide main window and owns
// the process-wide dispatch core).
// Threads: everything on the loop's thread (the one that constructs the hub), except
// FrmDispatcher(), IsPathAllowed and FindDestinationClass, which any thread may call.
// Failure: a failing creation step is reported (standard error and an Error entry) and the
// remaining steps are skipped; the hub still exists. Exceptions in message handling are
// reported the same way and never leave HandleMessage. A desktop face reaches the hub only by
// posting messages (menu commands, the tray's clicks, Clear, the settings dialog's reload), so
// an exception in a command is reported here and never unwinds through the toolkit.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/command_line.h"
#include "config/dispatcher_settings.h"
#include "core/dispatch_thread.h"
#include "core/known_destinations.h"
#include "host/dispatcher_log.h"
#include "host/dispatcher_status.h"
#include "host/tray_menu.h"
#include "host/tray_view.h"
#include "platform/clock.h"
#include "platform/message_loop.h"
#include "platform/thread_priority.h"
#include "platform/window_endpoint.h"
#include "receivers/copy_data_receiver.h"
#include "receivers/tcp_receiver.h"
#include "receivers/udp_receiver.h"

namespace bx {

// Private messages of the main window besides those in dispatcher_window_messages.h.
inline constexpr uint32_t kWmTrayCallback = WM_USER + 70;     // LParam: the mouse message
inline constexpr uint32_t kWmStartDispatcher = WM_USER + 71;  // WParam != 0: service mode
// From the desktop face: a popup menu item was chosen (WParam: its index in TTrayMenu::Items()),
// and the log window's Clear button. Commands of hidden or disabled items are ignored.
inline constexpr uint32_t kWmMenuCommand = WM_USER + 72;
inline constexpr uint32_t kWmClearLog = WM_USER + 73;
inline constexpr uint32_t WM_LBUTTONDBLCLK = 0x0203;
inline constexpr uint32_t WM_RBUTTONUP = 0x0205;

// Timer ids of the main loop.
inline constexpr uint32_t kWorkLoadTimer = 1;
inline constexpr uint32_t kProgramManagerTimer = 2;

struct TFrmDispatcherOptions {
  // Stamps activity-log entries; SystemClock() when null. Must outlive the hub.
  const TClock* Clock = nullptr;
  // The desktop face; a TNullTrayView of the hub's own when null.
  TTrayView* View = nullptr;
  // The program's arguments (without its name), for the receivers' "TCPPort"/"UDPPort".
  std::vector<std::string> Arguments;
  // Called with every entry once it is in the log (the console echo of a terminal run, the
  // journal of a service).
  std::function<void(const TDispatcherLogEntry&)> EchoEntry;
  // Service mode: sends one state line to the service manager ("STATUS=...", "WATCHDOG=1").
  std::function<void(const std::string&)> ServiceNotify;
  // The service manager's watchdog interval in microseconds (0: none). The work-load timer
  // sends WATCHDOG=1 once at least half of it has passed since the last one, so a main thread
  // that hangs stops the datagrams and is restarted.
  uint64_t WatchdogMicroseconds = 0;
  // The monotonic time the watchdog is measured with; std::chrono::steady_clock when empty.
  std::function<std::chrono::steady_clock::time_point()> MonotonicNow;
};

class TFrmDispatcher {
 public:
  static constexpr const char* kCaption = "Brevix Dispatcher";
  static constexpr const char* kClassName = "TFrmDispatcher";

  TFrmDispatcher(TMessageLoop& loop, TFrmDispatcherOptions options = {});
  ~TFrmDispatcher();
  TFrmDispatcher(const TFrmDispatcher&) = delete;
  TFrmDispatcher& operator=(const TFrmDispatcher&) = delete;

  // The loop's handler: every message but WM_QUIT. Returns the message's result.
  int64_t HandleMessage(TLoopMessage& message);

  // The second half of start-up: tray icon, dispatch thread; in service mode the menu loses
  // its log, separator and stop items and the service's logon account is logged. A second call
  // changes nothing.
  void StartDispatcher(bool asService);

  // The work-load timer's step (every 500 ms): queue counter, priorities, tray icon; in service
  // mode also the service manager's status line and watchdog.
  void MonitorWorkLoad();

  // The health snapshot (WM_USER+84, BxSend --status).
  TBxDispatcherStatus Status() const;
  void UpdateTrayIcon(int index);

  void ApplyMonitorPorts();
  void ApplyUIMode();
  void ApplyDisabled();
  void SetDisabled(bool value);
  void ReloadSettings();
  void LogSettingsSummary();

  // Menu commands and the tray's callbacks.
  void PrepareMenu();  // before the popup menu opens
  void TrayCallback(uint64_t mouseMessage);
  void ShowLog();
  void MenuSettings();
  // Asks the view to confirm (a modal dialog: messages keep flowing meanwhile, see
  // message_loop.h), then EmptyMessageQueue, unless the hub began closing or the loop ended
  // while the dialog was up. A second request while the dialog is up is ignored.
  void MenuEmptyQueue();
  void EmptyMessageQueue();
  void MenuDisable();
  void MenuHelp();
  void MenuAbout();
  void Close();  // "Stop &Dispatcher" and WM_CLOSE
  void TaskbarCreated();
  void ProgramManagerTick();
  // kWmMenuCommand: runs the command of the item at `index` when it is visible and enabled.
  void MenuCommand(uint64_t index);
  // kWmClearLog: the log window's Clear (entries and file); the view hears LogCleared.
  void ClearLog();

  // Lookups for destinations, from any thread.
  static bool IsPathAllowed(const std::string& path);
  static std::optional<TBxDestinationClass> FindDestinationClass(std::string_view kind);

  // State for views and tests.
  std::shared_ptr<const TBxDispatcherSettings> Settings() const { return FSettings; }
  const TTrayMenu& Menu() const { return FMenu; }
  int CurrentIconIndex() const { return FCurrentIconIndex; }
  bool IconAdded() const { return FIconAdded; }
  bool ErrorIndicator() const { return FErrorIndicator; }
  bool NoTray() const { return FNoTray; }
  bool RunningAsService() const { return FRunningAsService; }
  bool Closing() const { return FClosing; }
  const std::string& Caption() const { return FCaption; }
  TFrmDispatcherLog& Log() { return FLog; }
  TBxDispatchThread* DispatchThread() { return FDispatchThread.get(); }
  TBxCopyDataReceiver* CopyDataReceiver() { return FCopyDataReceiver.get(); }
  TBxTcpReceiver* TcpReceiver() { return FTcpReceiver.get(); }
  TBxUdpReceiver* UdpReceiver() { return FUdpReceiver.get(); }
  TThreadPriorityHandle MainThreadPriority() const { return FMainThreadPriority; }

  // The account the service process runs as, set by the entry point in service mode.
  std::string ServiceLogonName;

 private:
  void FormCreate();
  void HandleLogEntry(TLogLevel level, std::string text);
  // An entry written at once, not posted: for the end, when the loop takes no more messages.
  void WriteLogEntryNow(TLogLevel level, const std::string& text);
  // The Warning entry with the messages a full queue refused since the last one: every second
  // (two work-load ticks) at most, or `now`.
  void ReportDrops(TBxMessageQueue& queue, bool now);
  int64_t HandleCopyData(const TLoopMessage& message);
  void PublishNewSettings(std::shared_ptr<TBxDispatcherSettings> settings);
  void NotifyServiceManager();
  // The application's default handling of an exception: standard error, and an Error entry
  // unless the failure came from writing the log itself.
  void ReportException(const std::exception& e, bool toActivityLog = true);

  TMessageLoop& FLoop;
  const TClock& FClock;
  TNullTrayView FNullView;
  TTrayView& FView;
  TBxCommandLine FCommandLine;
  std::function<void(const TDispatcherLogEntry&)> FEchoEntry;
  std::function<void(const std::string&)> FServiceNotify;
  std::chrono::microseconds FWatchdogInterval;
  std::function<std::chrono::steady_clock::time_point()> FMonotonicNow;
  std::optional<std::chrono::steady_clock::time_point> FLastWatchdog;
  std::string FLastStatusLine;

  std::shared_ptr<const TBxDispatcherSettings> FSettings;
  int FCurrentIconIndex = -1;
  int FRequestedIconIndex = 0;  // the last index asked for, before error/disabled override it
  bool FIconAdded = false;
  bool FReAddIcon = false;
  std::unique_ptr<TBxDispatchThread> FDispatchThread;
  std::unique_ptr<TBxKnownDestinationsList> FKnownDestinations;
  bool FShellWindowPresent = false;
  bool FNoTray = false;
  bool FRunningAsService = false;
  bool FErrorIndicator = false;
  bool FStarted = false;
  bool FClosing = false;
  bool FConfirmingEmptyQueue = false;
  int FDropReportTicks = 0;
  std::string FCaption;
  TTrayMenu FMenu;
  TThreadPriorityHandle FMainThreadPriority;

  TFrmDispatcherLog FLog;
  std::unique_ptr<TWindowEndpoint> FEndpoint;
  std::unique_ptr<TBxCopyDataReceiver> FCopyDataReceiver;
  std::unique_ptr<TBxTcpReceiver> FTcpReceiver;
  std::unique_ptr<TBxUdpReceiver> FUdpReceiver;
};

// The process-wide main window: null before a hub is created and after it is destroyed.
TFrmDispatcher* FrmDispatcher();

}  // namespace bx

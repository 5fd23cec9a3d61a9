#include "host/frm_dispatcher.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <span>

#include "config/paths.h"
#include "config/settings_snapshot.h"
#include "core/dispatch_core.h"
#include "core/dispatch_counters.h"
#include "destinations/http_destination.h"
#include "destinations/live_viewer_destination.h"
#include "destinations/log_file_destination.h"
#include "destinations/syslog_destination.h"
#include "destinations/tcp_destination.h"
#include "destinations/udp_destination.h"
#include "platform/log_entry.h"
#include "platform/loop_call.h"
#include "receivers/dispatcher_window_messages.h"

namespace bx {

namespace {

// Acquire/release: a thread that sees the hub sees it constructed as far as it was published.
std::atomic<TFrmDispatcher*> gFrmDispatcher{nullptr};

constexpr auto kWorkLoadInterval = std::chrono::milliseconds(500);
// Messages refused by a full queue are reported every this many work-load ticks at most.
constexpr int kDropReportTicks = 2;
constexpr auto kProgramManagerInterval = std::chrono::milliseconds(10000);

// Tray icon indices.
constexpr int kIconIdle = 0;
constexpr int kIconLoadMedium = 2;
constexpr int kIconLoadHigh = 3;
constexpr int kIconError = 4;
constexpr int kIconDisabled = 5;

constexpr uint8_t kUIModeStealth = 0;
constexpr uint8_t kUIModeRestricted = 1;
constexpr uint8_t kUIModeUnrestricted = 2;

// Every destination kind the dispatcher knows, each under its class's own kind name.
void RegisterDestinationKinds(TBxKnownDestinationsList& list) {
  list.Add(DestinationClassOf<TBxLiveViewerDestination>());
  list.Add(DestinationClassOf<TBxLogFileDestination>());
  list.Add(DestinationClassOf<TBxTcpDestination>());
  list.Add(DestinationClassOf<TBxUdpDestination>());
  list.Add(DestinationClassOf<TBxHttpDestination>());
  list.Add(DestinationClassOf<TBxSyslogDestination>());
}

// What the loop does with messages once the hub is gone: loop calls still run (their callers
// wait for them), everything else is dropped.
int64_t HandleWithoutHub(TLoopMessage& message) {
  return message.Msg == kWmLoopCall ? RunLoopCall(message) : 0;
}

}  // namespace

TFrmDispatcher* FrmDispatcher() { return gFrmDispatcher.load(std::memory_order_acquire); }

TFrmDispatcher::TFrmDispatcher(TMessageLoop& loop, TFrmDispatcherOptions options)
    : FLoop(loop),
      FClock(options.Clock ? *options.Clock : SystemClock()),
      FView(options.View ? *options.View : FNullView),
      FCommandLine(std::move(options.Arguments), "+-/"),
      FEchoEntry(std::move(options.EchoEntry)),
      FServiceNotify(std::move(options.ServiceNotify)),
      FWatchdogInterval(options.WatchdogMicroseconds),
      FMonotonicNow(options.MonotonicNow ? std::move(options.MonotonicNow)
                                         : [] { return std::chrono::steady_clock::now(); }),
      FMainThreadPriority(CurrentThreadHandle()) {
  FLoop.AssertInLoopThread();
  // Construction: the dispatch core, the settings and the table of kinds, then the settings.
  StartDispatchCore();
  FKnownDestinations = std::make_unique<TBxKnownDestinationsList>();
  auto settings = std::make_shared<TBxDispatcherSettings>();
  settings->LoadSettings();
  PublishNewSettings(std::move(settings));
  FErrorIndicator = false;

  FLoop.SetHandler([this](TLoopMessage& message) { return HandleMessage(message); });
  FLoop.SetTimer(kWorkLoadTimer, kWorkLoadInterval);

  gFrmDispatcher.store(this, std::memory_order_release);
  FCaption = kCaption;
  FView.AttachLog(FLog);
  try {
    FormCreate();
  } catch (const std::exception& e) {
    ReportException(e);
  }
  // From here on other programs find the dispatcher; their messages wait in the loop until it
  // runs. Opened after the creation steps, so that "Dispatcher has been started" stays the
  // first entry even when the endpoint fails.
  try {
    FEndpoint = std::make_unique<TWindowEndpoint>(kClassName, FCaption, FLoop,
                                                  DispatcherAcceptsFromOutside);
  } catch (const std::exception& e) {
    ReportException(e);
  }
}

void TFrmDispatcher::FormCreate() {
  FLog.StartLogFile(GetActivityLogFolder() + TFrmDispatcherLog::kFileName);
  AddLogEntry(TLogLevel::Info, "Dispatcher has been started");

  RegisterDestinationKinds(*FKnownDestinations);
  PublishKnownDestinations(FKnownDestinations.get());

  FCopyDataReceiver = std::make_unique<TBxCopyDataReceiver>();
  ApplyMonitorPorts();

  DispatchIDList()->LoadDispatchIDs();

  ApplyUIMode();
  ApplyDisabled();
  LogSettingsSummary();

  if (!FSettings->CanModify) {
    AddLogEntry(TLogLevel::Info, "User does not have permission to change settings");
    FMenu.Item("mnuSettings").Visible = false;
    FMenu.Item("mnuSepSettings").Visible = false;
  }
}

TFrmDispatcher::~TFrmDispatcher() {
  FLoop.AssertInLoopThread();
  FLoop.KillTimer(kWorkLoadTimer);
  FLoop.KillTimer(kProgramManagerTimer);
  if (FIconAdded && !FNoTray) FView.DeleteIcon();

  // No more messages from other programs, then no more from the network.
  FEndpoint.reset();
  FCopyDataReceiver.reset();
  FTcpReceiver.reset();
  FUdpReceiver.reset();

  // What is queued is still delivered, for a bounded time; the loop has ended, so the entries
  // about what could not be go straight into the log.
  if (FDispatchThread) {
    FDispatchThread->Stop(std::chrono::milliseconds(std::max(0, FSettings->StopDrainMilliseconds)));
    FDispatchThread->WaitFor();
    FDispatchThread.reset();
  }
  if (TBxMessageQueue* queue = MessageQueue()) {
    ReportDrops(*queue, true);
    const int64_t discarded = queue->EmptyQueue(false);
    if (discarded > 0) {
      WriteLogEntryNow(TLogLevel::Warning,
                       std::to_string(discarded) + " queued messages discarded at stop");
    }
  }
  if (TBxDispatchIDList* registry = DispatchIDList()) {
    try {
      registry->SaveDispatchIDs();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "Brevix Dispatcher: %s\n", e.what());
    }
  }
  ShutdownDispatchCore();

  PublishKnownDestinations(nullptr);
  FKnownDestinations.reset();
  PublishSettings(nullptr);
  gFrmDispatcher.store(nullptr, std::memory_order_release);
  FLoop.SetHandler(HandleWithoutHub);
}

void TFrmDispatcher::WriteLogEntryNow(TLogLevel level, const std::string& text) {
  try {
    HandleLogEntry(level, text);
  } catch (const std::exception& e) {
    ReportException(e, false);
  }
}

void TFrmDispatcher::ReportDrops(TBxMessageQueue& queue, bool now) {
  // At most one entry per second: every second tick of the work-load timer.
  if (!now && ++FDropReportTicks < kDropReportTicks) return;
  FDropReportTicks = 0;
  const int64_t dropped = queue.TakeDropCount();
  if (dropped == 0) return;
  const std::string text = "Message Queue Full: " + std::to_string(dropped) +
                           " messages dropped (limit " +
                           std::to_string(FSettings->MaxQueueMemoryMB) + " MB)";
  if (now) {
    WriteLogEntryNow(TLogLevel::Warning, text);
  } else {
    AddLogEntry(TLogLevel::Warning, text);
  }
}

void TFrmDispatcher::ReportException(const std::exception& e, bool toActivityLog) {
  std::fprintf(stderr, "Brevix Dispatcher: %s\n", e.what());
  std::fflush(stderr);
  if (toActivityLog) AddLogEntry(TLogLevel::Error, e.what());
}

void TFrmDispatcher::PublishNewSettings(std::shared_ptr<TBxDispatcherSettings> settings) {
  FSettings = settings;
  PublishSettings(std::move(settings));
  if (TBxMessageQueue* queue = MessageQueue()) {
    queue->SetMemoryLimit(FSettings->MaxQueueMemoryBytes());
  }
}

int64_t TFrmDispatcher::HandleMessage(TLoopMessage& message) {
  FLoop.AssertInLoopThread();
  try {
    switch (message.Msg) {
      case kWmLogEntry:
        HandleLogEntry(static_cast<TLogLevel>(message.WParam), std::move(message.Data));
        return 0;
      case WM_COPYDATA:
        return HandleCopyData(message);
      case kWmLoopCall:
        return RunLoopCall(message);
      case WM_TIMER:
        if (message.WParam == kWorkLoadTimer) MonitorWorkLoad();
        if (message.WParam == kProgramManagerTimer) ProgramManagerTick();
        return 0;
      case kWmTrayCallback:
        TrayCallback(message.LParam);
        return 0;
      case kWmStartDispatcher:
        StartDispatcher(message.WParam != 0);
        return 0;
      case kWmIsService:
        return FRunningAsService ? 1 : 0;
      case kWmReloadSettings:
        ReloadSettings();
        return 0;
      case kWmShowLog:
        ShowLog();
        return 0;
      case kWmStatus:
        message.Reply =
            message.WParam == kStatusJson ? FormatStatusJson(Status()) : FormatStatusText(Status());
        return 1;
      case WM_CLOSE:
        Close();
        return 0;
      case kWmMenuCommand:
        MenuCommand(message.WParam);
        return 0;
      case kWmClearLog:
        ClearLog();
        return 0;
      default:
        return 0;
    }
  } catch (const std::exception& e) {
    ReportException(e, message.Msg != kWmLogEntry);
    return 0;
  }
}

void TFrmDispatcher::HandleLogEntry(TLogLevel level, std::string text) {
  const TDateTime now = FClock.Now();
  const size_t before = FLog.Count();
  try {
    FLog.AddEntry(level, text, now);
  } catch (const std::exception& e) {
    // The entry stays in the model; the failure to write the file must not become another
    // entry, or a full disk would feed itself.
    ReportException(e, false);
  }
  if (FLog.Count() > before) {
    const TDispatcherLogEntry& entry = FLog.Entries().back();
    FView.LogEntryAdded(entry);
    if (FEchoEntry) FEchoEntry(entry);
  }
  if (level == TLogLevel::Error && !FView.LogWindowVisible()) FErrorIndicator = true;
}

int64_t TFrmDispatcher::HandleCopyData(const TLoopMessage& message) {
  if (!FCopyDataReceiver) return 0;
  const auto* bytes = reinterpret_cast<const std::byte*>(message.Data.data());
  return FCopyDataReceiver->HandleCopyData(message.LParam,
                                           std::span<const std::byte>(bytes, message.Data.size()));
}

void TFrmDispatcher::StartDispatcher(bool asService) {
  FLoop.AssertInLoopThread();
  if (FStarted) return;
  FStarted = true;
  FRunningAsService = asService;
  FNoTray = !FView.TrayAvailable();
  if (asService) {
    FMenu.Item("mnuViewLog").Visible = false;
    FMenu.Item("mnuSepAbout").Visible = false;
    FMenu.Item("mnuStopDispatcher").Visible = false;
  }
  UpdateTrayIcon(kIconIdle);
  if (!FView.NotifiesTaskbarCreated()) {
    FShellWindowPresent = FView.ShellPresent();
    FLoop.SetTimer(kProgramManagerTimer, kProgramManagerInterval);
  }
  FDispatchThread = std::make_unique<TBxDispatchThread>(*MessageQueue(), *MessageAvailableEvent(),
                                                        *DispatchIDList());
  if (asService) {
    AddLogEntry(TLogLevel::Info,
                "Dispatcher is running as a service. Logged on as: " + ServiceLogonName);
    NotifyServiceManager();
  }
}

TBxDispatcherStatus TFrmDispatcher::Status() const {
  FLoop.AssertInLoopThread();
  TBxDispatcherStatus status;
  status.State = !FStarted ? "starting" : FSettings->Disabled ? "disabled" : "running";
  status.Service = FRunningAsService;
  if (const TBxMessageQueue* queue = MessageQueue()) {
    status.QueuedMessages = queue->QueuedMessages();
    status.QueuedBytes = static_cast<uint64_t>(std::max<int64_t>(0, queue->QueuedBytes()));
  }
  if (TBxDispatchIDList* registry = DispatchIDList()) {
    TBxDispatchIDList::TLock lock(*registry);
    status.Registrations = registry->Count(lock);
  }
  status.Counts = DispatchCounts();
  return status;
}

void TFrmDispatcher::NotifyServiceManager() {
  if (!FRunningAsService || !FServiceNotify) return;
  // The status line only when it changed: the manager keeps the last one.
  std::string line = "STATUS=" + FormatStatusLine(Status());
  if (line != FLastStatusLine) {
    FServiceNotify(line);
    FLastStatusLine = std::move(line);
  }
  if (FWatchdogInterval.count() > 0) {
    const auto now = FMonotonicNow();
    if (!FLastWatchdog || now - *FLastWatchdog >= FWatchdogInterval / 2) {
      FServiceNotify("WATCHDOG=1");
      FLastWatchdog = now;
    }
  }
}

void TFrmDispatcher::MonitorWorkLoad() {
  TBxMessageQueue* queue = MessageQueue();
  if (queue == nullptr) return;
  if (FDispatchThread) {
    const int32_t n = queue->MessageCount();
    TThreadPriority priority = TThreadPriority::Normal;
    int candidate = 1;
    if (n > 500) {
      priority = TThreadPriority::Lowest;
      candidate = kIconLoadHigh;
    } else if (n > 10) {
      priority = TThreadPriority::Lower;
      candidate = kIconLoadMedium;
    }
    const TThreadPriorityHandle dispatchPriority = FDispatchThread->PriorityHandle();
    SetThreadPriority(dispatchPriority, priority);
    SetThreadPriority(FMainThreadPriority,
                      n > 10 ? TThreadPriority::Higher : TThreadPriority::Normal);
    if (GetThreadPriority(dispatchPriority) == TThreadPriority::Normal) {
      UpdateTrayIcon(queue->IsEmpty() ? kIconIdle : kIconLoadHigh);
    } else {
      UpdateTrayIcon(candidate);
    }
  }
  queue->ResetMessageCount();
  ReportDrops(*queue, false);
  NotifyServiceManager();
}

void TFrmDispatcher::UpdateTrayIcon(int index) {
  FRequestedIconIndex = index;
  if (FErrorIndicator) {
    index = kIconError;
  } else if (FSettings->Disabled) {
    index = kIconDisabled;
  } else if (index > kIconLoadHigh) {
    index = kIconLoadHigh;
  }
  if (index == FCurrentIconIndex && !FReAddIcon) return;
  if (FSettings->UIMode == kUIModeStealth) return;  // no tray icon exists in stealth mode
  FCurrentIconIndex = index;
  if (FNoTray) return;
  if (!FIconAdded || FReAddIcon) {
    FReAddIcon = false;
    FIconAdded = true;
    FView.AddIcon(index, FCaption);
  } else {
    FView.ModifyIcon(index, FCaption);
  }
}

void TFrmDispatcher::ApplyMonitorPorts() {
  if (FSettings->MonitorPorts && !FTcpReceiver) {
    FTcpReceiver = std::make_unique<TBxTcpReceiver>(FCommandLine);
    FTcpReceiver->SetPort(ReceiverPortOrDefault(FSettings->TCPPort, kDefaultTcpPort));
    FTcpReceiver->SetActive(true);
    FUdpReceiver = std::make_unique<TBxUdpReceiver>(FCommandLine);
    FUdpReceiver->SetPort(ReceiverPortOrDefault(FSettings->UDPPort, kDefaultUdpPort));
    FUdpReceiver->SetActive(true);
  } else if (!FSettings->MonitorPorts && FTcpReceiver) {
    FTcpReceiver.reset();
    FUdpReceiver.reset();
  }
}

void TFrmDispatcher::ApplyUIMode() {
  const bool unrestricted = FSettings->UIMode == kUIModeUnrestricted;
  // Without write access the settings item stays hidden, whatever the mode.
  FMenu.Item("mnuSettings").Visible = unrestricted && FSettings->CanModify;
  FMenu.Item("mnuEmptyQueue").Visible = unrestricted;
  FMenu.Item("mnuDisable").Visible = unrestricted;
}

void TFrmDispatcher::ApplyDisabled() {
  const bool disabled = FSettings->Disabled;
  if (TBxMessageQueue* queue = MessageQueue()) {
    // Relaxed: a switch of its own (see message_queue.h).
    queue->Disabled.store(disabled, std::memory_order_relaxed);
  }
  TTrayMenuItem& item = FMenu.Item("mnuDisable");
  item.Caption = disabled ? "&Enable" : "&Disable";
  item.ImageIndex = disabled ? 5 : 3;
}

void TFrmDispatcher::SetDisabled(bool value) {
  FLoop.AssertInLoopThread();
  auto settings = std::make_shared<TBxDispatcherSettings>(*FSettings);
  settings->Disabled = value;
  if (settings->CanModify) {
    // A failed save still changes the running state; the file keeps the old switch.
    std::string error;
    if (!settings->SaveSettings(&error)) AddLogEntry(TLogLevel::Error, error);
  }
  PublishNewSettings(std::move(settings));
  ApplyDisabled();
}

void TFrmDispatcher::ReloadSettings() {
  FLoop.AssertInLoopThread();
  auto settings = std::make_shared<TBxDispatcherSettings>();
  settings->LoadSettings();
  PublishNewSettings(std::move(settings));
  ApplyMonitorPorts();
  if (FTcpReceiver)
    FTcpReceiver->SetPort(ReceiverPortOrDefault(FSettings->TCPPort, kDefaultTcpPort));
  if (FUdpReceiver)
    FUdpReceiver->SetPort(ReceiverPortOrDefault(FSettings->UDPPort, kDefaultUdpPort));
  ApplyUIMode();
  SetDisabled(FSettings->Disabled);
  LogSettingsSummary();
}

void TFrmDispatcher::LogSettingsSummary() {
  const TBxDispatcherSettings& s = *FSettings;
  std::string line = s.Disabled ? "Disabled;  " : "Enabled;  ";
  if (s.UIMode == kUIModeStealth) line += "UIMode=Stealth;  ";
  if (s.UIMode == kUIModeRestricted) line += "UIMode=Restricted;  ";
  if (s.UIMode == kUIModeUnrestricted) line += "UIMode=Unrestricted;  ";
  if (s.MonitorPorts) {
    line += "MonitorPorts=" + std::to_string(s.TCPPort) + "," + std::to_string(s.UDPPort) + ";  ";
  } else {
    line += "MonitorPorts=OFF;  ";
  }
  line += "FolderVariables=" + std::to_string(s.NamedPaths.size()) + ";  ";
  line += s.RestrictFolders ? "RestrictFolders=Yes;  " : "RestrictFolders=No;  ";
  line += "Categories=" + std::to_string(s.Categories.Count()) + ";  ";
  line += "BlockedMessages=" + std::to_string(s.BlockedMessageCount()) + ";  ";
  AddLogEntry(TLogLevel::Setting, line);

  for (size_t i = 0; i < s.NamedPaths.size(); ++i) {
    AddLogEntry(TLogLevel::Setting,
                "Folder Variable " + std::to_string(i + 1) + ":  " + s.NamedPaths[i]);
  }
  for (int i = 0; i < s.Categories.Count(); ++i) {
    AddLogEntry(TLogLevel::Setting,
                "Category " + std::to_string(i + 1) + ":  " + s.Categories.Text(i) +
                    (s.Categories.IsBlockedAt(i) ? " (Blocked)" : " (UnBlocked)"));
  }
  if (s.BlockedMessages.any()) {
    AddLogEntry(
        TLogLevel::Setting,
        "Blocked Messages:  " + TBxDispatcherSettings::BlockedMessagesToString(s.BlockedMessages));
  }
}

void TFrmDispatcher::PrepareMenu() {
  TBxMessageQueue* queue = MessageQueue();
  FMenu.Item("mnuEmptyQueue").Enabled = queue != nullptr && !queue->IsEmpty();
}

void TFrmDispatcher::TrayCallback(uint64_t mouseMessage) {
  if (mouseMessage == WM_LBUTTONDBLCLK) {
    if (FSettings->UIMode == kUIModeUnrestricted) MenuSettings();
  } else if (mouseMessage == WM_RBUTTONUP) {
    PrepareMenu();
    FView.PopupMenu(FMenu);
  }
}

void TFrmDispatcher::ShowLog() {
  const bool wasSet = FErrorIndicator;
  FErrorIndicator = false;
  if (wasSet && FStarted) UpdateTrayIcon(FRequestedIconIndex);
  FView.ShowLogWindow(FLog);
}

void TFrmDispatcher::MenuSettings() {
  // The dialog runs in the toolkit's code: the reload travels as WM_USER+82 through the loop,
  // where its failures are reported like those of any other message.
  TMessageLoop* loop = &FLoop;
  FView.ShowSettingsDialog([loop] { loop->Post(kWmReloadSettings); });
}

void TFrmDispatcher::MenuEmptyQueue() {
  if (FConfirmingEmptyQueue) return;
  FConfirmingEmptyQueue = true;
  const bool confirmed = FView.ConfirmEmptyQueue();
  FConfirmingEmptyQueue = false;
  // Messages were handled while the dialog was up; a close or a quit among them wins.
  if (confirmed && !FClosing && !FLoop.Ended()) EmptyMessageQueue();
}

void TFrmDispatcher::EmptyMessageQueue() {
  AddLogEntry(TLogLevel::Warning, "Emptying Message Queue");
  // Disabled, so that no new messages arrive while the queue empties; the user enables the
  // dispatcher again.
  SetDisabled(true);
  if (TBxMessageQueue* queue = MessageQueue()) {
    // Relaxed: the event set below wakes the dispatch thread, which then reads the request.
    queue->EmptyRequested.store(true, std::memory_order_relaxed);
    queue->Signal();
  }
}

void TFrmDispatcher::MenuDisable() {
  SetDisabled(!FSettings->Disabled);
  if (FSettings->Disabled) {
    AddLogEntry(TLogLevel::Warning, "Dispatcher is Disabled");
  } else {
    AddLogEntry(TLogLevel::Info, "Dispatcher is Enabled");
  }
}

void TFrmDispatcher::MenuHelp() {
  if (!HelpFileExists()) {
    if (!FView.ShowMessage(kHelpMissingText)) AddLogEntry(TLogLevel::Error, kHelpMissingText);
    return;
  }
  ShowHelpTopic("Dispatcher");
}

void TFrmDispatcher::MenuAbout() { FView.ShowAbout(); }

void TFrmDispatcher::Close() {
  FLoop.AssertInLoopThread();
  if (FClosing) return;
  FClosing = true;
  AddLogEntry(TLogLevel::Info, "Dispatcher has been stopped");
  CloseHelpWindow();
  // The entry above is posted before the quit, so it is written before the loop ends.
  FLoop.Quit(0);
}

void TFrmDispatcher::TaskbarCreated() {
  FReAddIcon = true;
  UpdateTrayIcon(kIconIdle);
}

void TFrmDispatcher::ProgramManagerTick() {
  const bool present = FView.ShellPresent();
  if (present == FShellWindowPresent) return;
  FShellWindowPresent = present;
  if (present) {
    FReAddIcon = true;
    UpdateTrayIcon(kIconIdle);
  }
}

void TFrmDispatcher::MenuCommand(uint64_t index) {
  const std::vector<TTrayMenuItem>& items = FMenu.Items();
  if (index >= items.size()) return;
  PrepareMenu();  // the enabled rule as it holds now
  const TTrayMenuItem& item = items[index];
  if (item.IsSeparator || !item.Visible || !item.Enabled) return;
  const std::string& name = item.Name;
  if (name == "mnuSettings") MenuSettings();
  if (name == "mnuViewLog") ShowLog();
  if (name == "mnuEmptyQueue") MenuEmptyQueue();
  if (name == "mnuDisable") MenuDisable();
  if (name == "mnuHelp") MenuHelp();
  if (name == "mnuAbout") MenuAbout();
  if (name == "mnuStopDispatcher") Close();
}

void TFrmDispatcher::ClearLog() {
  struct TTellView {
    TTrayView& View;
    ~TTellView() { View.LogCleared(); }
  } tell{FView};
  FLog.Clear();  // a failure to rewrite the file is reported by HandleMessage
}

bool TFrmDispatcher::IsPathAllowed(const std::string& path) { return bx::IsPathAllowed(path); }

std::optional<TBxDestinationClass> TFrmDispatcher::FindDestinationClass(std::string_view kind) {
  return bx::FindDestinationClass(kind);
}

}  // namespace bx

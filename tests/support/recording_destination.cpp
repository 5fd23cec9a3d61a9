#include "support/recording_destination.h"

#include "platform/log_entry.h"

#include <stdexcept>

#include "destinations/http_destination.h"
#include "destinations/tcp_destination.h"
#include "destinations/udp_destination.h"

namespace bx::test {

namespace {

TRecordingDestination& Rec(TBxDestination& d) { return static_cast<TRecordingDestination&>(d); }

constexpr TBxOptionDef kRecordingOptions[] = {
    {"Path", TBxOptionType::Text,
     [](TBxDestination& d, const TBxOptionValue& v) { Rec(d).Path = std::string(v.Text); }},
    {"MaxSize", TBxOptionType::Integer,
     [](TBxDestination& d, const TBxOptionValue& v) { Rec(d).MaxSize = v.Integer; }},
    {"Port", TBxOptionType::Integer,
     [](TBxDestination& d, const TBxOptionValue& v) { Rec(d).Port = v.Integer; }},
    {"LogByDate", TBxOptionType::Boolean,
     [](TBxDestination& d, const TBxOptionValue& v) { Rec(d).LogByDate = v.Boolean; }},
};

TBxDestinationClass RecordingClass(std::string kind, TRecordingDestination::TMode mode) {
  return {kind, [kind, mode]() -> std::unique_ptr<TBxDestination> {
            return std::make_unique<TRecordingDestination>(kind, mode);
          }};
}

}  // namespace

TRecordingSink& TRecordingSink::Instance() {
  static TRecordingSink sink;
  return sink;
}

void TRecordingSink::Record(std::string text) {
  std::lock_guard lock(FMutex);
  FRecords.push_back(std::move(text));
}

std::vector<std::string> TRecordingSink::Records() {
  std::lock_guard lock(FMutex);
  return FRecords;
}

size_t TRecordingSink::Count() {
  std::lock_guard lock(FMutex);
  return FRecords.size();
}

void TRecordingSink::Reset() {
  std::lock_guard lock(FMutex);
  FRecords.clear();
  FGateOpen = true;
  FWaiting = false;
  Destroyed.store(0);
}

void TRecordingSink::CloseGate() {
  std::lock_guard lock(FMutex);
  FGateOpen = false;
}

void TRecordingSink::OpenGate() {
  {
    std::lock_guard lock(FMutex);
    FGateOpen = true;
  }
  FGateChanged.notify_all();
}

void TRecordingSink::WaitAtGate() {
  std::unique_lock lock(FMutex);
  FWaiting = true;
  FGateChanged.wait(lock, [this] { return FGateOpen; });
  FWaiting = false;
}

bool TRecordingSink::SomeoneWaiting() {
  std::lock_guard lock(FMutex);
  return FWaiting;
}

TRecordingDestination::TRecordingDestination(std::string kind, TMode mode)
    : FKind(std::move(kind)), FMode(mode) {
  TRecordingSink::Instance().Alive.fetch_add(1);
}

TRecordingDestination::~TRecordingDestination() {
  TRecordingSink::Instance().Alive.fetch_sub(1);
  TRecordingSink::Instance().Destroyed.fetch_add(1);
  // "freed:" paths say when they are freed, in order with the other activity-log entries.
  if (Path.rfind("freed:", 0) == 0) AddLogEntry(TLogLevel::Info, Path);
}

void TRecordingDestination::Dispatch(TDispatchMessage& message) {
  if (FMode == TMode::Raise) throw std::runtime_error("boom");
  if (FMode == TMode::Gate) TRecordingSink::Instance().WaitAtGate();
  std::string text = GetName();
  if (!GetOptions().empty()) text += "[" + GetOptions() + "]";
  text += " " + std::to_string(message.MsgType) + " " + std::string(MsgText(message));
  TRecordingSink::Instance().Record(std::move(text));
}

std::span<const TBxOptionDef> TRecordingDestination::OptionTable() const {
  return kRecordingOptions;
}

TTestKinds::TTestKinds() {
  using TMode = TRecordingDestination::TMode;
  FList.Add(RecordingClass("Viewer", TMode::Record));
  FList.Add(RecordingClass("File", TMode::Record));
  FList.Add(RecordingClass("Raise", TMode::Raise));
  FList.Add(RecordingClass("Gate", TMode::Gate));
  FList.Add(DestinationClassOf<TBxTcpDestination>());
  FList.Add(DestinationClassOf<TBxUdpDestination>());
  FList.Add(DestinationClassOf<TBxHttpDestination>());
  TRecordingSink::Instance().Reset();
  PublishKnownDestinations(&FList);
}

TTestKinds::~TTestKinds() { PublishKnownDestinations(nullptr); }

}  // namespace bx::test

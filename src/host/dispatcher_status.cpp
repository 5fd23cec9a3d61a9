#include "host/dispatcher_status.h"

#include <cstdio>

#include "destinations/log_file_entry_text.h"

namespace bx {

namespace {

constexpr const char* kTransportNames[kTransportCount] = {"endpoint", "tcp", "udp"};

std::string IsoTime(const TDateTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.Year, t.Month, t.Day,
                t.Hour, t.Minute, t.Second, t.Millisecond);
  return text;
}

std::string Quoted(std::string_view text) { return "\"" + JsonEscape(text) + "\""; }

}  // namespace

std::string FormatStatusText(const TBxDispatcherStatus& s) {
  std::string out;
  out += "State: " + s.State + (s.Service ? " (service)" : " (desktop)") + "\n";
  out += "Queue: " + std::to_string(s.QueuedMessages) + " messages, " +
         std::to_string(s.QueuedBytes) + " bytes\n";
  out += "Received:";
  for (size_t i = 0; i < kTransportCount; ++i) {
    out += std::string(i == 0 ? " " : ", ") + kTransportNames[i] + " " +
           std::to_string(s.Counts.Received[i]);
  }
  out += "\nDelivered: " + std::to_string(s.Counts.Delivered) +
         ", failed: " + std::to_string(s.Counts.Failed) + "\n";
  out += "Registrations: " + std::to_string(s.Registrations) + "\n";
  out += "Last errors:\n";
  for (const char* kind : kStatusDestinationKinds) {
    const auto found = s.Counts.LastErrors.find(kind);
    out += std::string("  ") + kind + ": ";
    if (found == s.Counts.LastErrors.end()) {
      out += "none\n";
    } else {
      out += IsoTime(found->second.Time) + "  " + found->second.Text + "\n";
    }
  }
  return out;
}

std::string FormatStatusJson(const TBxDispatcherStatus& s) {
  std::string out = "{\"state\":" + Quoted(s.State);
  out += std::string(",\"service\":") + (s.Service ? "true" : "false");
  out += ",\"queue\":{\"messages\":" + std::to_string(s.QueuedMessages) +
         ",\"bytes\":" + std::to_string(s.QueuedBytes) + "}";
  out += ",\"received\":{";
  for (size_t i = 0; i < kTransportCount; ++i) {
    out += std::string(i == 0 ? "" : ",") + "\"" + kTransportNames[i] +
           "\":" + std::to_string(s.Counts.Received[i]);
  }
  out += "},\"delivered\":" + std::to_string(s.Counts.Delivered);
  out += ",\"failed\":" + std::to_string(s.Counts.Failed);
  out += ",\"registrations\":" + std::to_string(s.Registrations);
  out += ",\"lastErrors\":{";
  bool first = true;
  for (const char* kind : kStatusDestinationKinds) {
    const auto found = s.Counts.LastErrors.find(kind);
    out += std::string(first ? "" : ",") + Quoted(kind) + ":";
    first = false;
    if (found == s.Counts.LastErrors.end()) {
      out += "null";
    } else {
      out += "{\"time\":" + Quoted(IsoTime(found->second.Time)) +
             ",\"text\":" + Quoted(found->second.Text) + "}";
    }
  }
  out += "}}";
  return out;
}

std::string FormatStatusLine(const TBxDispatcherStatus& s) {
  std::string line = s.State + "; queue " + std::to_string(s.QueuedMessages) + " (" +
                     std::to_string(s.QueuedBytes) + " bytes); received ";
  for (size_t i = 0; i < kTransportCount; ++i) {
    line += (i == 0 ? "" : "/") + std::to_string(s.Counts.Received[i]);
  }
  line += ", delivered " + std::to_string(s.Counts.Delivered) + ", failed " +
          std::to_string(s.Counts.Failed) + "; " + std::to_string(s.Registrations) +
          " registrations";
  return line;
}

}  // namespace bx

// Throughput of the incoming formats: XML messages converted per second for a typical 1 KB
// document (8-bit and UTF-16), legacy records converted, and binary records validated per
// second by CheckDispatchMessage.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "messages/dispatch_message.h"
#include "messages/legacy_message.h"
#include "messages/message_format.h"
#include "messages/xml_message.h"

namespace {

std::string TypicalDocument() {
  std::string details;
  while (details.size() < 480) {
    details += "at Module.Function (unit.cpp:123) &lt;inline&gt; value=&quot;42&quot;\n";
  }
  std::string doc =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<Message>\n"
      "  <MsgType>0</MsgType>\n  <DispatchID>{6F9619FF-8B86-D011-B42D-00C04FC964FF}</DispatchID>\n"
      "  <TimeStamp>2009-03-04 05:06:07.089</TimeStamp>\n  <TimeBias>-60</TimeBias>\n"
      "  <ProcessID>4242</ProcessID>\n  <ThreadName>Main</ThreadName>\n"
      "  <ComputerName>BUILDHOST</ComputerName>\n  <AppName>Sample Application</AppName>\n"
      "  <TypeName>Info</TypeName>\n  <Category>Database</Category>\n"
      "  <CategoryColor>16711680</CategoryColor>\n  <CategoryFontColor>0</CategoryFontColor>\n"
      "  <MsgText>Connection to the order database established after 3 attempts; "
      "pool size 16, timeout 30 s, server version 12.4</MsgText>\n"
      "  <Details>" +
      details + "</Details>\n</Message>\n";
  return doc;
}

std::vector<std::byte> Utf8Bytes(const std::string& s) {
  std::vector<std::byte> b(s.size() + 1);
  std::memcpy(b.data(), s.data(), s.size());
  return b;
}

std::vector<std::byte> Utf16Bytes(const std::string& s) {
  std::vector<std::byte> b;
  for (char c : s) {
    b.push_back(static_cast<std::byte>(c));
    b.push_back(std::byte{0});
  }
  b.insert(b.end(), 2, std::byte{0});
  return b;
}

void BM_ParseXmlMessageUtf8(benchmark::State& state) {
  const auto bytes = Utf8Bytes(TypicalDocument());
  for (auto _ : state) {
    auto m = bx::ParseXmlMessage(bx::bxmUTF8XmlMessageFormat, bytes);
    benchmark::DoNotOptimize(m.get());
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_ParseXmlMessageUtf8);

void BM_ParseXmlMessageUtf16(benchmark::State& state) {
  const auto bytes = Utf16Bytes(TypicalDocument());
  for (auto _ : state) {
    auto m = bx::ParseXmlMessage(bx::bxmUnicodeXmlMessageFormat, bytes);
    benchmark::DoNotOptimize(m.get());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseXmlMessageUtf16);

std::vector<std::byte> TypicalRecord() {
  const std::string text(300, 't');
  const std::string details(700, 'd');
  bx::TDispatchMessageFields f;
  f.DispatchID = "{6F9619FF-8B86-D011-B42D-00C04FC964FF}";
  f.AppName = "Sample Application";
  f.MsgText = text;
  f.Details = details;
  auto m = bx::BuildDispatchMessage(f);
  const auto* p = reinterpret_cast<const std::byte*>(m.get());
  return std::vector<std::byte>(p, p + bx::DispatchMessageSize(*m));
}

void BM_CheckDispatchMessage(benchmark::State& state) {
  const auto bytes = TypicalRecord();
  for (auto _ : state) {
    auto check = bx::CheckDispatchMessage(bytes);
    benchmark::DoNotOptimize(check.Message);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CheckDispatchMessage);

void BM_ConvertAnsiMessage(benchmark::State& state) {
  const auto bytes = TypicalRecord();
  for (auto _ : state) {
    auto m = bx::ConvertAnsiMessage(bytes);
    benchmark::DoNotOptimize(m.get());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ConvertAnsiMessage);

}  // namespace

BENCHMARK_MAIN();

// Any bytes parse as an ini file; what is written back parses to the same content again, and
// every typed read degrades to a value instead of failing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/dispatcher_settings.h"
#include "config/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  bx::TBxIniFile ini;
  ini.SetText(bytes);
  std::string text = ini.GetText();
  bx::TBxIniFile again;
  again.SetText(text);
  if (again.GetText() != text) std::abort();
  for (const std::string& section : ini.ReadSections()) {
    for (const auto& [key, value] : ini.ReadSectionValues(section)) {
      (void)ini.ReadInteger(section, key, 0);
      (void)bx::TBxDispatcherSettings::ParseBlockedMessages(value);
    }
  }
  ini.EraseSection("Categories");
  ini.WriteString("Categories", bytes.substr(0, 16), bytes.size() > 16 ? bytes.substr(16, 16) : "");
  again.SetText(ini.GetText());
  return 0;
}

// TBxCommandLine: the program's "name=value" options, and the test for plain switches.
//
// An argument is an option when its first character is one of the switch characters given at
// construction (codes 0..255): the name runs from the second character to the first "=" (or
// the end), the value follows that "=" (empty without one). Neither is trimmed. Arguments that
// do not start with a switch character are ignored. Names compare without regard to case and
// when an option is given twice the last one wins.
//
// Threads: parsing happens once, on the first query; create and query an instance on one
// thread, or query it once before sharing it (const queries are then safe from any thread).
// Failure: none; an unknown or malformed argument is ignored.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bx {

struct TBxCommandLineOption {
  std::string Name;
  char16_t SwitchChar = 0;
  char16_t Separator = u'=';
  std::string Value;
};

class TBxCommandLine {
 public:
  // `args` are the program's arguments without the program name.
  TBxCommandLine(std::vector<std::string> args, std::string_view switchChars);
  // From main's argc/argv (argv[0], the program, is left out).
  TBxCommandLine(int argc, const char* const* argv, std::string_view switchChars);

  int FindOption(std::string_view name);           // index of the last match, or -1
  std::string OptionValue(std::string_view name);  // "" when absent
  // The option's value as an integer (the ini files' rule: decimal with an optional sign, or
  // "$"/"0x" hexadecimal); `defaultValue` when the option is absent or not an integer.
  int32_t OptionInteger(std::string_view name, int32_t defaultValue);
  int Count();
  const TBxCommandLineOption& Option(int index);  // std::out_of_range outside 0..Count()-1

 private:
  void Parse();

  std::vector<std::string> FArgs;
  std::bitset<256> FSwitchChars;
  std::vector<TBxCommandLineOption> FOptions;
  bool FParsed = false;
};

// Initial ports of the receivers from the options "TCPPort" and "UDPPort".
inline constexpr int32_t kDefaultTcpPort = 3434;
inline constexpr int32_t kDefaultUdpPort = 3435;
int32_t CommandLineTcpPort(TBxCommandLine& commandLine);
int32_t CommandLineUdpPort(TBxCommandLine& commandLine);

// True when some argument is one of `switchChars` followed by exactly `name`, ignoring case
// (no "=" form, no prefix match).
bool FindCmdLineSwitch(const std::vector<std::string>& args, std::string_view name,
                       std::string_view switchChars);

}  // namespace bx

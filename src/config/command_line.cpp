#include "config/command_line.h"

#include <stdexcept>

#include "config/ini_file.h"
#include "config/text_case.h"

namespace bx {

namespace {

bool IsSwitchChar(const std::bitset<256>& set, char c) {
  return set.test(static_cast<unsigned char>(c));
}

std::bitset<256> CharSet(std::string_view chars) {
  std::bitset<256> set;
  for (char c : chars) set.set(static_cast<unsigned char>(c));
  return set;
}

}  // namespace

TBxCommandLine::TBxCommandLine(std::vector<std::string> args, std::string_view switchChars)
    : FArgs(std::move(args)), FSwitchChars(CharSet(switchChars)) {}

TBxCommandLine::TBxCommandLine(int argc, const char* const* argv, std::string_view switchChars)
    : FSwitchChars(CharSet(switchChars)) {
  for (int i = 1; i < argc; ++i) FArgs.emplace_back(argv[i] == nullptr ? "" : argv[i]);
}

void TBxCommandLine::Parse() {
  if (FParsed) return;
  FParsed = true;
  for (const std::string& arg : FArgs) {
    // A first byte of 0x80 or more starts a multi-byte character, never a switch character.
    if (arg.empty() || static_cast<unsigned char>(arg[0]) >= 0x80 ||
        !IsSwitchChar(FSwitchChars, arg[0])) {
      continue;
    }
    TBxCommandLineOption option;
    option.SwitchChar = static_cast<char16_t>(static_cast<unsigned char>(arg[0]));
    size_t equals = arg.find('=', 1);
    if (equals == std::string::npos) {
      option.Name = arg.substr(1);
    } else {
      option.Name = arg.substr(1, equals - 1);
      option.Value = arg.substr(equals + 1);
    }
    FOptions.push_back(std::move(option));
  }
}

int TBxCommandLine::FindOption(std::string_view name) {
  Parse();
  int result = -1;
  for (size_t i = 0; i < FOptions.size(); ++i) {
    const TBxCommandLineOption& option = FOptions[i];
    if (option.SwitchChar < 256 && FSwitchChars.test(option.SwitchChar) &&
        SameText(option.Name, name)) {
      result = static_cast<int>(i);
    }
  }
  return result;
}

std::string TBxCommandLine::OptionValue(std::string_view name) {
  int index = FindOption(name);
  return index < 0 ? std::string() : FOptions[static_cast<size_t>(index)].Value;
}

int32_t TBxCommandLine::OptionInteger(std::string_view name, int32_t defaultValue) {
  int index = FindOption(name);
  if (index < 0) return defaultValue;
  const std::string& value = FOptions[static_cast<size_t>(index)].Value;
  return TBxIniFile::StrToIntDef(value, defaultValue);
}

int TBxCommandLine::Count() {
  Parse();
  return static_cast<int>(FOptions.size());
}

const TBxCommandLineOption& TBxCommandLine::Option(int index) {
  Parse();
  if (index < 0 || index >= static_cast<int>(FOptions.size())) {
    throw std::out_of_range("command-line option index out of range");
  }
  return FOptions[static_cast<size_t>(index)];
}

int32_t CommandLineTcpPort(TBxCommandLine& commandLine) {
  return commandLine.OptionInteger("TCPPort", kDefaultTcpPort);
}

int32_t CommandLineUdpPort(TBxCommandLine& commandLine) {
  return commandLine.OptionInteger("UDPPort", kDefaultUdpPort);
}

bool FindCmdLineSwitch(const std::vector<std::string>& args, std::string_view name,
                       std::string_view switchChars) {
  for (const std::string& arg : args) {
    if (arg.size() < 2 || switchChars.find(arg[0]) == std::string_view::npos) continue;
    if (static_cast<unsigned char>(arg[0]) >= 0x80) continue;
    if (SameText(std::string_view(arg).substr(1), name)) return true;
  }
  return false;
}

}  // namespace bx

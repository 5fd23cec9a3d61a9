#include "platform/code_page.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "platform/system_error.h"
#include "platform/unicode_text.h"

namespace bx {

namespace {

constexpr const char* kDefaultCodePage = "CP1252";

bool IsCp1252(const std::string& name) {
  return name == "CP1252" || name == "WINDOWS-1252" || name == "MS-ANSI";
}

// The five bytes CP1252 leaves undefined; the Windows tables map each to the C1 control of
// the same number.
bool IsCp1252Hole(unsigned value) {
  return value == 0x81 || value == 0x8D || value == 0x8F || value == 0x90 || value == 0x9D;
}

// One pair of iconv descriptors for one code page, owned by one thread.
class TConverters {
 public:
  ~TConverters() { Close(); }

  // Opens the descriptors for `name` unless they are already open for it.
  void Use(const std::string& name) {
    if (name == FName && FToUtf8 != Invalid()) return;
    Close();
    iconv_t to = iconv_open("UTF-8", name.c_str());
    if (to == Invalid()) Fail(name, errno);
    iconv_t from = iconv_open(name.c_str(), "UTF-8");
    if (from == Invalid()) {
      const int error = errno;
      iconv_close(to);
      Fail(name, error);
    }
    FToUtf8 = to;
    FFromUtf8 = from;
    FName = name;
  }

  iconv_t ToUtf8() const { return FToUtf8; }
  iconv_t FromUtf8() const { return FFromUtf8; }

 private:
  static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }

  [[noreturn]] static void Fail(const std::string& name, int error) {
    throw std::runtime_error(
        TSystemError::Of(error).Describe("ANSI code page \"" + name + "\" cannot be used"));
  }

  void Close() {
    if (FToUtf8 != Invalid()) iconv_close(FToUtf8);
    if (FFromUtf8 != Invalid()) iconv_close(FFromUtf8);
    FToUtf8 = FFromUtf8 = Invalid();
    FName.clear();
  }

  std::string FName;
  iconv_t FToUtf8 = Invalid();
  iconv_t FFromUtf8 = Invalid();
};

TConverters& ThreadConverters() {
  thread_local TConverters converters;
  return converters;
}

// Runs iconv over `in`, calling `refused(rest, out)` whenever a sequence cannot be converted;
// it appends a substitute to `out` and returns how many bytes of `rest` it consumed (>= 1).
template <typename TRefused>
std::string Convert(iconv_t cd, std::string_view in, size_t perByte, TRefused refused) {
  std::string out;
  out.resize(in.size() * perByte + 16);
  size_t used = 0;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  while (!in.empty()) {
    char* inp = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char* outp = out.data() + used;
    size_t outLeft = out.size() - used;
    const size_t result = iconv(cd, &inp, &inLeft, &outp, &outLeft);
    const int error = errno;
    used = static_cast<size_t>(outp - out.data());
    in.remove_prefix(in.size() - inLeft);
    if (result != static_cast<size_t>(-1)) break;
    if (error == E2BIG) {
      out.resize(out.size() * 2 + 16);
      continue;
    }
    // EILSEQ (refused) or EINVAL (cut short at the end): substitute and go on after it.
    out.resize(used);
    in.remove_prefix(std::min(in.size(), refused(in, out)));
    used = out.size();
    out.resize(used + in.size() * perByte + 16);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  out.resize(used);
  return out;
}

}  // namespace

std::string AnsiCodePageName() {
  const char* value = std::getenv("BREVIX_ANSI_CODEPAGE");
  std::string name = (value == nullptr || *value == '\0') ? kDefaultCodePage : value;
  std::transform(name.begin(), name.end(), name.begin(), [](char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  });
  return name;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string AnsiToUtf8(std::string_view ansi) {
  if (IsAscii(ansi)) return std::string(ansi);
  const std::string name = AnsiCodePageName();
  TConverters& converters = ThreadConverters();
  converters.Use(name);
  const bool cp1252 = IsCp1252(name);
  return Convert(converters.ToUtf8(), ansi, 4, [cp1252](std::string_view rest, std::string& out) {
    const unsigned byte = static_cast<unsigned char>(rest[0]);
    if (cp1252 && IsCp1252Hole(byte)) {
      out += '\xC2';
      out += static_cast<char>(byte);
    } else {
      out += "\xEF\xBF\xBD";
    }
    return size_t{1};
  });
}

std::string Utf8ToAnsi(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  const std::string name = AnsiCodePageName();
  TConverters& converters = ThreadConverters();
  converters.Use(name);
  const bool cp1252 = IsCp1252(name);
  return Convert(converters.FromUtf8(), utf8, 2, [cp1252](std::string_view rest, std::string& out) {
    char32_t cp = 0;
    const size_t length = DecodeUtf8At(rest, 0, cp);
    if (length != 0 && cp1252 && IsCp1252Hole(cp)) {
      out += static_cast<char>(cp);
    } else {
      out += '?';
    }
    return length == 0 ? size_t{1} : length;
  });
}

}  // namespace bx

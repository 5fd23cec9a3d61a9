#include "config/ini_file.h"

#include <limits>

#include "config/text_case.h"
#include "platform/file_access.h"

namespace bx {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::string_view Trim(std::string_view s) {
  size_t begin = 0;
  size_t end = s.size();
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

// Keys and values go into one line each; a CR or LF would start another line.
std::string OneLine(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void TBxIniFile::TSection::Reindex() {
  KeyIndex.clear();
  for (size_t i = 0; i < Lines.size(); ++i) {
    if (Lines[i].HasValue) KeyIndex.try_emplace(FoldCase(Lines[i].Key), i);
  }
}

TBxIniFile::TBxIniFile(std::string path) { Load(std::move(path)); }

bool TBxIniFile::Load(std::string path, std::string* error) {
  FFileName = std::move(path);
  std::string bytes;
  bool read = ReadWholeFile(FFileName, bytes, error);
  SetText(bytes);
  return read;
}

void TBxIniFile::SetText(std::string_view bytes) {
  FSections.clear();
  FSectionIndex.clear();
  if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    bytes.remove_prefix(kByteOrderMark.size());
  }
  TSection* current = nullptr;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = bytes.size();
    std::string_view line = Trim(bytes.substr(pos, end - pos));
    pos = end;
    if (pos < bytes.size()) {
      pos += (bytes[pos] == '\r' && pos + 1 < bytes.size() && bytes[pos + 1] == '\n') ? 2 : 1;
    }
    if (line.empty() || line.front() == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      current = &FindOrAdd(Trim(line.substr(1, line.size() - 2)));
      continue;
    }
    if (current == nullptr) continue;
    TLine entry;
    size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      entry.Value = std::string(line);
    } else {
      entry.Key = std::string(Trim(line.substr(0, equals)));
      entry.Value = std::string(Trim(line.substr(equals + 1)));
      entry.HasValue = true;
      current->KeyIndex.try_emplace(FoldCase(entry.Key), current->Lines.size());
    }
    current->Lines.push_back(std::move(entry));
  }
}

std::string TBxIniFile::GetText() const {
  std::string out(kByteOrderMark);
  for (const TSection& section : FSections) {
    out += '[';
    out += section.Name;
    out += "]\r\n";
    for (const TLine& line : section.Lines) {
      if (line.HasValue) {
        out += line.Key;
        out += '=';
      }
      out += line.Value;
      out += "\r\n";
    }
    out += "\r\n";
  }
  return out;
}

bool TBxIniFile::Save(std::string* error) const { return SaveAs(FFileName, error); }

bool TBxIniFile::SaveAs(const std::string& path, std::string* error) const {
  if (path.empty()) {
    if (error != nullptr) *error = "no file name";
    return false;
  }
  return ReplaceFileAtomically(path, GetText(), error);
}

const TBxIniFile::TSection* TBxIniFile::Find(std::string_view section) const {
  auto it = FSectionIndex.find(FoldCase(section));
  return it == FSectionIndex.end() ? nullptr : &FSections[it->second];
}

TBxIniFile::TSection* TBxIniFile::Find(std::string_view section) {
  auto it = FSectionIndex.find(FoldCase(section));
  return it == FSectionIndex.end() ? nullptr : &FSections[it->second];
}

TBxIniFile::TSection& TBxIniFile::FindOrAdd(std::string_view section) {
  if (TSection* found = Find(section)) return *found;
  FSectionIndex.emplace(FoldCase(section), FSections.size());
  FSections.push_back(TSection{std::string(section), {}, {}});
  return FSections.back();
}

const TBxIniFile::TLine* TBxIniFile::FindLine(std::string_view section,
                                              std::string_view key) const {
  const TSection* s = Find(section);
  if (s == nullptr) return nullptr;
  auto it = s->KeyIndex.find(FoldCase(key));
  return it == s->KeyIndex.end() ? nullptr : &s->Lines[it->second];
}

void TBxIniFile::ReindexSections() {
  FSectionIndex.clear();
  for (size_t i = 0; i < FSections.size(); ++i) {
    FSectionIndex.try_emplace(FoldCase(FSections[i].Name), i);
  }
}

bool TBxIniFile::SectionExists(std::string_view section) const { return Find(section) != nullptr; }

bool TBxIniFile::ValueExists(std::string_view section, std::string_view key) const {
  return FindLine(section, key) != nullptr;
}

bool TBxIniFile::FindString(std::string_view section, std::string_view key,
                            std::string& value) const {
  const TLine* line = FindLine(section, key);
  if (line == nullptr) return false;
  value = line->Value;
  return true;
}

std::string TBxIniFile::ReadString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue) const {
  const TLine* line = FindLine(section, key);
  return line == nullptr ? std::string(defaultValue) : line->Value;
}

int32_t TBxIniFile::StrToIntDef(std::string_view text, int32_t defaultValue) {
  if (text.empty()) return defaultValue;
  size_t pos = 0;
  bool hex = false;
  if (text[0] == '$') {
    hex = true;
    pos = 1;
  } else if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    hex = true;
    pos = 2;
  }
  if (hex) {
    if (pos >= text.size()) return defaultValue;
    uint64_t value = 0;
    for (; pos < text.size(); ++pos) {
      int digit = HexDigit(text[pos]);
      if (digit < 0) return defaultValue;
      value = value * 16 + static_cast<uint64_t>(digit);
      if (value > 0xFFFFFFFFull) return defaultValue;
    }
    // Eight hex digits cover the whole 32 bits, so 0xFFFFFFFF reads as -1.
    return static_cast<int32_t>(static_cast<uint32_t>(value));
  }
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    pos = 1;
  }
  if (pos >= text.size()) return defaultValue;
  int64_t value = 0;
  const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                 : std::numeric_limits<int32_t>::max();
  for (; pos < text.size(); ++pos) {
    char c = text[pos];
    if (c < '0' || c > '9') return defaultValue;
    value = value * 10 + (c - '0');
    if (value > limit) return defaultValue;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

int32_t TBxIniFile::ReadInteger(std::string_view section, std::string_view key,
                                int32_t defaultValue) const {
  const TLine* line = FindLine(section, key);
  return line == nullptr ? defaultValue : StrToIntDef(line->Value, defaultValue);
}

bool TBxIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TBxIniFile::WriteString(std::string_view section, std::string_view key,
                             std::string_view value) {
  std::string cleanSection = std::string(Trim(OneLine(section)));
  TSection& s = FindOrAdd(cleanSection);
  std::string cleanKey = OneLine(key);
  std::string folded = FoldCase(cleanKey);
  auto it = s.KeyIndex.find(folded);
  if (it != s.KeyIndex.end()) {
    TLine& line = s.Lines[it->second];
    line.Key = std::move(cleanKey);
    line.Value = OneLine(value);
    return;
  }
  s.KeyIndex.emplace(std::move(folded), s.Lines.size());
  s.Lines.push_back(TLine{std::move(cleanKey), OneLine(value), true});
}

void TBxIniFile::AppendBareLine(std::string_view section, std::string_view line) {
  TSection& s = FindOrAdd(std::string(Trim(OneLine(section))));
  s.Lines.push_back(TLine{std::string(), std::string(Trim(OneLine(line))), false});
}

void TBxIniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TBxIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TBxIniFile::EraseSection(std::string_view section) {
  auto it = FSectionIndex.find(FoldCase(section));
  if (it == FSectionIndex.end()) return;
  FSections.erase(FSections.begin() + static_cast<std::ptrdiff_t>(it->second));
  ReindexSections();
}

void TBxIniFile::DeleteKey(std::string_view section, std::string_view key) {
  TSection* s = Find(section);
  if (s == nullptr) return;
  auto it = s->KeyIndex.find(FoldCase(key));
  if (it == s->KeyIndex.end()) return;
  s->Lines.erase(s->Lines.begin() + static_cast<std::ptrdiff_t>(it->second));
  s->Reindex();
}

std::vector<std::string> TBxIniFile::ReadSections() const {
  std::vector<std::string> names;
  names.reserve(FSections.size());
  for (const TSection& s : FSections) names.push_back(s.Name);
  return names;
}

std::vector<std::string> TBxIniFile::ReadSection(std::string_view section) const {
  std::vector<std::string> keys;
  if (const TSection* s = Find(section)) {
    for (const TLine& line : s->Lines) {
      if (line.HasValue) keys.push_back(line.Key);
    }
  }
  return keys;
}

std::vector<std::pair<std::string, std::string>> TBxIniFile::ReadSectionValues(
    std::string_view section) const {
  std::vector<std::pair<std::string, std::string>> values;
  if (const TSection* s = Find(section)) {
    for (const TLine& line : s->Lines) {
      if (line.HasValue) values.emplace_back(line.Key, line.Value);
    }
  }
  return values;
}

std::vector<std::string> TBxIniFile::ReadSectionLines(std::string_view section) const {
  std::vector<std::string> lines;
  if (const TSection* s = Find(section)) {
    for (const TLine& line : s->Lines) {
      lines.push_back(line.HasValue ? line.Key + "=" + line.Value : line.Value);
    }
  }
  return lines;
}

}  // namespace bx

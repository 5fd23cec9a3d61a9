// TBxIniFile: an ini file held in memory, read whole and written back whole.
//
// Reading: a UTF-8 byte-order mark at the start is skipped; lines end at CR LF, LF or CR; each
// line is trimmed of blanks and control characters; empty lines, lines starting with ";" and
// lines before the first section header are dropped; "[name]" starts the section "name"
// (trimmed); other lines split at the first "=" into a trimmed key and value, and a line
// without "=" is kept as it is. A section header met twice continues the first section.
// Section and key lookups ignore case (see text_case.h); the first matching key wins.
//
// Writing: the byte-order mark, then every section in order as "[name]", its lines and one
// empty line, all ended by CR LF. Comments and blank lines are therefore gone after a save;
// unknown sections and keys stay. An erased section written again moves to the end; a new
// section or key is appended. Line breaks inside written keys and values are replaced by
// blanks so that a value can never start a line (or a section) of its own.
//
// Integers are read as: "0x"/"0X" followed by hex digits when the value has three or more
// characters, "$" followed by hex digits, or a decimal number with an optional sign; a value
// that does not fit 32 bits or is not a number yields the default. Booleans are written "1"
// and "0"; on reading any integer other than 0 is true.
//
// Threads: an instance belongs to one thread at a time; const members may be called from
// several threads at once while nobody changes the instance.
// Failure: a missing or unreadable file loads as empty; a failed Save leaves the file on disk
// as it was and returns false with the system's error text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace bx {

class TBxIniFile {
 public:
  TBxIniFile() = default;
  // Loads `path` (empty when missing or unreadable); Save writes back to it.
  explicit TBxIniFile(std::string path);

  // Replaces the content with the file at `path` and makes it the file Save writes. True when
  // the file was read (an empty file counts), false when it is missing or unreadable.
  bool Load(std::string path, std::string* error = nullptr);
  void SetText(std::string_view bytes);  // replaces the content with parsed bytes
  std::string GetText() const;           // the bytes Save writes

  const std::string& FileName() const { return FFileName; }
  bool Save(std::string* error = nullptr) const;  // atomic replace of FileName()
  bool SaveAs(const std::string& path, std::string* error = nullptr) const;

  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  // False (value untouched) when the section or key is missing.
  bool FindString(std::string_view section, std::string_view key, std::string& value) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  // Appends a line without "=" to the section (created when missing), as such lines are read.
  void AppendBareLine(std::string_view section, std::string_view line);
  void EraseSection(std::string_view section);
  void DeleteKey(std::string_view section, std::string_view key);

  // Section names in file order, as written in the file.
  std::vector<std::string> ReadSections() const;
  // Keys of the section's key=value lines in order (lines without "=" are left out).
  std::vector<std::string> ReadSection(std::string_view section) const;
  // Key and value of the section's key=value lines in order.
  std::vector<std::pair<std::string, std::string>> ReadSectionValues(
      std::string_view section) const;
  // Every line of the section as it would be written (key=value or the bare line).
  std::vector<std::string> ReadSectionLines(std::string_view section) const;

  // The integer rule above, exposed for callers that hold a value already.
  static int32_t StrToIntDef(std::string_view text, int32_t defaultValue);

 private:
  struct TLine {
    std::string Key;    // trimmed; empty for a bare line
    std::string Value;  // trimmed value, or the whole bare line
    bool HasValue = false;
  };
  struct TSection {
    std::string Name;
    std::vector<TLine> Lines;
    std::unordered_map<std::string, size_t> KeyIndex;  // folded key -> first line with it
    void Reindex();
  };

  const TSection* Find(std::string_view section) const;
  TSection* Find(std::string_view section);
  TSection& FindOrAdd(std::string_view section);
  const TLine* FindLine(std::string_view section, std::string_view key) const;
  void ReindexSections();

  std::string FFileName;
  std::vector<TSection> FSections;
  std::unordered_map<std::string, size_t> FSectionIndex;  // folded name -> index in FSections
};

}  // namespace bx

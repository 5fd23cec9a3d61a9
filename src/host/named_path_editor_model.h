// TNamedPathEditorModel: the rules of the "Specify Named Path" dialog, which edits one folder
// variable (a name and a folder) for the settings dialog's "Paths" page.
//
// The caller fills Name and Path before showing (both empty for a new entry) and reads them
// after the result OK. "OK" is enabled exactly when both fields are non-empty; nothing else is
// checked (a name may hold blanks or "="). A folder picked with the folder button replaces the
// path; a cancelled picker (an empty result) leaves it as it was.
//
// Ownership: a value, owned by the dialog that shows it. Threads: the UI thread only.
// Failure: none.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace bx {

class TNamedPathEditorModel {
 public:
  static constexpr const char* kCaption = "Specify Named Path";
  static constexpr const char* kNameLabel = "Name:";
  static constexpr const char* kPathLabel = "Path";
  static constexpr const char* kPickerTitle = "Select a folder";

  TNamedPathEditorModel() = default;
  TNamedPathEditorModel(std::string name, std::string path)
      : FName(std::move(name)), FPath(std::move(path)) {}

  const std::string& Name() const { return FName; }
  const std::string& Path() const { return FPath; }
  void SetName(std::string_view name) { FName = name; }
  void SetPath(std::string_view path) { FPath = path; }

  // The folder picker's answer; empty when the user cancelled it.
  void FolderPicked(std::string_view folder) {
    if (!folder.empty()) FPath = folder;
  }

  bool OkEnabled() const { return !FName.empty() && !FPath.empty(); }

 private:
  std::string FName;
  std::string FPath;
};

}  // namespace bx

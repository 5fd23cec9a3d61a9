// TNewCategoryPromptModel: the rules of the new-category prompt that the "Blocked Categories"
// page shows for "&Add". The check box "Block Messages with this Category" starts checked; "OK"
// is always enabled and accepts any text, an empty one too (the settings dialog then lists an
// empty line but adds no category). The caller reads Text and Block after the result OK.
//
// Ownership: a value, owned by the prompt that shows it. Threads: the UI thread only.
// Failure: none.
#pragma once

#include <string>
#include <string_view>

namespace bx {

class TNewCategoryPromptModel {
 public:
  static constexpr const char* kCaption = "Brevix Dispatcher";
  static constexpr const char* kPrompt = "Enter a New Category";
  static constexpr const char* kBlockCheckBox = "Block Messages with this Category";

  const std::string& Text() const { return FText; }
  void SetText(std::string_view text) { FText = text; }
  bool Block() const { return FBlock; }
  void SetBlock(bool block) { FBlock = block; }
  bool OkEnabled() const { return true; }

 private:
  std::string FText;
  bool FBlock = true;
};

}  // namespace bx

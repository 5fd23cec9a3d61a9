#include "host/message_type_buttons.h"

namespace bx {

const std::array<TMessageTypeButton, kMessageTypeButtonCount>& MessageTypeButtons() {
  static constexpr std::array<TMessageTypeButton, kMessageTypeButtonCount> kButtons{{
      {0, "Info Messages", 1, 1},
      {8, "Notes", 1, 2},
      {1, "Warning Messages", 1, 3},
      {2, "Error Messages", 1, 4},
      {37, "Exceptions", 1, 5},
      {23, "Reminders", 1, 6},
      {3, "Check Points", 1, 7},
      {21, "Custom Formats (Text)", 1, 8},
      {24, "Level 1 - Red", 2, 1},
      {25, "Level 2 - Orange", 2, 2},
      {26, "Level 3 - Yellow", 2, 3},
      {27, "Level 4 - Green", 2, 4},
      {28, "Level 5 - Blue", 2, 5},
      {29, "Level 6 - Indigo", 2, 6},
      {30, "Level 7 - Violet", 2, 7},
      {22, "Custom Format (Properties)", 2, 8},
      {6, "String Lists", 3, 1},
      {4, "Objects", 3, 2},
      {5, "Components (as Text)", 3, 3},
      {41, "Collections", 3, 4},
      {31, "Colors", 3, 5},
      {16, "Bitmaps", 3, 6},
      {17, "Text Files", 3, 7},
      {38, "Custom Format (Table)", 3, 8},
      {19, "Memory", 4, 1},
      {20, "Memory Status", 4, 2},
      {18, "Windows", 4, 3},
      {32, "Registry Entries", 4, 4},
      {33, "System Information", 4, 5},
      {34, "Version Information", 4, 6},
      {35, "XML Data", 4, 7},
      {44, "Custom Format (Hierarchy)", 4, 8},
      {36, "Stack Traces", 5, 1},
      {9, "Enter Methods", 5, 2},
      {10, "Exit Methods", 5, 3},
      {45, "Custom Messages", 5, 8},
  }};
  return kButtons;
}

const TMessageTypeButton* FindMessageTypeButton(int type) {
  for (const TMessageTypeButton& button : MessageTypeButtons()) {
    if (button.Type == type) return &button;
  }
  return nullptr;
}

int MessageTypeButtonLeft(const TMessageTypeButton& button) {
  if (button.Column == 8) return kMessageTypeLastColumnLeft;
  return kMessageTypePanelMargin + (button.Column - 1) * kMessageTypeColumnPitch;
}

int MessageTypeButtonTop(const TMessageTypeButton& button) {
  return kMessageTypePanelMargin + (button.Row - 1) * kMessageTypeRowPitch;
}

}  // namespace bx

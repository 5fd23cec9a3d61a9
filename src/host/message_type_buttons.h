// The "Blocked Messages" page's 36 toggle buttons: which message type each one stands for, its
// hint, and where it sits in the table of five rows and eight columns. Message types 7, 11 to 15,
// 39, 40, 42, 43, 46 and 47 have no button; they are blocked only through the settings file.
//
// Geometry (pixels, relative to the panel that holds the buttons): buttons are 24 by 24, rows
// 28 apart, columns 29 apart; the eighth column (custom formats) is set apart at 215.
//
// Threads: any; the table is a constant. Failure: none.
#pragma once

#include <array>

namespace bx {

struct TMessageTypeButton {
  int Type;          // message type 0..47
  const char* Hint;  // the button's tool tip
  int Row;           // 1..5
  int Column;        // 1..8
};

inline constexpr int kMessageTypeButtonCount = 36;
inline constexpr int kMessageTypeButtonSize = 24;
inline constexpr int kMessageTypeRowPitch = 28;
inline constexpr int kMessageTypeColumnPitch = 29;
inline constexpr int kMessageTypeLastColumnLeft = 215;
inline constexpr int kMessageTypePanelMargin = 8;

// The buttons in table order: row by row, column by column.
const std::array<TMessageTypeButton, kMessageTypeButtonCount>& MessageTypeButtons();

// The button of `type`, or null when the type has none.
const TMessageTypeButton* FindMessageTypeButton(int type);

// Top-left corner of a button in its panel.
int MessageTypeButtonLeft(const TMessageTypeButton& button);
int MessageTypeButtonTop(const TMessageTypeButton& button);

}  // namespace bx

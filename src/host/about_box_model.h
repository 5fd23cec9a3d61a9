// The about box: the texts of each product tool and where they sit on the 425 by 350 picture,
// and the area that closes the box. The dispatcher always shows tool 0.
//
// Threads: any; constants and pure functions. Failure: a tool number outside 0..4 shows tool 0.
#pragma once

namespace bx {

struct TAboutTool {
  const char* Name;
  const char* Description;
};

struct TAboutRect {
  int Left, Top, Width, Height;
  bool Contains(int x, int y) const {
    return x >= Left && x < Left + Width && y >= Top && y < Top + Height;
  }
};

inline constexpr int kAboutToolCount = 5;
inline constexpr const char* kAboutVersion = "Version 4.6.2";
inline constexpr int kAboutWidth = 425;
inline constexpr int kAboutHeight = 350;
inline constexpr int kAboutVersionLeft = 39;
inline constexpr int kAboutVersionTop = 83;
inline constexpr int kAboutVersionPixelSize = 19;  // Arial, bold
inline constexpr int kAboutNameLeft = 39;
inline constexpr int kAboutNameTop = 142;
inline constexpr int kAboutNamePixelSize = 24;  // Tahoma, bold
inline constexpr TAboutRect kAboutDescriptionRect{39, 175, 361, 53};
inline constexpr TAboutRect kAboutCloseArea{334, 311, 75, 25};

// The name and description of `tool` (0 Dispatcher, 1 Controller, 2 Live Viewer, 3 File Viewer,
// 4 Logging).
TAboutTool AboutTool(int tool);

}  // namespace bx

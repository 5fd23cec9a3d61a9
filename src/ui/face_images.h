// The face's own pictures, drawn at run time so that every size is sharp: the six tray icons,
// the seven menu images and the six images of the activity-log levels.
//
// Tray icons, by the hub's index: 0 idle (blue, one arrow), 1 light load (green, one chevron),
// 2 busy (amber, two chevrons), 3 heavy load (orange-red, three chevrons), 4 error (red, "!"),
// 5 disabled (grey, a bar across). Each QIcon holds 16, 22 and 32 px pixmaps.
// Menu images, by the menu's image index: 0 settings (gear), 1 view log (page), 2 empty queue
// (bin), 3 disable (no-entry sign), 4 help ("?"), 5 about and enable (green "i"), 6 stop (red
// square).
// Log levels: 0 Reg (green "+"), 1 Unreg (grey "-"), 2 Warning (yellow triangle), 3 Error (red
// "x"), 4 Info (blue "i"), 5 Setting (teal gear).
//
// Threads: the GUI thread (QPixmap). Failure: an index outside the table gives a null icon.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace bx::ui {

inline constexpr int kTrayIconCount = 6;
inline constexpr int kMenuImageCount = 7;
inline constexpr int kLogLevelImageCount = 6;

QPixmap TrayIconPixmap(int index, int size);
QIcon TrayIcon(int index);
QPixmap MenuImagePixmap(int index, int size);
QIcon MenuImage(int index);
QPixmap LogLevelPixmap(int level, int size);
QIcon LogLevelImage(int level);

}  // namespace bx::ui

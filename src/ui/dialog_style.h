// Looks shared by the settings dialog and the small dialogs: the dialog font (Tahoma 8 point,
// or the nearest face the system has) and the background, the button face colour darkened by
// 20 of 240 lightness steps.
//
// Threads: the GUI thread only. Failure: none.
#pragma once

class QWidget;

namespace bx::ui {

// Sets the font and the background colour on `dialog`; its children inherit both.
void ApplyDialogStyle(QWidget* dialog);

// A fixed client size that the window manager cannot change.
void FixClientSize(QWidget* dialog, int width, int height);

// Places `widget` at (left, top) with its width and the style's height, or with both given.
void Place(QWidget* widget, int left, int top, int width = -1, int height = -1);

}  // namespace bx::ui

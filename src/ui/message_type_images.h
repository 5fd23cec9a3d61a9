// The pictures of the settings dialog's 36 message-type toggle buttons, drawn here (no image
// files): one small symbol per message type, readable at 16 pixels.
//
// Threads: the GUI thread only (QPixmap). Failure: a type without a button gets a blank picture.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace bx::ui {

// The symbol of message `type` on a transparent square of `size` pixels.
QPixmap DrawMessageTypeImage(int type, int size);

// The symbol at 16 and 32 pixels, cached per type.
QIcon MessageTypeIcon(int type);

}  // namespace bx::ui

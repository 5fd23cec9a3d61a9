// The empty-queue confirmation: its texts and which answer each way of closing it gives. Only
// "&Yes" answers Yes; "&No" is both the default and the cancel button, so Enter (while no other
// button has the focus), Escape and the window's close box all answer No. The main window acts
// only on Yes (it logs, disables the dispatcher and empties the queue).
//
// Threads: any; pure functions and constants. Failure: none.
#pragma once

namespace bx {

enum class TConfirmAnswer { Yes, No };

// How the user closes the confirmation.
enum class TConfirmInput {
  YesButton,  // a click on "&Yes", or Alt+Y / Y
  NoButton,   // a click on "&No", or Alt+N / N
  EnterKey,   // Enter or Return with the focus on no other button
  EscapeKey,  // Escape
  CloseBox,   // the window manager's close request
};

inline constexpr const char* kEmptyQueueCaption = "Brevix Dispatcher";
inline constexpr const char* kEmptyQueueQuestion = "Remove All messages currently in the queue?";
inline constexpr const char* kEmptyQueueNoteTitle = "Note";
inline constexpr const char* kEmptyQueueNote =
    "If you empty the queue, the Dispatcher will be Disabled to prevent other messages from "
    "being added to the queue.\n"
    "\n"
    "You must re-enable the Dispatcher for it to continue dispatching messages.";
inline constexpr const char* kEmptyQueueYes = "&Yes";
inline constexpr const char* kEmptyQueueNo = "&No";

// The answer of the button that Enter presses and of the one that Escape presses.
inline constexpr TConfirmAnswer kEmptyQueueDefaultAnswer = TConfirmAnswer::No;
inline constexpr TConfirmAnswer kEmptyQueueCancelAnswer = TConfirmAnswer::No;

constexpr TConfirmAnswer EmptyQueueAnswer(TConfirmInput input) {
  switch (input) {
    case TConfirmInput::YesButton:
      return TConfirmAnswer::Yes;
    case TConfirmInput::EnterKey:
      return kEmptyQueueDefaultAnswer;
    case TConfirmInput::EscapeKey:
    case TConfirmInput::CloseBox:
      return kEmptyQueueCancelAnswer;
    case TConfirmInput::NoButton:
      break;
  }
  return TConfirmAnswer::No;
}

}  // namespace bx

// Helpers of the dialog tests: acting on a modal dialog once it is up, and collecting the
// mnemonic letters of a window's visible controls.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

namespace bx::test {

// An action waiting for a modal dialog; it stops waiting when destroyed, so an action whose
// dialog never came cannot run in a later test. It converts to true when the action ran and
// the dialog then closed by itself.
class TModalAction {
 public:
  explicit TModalAction(QTimer* timer) : FTimer(timer) {}
  ~TModalAction() { delete FTimer.data(); }
  TModalAction(const TModalAction&) = delete;
  TModalAction& operator=(const TModalAction&) = delete;
  explicit operator bool() const { return Ran && !ForcedClosed; }
  bool Ran = false;
  // Set when the dialog was still open long after the action (or never became active), and
  // was rejected here so that the modal loop under test ends and the test fails instead of
  // hanging.
  bool ForcedClosed = false;

 private:
  QPointer<QTimer> FTimer;
};

// Runs `action` once on the first modal widget of type T that is visible and is the active
// window, polled every 10 ms. Keyboard shortcuts and mnemonics only reach the active window,
// and a freshly shown dialog becomes active a little later, later still on a loaded machine:
// acting before that loses the key press and leaves the dialog open for ever.
// A dialog that does not become active within 20 s, or is still open 10 s after the action,
// is rejected and the action reports failure.
template <typename T>
std::unique_ptr<TModalAction> OnModal(std::function<void(T*)> action) {
  constexpr qint64 kActivationLimitMs = 20000;
  constexpr qint64 kCloseLimitMs = 10000;
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  auto* timer = new QTimer(qApp);
  auto result = std::make_unique<TModalAction>(timer);
  TModalAction* state = result.get();
  auto actedOn = std::make_shared<QPointer<T>>();
  QObject::connect(timer, &QTimer::timeout, [timer, state, clock, action, actedOn] {
    T* modal = qobject_cast<T*>(QApplication::activeModalWidget());
    if (state->Ran) {
      // Watching the dialog that the action should have closed.
      if (actedOn->isNull() || !(*actedOn)->isVisible()) {
        timer->stop();
        timer->deleteLater();
      } else if (clock->elapsed() > kCloseLimitMs) {
        timer->stop();
        timer->deleteLater();
        state->ForcedClosed = true;
        (*actedOn)->reject();
      }
      return;
    }
    if (modal != nullptr && modal->isVisible() && modal->isActiveWindow()) {
      state->Ran = true;
      *actedOn = modal;
      clock->restart();
      action(modal);
    } else if (clock->elapsed() > kActivationLimitMs) {
      timer->stop();
      timer->deleteLater();
      if (modal != nullptr && modal->isVisible()) {
        state->ForcedClosed = true;
        modal->reject();
      }
    }
  });
  timer->start(10);
  return result;
}

// The mnemonic letters ("&x", upper case) of the visible buttons and labels below `root`, one
// entry per control, so a letter used twice appears twice.
inline QStringList MnemonicLetters(QWidget* root) {
  QStringList letters;
  auto add = [&letters](const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
      if (text[i] != QLatin1Char('&')) continue;
      if (text[i + 1] == QLatin1Char('&')) {
        ++i;
        continue;
      }
      letters << text[i + 1].toUpper();
      break;
    }
  };
  for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) {
    if (button->isVisibleTo(root)) add(button->text());
  }
  for (QLabel* label : root->findChildren<QLabel*>()) {
    if (label->isVisibleTo(root) && label->buddy() != nullptr) add(label->text());
  }
  return letters;
}

}  // namespace bx::test

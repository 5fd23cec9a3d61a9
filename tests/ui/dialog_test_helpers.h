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
// dialog never came cannot run in a later test.
class TModalAction {
 public:
  explicit TModalAction(QTimer* timer) : FTimer(timer) {}
  ~TModalAction() { delete FTimer.data(); }
  TModalAction(const TModalAction&) = delete;
  TModalAction& operator=(const TModalAction&) = delete;
  explicit operator bool() const { return Ran; }
  bool Ran = false;

 private:
  QPointer<QTimer> FTimer;
};

// Runs `action` once on the first visible modal widget of type T, polled every 10 ms for at
// most 20 s. `*result` tells whether it ran.
template <typename T>
std::unique_ptr<TModalAction> OnModal(std::function<void(T*)> action) {
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  auto* timer = new QTimer(qApp);
  auto result = std::make_unique<TModalAction>(timer);
  TModalAction* state = result.get();
  QObject::connect(timer, &QTimer::timeout, [timer, state, clock, action] {
    T* modal = qobject_cast<T*>(QApplication::activeModalWidget());
    if (modal != nullptr && modal->isVisible()) {
      timer->stop();
      timer->deleteLater();
      state->Ran = true;
      action(modal);
    } else if (clock->elapsed() > 20000) {
      timer->stop();
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

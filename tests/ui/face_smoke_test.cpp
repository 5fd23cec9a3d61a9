// The face's build: a QApplication without a display (offscreen) and a modal dialog of the
// face answered from the keyboard.
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "ui/dialogs.h"

namespace {

// Presses `key` on the modal dialog once it is up (checked every 20 ms, for at most 10 s).
void PressOnModal(Qt::Key key) {
  auto* poll = new QTimer(qApp);
  auto* tries = new int(0);
  QObject::connect(poll, &QTimer::timeout, [poll, tries, key] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      QTest::keyClick(modal, key);
      poll->deleteLater();
      delete tries;
    } else if (++*tries > 500) {
      poll->deleteLater();
      delete tries;
    }
  });
  poll->start(20);
}

}  // namespace

class FaceSmokeTest : public QObject {
  Q_OBJECT

 private slots:
  void ConfirmationAnswersNoToEscape() {
    PressOnModal(Qt::Key_Escape);
    QVERIFY(!bx::ui::ConfirmEmptyQueue(nullptr));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
  }
};

QTEST_MAIN(FaceSmokeTest)
#include "face_smoke_test.moc"

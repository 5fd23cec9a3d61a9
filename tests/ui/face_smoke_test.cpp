// The face's build: a QApplication without a display (offscreen) and a modal dialog of the
// face answered from the keyboard.
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "dialog_test_helpers.h"
#include "ui/dialogs.h"
#include "ui/empty_queue_dialog.h"

class FaceSmokeTest : public QObject {
  Q_OBJECT

 private slots:
  void ConfirmationAnswersNoToEscape() {
    auto pressed = bx::test::OnModal<bx::ui::TFrmEmptyQueue>(
        [](bx::ui::TFrmEmptyQueue* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    QVERIFY(!bx::ui::ConfirmEmptyQueue(nullptr));
    QVERIFY(*pressed);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
  }
};

QTEST_MAIN(FaceSmokeTest)
#include "face_smoke_test.moc"

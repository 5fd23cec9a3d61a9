// A close request that arrives while the "&Empty Message Queue" confirmation is up: the hub
// closes from inside the dialog's loop, Qt leaves every loop, and the confirmation's handler
// does not touch the closing hub (no emptying, no disabling). A program of its own: once Qt
// was told to leave its loops, no later dialog could run in this process.
#include <QApplication>
#include <QTest>
#include <thread>

#include "face_fixture.h"
#include "platform/window_endpoint.h"

using bx::test::TFaceFixture;
using bx::test::TWhileModal;

class FaceCloseTest : public QObject {
  Q_OBJECT

 private slots:
  void CloseDuringTheConfirmationLeavesTheHubAlone() {
    TFaceFixture face("[Settings]\nUIMode=2\n");
    bx::MessageQueue()->AddMessage(*bx::BuildDispatchMessage({.MsgType = 4}));
    std::thread closer;
    TWhileModal script([&](QWidget*) {
      // Another program's "BxSend --stop": WM_CLOSE posted over the endpoint.
      closer = std::thread([&] {
        auto client = bx::TWindowEndpointClient::Connect(face.EndpointPath());
        if (client) client->PostFrame(bx::WM_CLOSE, 0, 0, {}, std::chrono::seconds(30));
      });
      return true;
    });
    face.Loop.Post(bx::kWmMenuCommand, face.MenuIndex("mnuEmptyQueue"));
    QTRY_VERIFY_WITH_TIMEOUT(script.Finished() && face.Loop.Ended(), 60000);
    closer.join();
    QVERIFY(script.SawModal());
    QVERIFY(face.Pump->LoopEnded());
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(face.Hub->Closing());
    QCOMPARE(face.Hub->Log().Entries().back().Text, std::string("Dispatcher has been stopped"));
    QVERIFY(!face.HasEntry("Emptying Message Queue"));
    QVERIFY(!face.Hub->Settings()->Disabled);
    QVERIFY(!bx::MessageQueue()->EmptyRequested.load(std::memory_order_relaxed));
  }
};

QTEST_MAIN(FaceCloseTest)
#include "face_close_test.moc"

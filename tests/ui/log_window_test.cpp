// The log window "Brevix Dispatcher Log" over a real log model and file (temporary
// BREVIX_HOME), without a display: its layout, the entries' cells, the Message column's growth,
// Clear, Copy and the status panes.
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QImage>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <memory>
#include <string>

#include "config/paths.h"
#include "host/dispatcher_log.h"
#include "support/temp_home.h"
#include "ui/face_images.h"
#include "ui/log_window.h"

using bx::TDateTime;
using bx::TDispatcherLogEntry;
using bx::TFrmDispatcherLog;
using bx::TLogLevel;
using bx::ui::TLogWindow;

namespace {

QImage Picture(const QVariant& decoration) {
  return decoration.value<QIcon>().pixmap(16, 16).toImage();
}

}  // namespace

class LogWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<bx::test::TTempHome> FHome;
  std::unique_ptr<TFrmDispatcherLog> FLog;
  std::unique_ptr<TLogWindow> FWindow;
  int FClearRequests = 0;

  void Add(TLogLevel level, const std::string& text, int second = 5) {
    FLog->AddEntry(level, text, TDateTime{2024, 3, 5, 14, 7, second, 42});
    FWindow->EntryAdded(FLog->Entries().back());
  }
  QModelIndex Cell(int row, int column) { return FWindow->Model()->index(row, column); }

 private slots:
  void init() {
    FHome = std::make_unique<bx::test::TTempHome>();
    FLog = std::make_unique<TFrmDispatcherLog>();
    FLog->StartLogFile(bx::GetUserDataFolder() + TFrmDispatcherLog::kFileName);
    FClearRequests = 0;
    FWindow = std::make_unique<TLogWindow>([this] { ++FClearRequests; });
    FWindow->Attach(*FLog);
  }
  void cleanup() {
    FWindow.reset();
    FLog.reset();
    FHome.reset();
  }

  void WindowHasItsCaptionSizeColumnsButtonsAndPanes() {
    QCOMPARE(FWindow->windowTitle(), QStringLiteral("Brevix Dispatcher Log"));
    QCOMPARE(FWindow->size(), QSize(900, 564));
    QTreeView* list = FWindow->List();
    QCOMPARE(list->objectName(), QStringLiteral("lvwMessages"));
    QCOMPARE(FWindow->Model()->columnCount(), 4);
    const QStringList titles{QString(), QStringLiteral("Date"), QStringLiteral("Time"),
                             QStringLiteral("Message")};
    for (int c = 0; c < 4; ++c) {
      QCOMPARE(FWindow->Model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(),
               titles[c]);
    }
    QCOMPARE(list->columnWidth(0), 30);
    QCOMPARE(list->columnWidth(1), 80);
    QCOMPARE(list->columnWidth(2), 80);
    QCOMPARE(list->columnWidth(3), 700);
    QVERIFY(!list->header()->sectionsClickable());
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    const auto right = QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    QCOMPARE(FWindow->Model()->headerData(1, Qt::Horizontal, Qt::TextAlignmentRole), right);
    QCOMPARE(FWindow->Model()->headerData(2, Qt::Horizontal, Qt::TextAlignmentRole), right);

    QCOMPARE(FWindow->CopyButton()->text(), QStringLiteral("Copy"));
    QCOMPARE(FWindow->CopyButton()->toolTip(), QStringLiteral("Copy Log to Clipboard"));
    QCOMPARE(FWindow->ClearButton()->text(), QStringLiteral("Clear"));
    QCOMPARE(FWindow->ClearButton()->toolTip(), QStringLiteral("Clear Messages"));
    QCOMPARE(FWindow->MessagesPane(), QStringLiteral("Messages 0"));
    QCOMPARE(FWindow->LogFilePane(),
             QStringLiteral("LogFile: ") + QString::fromStdString(FLog->LogFilePath()));

    FWindow->ShowLog();
    QVERIFY(QTest::qWaitForWindowExposed(FWindow.get()));
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    // Centred to the pixel, but for the frame that the platform may add around it.
    const int frame = FWindow->frameGeometry().width() - FWindow->width();
    QVERIFY2((FWindow->geometry().center() - centre).manhattanLength() <= 2 + frame,
             qPrintable(QStringLiteral("window at %1,%2 %3x%4, screen centre %5,%6")
                            .arg(FWindow->geometry().x())
                            .arg(FWindow->geometry().y())
                            .arg(FWindow->width())
                            .arg(FWindow->height())
                            .arg(centre.x())
                            .arg(centre.y())));
  }

  // One entry per level: its own picture, the texts in their columns (whole, not cut), odd
  // rows shaded, a wide text widening the Message column and nothing narrowing it again.
  void EntriesShowTheirLevelTextsAndShading() {
    const char* texts[] = {"registered", "unregistered", "blocked", "failed", "started", "summary"};
    for (int level = 0; level < 6; ++level) Add(static_cast<TLogLevel>(level), texts[level]);
    QCOMPARE(FWindow->Model()->rowCount(), 6);
    QCOMPARE(FWindow->MessagesPane(), QStringLiteral("Messages 6"));
    for (int a = 0; a < 6; ++a) {
      const QImage image = Picture(Cell(a, 0).data(Qt::DecorationRole));
      QVERIFY(!image.isNull());
      QCOMPARE(image, bx::ui::LogLevelPixmap(a, 16).toImage());
      for (int b = 0; b < a; ++b) QVERIFY(image != Picture(Cell(b, 0).data(Qt::DecorationRole)));
      QCOMPARE(Cell(a, 3).data().toString(), QString::fromLatin1(texts[a]));
    }
    const TDispatcherLogEntry& first = FLog->Entries().front();
    QCOMPARE(Cell(0, 1).data().toString(), QString::fromStdString(first.DateText));
    QCOMPARE(Cell(0, 2).data().toString(), QStringLiteral("14:07:05.042"));
    QCOMPARE(Cell(0, 2).data(Qt::TextAlignmentRole),
             QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter));
    // Date and time fit their columns whole in the window's font.
    const QFontMetrics metrics(FWindow->List()->font());
    QVERIFY(metrics.horizontalAdvance(Cell(0, 2).data().toString()) + 4 <=
            FWindow->List()->columnWidth(2));
    QVERIFY(metrics.horizontalAdvance(Cell(0, 1).data().toString()) + 4 <=
            FWindow->List()->columnWidth(1));

    const QPalette palette = QApplication::palette();
    const QColor shadow = palette.color(QPalette::Dark);
    const QColor window = palette.color(QPalette::Base);
    const QColor shade((shadow.red() * 40 + window.red() * 60 + 50) / 100,
                       (shadow.green() * 40 + window.green() * 60 + 50) / 100,
                       (shadow.blue() * 40 + window.blue() * 60 + 50) / 100);
    QVERIFY(shade != QColor(Qt::white));
    for (int row = 0; row < 6; ++row) {
      const QColor colour = Cell(row, 3).data(Qt::BackgroundRole).value<QBrush>().color();
      QCOMPARE(colour, row % 2 == 1 ? shade : QColor(Qt::white));
    }

    const QString wide = QString(QStringLiteral("wide ")).repeated(200);
    Add(TLogLevel::Info, wide.toStdString());
    const int grown = metrics.horizontalAdvance(wide) + 16;
    QCOMPARE(FWindow->List()->columnWidth(3), grown);
    Add(TLogLevel::Info, "short again");
    QCOMPARE(FWindow->List()->columnWidth(3), grown);

    // Clear asks the owner, which clears the model and the file, then the window resets.
    FWindow->ClearButton()->click();
    QCOMPARE(FClearRequests, 1);
    FLog->Clear();
    FWindow->Cleared();
    QCOMPARE(FWindow->Model()->rowCount(), 0);
    QCOMPARE(FWindow->List()->columnWidth(3), 700);
    QCOMPARE(FWindow->MessagesPane(), QStringLiteral("Messages 0"));
  }

  void CopyPutsTheLogsLinesOnTheClipboard() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("left over"));
    FWindow->CopyButton()->click();
    QCOMPARE(clipboard->text(), QString());

    Add(TLogLevel::Warning, "Blocked \xC3\xA9t\xC3\xA9", 1);
    Add(TLogLevel::Error, "failed", 2);
    FWindow->CopyButton()->click();
    const QString date = QString::fromStdString(FLog->Entries()[0].DateText);
    QCOMPARE(clipboard->text(),
             QStringLiteral("Warning\t") + date + QStringLiteral("\t14:07:01.042\tBlocked ") +
                 QString::fromUtf8("\xC3\xA9t\xC3\xA9") + QStringLiteral("\r\nError\t") + date +
                 QStringLiteral("\t14:07:02.042\tfailed\r\n"));
  }

  // Shown with many entries, the list is at its end once the window is up, and follows.
  void ShowingScrollsToTheNewestEntry() {
    for (int i = 0; i < 300; ++i) Add(TLogLevel::Info, "entry " + std::to_string(i));
    FWindow->ShowLog();
    QVERIFY(QTest::qWaitForWindowExposed(FWindow.get()));
    QScrollBar* bar = FWindow->List()->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    QTRY_COMPARE(bar->value(), bar->maximum());
    Add(TLogLevel::Info, "one more");
    QTRY_COMPARE(bar->value(), bar->maximum());
    const QRect last = FWindow->List()->visualRect(Cell(300, 3));
    QVERIFY(FWindow->List()->viewport()->rect().intersects(last));
  }
};

QTEST_MAIN(LogWindowTest)
#include "log_window_test.moc"

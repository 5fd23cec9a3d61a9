#include "ui/log_window.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/short_date.h"
#include "ui/face_images.h"

namespace bx::ui {

namespace {

enum TColumn { kIconColumn = 0, kDateColumn, kTimeColumn, kMessageColumn, kColumnCount };

QString Qs(const std::string& text) { return QString::fromStdString(text); }

// The window's font: the original's Tahoma 8 point where it is installed, else the narrow
// face of the desktop's usual sans serif, so that the columns' pixel widths hold their texts.
QFont LogFont() {
  QFont font = QApplication::font();
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                    QStringLiteral("DejaVu Sans")});
  font.setPointSize(8);
  return font;
}

// 40 % button shadow over 60 % window colour.
QColor Shade(const QPalette& palette) {
  const QColor shadow = palette.color(QPalette::Dark);
  const QColor window = palette.color(QPalette::Base);
  auto mix = [](int a, int b) { return (a * 40 + b * 60 + 50) / 100; };
  return QColor(mix(shadow.red(), window.red()), mix(shadow.green(), window.green()),
                mix(shadow.blue(), window.blue()));
}

}  // namespace

TLogEntriesModel::TLogEntriesModel(QObject* parent)
    : QAbstractTableModel(parent), FShade(Shade(QApplication::palette())) {
  for (int level = 0; level < kLogLevelImageCount; ++level) {
    FLevelImages.push_back(LogLevelImage(level));
  }
}

void TLogEntriesModel::Attach(const TFrmDispatcherLog* log) {
  beginResetModel();
  FLog = log;
  FRows = log ? static_cast<int>(log->Count()) : 0;
  endResetModel();
}

void TLogEntriesModel::Appended() {
  if (!FLog) return;
  const int count = static_cast<int>(FLog->Count());
  if (count < FRows) {
    Cleared();
    return;
  }
  if (count == FRows) return;
  beginInsertRows(QModelIndex(), FRows, count - 1);
  FRows = count;
  endInsertRows();
}

void TLogEntriesModel::Cleared() {
  beginResetModel();
  FRows = FLog ? static_cast<int>(FLog->Count()) : 0;
  endResetModel();
}

int TLogEntriesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : FRows;
}

int TLogEntriesModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant TLogEntriesModel::data(const QModelIndex& index, int role) const {
  if (!FLog || !index.isValid() || index.row() >= FRows ||
      static_cast<size_t>(index.row()) >= FLog->Count()) {
    return {};
  }
  const TDispatcherLogEntry& entry = FLog->Entries()[static_cast<size_t>(index.row())];
  switch (role) {
    case Qt::DecorationRole: {
      const auto level = static_cast<size_t>(entry.Level);
      if (index.column() == kIconColumn && level < FLevelImages.size()) return FLevelImages[level];
      return {};
    }
    case Qt::DisplayRole:
      if (index.column() == kDateColumn) return Qs(entry.DateText);
      if (index.column() == kTimeColumn) return Qs(entry.TimeText);
      if (index.column() == kMessageColumn) return Qs(entry.Text);
      return {};
    case Qt::TextAlignmentRole:
      if (index.column() == kDateColumn || index.column() == kTimeColumn) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      }
      return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::BackgroundRole:
      return QBrush(index.row() % 2 == 1 ? FShade : QColor(Qt::white));
    default:
      return {};
  }
}

QVariant TLogEntriesModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::DisplayRole) {
    if (section == kDateColumn) return QStringLiteral("Date");
    if (section == kTimeColumn) return QStringLiteral("Time");
    if (section == kMessageColumn) return QStringLiteral("Message");
    return QString();
  }
  if (role == Qt::TextAlignmentRole) {
    if (section == kDateColumn || section == kTimeColumn) {
      return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  }
  return {};
}

TLogWindow::TLogWindow(std::function<void()> onClear) : FOnClear(std::move(onClear)) {
  setObjectName(QStringLiteral("TFrmDispatcherLog"));
  setWindowTitle(QStringLiteral("Brevix Dispatcher Log"));
  setWindowIcon(TrayIcon(0));
  setFont(LogFont());
  resize(900, 564);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  auto* toolbar = new QToolBar(this);
  toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  toolbar->setMovable(false);
  FCopy = new QToolButton(toolbar);
  FCopy->setObjectName(QStringLiteral("btnCopy"));
  FCopy->setText(QStringLiteral("Copy"));
  FCopy->setToolTip(QStringLiteral("Copy Log to Clipboard"));
  FClear = new QToolButton(toolbar);
  FClear->setObjectName(QStringLiteral("btnClear"));
  FClear->setText(QStringLiteral("Clear"));
  FClear->setToolTip(QStringLiteral("Clear Messages"));
  toolbar->addWidget(FCopy);
  toolbar->addWidget(FClear);
  layout->addWidget(toolbar);

  FList = new QTreeView(this);
  FList->setObjectName(QStringLiteral("lvwMessages"));
  FList->setModel(&FModel);
  FList->setRootIsDecorated(false);
  FList->setItemsExpandable(false);
  FList->setUniformRowHeights(true);
  FList->setSelectionBehavior(QAbstractItemView::SelectRows);
  FList->setSelectionMode(QAbstractItemView::SingleSelection);
  FList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FList->setSortingEnabled(false);
  FList->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  FList->setIconSize(QSize(16, 16));
  QHeaderView* header = FList->header();
  header->setSectionsClickable(false);
  header->setSectionsMovable(false);
  header->setStretchLastSection(false);
  header->setMinimumSectionSize(kIconColumnWidth);
  FList->setColumnWidth(kIconColumn, kIconColumnWidth);
  // 80 px each, unless the font (a large screen font) needs more for a whole date or time:
  // a cut date would be no date at all.
  const TDateTime widest{2000, 12, 28, 23, 58, 58, 888};
  FList->setColumnWidth(kDateColumn,
                        std::max(kDateColumnWidth, CellWidth(Qs(FormatShortDate(widest)))));
  FList->setColumnWidth(kTimeColumn,
                        std::max(kTimeColumnWidth, CellWidth(Qs(FormatLogTime(widest)))));
  FList->setColumnWidth(kMessageColumn, kMessageColumnWidth);
  layout->addWidget(FList, 1);

  auto* status = new QStatusBar(this);
  status->setSizeGripEnabled(false);
  FMessagesLabel = new QLabel(QStringLiteral("Messages"), status);
  FMessagesLabel->setObjectName(QStringLiteral("stsMessages"));
  FMessagesCount = new QLabel(QStringLiteral("0"), status);
  FMessagesCount->setMinimumWidth(60);
  FLogFileLabel = new QLabel(QStringLiteral("LogFile:"), status);
  FLogFileLabel->setObjectName(QStringLiteral("stsLogFile"));
  FLogFilePath = new QLabel(status);
  FLogFilePath->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status->addWidget(FMessagesLabel);
  status->addWidget(FMessagesCount);
  status->addWidget(FLogFileLabel);
  status->addWidget(FLogFilePath, 1);
  layout->addWidget(status);

  connect(FCopy, &QToolButton::clicked, this, &TLogWindow::CopyToClipboard);
  connect(FClear, &QToolButton::clicked, this, [this] {
    if (FOnClear) FOnClear();
  });
}

void TLogWindow::Attach(const TFrmDispatcherLog& log) {
  FLog = &log;
  FModel.Attach(&log);
  for (const TDispatcherLogEntry& entry : log.Entries()) GrowMessageColumn(Qs(entry.Text));
  UpdatePanes();
}

void TLogWindow::EntryAdded(const TDispatcherLogEntry& entry) {
  FModel.Appended();
  GrowMessageColumn(Qs(entry.Text));
  UpdatePanes();
  if (isVisible()) FList->scrollToBottom();
}

void TLogWindow::Cleared() {
  FModel.Cleared();
  FList->setColumnWidth(kMessageColumn, kMessageColumnWidth);
  UpdatePanes();
}

int TLogWindow::CellWidth(const QString& text) const {
  const int margin = FList->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, FList) + 1;
  return QFontMetrics(FList->font()).horizontalAdvance(text) + 2 * margin;
}

void TLogWindow::GrowMessageColumn(const QString& text) {
  const int wanted = QFontMetrics(FList->font()).horizontalAdvance(text) + 16;
  if (wanted > FList->columnWidth(kMessageColumn)) FList->setColumnWidth(kMessageColumn, wanted);
}

void TLogWindow::UpdatePanes() {
  FMessagesCount->setText(QString::number(FLog ? FLog->Count() : 0));
  // The path as the file system has it; the status bar shows it whole.
  FLogFilePath->setText(FLog ? Qs(FLog->LogFilePath()) : QString());
}

QString TLogWindow::MessagesPane() const {
  return FMessagesLabel->text() + QLatin1Char(' ') + FMessagesCount->text();
}

QString TLogWindow::LogFilePane() const {
  return FLogFileLabel->text() + QLatin1Char(' ') + FLogFilePath->text();
}

void TLogWindow::ShowLog() {
  if (!FCentred) {
    FCentred = true;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
      QRect frame(QPoint(0, 0), size());
      frame.moveCenter(screen->availableGeometry().center());
      move(frame.topLeft());
    }
  }
  show();
  raise();
  activateWindow();
  FList->scrollToBottom();
}

void TLogWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Once the window is up (the list has its size), the newest entries are in view.
  QTimer::singleShot(0, this, [this] { FList->scrollToBottom(); });
}

void TLogWindow::CopyToClipboard() {
  const std::string text = FLog ? FLog->CopyText() : std::string();
  QGuiApplication::clipboard()->setText(Qs(text));
}

}  // namespace bx::ui

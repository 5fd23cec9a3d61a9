// TLogWindow: the activity log window "Brevix Dispatcher Log" (the window of TFrmDispatcherLog),
// 900 x 564, centred on the screen when it is first shown. It shows the hub's log model and
// keeps nothing of its own:
// - lvwMessages: a report list with row selection and no column clicks; columns: an untitled
//   icon column 30 px (one image per level), "Date" 80 px and "Time" 80 px right-aligned,
//   "Message" 700 px, which grows to the widest text + 16 px and only grows (Clear sets it
//   back to 700). The window's font is Tahoma 8 point, or a narrow sans serif where Tahoma is
//   missing; Date and Time get wider than 80 px only when that font cannot show a whole date
//   or time in 80 px. Odd rows are shaded with 40 % of the button-shadow colour over the window
//   colour; even rows are white.
// - a toolbar with btnCopy "Copy" ("Copy Log to Clipboard": the log's text, "" without
//   entries) and btnClear "Clear" ("Clear Messages": asks the hub, which clears the model and
//   the file and then calls Cleared()).
// - a status bar: "Messages" with the number of entries, "LogFile:" with the log file's path.
// Showing it scrolls to the newest entry once it is up; a new entry is scrolled into view.
//
// Ownership: the tray view owns the window; the log is the hub's and outlives the window.
// Threads: the GUI thread only. Failure: none of its own; Clear's failures are the hub's.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QLabel>
#include <QToolButton>
#include <QTreeView>
#include <QWidget>
#include <functional>
#include <vector>

#include "host/dispatcher_log.h"

namespace bx::ui {

class TLogEntriesModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit TLogEntriesModel(QObject* parent = nullptr);

  void Attach(const TFrmDispatcherLog* log);
  // The log gained entries at its end / lost all of them.
  void Appended();
  void Cleared();

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The colour of odd rows.
  QColor ShadeColour() const { return FShade; }

 private:
  const TFrmDispatcherLog* FLog = nullptr;
  int FRows = 0;
  std::vector<QIcon> FLevelImages;
  QColor FShade;
};

class TLogWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kIconColumnWidth = 30;
  static constexpr int kDateColumnWidth = 80;
  static constexpr int kTimeColumnWidth = 80;
  static constexpr int kMessageColumnWidth = 700;

  // `onClear` runs when the user presses Clear (the hub's clear is posted from there).
  explicit TLogWindow(std::function<void()> onClear);

  void Attach(const TFrmDispatcherLog& log);
  void EntryAdded(const TDispatcherLogEntry& entry);
  void Cleared();
  // Shows the window (centred the first time), raises it and scrolls to the newest entry.
  void ShowLog();
  // Puts the log's text on the clipboard (btnCopy).
  void CopyToClipboard();

  // For tests and pictures.
  QTreeView* List() { return FList; }
  TLogEntriesModel* Model() { return &FModel; }
  QToolButton* CopyButton() { return FCopy; }
  QToolButton* ClearButton() { return FClear; }
  QString MessagesPane() const;
  QString LogFilePane() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void UpdatePanes();
  void GrowMessageColumn(const QString& text);
  // What a cell needs to show `text` whole in the list's font.
  int CellWidth(const QString& text) const;

  std::function<void()> FOnClear;
  const TFrmDispatcherLog* FLog = nullptr;
  TLogEntriesModel FModel;
  QTreeView* FList;
  QToolButton* FCopy;
  QToolButton* FClear;
  QLabel* FMessagesLabel;
  QLabel* FMessagesCount;
  QLabel* FLogFileLabel;
  QLabel* FLogFilePath;
  bool FCentred = false;
};

}  // namespace bx::ui

// TFrmAbout: the about box. A borderless 425 by 350 window filled by our own artwork (drawn
// here), with the version, the tool's name and its description on it, and an area at the
// bottom right with a hand cursor that closes the box. Pressing a mouse button anywhere else
// and moving drags the box.
//
// Ownership: the caller owns the box; ShowAbout creates, shows and frees one.
// Threads: the GUI thread only. Failure: none.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QPoint>

class QLabel;

namespace bx::ui {

// The about artwork, 425 by 350 pixels.
QPixmap DrawAboutArtwork();

class TFrmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TFrmAbout(int tool, QWidget* parent = nullptr);

  QLabel* VersionLabel() const { return FVersion; }
  QLabel* NameLabel() const { return FName; }
  QLabel* DescriptionLabel() const { return FDescription; }
  QWidget* CloseArea() const { return FCloseArea; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QPixmap FArtwork;
  QLabel* FVersion;
  QLabel* FName;
  QLabel* FDescription;
  QWidget* FCloseArea;
  bool FDragging = false;
  QPoint FDragOffset;  // the cursor's offset from the window's corner when the drag began
};

// Shows the about box of `tool` modally (the dispatcher passes 0).
void ShowAbout(int tool, QWidget* parent = nullptr);

}  // namespace bx::ui

#pragma once

#include <QAction>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QRect>
#include <QSize>

namespace brindlewick {

// The reader window: a main window that never becomes smaller than a minimum reading size
// for its content, whoever asks (the reader dragging an edge, a restored geometry, the
// application). A frame that is too small grows to the smallest allowed size to the right
// and downward, keeping its top-left corner. Closing it hides it; the same object can be
// shown again.
//
// Qt sizes a window by its client area (the window manager draws the title bar), so the
// "frame" here is the widget's geometry and its chrome is what toolbars, menu bar and
// status bar take from it: the geometry less the central widget's area.
class ReadingWindow : public QMainWindow {
  Q_OBJECT

public:
  // `contentRect` is the initial geometry in desktop coordinates.
  ReadingWindow(const QRect& contentRect, QSize minimumReadingSize, QWidget* parent = nullptr);

  QSize minimumReadingSize() const { return m_minimumReadingSize; }
  // The window size less the central widget's (0 where that is negative; 0 without one).
  QSize chrome() const;
  // minimumReadingSize() plus the chrome.
  QSize minimumReadingFrameSize() const;

  // The minimum content size: never below minimumReadingSize().
  QSize contentMinimumSize() const;
  void setContentMinimumSize(QSize size);
  // The minimum window size: never below minimumReadingFrameSize().
  QSize frameMinimumSize() const;
  void setFrameMinimumSize(QSize size);

  // `requested` grown to minimumReadingFrameSize() where it is smaller, keeping its top-left.
  QRect constrainedFrame(const QRect& requested) const;
  void setFrame(const QRect& requested);

  // While set, the content runs edge to edge under the toolbar strip: the menu bar and the
  // toolbars that were showing are hidden, and exactly those are shown again when it clears.
  // The hidden bars still count as chrome, so the window keeps its size across the switch,
  // and the window carries the menus' shortcuts meanwhile. Nothing else of the window
  // (flags, state, geometry) changes.
  bool fullBleed() const { return m_fullBleed; }
  void setFullBleed(bool fullBleed);

protected:
  bool event(QEvent* event) override;

private:
  // Keeps Qt's own minimum size (which also bounds the reader's resizing through the window
  // manager and every setGeometry/resize) at frameMinimumSize().
  void applyMinimumSize();
  void releaseSurface();

  QSize m_minimumReadingSize;
  QSize m_contentMinimumSize;
  QSize m_frameMinimumSize;
  bool m_fullBleed = false;
  QList<QPointer<QWidget>> m_hiddenForFullBleed;
  QSize m_hiddenChrome{0, 0};                // what the hidden bars took
  QList<QPointer<QAction>> m_carriedActions; // the hidden menu bar's shortcuts
};

} // namespace brindlewick

#pragma once

#include <QPointer>
#include <QScrollBar>

class QAbstractScrollArea;

namespace brindlewick {

// A thin scroll bar laid over the trailing edge of a scroll area instead of beside its
// content, so the content keeps its width whether or not it can scroll. It shows while the
// content can scroll (from the first show, telling the reader there is more) and hides when
// everything fits. The area's own vertical bar stays its model, hidden: the wheel, the
// keyboard and whoever sets its value move both.
class DropOverlayScrollBar : public QScrollBar {
  Q_OBJECT

public:
  // A property the style reads to draw the bar thin over a clear track.
  static constexpr char overlayProperty[] = "brindlewick.overlayScrollBar";

  // Laid over the area's own trailing edge; or, given a `host` around the area, over the
  // host `gap` points past the area's trailing edge (in the room a card leaves at its side).
  explicit DropOverlayScrollBar(QAbstractScrollArea* area, QWidget* host = nullptr, int gap = 0);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void follow();
  void place();

  QAbstractScrollArea* m_area;
  // The area as the event filter meets it: while it is being destroyed it is no longer a
  // scroll area, and the bar (held by a host around it) may outlive it.
  QPointer<QObject> m_watched;
  int m_gap;
};

} // namespace brindlewick

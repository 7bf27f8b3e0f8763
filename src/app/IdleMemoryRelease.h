#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace brindlewick {

// Gives memory back while the reader looks elsewhere. Painting a page or decoding a release
// frees far more than it keeps, and the allocator holds on to what was freed: the reader
// window open behind another one kept three times its live memory. A short while after the
// reader looked away (the window hidden or no longer active, the launch done), the freed
// memory goes back to the system, and so do the drawing caches when no window shows; a view
// that paints again makes what it needs.
class IdleMemoryRelease final : public QObject {
  Q_OBJECT

public:
  // `windowShown` tells whether a window still shows the views (their caches stay then).
  IdleMemoryRelease(std::function<bool()> windowShown, int delayMilliseconds, QObject* parent = nullptr);

  // The reader looked away: memory is released once `delayMilliseconds` pass without another
  // call, so a burst of hides and deactivations releases once.
  void lookedAway();

Q_SIGNALS:
  // After each release (tests wait for it).
  void released();

private:
  void release();

  std::function<bool()> m_windowShown;
  QTimer m_delay;
};

} // namespace brindlewick

#pragma once

#include <QObject>
#include <QTimer>

namespace brindlewick {

// Gives memory back while the reader looks elsewhere. Painting a page or decoding a release
// frees far more than it keeps, and the allocator holds on to what was freed: the reader
// window open behind another one kept three times its live memory. A while after the reader
// looked away, the freed memory goes back to the system, and so do the drawing caches (glass
// surfaces, shadows, the window's backdrop); a view that paints again makes what it needs.
class IdleMemoryRelease final : public QObject {
  Q_OBJECT

public:
  struct Delays {
    // After the launch, and after the window hid (milliseconds).
    int brief = 3000;
    // After the window stopped being active: it still shows, and the reader may come straight
    // back to it, so its caches go only once the reader has been elsewhere this long.
    int inactive = 30000;
  };

  explicit IdleMemoryRelease(Delays delays, QObject* parent = nullptr);

  // What the launch freed goes back; the caches of the window it showed stay.
  void launched();
  void windowHidden();
  void windowDeactivated();
  // The reader is back: a release of the caches still to come is called off.
  void windowActivated();

Q_SIGNALS:
  // After each release (tests wait for it).
  void released(bool drawingCaches);

private:
  void releaseIn(int milliseconds, bool drawingCaches);
  void release();

  Delays m_delays;
  QTimer m_delay;
  bool m_drawingCaches = false;
};

} // namespace brindlewick

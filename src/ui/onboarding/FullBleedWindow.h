#pragma once

#include "panel/ReadingWindow.h"

#include <QObject>
#include <QPointer>

namespace brindlewick {

// Lets a screen run edge to edge over the reader window: while `screen` is shown in a
// reader window, that window is full bleed (its toolbar strip goes under the screen); when
// the screen is hidden or destroyed the window returns to its normal layout. The window is
// held weakly: one that is gone first is simply left alone.
class FullBleedWindow : public QObject {
  Q_OBJECT

public:
  explicit FullBleedWindow(QWidget* screen);
  ~FullBleedWindow() override;

  // The window now made full bleed, if any.
  ReadingWindow* host() const;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void attach();
  void detach();

  QWidget* m_screen;
  // Held as a plain object: while the window is being destroyed (taking the screen with it)
  // it is no longer a reading window, and it is asked again before each use.
  QPointer<QObject> m_host;
};

} // namespace brindlewick

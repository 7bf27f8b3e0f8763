#pragma once

#include <QObject>
#include <QPointer>

class QWidget;
class QWindow;

namespace brindlewick {

// A window that comes forward to answer the reader (the updater's answer to "Check for
// updates") gives the activation back, when it closes, to the window of ours the reader was in
// just before it came forward, as a dialog does to its parent: the keyboard is back where the
// reader asked, on the control they pressed. The window manager may do the same, or not at all
// (or hand it to another application); a window of ours taken up by then, or a reader who was
// in another application, is left as it is. Main thread only; it lives as long as `window`.
class ActivationReturn : public QObject {
  Q_OBJECT

public:
  explicit ActivationReturn(QWidget* window);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void focusWindowChanged(QWindow* window);
  void giveBack();

  QWidget* m_window;
  // The window of ours that was active last, other than this one: none while the reader is
  // in another application.
  QPointer<QWindow> m_lastActive;
  // Where the activation goes back when the window closes.
  QPointer<QWindow> m_returnTo;
};

} // namespace brindlewick

#pragma once

#include <QEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace brindlewick {

// Keeps the keyboard where the reader left it while a control waits, disabled, for its own
// work ("Check for updates" while the check runs, "Sync now" while the sync runs).
//
// A disabled widget cannot keep Qt's focus: Qt hands it on to the next control in the Tab
// order, and the reader's next Space, meant for the control they pressed, would press that one,
// which may save or send something. A park takes the focus in the control's place instead: an
// invisible stand-in over the control and next to it in the Tab order. It reads to assistive
// technology as the control, unavailable and busy; Space, Return and Enter do nothing there;
// Tab and Backtab go on from the control's place, and so do the arrows: by the control's own
// rule where it has one (a menu's row stops at the menu's ends), else as from a button. When
// the control is enabled again the focus goes back to it, also in a window that is not active
// (it is there when the window is). When the control is hidden or goes, the park hands the
// focus on as Qt would. Focus that leaves the park (Tab, a click) ends it.
//
// The control is told by a Notice event whenever the park takes or loses the active focus, so
// that a painted control can show its ring meanwhile (dimmed with the rest of it).
class FocusPark final : public QWidget {
  Q_OBJECT

public:
  class Notice final : public QEvent {
  public:
    Notice(bool holding, bool keyboard);
    static QEvent::Type eventType();

    // The park has the focus of the active window.
    bool holding() const { return m_holding; }
    // The keyboard brought the focus: the control shows its ring for it.
    bool keyboard() const { return m_keyboard; }

  private:
    bool m_holding;
    bool m_keyboard;
  };

  // An arrow pressed while the park holds the focus, sent to the control first: a control that
  // moves the focus by a rule of its own (a menu's row) does so from its place and accepts the
  // event. It is sent unaccepted; one left so goes on from the control's place as from a button.
  class Arrow final : public QEvent {
  public:
    Arrow(Qt::Key key, Qt::KeyboardModifiers modifiers);
    static QEvent::Type eventType();

    // The same key as a key press, for the control's own rule.
    QKeyEvent keyPress() const;

  private:
    Qt::Key m_key;
    Qt::KeyboardModifiers m_modifiers;
  };

  // Gives `control` its window's focus: at once when it is enabled, else through a park until it
  // is. `keyboard` says whether the keyboard brought the focus (the reason it arrives with).
  // Nothing happens for a hidden control, or one disabled with its container.
  static void hold(QWidget* control, bool keyboard);
  // Disables `control`; when it has its window's focus, the focus waits for it in a park.
  static void disable(QWidget* control, bool keyboard);
  // The park that holds the focus for `control`; none when none does.
  static FocusPark* of(const QWidget* control);

  QWidget* control() const { return m_control; }
  // Whether the park has its window's focus (the window need not be active).
  bool holdsFocus() const;

protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  FocusPark(QWidget* control, bool keyboard);
  // Gives the focus of `control`'s window to its park (made now when it has none).
  static void park(QWidget* control, bool keyboard);
  void tell(bool holding);
  // The control is enabled again: it takes the focus back.
  void giveBack();
  // The control is hidden or going: the focus goes on as Qt would hand it on.
  void handOn();
  void end();

  QPointer<QWidget> m_control;
  bool m_keyboard;
  bool m_ended = false;
};

} // namespace brindlewick

#pragma once

#include "desktop/X11WindowHints.h"

#include <QWidget>

#include <functional>

namespace brindlewick {

// The top-level window that carries a drop at the top of the screen. It never activates the
// application or takes keyboard focus unless told it may (acceptsKeyboardFocus), stays on
// top of other windows without a frame or shadow, is shown on every workspace and left out of
// taskbars, pagers and the window switcher, has a transparent background (its content draws
// the visible shape), and turns Escape into onEscape.
class DropPanel : public QWidget {
  Q_OBJECT

public:
  DropPanel();

  // Whether the panel may take keyboard focus now; false at first. Changing this on a shown
  // panel keeps it on screen.
  bool acceptsKeyboardFocus() const { return m_acceptsKeyboardFocus; }
  void setAcceptsKeyboardFocus(bool accepts);
  bool canBecomeKey() const { return m_acceptsKeyboardFocus; }
  bool canBecomeMain() const { return false; }
  // Whether the panel is made so that showing it never activates the application: a tool
  // window shown without activation. A property of the kind of window, true for the panel
  // whether or not it accepts keyboard focus at the moment.
  bool nonActivatingStyle() const;

  // Run when the reader presses Escape in the panel. The key is never passed on, also when
  // no action is set.
  const std::function<void()>& onEscape() const { return m_onEscape; }
  void setOnEscape(std::function<void()> action) { m_onEscape = std::move(action); }

  // The one view that fills the panel; the panel takes ownership (a previous view is deleted).
  void setContentView(QWidget* view);
  QWidget* contentView() const { return m_contentView; }

protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void askWindowManager(X11WindowHints::Moment moment);

  bool m_acceptsKeyboardFocus = false;
  // Shown, and not yet mapped by the window manager.
  bool m_awaitingMapping = false;
  std::function<void()> m_onEscape;
  QWidget* m_contentView = nullptr;
};

} // namespace brindlewick

#pragma once

#include <QVariantAnimation>

class QWidget;

namespace brindlewick {

// A flag of a control (hovered, pressed, focused, selected) as a value from 0 to 1 that
// follows it with the feedback motion, easing in and out over 0.16 s, and repaints the
// control on every step. Under Reduce Motion, or when told not to animate, it jumps.
// A member of its control.
class DropFeedback {
public:
  explicit DropFeedback(QWidget* control);
  DropFeedback(const DropFeedback&) = delete;
  DropFeedback& operator=(const DropFeedback&) = delete;

  void set(bool on, bool animated = true);
  bool isOn() const { return m_on; }
  qreal value() const { return m_value; }

private:
  QWidget* m_control;
  QVariantAnimation m_animation;
  bool m_on = false;
  qreal m_value = 0;
};

} // namespace brindlewick

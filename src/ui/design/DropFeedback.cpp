#include "ui/design/DropFeedback.h"

#include "ui/design/DropMotion.h"
#include "ui/design/UiEnvironment.h"

#include <QWidget>

namespace brindlewick {

DropFeedback::DropFeedback(QWidget* control) : m_control(control) {
  QObject::connect(&m_animation, &QVariantAnimation::valueChanged, &m_animation,
                   [this](const QVariant& value) {
                     m_value = value.toReal();
                     m_control->update();
                   });
}

void DropFeedback::set(bool on, bool animated) {
  if (on == m_on)
    return;
  m_on = on;
  m_animation.stop();
  const qreal end = on ? 1 : 0;
  if (!animated || UiEnvironment::instance().reduceMotion()) {
    m_value = end;
    m_control->update();
    return;
  }
  m_animation.setStartValue(m_value);
  m_animation.setEndValue(end);
  DropMotion::start(m_animation, DropMotion::Kind::feedback, false);
}

} // namespace brindlewick

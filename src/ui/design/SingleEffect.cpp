#include "ui/design/SingleEffect.h"

#include <QGraphicsEffect>
#include <QWidget>

namespace brindlewick {

namespace {

constexpr const char* kWaiting = "brindlewickEffectWaiting";

bool runs(const QWidget* widget) {
  const QGraphicsEffect* effect = widget->graphicsEffect();
  return effect != nullptr && effect->isEnabled();
}

bool underRunningEffect(const QWidget* widget) {
  for (const QWidget* level = widget->parentWidget(); level != nullptr; level = level->parentWidget()) {
    if (runs(level))
      return true;
    if (level->isWindow())
      break;
  }
  return false;
}

void wait(QGraphicsEffect* effect) {
  effect->setProperty(kWaiting, true);
  effect->setEnabled(false);
}

} // namespace

void SingleEffect::set(QWidget* widget, QGraphicsEffect* effect) {
  if (underRunningEffect(widget)) {
    wait(effect);
  } else {
    for (QWidget* inner : widget->findChildren<QWidget*>()) {
      if (runs(inner) && !inner->isWindow())
        wait(inner->graphicsEffect());
    }
  }
  widget->setGraphicsEffect(effect);
}

void SingleEffect::clear(QWidget* widget) {
  widget->setGraphicsEffect(nullptr);
  if (underRunningEffect(widget))
    return;
  // Outer ones first (the search is depth first, parents before children): an effect that
  // runs again makes those inside it keep waiting.
  for (QWidget* inner : widget->findChildren<QWidget*>()) {
    QGraphicsEffect* effect = inner->graphicsEffect();
    if (effect == nullptr || !effect->property(kWaiting).toBool() || underRunningEffect(inner))
      continue;
    effect->setProperty(kWaiting, false);
    effect->setEnabled(true);
  }
}

} // namespace brindlewick

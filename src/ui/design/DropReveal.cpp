#include "ui/design/DropReveal.h"

#include "ui/design/SingleEffect.h"
#include "ui/design/UiEnvironment.h"

#include <QGraphicsOpacityEffect>
#include <QVariantAnimation>
#include <QWidget>

namespace brindlewick {

namespace {

// Names the effect and the animation of a fade, and marks content that fades out.
constexpr char kFade[] = "brindlewick.reveal";
constexpr char kLeaving[] = "brindlewick.reveal.leaving";

QGraphicsOpacityEffect* fadeEffect(const QWidget* widget) {
  auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
  return effect != nullptr && effect->objectName() == QLatin1String(kFade) ? effect : nullptr;
}

// Whether a fade of `widget` would be seen and painted.
bool fades(const QWidget* widget) {
  if (UiEnvironment::instance().reduceMotion())
    return false;
  const QWidget* parent = widget->parentWidget();
  if (parent == nullptr || !parent->isVisible())
    return false;
  for (const QWidget* above = parent; above != nullptr; above = above->parentWidget()) {
    if (above->graphicsEffect() != nullptr)
      return false;
  }
  if (widget->graphicsEffect() != nullptr && fadeEffect(widget) == nullptr)
    return false;
  for (const QWidget* inner : widget->findChildren<QWidget*>()) {
    if (inner->graphicsEffect() != nullptr)
      return false;
  }
  return true;
}

void stopFade(QWidget* widget) {
  for (auto* running : widget->findChildren<QVariantAnimation*>(kFade, Qt::FindDirectChildrenOnly)) {
    running->disconnect();
    running->stop();
    running->deleteLater();
  }
}

void dropEffect(QWidget* widget) {
  if (fadeEffect(widget) != nullptr)
    SingleEffect::clear(widget);
}

// Runs the fade of `widget` from the opacity it shows now (`from` when it has no effect yet)
// to `to`; `done` runs at the end, after the effect is gone.
template <typename Done> void fade(QWidget* widget, qreal from, qreal to, DropMotion::Kind kind, Done done) {
  stopFade(widget);
  QGraphicsOpacityEffect* effect = fadeEffect(widget);
  if (effect == nullptr) {
    effect = new QGraphicsOpacityEffect(widget);
    effect->setObjectName(QLatin1String(kFade));
    effect->setOpacity(from);
    SingleEffect::set(widget, effect);
  }
  auto* animation = new QVariantAnimation(widget);
  animation->setObjectName(QLatin1String(kFade));
  animation->setStartValue(effect->opacity());
  animation->setEndValue(to);
  QObject::connect(animation, &QVariantAnimation::valueChanged, effect,
                   [effect](const QVariant& value) { effect->setOpacity(value.toReal()); });
  QObject::connect(animation, &QAbstractAnimation::finished, widget, [widget, animation, done] {
    animation->deleteLater();
    dropEffect(widget);
    done(widget);
  });
  DropMotion::start(*animation, kind, false);
}

void leave(QWidget* widget) {
  widget->setProperty(kLeaving, false);
  widget->hide();
}

} // namespace

bool DropReveal::isShown(const QWidget* widget) {
  return !widget->isHidden() && !widget->property(kLeaving).toBool();
}

void DropReveal::setShown(QWidget* widget, bool shown, DropMotion::Kind kind) {
  if (shown) {
    if (isShown(widget))
      return;
    widget->setProperty(kLeaving, false);
    widget->show();
    fadeIn(widget, kind);
    return;
  }
  if (widget->property(kLeaving).toBool())
    return;
  // Also content never shown yet: hidden for good, not shown with its parent later.
  if (!widget->isVisible() || !fades(widget)) {
    stopFade(widget);
    dropEffect(widget);
    leave(widget);
    return;
  }
  widget->setProperty(kLeaving, true);
  fade(widget, 1, 0, kind, leave);
}

void DropReveal::fadeIn(QWidget* widget, DropMotion::Kind kind) {
  if (!fades(widget)) {
    stopFade(widget);
    dropEffect(widget);
    return;
  }
  fade(widget, 0, 1, kind, [](QWidget*) {});
}

void DropReveal::removeLater(QWidget* widget, DropMotion::Kind kind) {
  if (widget == nullptr)
    return;
  widget->setAttribute(Qt::WA_TransparentForMouseEvents);
  // Disabled, it hands the keyboard focus on if it held it.
  widget->setEnabled(false);
  const auto remove = [](QWidget* gone) {
    gone->hide();
    gone->deleteLater();
  };
  if (!isShown(widget) || !fades(widget)) {
    stopFade(widget);
    remove(widget);
    return;
  }
  widget->setProperty(kLeaving, true);
  fade(widget, 1, 0, kind, remove);
}

} // namespace brindlewick

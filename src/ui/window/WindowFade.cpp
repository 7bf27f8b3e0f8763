#include "ui/window/WindowFade.h"

#include "ui/design/DropMotion.h"
#include "ui/design/SingleEffect.h"
#include "ui/design/UiEnvironment.h"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QWidget>

namespace brindlewick {

namespace {

// Runs one fade of `layer` from `from` to `to`; `done` runs at the end (at once under Reduce
// Motion). A layer that already fades keeps its effect; the new fade replaces the old one.
template <typename Done> void fade(QWidget* layer, qreal from, qreal to, Done done) {
  auto* effect = qobject_cast<QGraphicsOpacityEffect*>(layer->graphicsEffect());
  if (effect == nullptr) {
    effect = new QGraphicsOpacityEffect(layer);
    effect->setOpacity(from);
    SingleEffect::set(layer, effect);
  }
  for (auto* running : effect->findChildren<QPropertyAnimation*>()) {
    running->disconnect();
    running->stop();
    running->deleteLater();
  }
  auto* animation = new QPropertyAnimation(effect, "opacity", effect);
  animation->setStartValue(effect->opacity());
  animation->setEndValue(to);
  QObject::connect(animation, &QAbstractAnimation::finished, layer, [layer, effect, animation, done] {
    animation->deleteLater();
    done(layer, effect);
  });
  DropMotion::start(*animation, DropMotion::Kind::entrance, UiEnvironment::instance().reduceMotion());
}

} // namespace

void WindowFade::in(QWidget* layer) {
  layer->show();
  fade(layer, 0, 1, [](QWidget* faded, QGraphicsOpacityEffect* effect) {
    if (faded->graphicsEffect() == effect)
      SingleEffect::clear(faded);
  });
}

void WindowFade::outAndDelete(QWidget* layer) {
  layer->setAttribute(Qt::WA_TransparentForMouseEvents);
  layer->setEnabled(false);
  layer->clearFocus();
  fade(layer, 1, 0, [](QWidget* faded, QGraphicsOpacityEffect*) {
    faded->hide();
    faded->deleteLater();
  });
}

} // namespace brindlewick

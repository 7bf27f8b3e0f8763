#include "ui/design/DropPageEntrance.h"

#include "ui/design/DropMotion.h"
#include "ui/design/SingleEffect.h"
#include "ui/design/UiEnvironment.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QWidget>

namespace brindlewick {

namespace {

constexpr char kEntranceProperty[] = "brindlewick.pageEntrance";

// Waits for the page's first show, runs the fade and removes itself with the effect.
class PageEntrance : public QObject {
public:
  explicit PageEntrance(QWidget* page) : QObject(page), m_page(page) { page->installEventFilter(this); }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == m_page && event->type() == QEvent::Show) {
      m_page->removeEventFilter(this);
      begin();
    }
    return false;
  }

private:
  void begin() {
    if (UiEnvironment::instance().reduceMotion() || m_page->graphicsEffect() != nullptr) {
      deleteLater();
      return;
    }
    auto* effect = new QGraphicsOpacityEffect(m_page);
    effect->setOpacity(0);
    SingleEffect::set(m_page, effect);
    auto* fade = new QPropertyAnimation(effect, "opacity", this);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    connect(fade, &QAbstractAnimation::finished, this, [this, effect] {
      if (m_page->graphicsEffect() == effect)
        SingleEffect::clear(m_page);
      deleteLater();
    });
    DropMotion::start(*fade, DropMotion::Kind::entrance, false);
  }

  QWidget* m_page;
};

} // namespace

void dropPageEntrance(QWidget* page) {
  if (page->property(kEntranceProperty).toBool())
    return;
  page->setProperty(kEntranceProperty, true);
  if (!page->isVisible())
    new PageEntrance(page);
}

} // namespace brindlewick

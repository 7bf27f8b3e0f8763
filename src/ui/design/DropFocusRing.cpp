#include "ui/design/DropFocusRing.h"

#include "ui/design/DropDesign.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QWidget>

#include <utility>

namespace brindlewick {

namespace {

// Sees every focus change of the application before its receivers: a focus-out "by Tab" from
// a control just hidden or disabled hands the focus on, and the focus-in that follows (whose
// receiver asks afterwards) is the keyboard's only when a key, not a click, retired the control.
class FocusWatch : public QObject {
public:
  explicit FocusWatch(QObject* parent) : QObject(parent) { parent->installEventFilter(this); }

  bool handedOn = false;                         // of the latest focus-in
  Qt::FocusReason reason = Qt::OtherFocusReason; // of the latest focus-in
  bool keyLast = false;                          // the reader's latest press was a key's, not a button's

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // Only what widgets receive: the focus events are passed on to other objects too (styles,
    // windows), and those say nothing of the control.
    const auto* widget = qobject_cast<const QWidget*>(watched);
    if (widget == nullptr)
      return false;
    switch (event->type()) {
    case QEvent::KeyPress: keyLast = true; break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: keyLast = false; break;
    default: break;
    }
    if (event->type() == QEvent::FocusOut) {
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      m_pending = (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) &&
                  (!widget->isVisible() || !widget->isEnabled()) && !keyLast;
    } else if (event->type() == QEvent::FocusIn) {
      handedOn = std::exchange(m_pending, false);
      reason = static_cast<QFocusEvent*>(event)->reason();
    }
    return false;
  }

private:
  bool m_pending = false;
};

FocusWatch* watch() {
  static QPointer<FocusWatch> instance;
  if (instance.isNull() && QCoreApplication::instance() != nullptr)
    instance = new FocusWatch(QCoreApplication::instance());
  return instance.data();
}

} // namespace

void DropFocusRing::watchFocus() {
  watch();
}

bool DropFocusRing::handedOn() {
  const FocusWatch* current = watch();
  return current != nullptr && current->handedOn;
}

Qt::FocusReason DropFocusRing::latestReason() {
  const FocusWatch* current = watch();
  return current != nullptr ? current->reason : Qt::OtherFocusReason;
}

bool DropFocusRing::keyboardInUse() {
  const FocusWatch* current = watch();
  return current != nullptr && current->keyLast;
}

bool DropFocusRing::keyboardBrought(Qt::FocusReason reason) {
  switch (reason) {
  case Qt::TabFocusReason:
  case Qt::BacktabFocusReason:
  case Qt::ShortcutFocusReason: return !handedOn();
  default: return false;
  }
}

QColor DropFocusRing::color(ColorScheme scheme) {
  return DropDesign::foreground(scheme);
}

void DropFocusRing::stroke(QPainter& painter, const QPainterPath& centreLine, const QColor& color) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(Qt::NoBrush);
  painter.strokePath(centreLine, QPen(color, lineWidth));
  painter.restore();
}

} // namespace brindlewick

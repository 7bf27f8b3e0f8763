#include "ui/design/PageKeys.h"

#include "ui/design/FocusPark.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>

#include <algorithm>
#include <optional>
#include <utility>

namespace brindlewick::PageKeys {

namespace {

enum class Place { above, inView, below };

QRect rectIn(const QAbstractScrollArea* area, const QWidget* widget) {
  return QRect(widget->mapTo(area->viewport(), QPoint()), widget->size());
}

Place placeOf(const QAbstractScrollArea* area, const QWidget* widget) {
  const QRect rect = rectIn(area, widget);
  const QRect view = area->viewport()->rect();
  const int shown = std::min(rect.bottom(), view.bottom()) - std::max(rect.top(), view.top()) + 1;
  if (2 * shown >= std::min(rect.height(), view.height()))
    return Place::inView;
  return rect.center().y() < view.center().y() ? Place::above : Place::below;
}

std::optional<QAbstractSlider::SliderAction> scrollFor(const QKeyEvent& key) {
  using S = QAbstractSlider;
  const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
  const bool plain = modifiers == Qt::NoModifier;
  const bool toEnd = plain || modifiers == Qt::ControlModifier;
  switch (key.key()) {
  case Qt::Key_PageUp: return plain ? std::optional(S::SliderPageStepSub) : std::nullopt;
  case Qt::Key_PageDown: return plain ? std::optional(S::SliderPageStepAdd) : std::nullopt;
  case Qt::Key_Up: return plain ? std::optional(S::SliderSingleStepSub) : std::nullopt;
  case Qt::Key_Down: return plain ? std::optional(S::SliderSingleStepAdd) : std::nullopt;
  case Qt::Key_Home: return toEnd ? std::optional(S::SliderToMinimum) : std::nullopt;
  case Qt::Key_End: return toEnd ? std::optional(S::SliderToMaximum) : std::nullopt;
  case Qt::Key_Space:
    if (plain)
      return S::SliderPageStepAdd;
    return modifiers == Qt::ShiftModifier ? std::optional(S::SliderPageStepSub) : std::nullopt;
  default: return std::nullopt;
  }
}

bool isControl(const QWidget* widget) {
  return (widget->focusPolicy() & Qt::TabFocus) != 0 && widget->isVisible() && widget->isEnabled() &&
         widget->focusProxy() == nullptr && qobject_cast<const FocusPark*>(widget) == nullptr;
}

// The page's controls in the window's Tab order.
QList<QWidget*> controlsOf(const QScrollArea* area) {
  QWidget* content = area->widget();
  QList<QWidget*> all;
  if (content == nullptr)
    return all;
  for (QWidget* at = content->nextInFocusChain(); at != content; at = at->nextInFocusChain()) {
    if (content->isAncestorOf(at) && isControl(at))
      all.append(at);
  }
  // A control that holds others (a list and its rows) stands back for them.
  QSet<const QWidget*> holders;
  for (const QWidget* at : std::as_const(all)) {
    for (const QWidget* up = at->parentWidget(); up != nullptr && up != content; up = up->parentWidget())
      holders.insert(up);
  }
  QList<QWidget*> controls;
  for (QWidget* at : std::as_const(all)) {
    if (!holders.contains(at))
      controls.append(at);
  }
  return controls;
}

// The first (or last) of the controls at `place`, as the reader sees them: a control wholly on
// a line above another comes before it, whatever the Tab order says (a list's rows are made in
// any order); on one line, the Tab order holds.
QWidget* pick(const QAbstractScrollArea* area, const QList<QWidget*>& controls, Place place, bool first) {
  QWidget* best = nullptr;
  int bestTop = 0;
  for (QWidget* control : controls) {
    if (placeOf(area, control) != place)
      continue;
    const QRect rect = rectIn(area, control);
    const bool earlierLine = best != nullptr && rect.center().y() < bestTop;
    if (best == nullptr || earlierLine == first) {
      best = control;
      bestTop = rect.top();
    }
  }
  return best;
}

// The nearest control outside the page, in the window's order.
QWidget* besidePage(QScrollArea* area, bool forward) {
  const auto step = [forward](QWidget* at) {
    return forward ? at->nextInFocusChain() : at->previousInFocusChain();
  };
  for (QWidget* at = step(area); at != area; at = step(at)) {
    if (!area->isAncestorOf(at) && at->window() == area->window() && isControl(at))
      return at;
  }
  return nullptr;
}

bool tabFromView(QScrollArea* area, bool forward) {
  const QList<QWidget*> controls = controlsOf(area);
  QWidget* to = pick(area, controls, Place::inView, forward);
  if (to == nullptr)
    to = pick(area, controls, forward ? Place::below : Place::above, forward);
  if (to == nullptr)
    to = besidePage(area, forward);
  if (to == nullptr)
    return false;
  to->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return true;
}

class Filter final : public QObject {
public:
  explicit Filter(QScrollArea* area) : QObject(area), m_area(area) { area->installEventFilter(this); }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != m_area || event->type() != QEvent::KeyPress)
      return false;
    auto* key = static_cast<QKeyEvent*>(event);
    // The area itself takes the focus only from here: it is no stop of the Tab order.
    const bool pageHolds = m_area->hasFocus();
    if (pageHolds && (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0) {
      const bool backwards = key->key() == Qt::Key_Backtab ||
                             (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier));
      if ((backwards || key->key() == Qt::Key_Tab) && tabFromView(m_area, !backwards)) {
        key->accept();
        return true;
      }
    }
    const std::optional<QAbstractSlider::SliderAction> action = scrollFor(*key);
    if (!action)
      return false;
    QScrollBar* bar = m_area->verticalScrollBar();
    bar->triggerAction(*action);
    // A page that measures what comes into view (the library's rows) may grow as its end does.
    for (int round = 0;
         round < 8 && *action == QAbstractSlider::SliderToMaximum && bar->value() != bar->maximum(); ++round)
      bar->triggerAction(*action);
    key->accept();
    const QWidget* content = m_area->widget();
    const QWidget* focus = QApplication::focusWidget();
    if (!pageHolds && focus != nullptr && content != nullptr && content->isAncestorOf(focus) &&
        !inView(m_area, focus))
      m_area->setFocus(Qt::OtherFocusReason);
    return true;
  }

private:
  QScrollArea* m_area;
};

} // namespace

bool scrollsPage(const QKeyEvent& key) {
  return scrollFor(key).has_value();
}

void install(QScrollArea* area) {
  new Filter(area);
}

bool inView(const QAbstractScrollArea* area, const QWidget* widget) {
  return placeOf(area, widget) == Place::inView;
}

} // namespace brindlewick::PageKeys

#include "ui/library/LibraryIdeaRow.h"

#include "model/ReaderModel.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/CollectionButton.h"
#include "ui/design/DeferredDelete.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropFocusRing.h"
#include "ui/design/IdeaShareButton.h"
#include "ui/design/PressKeys.h"
#include "ui/design/UiEnvironment.h"
#include "ui/library/LibraryRow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace brindlewick {

// The summary as a button: the whole summary takes the click; the row paints the fill.
class LibraryReadButton : public QAbstractButton {
  Q_OBJECT

public:
  explicit LibraryReadButton(QWidget* parent) : QAbstractButton(parent) {
    // It reads as the summary inside it, and as the list's selection when it is lit.
    AccessibleRole::setSelected(this, false);
    setFocusPolicy(Qt::TabFocus);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setAccessibleDescription(QStringLiteral("Opens the full reading page"));
  }

protected:
  void paintEvent(QPaintEvent*) override {}

  // Return and Enter press it, as they press every other control of the window (Space does
  // by itself). While the list has a selection, the list takes them first and opens that.
  void keyPressEvent(QKeyEvent* event) override {
    if (!PressKeys::isActivation(*event)) {
      QAbstractButton::keyPressEvent(event);
      return;
    }
    event->accept();
    // The click may turn the page, and this button go with it.
    if (!event->isAutoRepeat())
      click();
  }
};

LibraryIdeaRow::LibraryIdeaRow(ReaderModel& model, const DropSnapshot& snapshot, QWidget* parent)
    : QWidget(parent), m_model(&model), m_snapshot(snapshot) {
  m_read = new LibraryReadButton(this);
  m_summary = new LibraryRow(model, snapshot, m_read);
  auto* readLayout = new QVBoxLayout(m_read);
  readLayout->setContentsMargins(0, 0, 0, 0);
  readLayout->addWidget(m_summary);
  connect(m_read, &QAbstractButton::clicked, this, &LibraryIdeaRow::opened);
  m_read->installEventFilter(this);

  // A layout, not a widget: the controls' focus rings and shadows reach past their shapes,
  // into the row's margin, and a container would clip them.
  m_controls = new QHBoxLayout;
  m_controls->setContentsMargins(0, 0, 0, 0);
  m_controls->setSpacing(8);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(margin, margin, margin, margin);
  layout->setSpacing(16);
  layout->addWidget(m_read, 1);
  layout->addLayout(m_controls);
  QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
  setAttribute(Qt::WA_Hover);
  buildControls();
  setSnapshot(snapshot);
}

LibraryIdeaRow::~LibraryIdeaRow() {
  // The controls die after this object: their last focus events must not reach it.
  for (Control candidate : {Control::read, Control::love, Control::save, Control::share})
    control(candidate)->removeEventFilter(this);
}

void LibraryIdeaRow::buildControls() {
  const QString context = QStringLiteral("library.") + m_snapshot.id();
  // A control retired with the focus hands it on; this row's keyboard focus goes with it.
  if (m_keyboardFocus && *m_keyboardFocus != Control::read)
    m_keyboardFocus.reset();
  // The list may rebind this row from inside a click of one of them (a love that takes the
  // idea off the page): they go once that click is over.
  for (QWidget* old :
       {static_cast<QWidget*>(m_love), static_cast<QWidget*>(m_save), static_cast<QWidget*>(m_share)}) {
    if (old != nullptr)
      old->removeEventFilter(this);
    DeferredDelete::retire(old);
  }
  m_love = new CollectionButton(*m_model, m_snapshot, CollectionButton::Action::love, false, true, context);
  m_save = new CollectionButton(*m_model, m_snapshot, CollectionButton::Action::save, false, true, context);
  m_share = new IdeaShareButton(m_snapshot, false, context);
  for (QWidget* control :
       {static_cast<QWidget*>(m_love), static_cast<QWidget*>(m_save), static_cast<QWidget*>(m_share)}) {
    control->setFocusPolicy(Qt::TabFocus);
    control->installEventFilter(this);
    m_controls->addWidget(control, 0, Qt::AlignVCenter);
  }
}

void LibraryIdeaRow::setSnapshot(const DropSnapshot& snapshot) {
  const bool sameIdea = snapshot.id() == m_snapshot.id();
  m_snapshot = snapshot;
  m_read->setObjectName(QStringLiteral("library.idea.") + snapshot.id());
  m_summary->setSnapshot(snapshot);
  if (m_measuring) {
    // Only the summary's height depends on the idea.
  } else if (!sameIdea && m_model) {
    // The controls name themselves after the idea, so another idea gets its own.
    buildControls();
  } else {
    m_love->setSnapshot(snapshot);
    m_save->setSnapshot(snapshot);
    m_share->setSnapshot(snapshot);
  }
}

void LibraryIdeaRow::setMeasuring() {
  m_measuring = true;
}

void LibraryIdeaRow::setSelected(bool selected) {
  if (selected == m_selected)
    return;
  m_selected = selected;
  AccessibleRole::setSelected(m_read, selected);
  refreshFill();
}

void LibraryIdeaRow::setHovered(bool hovered) {
  if (hovered == m_hovered)
    return;
  m_hovered = hovered;
  refreshFill();
}

std::optional<LibraryIdeaRow::Control> LibraryIdeaRow::focusedControl() const {
  return m_keyboardFocus;
}

QWidget* LibraryIdeaRow::control(Control control) const {
  switch (control) {
  case Control::read: return m_read;
  case Control::love: return m_love;
  case Control::save: return m_save;
  case Control::share: return m_share;
  }
  return m_read;
}

int LibraryIdeaRow::heightForWidth(int width) const {
  return layout()->totalHeightForWidth(width);
}

int LibraryIdeaRow::neededHeight(int width) {
  for (QWidget* widget : findChildren<QWidget*>())
    widget->updateGeometry();
  for (QLayout* inner : findChildren<QLayout*>())
    inner->invalidate();
  layout()->invalidate();
  return heightForWidth(width);
}

void LibraryIdeaRow::refreshFill() {
  const bool animated = isVisible() && !UiEnvironment::instance().reduceMotion();
  m_lit.set(showsSelectionFill(), animated);
  m_hover.set(m_hovered, animated);
  update();
}

void LibraryIdeaRow::paintEvent(QPaintEvent*) {
  const ColorScheme scheme = UiEnvironment::instance().schemeOf(this);
  QColor fill = DropDesign::mixed(Qt::transparent, DropDesign::hover(scheme), m_hover.value());
  fill = DropDesign::mixed(fill, DropDesign::selection(scheme), m_lit.value());
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  if (fill.alpha() > 0)
    painter.fillPath(DropDesign::roundedRect(QRectF(rect()), radius), fill);
  // The summary paints nothing of its own: its ring, when the keys are on it, is the row's to
  // draw, in the margin around it, so the row the keys are on stands apart from a row that is
  // only the list's selection.
  if (m_keyboardFocus == Control::read) {
    const qreal room = margin / 2.0;
    DropFocusRing::stroke(
        painter,
        DropDesign::roundedRect(QRectF(m_read->geometry()).adjusted(-room, -room, room, room), radius - room),
        DropFocusRing::color(scheme));
  }
}

void LibraryIdeaRow::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  setHovered(true);
  Q_EMIT hoverChanged(true);
}

void LibraryIdeaRow::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  setHovered(false);
  Q_EMIT hoverChanged(false);
}

bool LibraryIdeaRow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && parentWidget() != nullptr) {
    // A button moves the focus on with an arrow; in the list, the arrows move the selection.
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      QCoreApplication::sendEvent(parentWidget(), event);
      return true;
    }
  }
  if (event->type() != QEvent::FocusIn && event->type() != QEvent::FocusOut)
    return QWidget::eventFilter(watched, event);
  const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
  if (event->type() == QEvent::FocusIn && (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)) {
    const QPointer<QWidget> target(static_cast<QWidget*>(watched));
    Q_EMIT tabbedInto(reason == Qt::BacktabFocusReason);
    // The list sent the focus on: the control never had it.
    if (!target || !target->hasFocus())
      return true;
  }
  // A window coming back, or a popup closing, returns the focus it had: whatever lit the row
  // before still does. The focus a window hands its first control when it opens is not the
  // keyboard's.
  const bool passing = reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason;
  std::optional<Control> keyboard = m_keyboardFocus;
  if (event->type() == QEvent::FocusIn) {
    const bool returning = passing && m_keyboardFocus && control(*m_keyboardFocus) == watched;
    if (!passing && reason != Qt::MouseFocusReason && !DropFocusRing::handedOn())
      keyboard = controlOf(watched);
    else if (!returning)
      keyboard.reset();
  } else if (!passing) {
    keyboard.reset();
  }
  if (keyboard != m_keyboardFocus) {
    m_keyboardFocus = keyboard;
    refreshFill();
    Q_EMIT focusChanged();
  }
  return QWidget::eventFilter(watched, event);
}

std::optional<LibraryIdeaRow::Control> LibraryIdeaRow::controlOf(const QObject* widget) const {
  for (Control candidate : {Control::read, Control::love, Control::save, Control::share}) {
    if (control(candidate) == widget)
      return candidate;
  }
  return std::nullopt;
}

} // namespace brindlewick

#include "LibraryIdeaRow.moc"

#include "ui/window/AccountDropdown.h"

#include "model/ReaderModel.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/DeferredDelete.h"
#include "ui/design/DropFocusRing.h"
#include "ui/design/DropMenuRowStyle.h"
#include "ui/design/DropNotice.h"
#include "ui/design/DropSidebarSurface.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/FocusInView.h"
#include "ui/window/ReaderPageFactories.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace brindlewick {

namespace {

// The scroll area sits inside the rounded surface, clear of its corners on the trailing side;
// the column's own margins make up the rest of the padding (10 all round, 4 more on top).
const QMargins kScrollMargins(0, 12, 2, 10);
const QMargins kColumnMargins(10, 2, 8, 0);

} // namespace

// MARK: Dropdown

AccountDropdown::AccountDropdown(ReaderModel& model, std::function<void()> openSettings, QWidget* parent)
    : QWidget(parent), m_model(model), m_scroll(new QScrollArea), m_content(new QWidget),
      m_column(new QVBoxLayout(m_content)) {
  setObjectName(QStringLiteral("account.dropdown"));
  setAccessibleName(QStringLiteral("Your account"));
  AccessibleRole::setModal(this);
  setFocusPolicy(Qt::StrongFocus);
  m_column->setContentsMargins(kColumnMargins);
  m_column->setSpacing(10);
  m_column->addWidget(ReaderPageFactories::accountMenu(model, std::move(openSettings)));
  m_column->addStretch();

  m_scroll->setFrameShape(QFrame::NoFrame);
  m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_scroll->setWidgetResizable(true);
  m_scroll->viewport()->setAutoFillBackground(false);
  m_scroll->setWidget(m_content);
  m_content->setAutoFillBackground(false); // the scroll area turned it on; the surface is beneath
  m_scroll->setFocusPolicy(Qt::NoFocus);
  DropStandardWidgets::adopt(m_scroll->verticalScrollBar());
  // Where the menu scrolls (a long message), the row the keyboard lands on is in view.
  FocusInView::follow(m_scroll);
  auto* frame = new QVBoxLayout(this);
  frame->setContentsMargins(kScrollMargins);
  frame->addWidget(m_scroll);
  // The menu's body changes its height as it changes (the sign-in code coming, sign-in ending):
  // the dropdown is as tall as what it now holds.
  m_content->installEventFilter(this);

  connect(&model, &ReaderModel::messageChanged, this, &AccountDropdown::refreshMessage);
  refreshMessage();
}

int AccountDropdown::heightFor(int maximum) const {
  const int contentWidth = dropdownWidth - kScrollMargins.left() - kScrollMargins.right();
  QLayout* layout = m_content->layout();
  const int content = layout->hasHeightForWidth() ? layout->totalHeightForWidth(contentWidth)
                                                  : layout->totalSizeHint().height();
  return std::max(0, std::min(maximum, content + kScrollMargins.top() + kScrollMargins.bottom()));
}

void AccountDropdown::refreshMessage() {
  const std::optional<QString>& message = m_model.message();
  if (message && !m_notice) {
    m_notice = new DropNotice(*message, QStringLiteral("info.circle"), DropNotice::Tone::info);
    auto* padded = new QWidget;
    auto* layout = new QVBoxLayout(padded);
    layout->setContentsMargins(6, 0, 6, 0);
    layout->addWidget(m_notice);
    m_column->insertWidget(1, padded);
    padded->show(); // counted in the height at once, not when the layout gets round to it
  } else if (message) {
    m_notice->setText(*message);
  } else if (m_notice) {
    DeferredDelete::retire(m_notice->parentWidget());
    m_notice = nullptr;
  }
  Q_EMIT contentChanged();
}

bool AccountDropdown::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_content && event->type() == QEvent::LayoutRequest)
    Q_EMIT contentChanged();
  return QWidget::eventFilter(watched, event);
}

void AccountDropdown::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    Q_EMIT closeRequested();
    return;
  }
  // From the dropdown itself (as it opens) the arrows enter its menu at the top or bottom.
  const bool down = event->key() == Qt::Key_Down;
  if ((down || event->key() == Qt::Key_Up) && event->modifiers() == Qt::NoModifier) {
    if (DropMenuRow* row = edgeRow(down))
      row->setFocus(down ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

DropMenuRow* AccountDropdown::edgeRow(bool first) const {
  DropMenuRow* found = nullptr;
  for (QWidget* at = nextInFocusChain(); at != this && isAncestorOf(at); at = at->nextInFocusChain()) {
    auto* row = qobject_cast<DropMenuRow*>(at);
    if (row == nullptr || !row->isVisibleTo(this) || !row->isEnabled())
      continue;
    found = row;
    if (first)
      break;
  }
  return found;
}

void AccountDropdown::mousePressEvent(QMouseEvent* event) {
  // A click on the dropdown's own surface is not a click on the dimmed window.
  event->accept();
}

void AccountDropdown::takeFocus() {
  // Opened from the keyboard, the keyboard goes on to the first entry, ringed at once (the
  // entry shows its ring for focus from a pop-up while the reader is on the keys). Opened with
  // the pointer, the dropdown holds it, ringing nothing, for the arrows and Escape.
  QWidget* first = nullptr;
  if (DropFocusRing::keyboardInUse()) {
    first = edgeRow(true);
    for (QWidget* at = nextInFocusChain(); first == nullptr && at != this && isAncestorOf(at);
         at = at->nextInFocusChain()) {
      if (at->isVisibleTo(this) && at->isEnabled() && (at->focusPolicy() & Qt::TabFocus) != 0)
        first = at;
    }
  }
  (first != nullptr ? first : this)->setFocus(Qt::PopupFocusReason);
}

void AccountDropdown::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  takeFocus();
}

// MARK: Layer

AccountDropdownLayer::AccountDropdownLayer(ReaderModel& model, std::function<void()> openSettings,
                                           QWidget* parent)
    : QWidget(parent), m_dropdown(new AccountDropdown(model, std::move(openSettings), this)) {
  setObjectName(QStringLiteral("account.scrim"));
  // The scrim is not read; the dropdown on it stands in its place.
  AccessibleRole::setTransparent(this);
  UiEnvironment::repaintOnChange(this);
  connect(m_dropdown, &AccountDropdown::closeRequested, this, &AccountDropdownLayer::closeRequested);
  connect(m_dropdown, &AccountDropdown::contentChanged, this, &AccountDropdownLayer::place);
}

QRect AccountDropdownLayer::dropdownGeometry() const {
  const int maximum = height() - topInset - bottomInset;
  return QRect(width() - trailingInset - AccountDropdown::dropdownWidth, topInset,
               AccountDropdown::dropdownWidth, m_dropdown->heightFor(maximum));
}

void AccountDropdownLayer::place() {
  m_dropdown->setGeometry(dropdownGeometry());
  update();
}

void AccountDropdownLayer::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  place();
}

void AccountDropdownLayer::mousePressEvent(QMouseEvent* event) {
  // Nothing beneath the dimmed window hears the click.
  event->accept();
  Q_EMIT closeRequested();
}

void AccountDropdownLayer::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const UiTraits traits = UiEnvironment::instance().traitsOf(this);
  const bool dark = traits.scheme == ColorScheme::dark;
  painter.fillRect(rect(), QColor::fromRgbF(0, 0, 0, dark ? 0.24f : 0.1f));
  DropSidebarSurface::paint(painter, QRectF(m_dropdown->geometry()), true, traits);
}

} // namespace brindlewick

#include "ui/window/ReaderWorkspace.h"

#include "model/ReaderModel.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropFocusRing.h"
#include "ui/design/DropNotice.h"
#include "ui/design/DropOverlayScrollBar.h"
#include "ui/design/DropReveal.h"
#include "ui/design/DropSidebarSurface.h"
#include "ui/design/FocusInView.h"
#include "ui/design/PageKeys.h"
#include "ui/window/WorkspaceBackdrop.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QVBoxLayout>

namespace brindlewick {

namespace {

// Paints over the card's corners what lies around the card there: the window's backdrop and
// the card's own shadow, then the card's border on top of the page.
class CardCorners : public QWidget {
public:
  CardCorners(QWidget* backdropOwner, QWidget* parent) : QWidget(parent), m_owner(backdropOwner) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    UiEnvironment::repaintOnChange(this);
  }

protected:
  void paintEvent(QPaintEvent*) override {
    if (!m_owner)
      return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF card(rect());
    QPainterPath outside;
    outside.addRect(card);
    // One pixel inside the edge, so that the border is drawn again over the page.
    outside = outside.subtracted(
        DropDesign::roundedRect(card.adjusted(1, 1, -1, -1), ReaderWorkspace::cardRadius - 1));
    painter.setClipPath(outside);
    const UiTraits traits = UiEnvironment::instance().traitsOf(m_owner);
    painter.drawPixmap(-mapTo(m_owner, QPoint(0, 0)),
                       WorkspaceBackdrop::picture(m_owner->size(), traits.scheme, devicePixelRatioF()));
    DropSidebarSurface::paint(painter, card, false, traits);
  }

private:
  QPointer<QWidget> m_owner;
};

// The page card: as tall as its content, and at least as tall as `floor` (the workspace
// less its margins), however short its page.
//
// Its content's height for the width it is given is the height it takes. The layouts' own
// minimum height would take the tallest form of every wrapping text and grid, measured at
// their narrowest: the scroll area makes the card at least that tall, and the room left over
// would open as a blank band inside the page. So its minimum height is the floor alone; a
// page with no height for width (nothing that wraps) keeps its layouts' minimum, which then
// is its height.
class PageCard : public QWidget {
public:
  void setFloor(int floor) {
    if (floor == m_floor)
      return;
    m_floor = floor;
    updateGeometry();
  }
  QSize minimumSizeHint() const override {
    const QSize least = QWidget::minimumSizeHint();
    return hasHeightForWidth() ? QSize(least.width(), m_floor) : atLeastFloor(least);
  }
  QSize sizeHint() const override { return atLeastFloor(QWidget::sizeHint()); }

private:
  QSize atLeastFloor(QSize size) const { return QSize(size.width(), std::max(size.height(), m_floor)); }

  int m_floor = 0;
};

// A notice with the room the column gives it: 24 on either side, 12 above.
QWidget* padded(DropNotice* notice) {
  auto* frame = new QWidget;
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(24, 12, 24, 0);
  layout->addWidget(notice);
  frame->hide();
  return frame;
}

} // namespace

ReaderWorkspace::ReaderWorkspace(ReaderModel& model, QWidget* backdropOwner, QWidget* parent)
    : QScrollArea(parent), m_model(model), m_backdropOwner(backdropOwner), m_canvas(new QWidget),
      m_card(new PageCard), m_pageHost(new QWidget),
      m_syncNotice(
          new DropNotice(QString(), QStringLiteral("exclamationmark.triangle"), DropNotice::Tone::warning)),
      m_messageNotice(
          new DropNotice(QString(), QStringLiteral("exclamationmark.circle"), DropNotice::Tone::info)) {
  setObjectName(QStringLiteral("reader.workspace.scroll"));
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setWidgetResizable(true);
  // No stop of its own in the Tab order, where it would hold the focus and show nothing: the
  // keys a page's control leaves unused (arrows, Page Up and Down, Space) still scroll it, and
  // it takes the keyboard only from a control they scroll out of view.
  setFocusPolicy(Qt::NoFocus);
  PageKeys::install(this);
  // Whatever brings the keyboard to a control of the page, the page shows it.
  FocusInView::follow(this);
  // The window's backdrop shows through everything but the card.
  viewport()->setAutoFillBackground(false);
  // Laid over the trailing margin, so the card keeps its width as the bar comes and goes.
  new DropOverlayScrollBar(this);

  auto* canvasLayout = new QVBoxLayout(m_canvas);
  canvasLayout->setContentsMargins(leadingInset + margin, margin, margin, margin);
  canvasLayout->addWidget(m_card);

  auto* column = new QVBoxLayout(m_card);
  column->setContentsMargins(0, 0, 0, 16);
  column->setSpacing(0);
  column->addWidget(padded(m_syncNotice));
  column->addWidget(padded(m_messageNotice));
  column->addWidget(m_pageHost, 1);
  auto* host = new QVBoxLayout(m_pageHost);
  host->setContentsMargins(0, 0, 0, 0);

  m_cardSurface = new DropSidebarSurface(false, m_canvas);
  m_cardSurface->setAttribute(Qt::WA_TransparentForMouseEvents);
  m_cardSurface->lower();
  m_corners = new CardCorners(backdropOwner, m_canvas);
  m_corners->raise();
  setWidget(m_canvas);
  m_canvas->setAutoFillBackground(false); // the scroll area turned it on
  m_card->installEventFilter(this);
  viewport()->installEventFilter(this);
  // The corners show the backdrop at their place in the window, which scrolling changes.
  connect(verticalScrollBar(), &QScrollBar::valueChanged, m_corners, qOverload<>(&QWidget::update));

  m_syncNotice->setAction(QStringLiteral("Try again"));
  connect(m_syncNotice, &DropNotice::actionTriggered, this, [this] { m_model.refresh(true); });
  connect(&model, &ReaderModel::syncIssueChanged, this, &ReaderWorkspace::refreshNotices);
  connect(&model, &ReaderModel::messageChanged, this, &ReaderWorkspace::refreshNotices);
  refreshNotices();
}

void ReaderWorkspace::setPage(QWidget* page) {
  if (m_page == page)
    return;
  // A page turned from one of its own controls (Return on "Library", say) leaves the reader
  // on the new page's first control rather than back at the top of the window. The focus
  // is let go first, so that hiding the old page hands it nowhere on the way.
  const bool focusInside = m_page != nullptr && m_page->isAncestorOf(QApplication::focusWidget());
  if (focusInside)
    QApplication::focusWidget()->clearFocus();
  if (m_page) {
    m_page->hide();
    m_page->deleteLater();
  }
  m_page = page;
  if (page) {
    m_pageHost->layout()->addWidget(page);
    page->show(); // laid out now, not once the event loop gets round to it
    if (focusInside) {
      if (QWidget* first = firstControl(page))
        first->setFocus(DropFocusRing::keyboardInUse() ? Qt::TabFocusReason : Qt::OtherFocusReason);
    }
  }
}

QWidget* ReaderWorkspace::firstControl(QWidget* page) {
  // A page's widgets need not follow one another in the chain (parts built apart): the whole
  // round is looked through.
  for (QWidget* at = page->nextInFocusChain(); at != page; at = at->nextInFocusChain()) {
    if (page->isAncestorOf(at) && (at->focusPolicy() & Qt::TabFocus) != 0 && at->isVisibleTo(page) &&
        at->isEnabled())
      return at;
  }
  return nullptr;
}

bool ReaderWorkspace::focusNextPrevChild(bool next) {
  // The focus is shown by the one rule of FocusInView, which also covers focus that comes from
  // outside the page; the scroll area's own, for Tab inside it alone, would scroll once more.
  return QWidget::focusNextPrevChild(next);
}

void ReaderWorkspace::scrollToTop() {
  verticalScrollBar()->setValue(0);
}

bool ReaderWorkspace::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched == m_card && (type == QEvent::Move || type == QEvent::Resize))
    placeCardLayers();
  // The card reaches down to the bottom margin however short its page.
  if (watched == viewport() && type == QEvent::Resize)
    static_cast<PageCard*>(m_card)->setFloor(std::max(0, viewport()->height() - 2 * margin));
  return QScrollArea::eventFilter(watched, event);
}

void ReaderWorkspace::placeCardLayers() {
  m_cardSurface->setGeometry(m_card->geometry().marginsAdded(DropSidebarSurface::shadowMargins(false)));
  m_corners->setGeometry(m_card->geometry());
}

void ReaderWorkspace::refreshNotices() {
  const auto show = [](DropNotice* notice, const std::optional<QString>& text) {
    if (text)
      notice->setText(*text);
    DropReveal::setShown(notice->parentWidget(), text.has_value());
  };
  show(m_syncNotice, m_model.syncIssue());
  show(m_messageNotice, m_model.message());
}

} // namespace brindlewick

#include "ui/card/ReaderCard.h"

#include "model/ReaderModel.h"
#include "ui/card/CardCloseButton.h"
#include "ui/card/CardHeader.h"
#include "ui/card/DropCardContent.h"
#include "ui/design/ButtonShortcut.h"
#include "ui/design/CollectionButton.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropFocusRing.h"
#include "ui/design/DropOverlayScrollBar.h"
#include "ui/design/DropTextBlock.h"
#include "ui/design/IdeaShareButton.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace brindlewick {

namespace {

const QString kMoreHelp = QStringLiteral("Read another idea from your interests");
constexpr int kSidePadding = 56;
constexpr int kScrollBarGap = 12;
constexpr int kTopPadding = 10;
constexpr int kBottomPadding = 40;
constexpr int kActionsTopPadding = 22;
constexpr int kMessageTopPadding = 16;
// The ring around the text while it holds the keyboard, in the side padding around it.
constexpr qreal kTextRingOutset = 8;
constexpr qreal kTextRingRadius = 16;
constexpr qreal kTextRingTopInset = 6;

// A frameless scroll area with nothing of its own to paint: the card's gradient shows
// through.
QScrollArea* bareScrollArea(QWidget* content) {
  auto* scroll = new QScrollArea;
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setWidgetResizable(true);
  scroll->setFocusPolicy(Qt::NoFocus);
  scroll->setAutoFillBackground(false);
  scroll->viewport()->setAutoFillBackground(false);
  scroll->setWidget(content);
  // setWidget() makes the content paint its own background; the card's must show through.
  content->setAutoFillBackground(false);
  return scroll;
}

} // namespace

ReaderCard::ReaderCard(ReaderModel& model, bool fitsContent, QWidget* parent)
    : QWidget(parent), m_model(&model), m_fitsContent(fitsContent), m_header(new CardHeader),
      m_messageBox(new QWidget), m_message(new DropTextBlock) {
  UiEnvironment::forceScheme(this, ColorScheme::dark);
  UiEnvironment::repaintOnChange(this);
  setFocusPolicy(Qt::NoFocus);

  // The sides' padding belongs to each row rather than to the card, so that the buttons'
  // shadows can reach into it: a row's widget clips whatever its children paint outside it.
  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, kTopPadding, 0, kBottomPadding);
  root->setSpacing(0);
  auto* headerRow = new QHBoxLayout;
  headerRow->setContentsMargins(kSidePadding, 0, kSidePadding, 0);
  headerRow->addWidget(m_header);
  root->addLayout(headerRow);
  // Without a drop, the header and the message sit in the middle of the height offered; a
  // drop's section takes all of it (stretch 1), leaving these spacers nothing.
  root->insertStretch(0);
  connect(m_header->closeButton(), &QAbstractButton::clicked, this, [this] {
    if (m_model)
      m_model->dismiss();
  });

  m_message->setTextStyle(DropTextBlock::Style{DropFonts::rounded(11)});
  m_message->setColor([](const UiTraits&) { return DropDesign::withOpacity(DropDesign::paper(), 0.75); });
  m_message->setAlignment(Qt::AlignHCenter);
  auto* messageLayout = new QVBoxLayout(m_messageBox);
  messageLayout->setContentsMargins(kSidePadding, kMessageTopPadding, kSidePadding, 0);
  messageLayout->addWidget(m_message);
  root->addWidget(m_messageBox);
  root->addStretch();

  if (!fitsContent) {
    // Each key presses its button, so a disabled button's key does nothing. They belong to
    // the card and go with it; Escape is the panel's own.
    ButtonShortcut::install(this, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L), [this] { return m_love; });
    ButtonShortcut::install(this, QKeySequence(Qt::CTRL | Qt::Key_S), [this] { return m_save; });
    ButtonShortcut::install(this, QKeySequence(Qt::CTRL | Qt::Key_N), [this] { return m_more; });

    connect(&model, &ReaderModel::currentChanged, this, &ReaderCard::syncDrop);
    connect(&model, &ReaderModel::messageChanged, this, [this] {
      syncMessage();
      refreshPanel();
    });
    connect(&model.preferences(), &PreferencesStore::valueChanged, this, [this] {
      if (m_shownScale == textScale())
        return;
      syncDrop();
      refreshPanel();
    });
    connect(&model, &ReaderModel::busyChanged, this, &ReaderCard::syncMore);
    connect(&model, &ReaderModel::hasAnotherIdeaChanged, this, &ReaderCard::syncMore);
  }
  syncAll();
}

ReaderCard::~ReaderCard() = default;

double ReaderCard::textScale() const {
  return m_model ? m_model->preferences().value().textScale : 1.0;
}

Category ReaderCard::category() const {
  return m_model && m_model->current() ? m_model->current()->lore.category : Category::biography;
}

void ReaderCard::syncAll() {
  syncDrop();
  syncMessage();
}

void ReaderCard::syncDrop() {
  const std::optional<DropSnapshot> drop = m_model ? m_model->current() : std::nullopt;
  m_header->setCategory(category());
  update();
  if (drop == m_shownDrop && textScale() == m_shownScale)
    return;
  m_shownDrop = drop;
  m_shownScale = textScale();
  // The keyboard on the drop that goes stays on the card: on the new drop's text.
  const bool hadKeyboard = m_dropSection && m_dropSection->isAncestorOf(QApplication::focusWidget());
  if (m_dropSection) {
    // One of its buttons may be what changed the drop: it goes once that press is over.
    layout()->removeWidget(m_dropSection);
    m_dropSection->hide();
    m_dropSection->deleteLater();
    m_dropSection = nullptr;
  }
  m_scroll = nullptr;
  m_content = nullptr;
  m_love = m_save = nullptr;
  m_share = nullptr;
  m_explore = m_more = nullptr;
  if (drop)
    buildDropSection(*drop);
  else
    placePadding(0);
  if (hadKeyboard)
    takeKeyboard();
}

void ReaderCard::buildDropSection(const DropSnapshot& snapshot) {
  m_dropSection = new QWidget;
  auto* section = new QVBoxLayout(m_dropSection);
  section->setSpacing(0);
  m_content = new DropCardContent(snapshot, m_shownScale, [this, snapshot] { openInWindow(snapshot); });
  connect(m_content, &DropCardContent::showsFocusChanged, this, qOverload<>(&QWidget::update));
  if (m_fitsContent) {
    section->addWidget(m_content);
  } else {
    m_scroll = bareScrollArea(m_content);
    section->addWidget(m_scroll, 1);
    // A thin bar in the side padding tells the reader, from the first show, that a long
    // explanation goes on below the cut.
    new DropOverlayScrollBar(m_scroll, m_dropSection, kScrollBarGap);
  }

  ReaderModel& model = *m_model;
  const QString context = QStringLiteral("reader");
  m_love = new CollectionButton(model, snapshot, CollectionButton::Action::love, true, true, context);
  m_save = new CollectionButton(model, snapshot, CollectionButton::Action::save, true, true, context);
  m_share = new IdeaShareButton(snapshot, true, context);
  const DropButtonStyle textStyle = dropControl({.reader = true});
  m_explore = new DropButton(QStringLiteral("Explore idea"), textStyle);
  DropAccessibility::describe(m_explore, QStringLiteral("reader.read"), QStringLiteral("Explore idea"),
                              QStringLiteral("Open the full idea and its sources"));
  connect(m_explore, &QAbstractButton::clicked, this, [this, snapshot] { openInWindow(snapshot); });
  m_more = new DropButton(QStringLiteral("More for you"), textStyle);
  connect(m_more, &QAbstractButton::clicked, this, [this] {
    if (m_model)
      m_model->surpriseMe();
  });
  syncMore();

  // The buttons' shadows reach below them, into the card's bottom padding.
  const int shadowRoom = m_love->shapeMargins().bottom();
  section->setContentsMargins(kSidePadding, 0, kSidePadding, shadowRoom);
  auto* actions = new QHBoxLayout;
  actions->setContentsMargins(0, kActionsTopPadding, 0, 0);
  actions->setSpacing(12);
  for (QWidget* button : std::initializer_list<QWidget*>{m_love, m_save, m_share, m_explore, m_more})
    actions->addWidget(button);
  section->addLayout(actions);

  auto* root = static_cast<QVBoxLayout*>(layout());
  root->insertWidget(2, m_dropSection, 1);
  placePadding(shadowRoom);
}

void ReaderCard::placePadding(int shadowRoom) {
  QMargins margins = layout()->contentsMargins();
  margins.setBottom(kBottomPadding - shadowRoom);
  layout()->setContentsMargins(margins);
  margins = m_messageBox->layout()->contentsMargins();
  margins.setTop(std::max(0, kMessageTopPadding - shadowRoom));
  m_messageBox->layout()->setContentsMargins(margins);
}

void ReaderCard::syncMessage() {
  const std::optional<QString> message = m_model ? m_model->message() : std::nullopt;
  m_message->setText(message.value_or(QString()));
  m_messageBox->setVisible(message.has_value());
}

void ReaderCard::syncMore() {
  if (!m_more || !m_model)
    return;
  const bool another = m_model->hasAnotherIdea();
  m_more->setEnabled(!m_model->busy() && another);
  DropAccessibility::describe(m_more, QStringLiteral("reader.surprise"), QStringLiteral("More for you"),
                              another ? kMoreHelp : ReaderModel::noOtherIdeaMessage);
}

void ReaderCard::refreshPanel() {
  if (!m_fitsContent && m_model)
    m_model->panel().refreshLayout();
}

void ReaderCard::openInWindow(const DropSnapshot& snapshot) {
  const QPointer<ReaderModel> model = m_model;
  if (!model || !model->canRead(snapshot))
    return;
  model->panel().dismiss(true);
  if (model && model->openWindow())
    model->openWindow()(ReaderTab::read, snapshot);
}

void ReaderCard::takeKeyboard() {
  if (!m_content)
    return;
  // A section added to the shown card shows only once the event loop runs; focus needs it now.
  m_dropSection->show();
  m_content->setFocus(Qt::TabFocusReason);
}

void ReaderCard::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (m_fitsContent)
    return;
  // A card that replaces one the keyboard was on ("More for you" pressed from the keyboard)
  // takes the keyboard in its turn, once the one before has gone from the panel.
  QTimer::singleShot(0, this, [this] {
    if (isVisible() && isActiveWindow() && !QApplication::focusWidget())
      takeKeyboard();
  });
}

void ReaderCard::enterEvent(QEnterEvent* event) {
  QWidget::enterEvent(event);
  // The card's own enter and leave only: crossing its children sends the card neither, so
  // the model's wait is not re-armed at every button the pointer passes.
  if (!m_fitsContent && m_model)
    m_model->setHovered(true);
}

void ReaderCard::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  if (!m_fitsContent && m_model)
    m_model->setHovered(false);
}

void ReaderCard::paintEvent(QPaintEvent*) {
  const Category topic = category();
  const qreal ratio = devicePixelRatioF();
  if (m_background.size() != size() * ratio || m_backgroundCategory != topic) {
    m_background = QPixmap(size() * ratio);
    m_background.setDevicePixelRatio(ratio);
    QPainter fill(&m_background);
    fill.fillRect(QRectF(rect()), DropDesign::panelBackground(topic, QRectF(rect())));
    m_backgroundCategory = topic;
  }
  QPainter painter(this);
  painter.drawPixmap(0, 0, m_background);
  // Where the keyboard is: around the text it reads, in the padding beside it (the text
  // scrolls under the area's edge, which a ring of the text's own would be clipped by).
  if (m_content && m_scroll && m_content->showsFocus()) {
    const QRectF area = QRectF(QRect(m_scroll->mapTo(this, QPoint(0, 0)), m_scroll->size()));
    const qreal centre = kTextRingOutset - DropFocusRing::lineWidth / 2;
    // The top edge stays inside the area, in the text's own top margin, clear of the header.
    DropFocusRing::stroke(
        painter,
        DropDesign::roundedRect(area.adjusted(-centre, kTextRingTopInset, centre, centre), kTextRingRadius),
        Qt::white);
  }
}

double ReaderCard::fittingHeight(ReaderModel& model, double width) {
  static QPointer<ReaderCard> measuring;
  if (measuring && measuring->m_model != &model) {
    delete measuring;
  }
  if (!measuring) {
    measuring = new ReaderCard(model, true);
    QObject::connect(&model, &QObject::destroyed, [] { delete measuring; });
  } else {
    measuring->syncAll();
  }
  measuring->ensurePolished();
  QLayout* layout = measuring->layout();
  // A card without anything that wraps (no drop, no message) has no height for a width.
  const int height = layout->hasHeightForWidth() ? layout->totalHeightForWidth(int(std::floor(width)))
                                                 : layout->totalSizeHint().height();
  return std::ceil(double(height));
}

} // namespace brindlewick

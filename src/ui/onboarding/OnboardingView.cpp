#include "ui/onboarding/OnboardingView.h"

#include "model/ReaderModel.h"
#include "ui/account/AccountText.h"
#include "ui/account/SignInAddress.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropFocusRing.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropMark.h"
#include "ui/design/DropMotion.h"
#include "ui/design/DropNotice.h"
#include "ui/design/DropShadow.h"
#include "ui/design/DropSpinner.h"
#include "ui/design/DropTextBlock.h"
#include "ui/onboarding/DeviceCodeLabel.h"
#include "ui/onboarding/FullBleedWindow.h"
#include "ui/onboarding/OnboardingBackdrop.h"
#include "ui/onboarding/OnboardingStepIndicator.h"
#include "ui/onboarding/TitlebarArea.h"
#include "ui/onboarding/TurnTakingLayout.h"

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QPainter>
#include <QShortcut>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace brindlewick {

namespace {

using Page = OnboardingState::Page;
using Event = OnboardingState::Event;
using Appearance = DropButtonStyle::Appearance;

DropDesign::ColorFor paper(qreal opacity) {
  return [opacity](const UiTraits&) { return DropDesign::withOpacity(DropDesign::paper(), opacity); };
}

DropTextBlock* centred(const QString& text, const DropFont& font, qreal opacity, qreal tracking = 0) {
  auto* block = new DropTextBlock(text);
  block->setTextStyle(DropTextBlock::Style{font, tracking});
  block->setColor(paper(opacity));
  block->setAlignment(Qt::AlignHCenter);
  block->setAccessibleName(text);
  return block;
}

DropTextBlock* heading(DropTextBlock* block) {
  AccessibleRole::set(block, QAccessible::Heading);
  return block;
}

DropButton* button(const QString& title, Appearance appearance, const QString& identifier = {}) {
  auto* result = new DropButton(title, DropButtonStyle{appearance});
  DropAccessibility::describe(result, identifier, title);
  return result;
}

// "Connecting securely…" with its spinner, centred.
QWidget* connectingRow() {
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);
  layout->addStretch(1);
  layout->addWidget(new DropSpinner(DropSpinner::small));
  DropTextBlock* text = centred(QStringLiteral("Connecting securely…"), DropFonts::rounded(13), 0.7);
  text->setWrapping(false);
  layout->addWidget(text);
  layout->addStretch(1);
  return row;
}

// The application's icon, 72 points, with its soft shadow: the window's icon when the
// application has one, else the mark on the hero's blue.
class ApplicationIcon : public QWidget {
public:
  static constexpr int side = 72;
  static constexpr qreal shadowRadius = 14;
  static constexpr qreal shadowOffset = 8;
  static constexpr int room = int(1.5 * shadowRadius + shadowOffset) + 1;

  ApplicationIcon() {
    setFixedSize(side + 2 * room, side + 2 * room);
    AccessibleRole::setHidden(this);
  }

protected:
  void paintEvent(QPaintEvent*) override {
    // Made once per pixel ratio: the page's fades repaint it on every frame.
    if (m_picture.isNull() || m_picture.devicePixelRatio() != devicePixelRatioF())
      m_picture = picture(devicePixelRatioF());
    QPainter(this).drawImage(QPointF(0, 0), m_picture);
  }

private:
  QImage picture(qreal ratio) const {
    QImage icon(QSizeF(size() * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    icon.setDevicePixelRatio(ratio);
    icon.fill(Qt::transparent);
    const QRectF box(room, room, side, side);
    {
      QPainter painter(&icon);
      painter.setRenderHint(QPainter::Antialiasing);
      const QIcon window = QApplication::windowIcon();
      if (!window.isNull()) {
        window.paint(&painter, box.toRect());
      } else {
        painter.fillPath(DropDesign::roundedRect(box, 16), DropDesign::heroGradient(box));
        DropMark::paint(painter, box.adjusted(14, 14, -14, -14), DropDesign::paper());
      }
    }
    QImage result =
        DropShadow::cast(icon, shadowRadius, QPointF(0, shadowOffset), QColor::fromRgbF(0, 0, 0, 0.35f));
    QPainter(&result).drawImage(QPointF(0, 0), icon);
    return result;
  }

  QImage m_picture;
};

} // namespace

OnboardingView::OnboardingView(ReaderModel& model, QWidget* parent)
    : QWidget(parent), m_model(model), m_state(model.signInDeclined()),
      m_backdrop(new OnboardingBackdrop(this)), m_content(new QWidget(this)), m_titlebar(new TitlebarArea()),
      m_fullBleed(new FullBleedWindow(this)) {
  setObjectName(QStringLiteral("onboarding"));
  m_titlebar->setParent(this);

  auto* column = new QVBoxLayout(m_content);
  column->setContentsMargins(56, 72, 56, 44);
  column->setSpacing(0);
  column->addStretch(1);
  m_pageArea = new QWidget;
  m_pageArea->setMaximumWidth(600);
  // Only the current page is in the layout, so the area takes its size; a page leaving is
  // taken out and slides away from where it stood.
  auto* pages = new QVBoxLayout(m_pageArea);
  pages->setContentsMargins(0, 0, 0, 0);
  m_welcome = buildWelcome();
  m_signIn = buildSignIn();
  m_welcome->setObjectName(QStringLiteral("onboarding.welcomePage"));
  m_signIn->setObjectName(QStringLiteral("onboarding.signInPage"));
  pages->addWidget(m_welcome);
  m_signIn->setParent(m_pageArea);
  m_signIn->hide();
  // Centred by stretches rather than an alignment, which would size the area by its width
  // hint and hand the wrapped texts more height than they need.
  auto* centring = new QHBoxLayout;
  centring->addStretch(1);
  centring->addWidget(m_pageArea, 100);
  centring->addStretch(1);
  column->addLayout(centring);
  column->addSpacing(36);
  column->addWidget(buildFooter());
  column->addStretch(1);

  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
    auto* shortcut = new QShortcut(QKeySequence(key), this);
    shortcut->setObjectName(QStringLiteral("onboarding.returnKey"));
    connect(shortcut, &QShortcut::activated, this, [this] { act(Event::getStarted); });
  }

  for (auto signal :
       {&ReaderModel::signInCodeChanged, &ReaderModel::accountBusyChanged, &ReaderModel::messageChanged})
    connect(&model, signal, this, &OnboardingView::refresh);
  connect(&model, &ReaderModel::signInDeclinedChanged, this, [this] {
    const Page from = m_state.page();
    if (m_state.declinedChanged(m_model.signInDeclined()))
      showPage(from);
  });
  // Once every child exists: the standard widgets inside take the dark palette.
  UiEnvironment::forceScheme(this, ColorScheme::dark);
  refresh();
  placeLayers();
}

OnboardingView::~OnboardingView() = default;

QWidget* OnboardingView::buildWelcome() {
  auto* page = new QWidget;
  auto* stack = new QVBoxLayout(page);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(22);
  stack->addWidget(new ApplicationIcon, 0, Qt::AlignHCenter);
  auto* titles = new QVBoxLayout;
  titles->setSpacing(10);
  titles->addWidget(
      heading(centred(QStringLiteral("Brindlewick"), DropFonts::rounded(46, QFont::Bold), 1, -0.5)));
  titles->addWidget(
      centred(QStringLiteral("A little more curious."), DropFonts::rounded(24, QFont::Medium), 0.82));
  stack->addLayout(titles);
  DropTextBlock* paragraph =
      centred(QStringLiteral(
                  "One big idea from a great book arrives on your computer in the quiet moments of your day. "
                  "Small, spaced reading helps ideas stick, so you learn more without setting aside time to "
                  "study."),
              DropFonts::rounded(15), 0.74);
  paragraph->setLineSpacing(5);
  paragraph->setMaximumWidth(500);
  stack->addWidget(paragraph, 0, Qt::AlignHCenter);
  return page;
}

QWidget* OnboardingView::buildSignIn() {
  auto* page = new QWidget;
  auto* stack = new QVBoxLayout(page);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(20);

  auto* header = new QVBoxLayout;
  header->setSpacing(8);
  header->addWidget(centred(QStringLiteral("LAST STEP"), DropFonts::rounded(11, QFont::DemiBold), 0.6, 1.2));
  header->addWidget(heading(centred(QStringLiteral("Sign in to receive your drops."),
                                    DropFonts::display(34, QFont::DemiBold), 1, -0.5)));
  stack->addLayout(header);
  stack->addWidget(centred(
      QStringLiteral("Your account keeps your drops, saves and settings together. No password to remember."),
      DropFonts::rounded(15), 0.74));

  // The code and the button that asks for one take turns in one slot as tall as the taller
  // of the two, each with its own connecting row: the page keeps one height through the whole
  // sign-in, so the heading and the footer stay where they are.
  m_codeBlock = new QWidget;
  auto* code = new QVBoxLayout(m_codeBlock);
  code->setContentsMargins(0, 0, 0, 0);
  code->setSpacing(10);
  code->addWidget(centred(QStringLiteral("Confirm this code in your browser"), DropFonts::rounded(13), 0.9));
  m_code = new DeviceCodeLabel;
  QFont mono = DropFonts::monospaced(28, QFont::DemiBold).font();
  mono.setLetterSpacing(QFont::AbsoluteSpacing, 4);
  m_code->setFont(mono);
  m_code->setAlignment(Qt::AlignHCenter);
  m_code->setObjectName(QStringLiteral("onboarding.deviceCode"));
  QPalette palette = m_code->palette();
  palette.setColor(QPalette::WindowText, DropDesign::paper());
  m_code->setPalette(palette);
  code->addWidget(m_code);
  auto* row = new QHBoxLayout;
  row->setSpacing(12);
  row->addStretch(1);
  DropButton* open =
      button(QStringLiteral("Open sign-in page"), Appearance::hero, QStringLiteral("onboarding.openBrowser"));
  DropButton* cancel =
      button(QStringLiteral("Cancel"), Appearance::heroSecondary, QStringLiteral("onboarding.cancel"));
  row->addWidget(open);
  row->addWidget(cancel);
  row->addStretch(1);
  code->addLayout(row);
  code->addSpacing(6);
  // Beside the code for as long as it shows: a browser that did not open leaves the reader a
  // way to the page; when it answers that it could not, the line above the address says so.
  auto* address = new SignInAddress(m_model, AccountText::primary(), AccountText::secondary(),
                                    DropButtonStyle{Appearance::heroSecondary}, Qt::AlignHCenter);
  // Its room is kept for the moment between the code and its address.
  QSizePolicy keepsPlace = address->sizePolicy();
  keepsPlace.setRetainSizeWhenHidden(true);
  address->setSizePolicy(keepsPlace);
  code->addWidget(address);
  // The work goes on while the code shows; its row keeps its room when it is done, so the
  // code does not move as it goes.
  m_connecting = connectingRow();
  QSizePolicy keepsRoom = m_connecting->sizePolicy();
  keepsRoom.setRetainSizeWhenHidden(true);
  m_connecting->setSizePolicy(keepsRoom);
  code->addSpacing(10);
  code->addWidget(m_connecting);
  code->addStretch(1);
  connect(open, &QPushButton::clicked, this, [this] { m_model.openAccountBrowser(); });
  connect(cancel, &QPushButton::clicked, this, [this, cancel] {
    m_slotKeepsFocus = cancel->hasFocus();
    act(Event::cancel);
  });
  m_openBrowser = open;

  m_startBlock = new QWidget;
  auto* start = new QVBoxLayout(m_startBlock);
  start->setContentsMargins(0, 0, 0, 0);
  start->setSpacing(20);
  m_continue =
      button(QStringLiteral("Continue with Google"), Appearance::hero, QStringLiteral("onboarding.signIn"));
  m_continue->setSymbol(QStringLiteral("arrow.up.right"));
  connect(m_continue, &QPushButton::clicked, this, [this] {
    m_slotKeepsFocus = m_continue->hasFocus();
    m_model.beginAccountSignIn();
  });
  start->addWidget(m_continue, 0, Qt::AlignHCenter);
  m_startConnecting = connectingRow();
  start->addWidget(m_startConnecting);
  // This screen covers the window's own notice, so it says here why a sign-in did not
  // finish or cannot start; while a code shows, its address block speaks for the browser.
  m_message = new DropNotice(QString(), QStringLiteral("exclamationmark.circle"), DropNotice::Tone::info);
  m_message->setObjectName(QStringLiteral("onboarding.message"));
  m_noService = new DropNotice(
      QStringLiteral("Sign-in is unavailable because this build has no service URL configured."),
      QStringLiteral("exclamationmark.circle"), DropNotice::Tone::info);
  m_noService->setObjectName(QStringLiteral("onboarding.noService"));
  start->addWidget(m_message);
  start->addWidget(m_noService);
  start->addStretch(1);

  auto* slot = new QWidget;
  slot->setObjectName(QStringLiteral("onboarding.signInSlot"));
  m_slot = new TurnTakingLayout(slot);
  m_slot->addWidget(m_startBlock);
  m_slot->addWidget(m_codeBlock);
  stack->addWidget(slot);

  return page;
}

QWidget* OnboardingView::buildFooter() {
  auto* footer = new QWidget;
  auto* stack = new QVBoxLayout(footer);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(22);
  auto* row = new QHBoxLayout;
  row->setSpacing(12);
  row->addStretch(1);
  m_back = button(QStringLiteral("Back"), Appearance::heroSecondary, QStringLiteral("onboarding.back"));
  m_next = button(QStringLiteral("Get started"), Appearance::hero, QStringLiteral("onboarding.next"));
  m_notNow =
      button(QStringLiteral("Not now"), Appearance::heroSecondary, QStringLiteral("onboarding.notNow"));
  for (DropButton* each : {m_back, m_next, m_notNow})
    row->addWidget(each);
  row->addStretch(1);
  connect(m_back, &QPushButton::clicked, this, [this] { act(Event::back); });
  connect(m_next, &QPushButton::clicked, this, [this] { act(Event::getStarted); });
  connect(m_notNow, &QPushButton::clicked, this, [this] { act(Event::notNow); });
  stack->addLayout(row);
  m_steps = new OnboardingStepIndicator(OnboardingState::pageCount);
  stack->addWidget(m_steps, 0, Qt::AlignHCenter);
  return footer;
}

QWidget* OnboardingView::pageWidget(Page page) const {
  return page == Page::welcome ? m_welcome : m_signIn;
}

bool OnboardingView::transitionRunning() const {
  return m_transition && m_transition->state() == QAbstractAnimation::Running;
}

void OnboardingView::act(Event event) {
  const Page from = m_state.page();
  if (m_state.apply(event))
    m_model.cancelAccountSignIn();
  showPage(from);
}

void OnboardingView::showPage(Page from) {
  const Page to = m_state.page();
  // A footer button pressed from the keyboard may hide itself as the page turns.
  const bool footerFocused = m_back->hasFocus() || m_next->hasFocus() || m_notNow->hasFocus();
  // Qt does not finish an animation it is told to stop, so an interrupted one is settled here
  // before anything else moves the pages.
  settleTransition();
  refresh();
  if (from == to)
    return;
  QWidget* incoming = pageWidget(to);
  QWidget* outgoing = pageWidget(from);
  const QRect left = outgoing->geometry();
  m_pageArea->layout()->removeWidget(outgoing);
  outgoing->setGeometry(left);
  m_pageArea->layout()->addWidget(incoming);
  incoming->show();
  // The reader on the keyboard goes on from the new page's first control, not from whichever
  // button Qt handed the focus to as the pressed one went.
  if (footerFocused) {
    if (QWidget* first = firstControl(to))
      first->setFocus(DropFocusRing::keyboardInUse() ? Qt::TabFocusReason : Qt::OtherFocusReason);
  }
  // Assistive technology is on the new page at once; only the picture slides.
  AccessibleRole::setHidden(outgoing);
  AccessibleRole::setHidden(incoming, false);
  m_content->layout()->activate();
  auto* fadeIn = new QGraphicsOpacityEffect(incoming);
  auto* fadeOut = new QGraphicsOpacityEffect(outgoing);
  incoming->setGraphicsEffect(fadeIn);
  outgoing->setGraphicsEffect(fadeOut);
  const QPoint home = incoming->pos();

  auto* animation = new QVariantAnimation(this);
  m_transition = animation;
  m_incoming = incoming;
  m_outgoing = outgoing;
  animation->setStartValue(0.0);
  animation->setEndValue(1.0);
  const QPointer<QWidget> in(incoming);
  const QPointer<QWidget> out(outgoing);
  connect(animation, &QVariantAnimation::valueChanged, this, [=, this](const QVariant& value) {
    const qreal t = value.toReal();
    if (in && out) {
      fadeIn->setOpacity(t);
      fadeOut->setOpacity(1 - t);
      // In from the right, out to the left, whichever way the reader goes.
      in->move(home + QPoint(qRound((1 - t) * slideDistance), 0));
      out->move(left.topLeft() - QPoint(qRound(t * slideDistance), 0));
    }
    m_steps->setPosition(int(from) + (int(to) - int(from)) * t);
  });
  connect(animation, &QVariantAnimation::finished, this, &OnboardingView::settleTransition);
  DropMotion::start(*animation, DropMotion::Kind::entrance, UiEnvironment::instance().reduceMotion());
}

QWidget* OnboardingView::firstControl(Page page) const {
  if (page == Page::welcome)
    return m_next;
  if (m_model.signInCode().has_value())
    return m_openBrowser.data();
  return m_continue->isEnabled() ? static_cast<QWidget*>(m_continue) : m_back;
}

void OnboardingView::settleTransition() {
  QVariantAnimation* animation = m_transition;
  if (!animation)
    return;
  m_transition = nullptr;
  animation->disconnect(this);
  animation->stop();
  animation->deleteLater();
  if (m_outgoing) {
    m_outgoing->hide();
    m_outgoing->setGraphicsEffect(nullptr);
  }
  if (m_incoming)
    m_incoming->setGraphicsEffect(nullptr);
  m_steps->setPosition(int(m_state.page()));
  // The page that stays goes back to its place in the layout, and the page area shrinks or
  // grows to it.
  m_pageArea->layout()->invalidate();
  m_content->layout()->invalidate();
  m_content->layout()->activate();
}

void OnboardingView::refresh() {
  const Page page = m_state.page();
  const std::optional<QString>& code = m_model.signInCode();
  const bool hasService = m_model.configuration().apiBaseURL().has_value();
  m_back->setVisible(page != Page::welcome);
  m_next->setVisible(page == Page::welcome);
  m_notNow->setVisible(page == Page::signIn);
  for (QShortcut* shortcut : findChildren<QShortcut*>(QStringLiteral("onboarding.returnKey")))
    shortcut->setEnabled(page == Page::welcome);

  m_slot->setCurrent(code.has_value() ? m_codeBlock : m_startBlock);
  m_code->setCode(code.value_or(QString()));
  m_continue->setEnabled(hasService && !m_model.accountBusy());
  // A reader who pressed "Continue with Google" or "Cancel" from the keyboard goes on from
  // the block that takes their place, rather than from wherever Qt handed the focus.
  QWidget* successor = code.has_value() ? m_openBrowser.data() : m_continue;
  if (m_slotKeepsFocus && successor != nullptr && successor->isVisibleTo(this) && successor->isEnabled()) {
    m_slotKeepsFocus = false;
    successor->setFocus(DropFocusRing::keyboardInUse() ? Qt::TabFocusReason : Qt::OtherFocusReason);
  }
  m_connecting->setVisible(m_model.accountBusy());
  m_startConnecting->setVisible(m_model.accountBusy());
  const std::optional<QString>& message = m_model.message();
  m_message->setText(message.value_or(QString()));
  m_message->setVisible(message.has_value());
  m_noService->setVisible(!hasService);
}

void OnboardingView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  m_model.playInstallChimeOnce();
}

void OnboardingView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  placeLayers();
}

void OnboardingView::placeLayers() {
  m_backdrop->setGeometry(rect());
  m_content->setGeometry(rect());
  m_titlebar->setGeometry(0, 0, width(), TitlebarArea::height);
  m_titlebar->raise();
}

} // namespace brindlewick

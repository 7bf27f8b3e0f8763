#include "ui/account/AccountView.h"

#include "model/ReaderModel.h"
#include "ui/account/AccountAvatar.h"
#include "ui/account/AccountText.h"
#include "ui/account/SignInAddress.h"
#include "ui/account/SyncButton.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropFocusRing.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropGlass.h"
#include "ui/design/DropNotice.h"
#include "ui/design/DropReveal.h"
#include "ui/design/DropSpinner.h"
#include "ui/design/DropTextBlock.h"
#include "ui/design/FitLayout.h"
#include "ui/design/FocusPark.h"
#include "ui/design/ShapeLayoutItem.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace brindlewick {

namespace {

using Body = AccountState::Body;
using Appearance = DropButtonStyle::Appearance;

DropButton* button(const QString& title, Appearance appearance, const QString& identifier,
                   const QString& symbol = {}) {
  auto* result = new DropButton(title, DropButtonStyle{appearance});
  if (!symbol.isEmpty())
    result->setSymbol(symbol);
  DropAccessibility::describe(result, identifier, title);
  return result;
}

QFont codeFont() {
  QFont font = DropFonts::monospaced(24, QFont::DemiBold).font();
  font.setLetterSpacing(QFont::AbsoluteSpacing, 3);
  return font;
}

void setShown(const QList<QWidget*>& widgets, bool shown) {
  for (QWidget* widget : widgets)
    widget->setVisible(shown);
}

} // namespace

QMargins AccountView::buttonRoom() {
  const QMarginsF shadow = DropGlass::shadowMargins();
  return QMargins(int(std::ceil(shadow.left())), int(std::ceil(shadow.top())), int(std::ceil(shadow.right())),
                  int(std::ceil(shadow.bottom())));
}

QString AccountView::importInvitation() {
  return QStringLiteral(
      "Have ideas saved before accounts? Import this computer's previous saves into this account. "
      "The originals are kept.");
}

QString AccountView::approvalText() {
  return QStringLiteral("Approve only the code shown on this computer. Waiting for your approval…");
}

AccountView::AccountView(ReaderModel& model, bool showsSurface, QWidget* parent)
    : QWidget(parent), m_model(model), m_showsSurface(showsSurface) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  auto* stack = new QVBoxLayout(this);
  const QMargins padding =
      showsSurface ? QMargins(surfacePadding, surfacePadding, surfacePadding, surfacePadding) : buttonRoom();
  stack->setContentsMargins(padding);
  stack->setSpacing(16);
  buildHeader(stack);
  buildSignedIn(stack);
  buildCode(stack);
  buildSignIn(stack);
  buildConnecting(stack);
  UiEnvironment::repaintOnChange(this);
  AccountState::watch(model, this, [this] { refresh(); });
  refresh();
  m_built = true;
}

void AccountView::buildHeader(QVBoxLayout* stack) {
  auto* header = new QHBoxLayout;
  header->setSpacing(14);
  m_avatar = new AccountAvatar(AccountAvatar::cardSize);
  header->addWidget(m_avatar, 0, Qt::AlignTop);
  auto* words = new QVBoxLayout;
  words->setSpacing(6);
  m_title = new DropTextBlock;
  m_title->setTextStyle(DropTextBlock::Style{DropFonts::rounded(19, QFont::DemiBold)});
  m_title->setColor(AccountText::primary());
  m_title->setObjectName(QStringLiteral("account.title"));
  AccessibleRole::set(m_title, QAccessible::Heading);
  m_subtitle = AccountText::selectable({}, DropFonts::rounded(AccountText::calloutSize).font(),
                                       AccountText::secondary());
  m_subtitle->setWordWrap(true);
  m_subtitle->setObjectName(QStringLiteral("account.subtitle"));
  words->addWidget(m_title);
  words->addWidget(m_subtitle);
  header->addLayout(words, 1);
  stack->addLayout(header);
}

void AccountView::buildSignedIn(QVBoxLayout* stack) {
  // Sub-layouts, not containers: the buttons' shadows reach into the card's own padding.
  m_actions = new FitLayout;
  FitLayout* actions = m_actions;
  actions->setRowSpacing(12);
  actions->setColumnSpacing(12);
  m_sync = new SyncButton(m_model);
  m_signOut = button(QStringLiteral("Sign out"), Appearance::secondary, QStringLiteral("account.signOut"));
  actions->addWidget(m_sync);
  actions->addWidget(m_signOut);
  connect(m_signOut, &QPushButton::clicked, this, [this] { m_model.signOutAccount(); });

  QWidget* rule = AccountText::divider(0.1);
  DropTextBlock* invitation = AccountText::callout(importInvitation(), AccountText::secondary());
  m_import = button(QStringLiteral("Import previous saves"), Appearance::secondary,
                    QStringLiteral("account.import"), QStringLiteral("square.and.arrow.up"));
  // Its title is the whole instruction: in a narrow card the card grows rather than cut it.
  m_import->setSizePolicy(QSizePolicy::Minimum, m_import->sizePolicy().verticalPolicy());
  connect(m_import, &QPushButton::clicked, this, [this] { m_model.importLegacySaves(); });

  m_signedInBody = {m_sync, m_signOut};
  m_importSection = {rule, invitation, m_import};
  stack->addLayout(m_actions);
  stack->addWidget(rule);
  stack->addWidget(invitation);
  stack->addWidget(m_import, 0, Qt::AlignLeft);
}

void AccountView::buildCode(QVBoxLayout* stack) {
  DropTextBlock* prompt =
      AccountText::callout(QStringLiteral("Confirm this code in your browser"), AccountText::primary());
  m_codeLabel = AccountText::selectable({}, codeFont(), AccountText::primary());
  DropAccessibility::describe(m_codeLabel, QStringLiteral("account.deviceCode"), QString());
  DropTextBlock* approval = AccountText::callout(approvalText(), AccountText::secondary());
  auto* row = new QHBoxLayout;
  row->setSpacing(12);
  m_openBrowser =
      button(QStringLiteral("Open sign-in page"), Appearance::primary, QStringLiteral("account.openBrowser"));
  DropButton* open = m_openBrowser;
  DropButton* cancel =
      button(QStringLiteral("Cancel"), Appearance::secondary, QStringLiteral("account.cancel"));
  row->addWidget(open);
  row->addWidget(cancel);
  row->addStretch(1);
  connect(open, &QPushButton::clicked, this, [this] { m_model.openAccountBrowser(); });
  connect(cancel, &QPushButton::clicked, this, [this] { m_model.cancelAccountSignIn(); });
  // The address goes with the code body, and within it shows while the model has an address.
  // A layout item does not adopt its widget as addWidget does: the card owns the box.
  auto* addressBox = new QWidget(this);
  auto* addressLayout = new QVBoxLayout(addressBox);
  auto* address = new SignInAddress(m_model, AccountText::primary(), AccountText::secondary(),
                                    DropButtonStyle{Appearance::secondary});
  // Placed by what lies inside the copy button's shadow room, so the address and the button's
  // shape line up with the code and the buttons above them.
  addressLayout->setContentsMargins(0, 0, 0, 0);
  addressLayout->addWidget(address);
  const QMargins room = address->copyButtonRoom();
  m_codeBody = {prompt, m_codeLabel, approval, open, cancel, addressBox};
  stack->addWidget(prompt);
  stack->addWidget(m_codeLabel);
  stack->addWidget(approval);
  stack->addLayout(row);
  stack->addItem(new ShapeLayoutItem(addressBox, room));
}

void AccountView::buildSignIn(QVBoxLayout* stack) {
  m_signIn = button(QStringLiteral("Continue with Google"), Appearance::primary,
                    QStringLiteral("account.signIn"), QStringLiteral("arrow.up.right"));
  connect(m_signIn, &QPushButton::clicked, this, [this] { m_model.beginAccountSignIn(); });
  DropTextBlock* reassurance = AccountText::callout(
      QStringLiteral(
          "No password to remember. Your saves, loves, and settings stay connected to your account."),
      AccountText::secondary());
  m_noService = new DropNotice(
      QStringLiteral("Sign-in is unavailable because this build has no service URL configured."),
      QStringLiteral("exclamationmark.circle"), DropNotice::Tone::info);
  m_signInBody = {m_signIn, reassurance, m_noService};
  stack->addWidget(m_signIn, 0, Qt::AlignLeft);
  stack->addWidget(reassurance);
  stack->addWidget(m_noService);
}

void AccountView::buildConnecting(QVBoxLayout* stack) {
  m_connecting = new QWidget;
  auto* row = new QHBoxLayout(m_connecting);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(8);
  row->addWidget(new DropSpinner(DropSpinner::small), 0, Qt::AlignVCenter);
  DropTextBlock* text =
      AccountText::callout(QStringLiteral("Connecting securely…"), AccountText::secondary());
  text->setWrapping(false);
  row->addWidget(text, 1, Qt::AlignVCenter);
  stack->addWidget(m_connecting);
}

bool AccountView::showsConnecting() const {
  return !m_connecting->isHidden();
}

bool AccountView::actionsInRow() const {
  return m_actions->isRow();
}

void AccountView::refresh() {
  const AccountState state = AccountState::read(m_model);
  m_avatar->setUser(state.signedIn ? state.user : std::nullopt);
  m_title->setText(state.cardTitle());
  m_title->setAccessibleName(state.cardTitle());
  m_subtitle->setText(state.cardSubtitle());

  const bool busyChanged = m_built && state.accountBusy != m_accountBusy;
  const bool codeChanged = m_built && state.signInCode != m_code;
  m_accountBusy = state.accountBusy;
  m_code = state.signInCode;

  m_signOut->setEnabled(state.canSignOut());
  m_import->setEnabled(state.canImport());
  m_signIn->setEnabled(state.canBeginSignIn());
  m_codeLabel->setText(state.signInCode.value_or(QString()));
  m_codeLabel->setAccessibleName(state.signInCode.value_or(QString()));

  const Body body = state.body();
  if (body != m_body || !m_built)
    showBody(body, codeChanged);
  setShown(m_importSection, body == Body::signedIn && state.hasLegacySaves);
  m_noService->setVisible(body == Body::signIn && !state.hasServiceAddress);

  m_connecting->setVisible(state.accountBusy);
  if (busyChanged && state.accountBusy)
    DropReveal::fadeIn(m_connecting, DropMotion::Kind::feedback);
}

void AccountView::showBody(Body body, bool animated) {
  // A reader on one of the card's controls (or waiting on one busy with its work) goes on from
  // the body that takes its place: from its leading control, once that can be pressed, rather
  // than from wherever Qt would hand the focus as the old body hides.
  const QWidget* focus = window()->focusWidget();
  const bool keepsFocus = m_built && focus != nullptr && isAncestorOf(focus);
  m_body = body;
  const QList<QWidget*>& shown = body == Body::code     ? m_codeBody
                                 : body == Body::signIn ? m_signInBody
                                                        : m_signedInBody;
  setShown(shown, true);
  if (keepsFocus) {
    DropPaintedButton* leading = body == Body::code     ? m_openBrowser
                                 : body == Body::signIn ? m_signIn
                                                        : static_cast<DropPaintedButton*>(m_sync);
    FocusPark::hold(leading, DropFocusRing::keyboardInUse());
  }
  for (const QList<QWidget*>* other : {&m_signedInBody, &m_codeBody, &m_signInBody}) {
    if (other != &shown)
      setShown(*other, false);
  }
  if (!animated)
    return;
  for (QWidget* widget : shown)
    DropReveal::fadeIn(widget, DropMotion::Kind::entrance);
}

void AccountView::paintEvent(QPaintEvent*) {
  if (!m_showsSurface)
    return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor surface = DropDesign::foreground(UiEnvironment::instance().schemeOf(this));
  const QRectF bounds = QRectF(rect());
  painter.fillPath(DropDesign::roundedRect(bounds, cornerRadius),
                   DropDesign::withOpacity(surface, fillOpacity));
  DropDesign::strokeInnerEdge(painter, bounds, cornerRadius, DropDesign::withOpacity(surface, borderOpacity));
}

} // namespace brindlewick

#include "ui/window/ReaderToolbar.h"

#include "model/ReaderModel.h"
#include "ui/design/DeferredDelete.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropFocusRing.h"
#include "ui/design/DropSearchField.h"
#include "ui/design/PressKeys.h"
#include "ui/window/ReaderPageFactories.h"

#include <QAction>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolBar>

namespace brindlewick {

// MARK: Account button

AccountButton::AccountButton(ReaderModel& model, QWidget* parent) : QAbstractButton(parent), m_model(model) {
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
  setObjectName(QStringLiteral("account.profile"));
  DropFocusRing::watchFocus();
  setAccessibleName(QStringLiteral("Your account"));
  setFixedSize(sizeHint());
  UiEnvironment::repaintOnChange(this);
  connect(&model.account(), &AccountController::userChanged, this, &AccountButton::refresh);
  connect(&model.account(), &AccountController::isSignedInChanged, this, &AccountButton::refresh);
  refresh();
}

QSize AccountButton::sizeHint() const {
  // Room for the focus ring around the circle.
  return QSize(avatarSize + 6, avatarSize + 6);
}

QRectF AccountButton::circle() const {
  return QRectF((width() - avatarSize) / 2.0, (height() - avatarSize) / 2.0, avatarSize, avatarSize);
}

bool AccountButton::hitButton(const QPoint& pos) const {
  QPainterPath disc;
  disc.addEllipse(circle());
  return disc.contains(QPointF(pos) + QPointF(0.5, 0.5));
}

void AccountButton::refresh() {
  const AccountController& account = m_model.account();
  const std::optional<ReaderAccountUser>& user = account.user();
  // The tooltip names whoever the account still holds, signed in or not.
  DropAccessibility::setHelp(this, user ? user->email : QStringLiteral("Sign in or create your account"));
  // A sign-out clicked inside the window may land here while the old avatar still paints.
  DeferredDelete::retire(m_avatar);
  m_avatar = ReaderPageFactories::accountAvatar(account.isSignedIn() ? user : std::nullopt, avatarSize);
  m_avatar->setParent(this);
  m_avatar->setAttribute(Qt::WA_TransparentForMouseEvents);
  m_avatar->setGeometry(circle().toRect());
  m_avatar->show();
}

void AccountButton::resizeEvent(QResizeEvent* event) {
  QAbstractButton::resizeEvent(event);
  if (m_avatar)
    m_avatar->setGeometry(circle().toRect());
}

void AccountButton::focusInEvent(QFocusEvent* event) {
  QAbstractButton::focusInEvent(event);
  // The ring shows for focus the keyboard brought. Focus given back (the window active again,
  // the dropdown closed) shows it as it was when it left; a click or a program shows none.
  switch (event->reason()) {
  case Qt::ActiveWindowFocusReason:
  case Qt::PopupFocusReason: break;
  case Qt::OtherFocusReason: m_focusVisible = m_focusVisible && m_returning; break;
  default: m_focusVisible = DropFocusRing::keyboardBrought(event->reason());
  }
  m_returning = false;
  update();
}

void AccountButton::focusOutEvent(QFocusEvent* event) {
  QAbstractButton::focusOutEvent(event);
  // To the dropdown it opened, or out of the window: focus comes back here as it left.
  m_returning = event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason;
  if (!m_returning)
    m_focusVisible = false;
  update();
}

void AccountButton::keyPressEvent(QKeyEvent* event) {
  if (!m_focusVisible) {
    m_focusVisible = true;
    update();
  }
  // Return and Enter open the dropdown as Space does, as on every button of ours.
  if (PressKeys::isActivation(*event)) {
    event->accept();
    if (!event->isAutoRepeat())
      click();
    return;
  }
  QAbstractButton::keyPressEvent(event);
}

void AccountButton::paintEvent(QPaintEvent*) {
  if (!showsFocusRing())
    return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const ColorScheme scheme = UiEnvironment::instance().schemeOf(this);
  painter.setPen(QPen(DropDesign::withOpacity(DropDesign::foreground(scheme), 0.5), 2));
  painter.drawEllipse(circle().adjusted(-2, -2, 2, 2));
}

// MARK: Toolbar

ReaderToolbar::ReaderToolbar(ReaderModel& model, QWidget* parent)
    : QWidget(parent), m_model(model),
      m_search(new DropSearchField(QStringLiteral("Search your reading"), this)),
      m_account(new AccountButton(model, this)) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  m_search->setObjectName(QStringLiteral("library.search"));
  m_search->setFixedWidth(searchWidth);
  m_search->setText(model.librarySearch());
  connect(m_search, &DropSearchField::textEdited, &model, &ReaderModel::setLibrarySearch);
  connect(&model, &ReaderModel::librarySearchChanged, this,
          [this] { m_search->setText(m_model.librarySearch()); });
  // The account button follows the search in the keyboard order.
  setTabOrder(m_search, m_account);
}

QColor ReaderToolbar::background(ColorScheme scheme) {
  return scheme == ColorScheme::dark ? DropDesign::underPageBackground(scheme) : DropDesign::grey(0.965);
}

void ReaderToolbar::install(QToolBar* bar) {
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setAllowedAreas(Qt::TopToolBarArea);
  bar->setContextMenuPolicy(Qt::PreventContextMenu);
  // The window's own context menu lists its toolbars by this action; hidden, it lists none.
  bar->toggleViewAction()->setVisible(false);
  bar->setContentsMargins(0, 0, 0, 0);
  bar->addWidget(this);
  bar->installEventFilter(this);
  connect(&UiEnvironment::instance(), &UiEnvironment::changed, bar, qOverload<>(&QWidget::update));
}

QSize ReaderToolbar::sizeHint() const {
  return QSize(searchWidth + 2 * (AccountButton::avatarSize + trailingMargin), barHeight);
}

void ReaderToolbar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  place();
}

void ReaderToolbar::place() {
  // Centred in the window, whatever the toolbar's own margins.
  const int windowWidth = window()->width();
  const int searchX = mapFrom(window(), QPoint((windowWidth - searchWidth) / 2, 0)).x();
  const int searchHeight = m_search->sizeHint().height();
  m_search->setGeometry(searchX, (height() - searchHeight) / 2, searchWidth, searchHeight);
  const QSize button = m_account->size();
  m_account->move(width() - trailingMargin - button.width(), (height() - button.height()) / 2);
}

bool ReaderToolbar::eventFilter(QObject* watched, QEvent* event) {
  auto* bar = qobject_cast<QToolBar*>(watched);
  if (bar != nullptr && event->type() == QEvent::Paint) {
    // The toolbar's colour, instead of the style's toolbar panel.
    QPainter painter(bar);
    painter.fillRect(bar->rect(), background(UiEnvironment::instance().schemeOf(bar)));
    return true;
  }
  if (bar != nullptr && event->type() == QEvent::Resize)
    place();
  return QWidget::eventFilter(watched, event);
}

} // namespace brindlewick

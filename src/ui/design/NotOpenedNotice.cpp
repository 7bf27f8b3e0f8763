#include "ui/design/NotOpenedNotice.h"

#include "ui/design/DropAccessibility.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropStandardStyle.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/DropTextBlock.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace brindlewick {

namespace {

constexpr int kNoticePadding = 14;
constexpr int kNoticeGap = 4; // between the anchor and the notice
// How far below a window's top edge a notice for the window sits.
constexpr int kWindowNoticeDrop = 48;

QPointer<NotOpenedNotice>& shownNotice() {
  static QPointer<NotOpenedNotice> notice;
  return notice;
}

DropTextBlock* noticeText(const QString& text, DropFont font, bool secondary) {
  auto* block = new DropTextBlock(text);
  block->setTextStyle(DropTextBlock::Style{font});
  block->setColor([secondary](const UiTraits& traits) {
    const DropStandardStyle::Colors colors = DropStandardStyle::colors(traits);
    return secondary ? colors.secondaryText : colors.text;
  });
  block->setLineSpacing(2);
  block->setAccessibleName(text);
  return block;
}

} // namespace

NotOpenedNotice::Anchor NotOpenedNotice::Anchor::under(const QWidget* widget) {
  std::optional<ColorScheme> scheme;
  for (const QWidget* current = widget; current != nullptr && !scheme; current = current->parentWidget())
    scheme = UiEnvironment::forcedScheme(current);
  if (widget->isWindow()) {
    const QRect frame = widget->geometry();
    return {QRect(frame.center().x() - noticeWidth / 2, frame.top(), noticeWidth, kWindowNoticeDrop), scheme,
            widget->windowHandle()};
  }
  return {QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size()), scheme, widget->window()->windowHandle()};
}

NotOpenedNotice::Anchor NotOpenedNotice::Anchor::screenTop() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect room = screen != nullptr ? screen->availableGeometry() : QRect();
  return {QRect(room.center().x() - noticeWidth / 2, room.top(), noticeWidth, kWindowNoticeDrop)};
}

NotOpenedNotice::Content NotOpenedNotice::forAddress(const QUrl& url) {
  const QString address = url.toString(QUrl::FullyEncoded);
  return Content{
      QStringLiteral("link.notOpened"), browserTitle, browserText, address, copyAddressTitle, address};
}

NotOpenedNotice* NotOpenedNotice::current() {
  return shownNotice();
}

NotOpenedNotice* NotOpenedNotice::present(const Content& content, const Anchor& anchor) {
  if (NotOpenedNotice* previous = shownNotice())
    previous->close();
  auto* notice = new NotOpenedNotice(content);
  shownNotice() = notice;
  UiEnvironment::forceScheme(notice, anchor.scheme);
  if (anchor.window) {
    notice->winId(); // gives it the window that takes the parent
    notice->windowHandle()->setTransientParent(anchor.window);
  }
  notice->place(anchor.area);
  notice->show();
  notice->m_copy->setFocus(Qt::PopupFocusReason);
  return notice;
}

NotOpenedNotice::NotOpenedNotice(const Content& content)
    : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint) {
  setAttribute(Qt::WA_DeleteOnClose);
  setAttribute(Qt::WA_TranslucentBackground);
  setObjectName(content.identifier);
  setAccessibleName(content.title);
  DropStandardWidgets::adopt(this);
  UiEnvironment::repaintOnChange(this);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(kNoticePadding, kNoticePadding, kNoticePadding, kNoticePadding);
  column->setSpacing(6);
  m_title = noticeText(content.title, DropFonts::rounded(14, QFont::DemiBold), false);
  m_text = noticeText(content.text, DropFonts::rounded(12), true);
  m_address = noticeText(content.address, DropFonts::rounded(13, QFont::Medium), false);
  m_address->setObjectName(content.identifier + QStringLiteral(".address"));
  m_address->setSelectable(true);
  column->addWidget(m_title);
  column->addWidget(m_text);
  column->addWidget(m_address);
  // Hidden explicitly, it stays so when the notice shows; the layout closes up around it.
  m_address->setVisible(!content.address.isEmpty());
  column->addSpacing(4);
  m_copy = new DropButton(content.copyTitle, dropControl({.prominent = true, .compact = true}));
  DropAccessibility::describe(m_copy, content.identifier + QStringLiteral(".copy"), content.copyTitle);
  column->addWidget(m_copy, 0, Qt::AlignRight);
  // The reader chose the way out: it is on the clipboard, and the notice has said its piece.
  connect(m_copy, &QPushButton::clicked, this, [this, copied = content.copied] {
    QGuiApplication::clipboard()->setText(copied);
    close();
  });
  // Nothing outlives the application: a notice still open goes with it.
  connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { delete this; });

  setFixedSize(noticeWidth, column->totalHeightForWidth(noticeWidth));
}

QString NotOpenedNotice::title() const {
  return m_title->text();
}

QString NotOpenedNotice::text() const {
  return m_text->text();
}

QString NotOpenedNotice::address() const {
  return m_address->text();
}

void NotOpenedNotice::place(const QRect& anchor) {
  const QScreen* screen = QGuiApplication::screenAt(anchor.center());
  if (screen == nullptr)
    screen = QGuiApplication::primaryScreen();
  QRect frame(QPoint(anchor.left(), anchor.bottom() + 1 + kNoticeGap), size());
  if (screen != nullptr) {
    const QRect room = screen->availableGeometry();
    if (frame.bottom() > room.bottom())
      frame.moveBottom(anchor.top() - 1 - kNoticeGap);
    frame.moveLeft(std::clamp(frame.left(), room.left(), std::max(room.left(), room.right() + 1 - width())));
    frame.moveTop(std::clamp(frame.top(), room.top(), std::max(room.top(), room.bottom() + 1 - height())));
  }
  move(frame.topLeft());
}

void NotOpenedNotice::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  DropStandardStyle::paintPopupSurface(painter, QRectF(rect()),
                                       DropStandardStyle::colors(UiEnvironment::instance().traitsOf(this)));
}

void NotOpenedNotice::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

} // namespace brindlewick

#include "ui/account/AccountAvatar.h"

#include "model/ReaderModel.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropSymbols.h"
#include "ui/design/UiEnvironment.h"

#include <QLoggingCategory>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace brindlewick {

namespace {

Q_LOGGING_CATEGORY(lcAvatar, "app.brindlewick.AccountAvatar")

} // namespace

AccountAvatar::AccountAvatar(qreal diameter, QWidget* parent)
    : QWidget(parent), m_diameter(diameter), m_identity(identity(std::nullopt)) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  AccessibleRole::setHidden(this);
  UiEnvironment::repaintOnChange(this);
}

AccountAvatar::AccountAvatar(ReaderModel& model, qreal diameter, QWidget* parent)
    : AccountAvatar(diameter, parent) {
  AccountController& account = model.account();
  setUser(account.user());
  connect(&account, &AccountController::userChanged, this, [this, &account] { setUser(account.user()); });
}

QString AccountAvatar::identity(const std::optional<ReaderAccountUser>& user) {
  if (!user)
    return QStringLiteral(":");
  return user->id + QLatin1Char(':') + user->image.value_or(QString());
}

void AccountAvatar::setUser(const std::optional<ReaderAccountUser>& user) {
  const std::optional<QString> oldImage = m_user ? m_user->image : std::nullopt;
  m_user = user;
  const std::optional<QString> newImage = m_user ? m_user->image : std::nullopt;
  const QString next = identity(m_user);
  if (next != m_identity) {
    m_identity = next;
    m_failureLogged = false;
    reload();
  }
  if (m_shownOnce && oldImage != newImage)
    checkAddress();
}

void AccountAvatar::reload() {
  m_ticket.release();
  m_photo = QImage();
  update();
  const std::optional<QUrl> url = m_user ? m_user->imageURL() : std::nullopt;
  if (!url)
    return;
  AvatarImageLoader& loader = AvatarImageLoader::instance();
  if (const std::optional<QImage> cached = loader.cached(*url)) {
    m_photo = *cached;
    return;
  }
  m_ticket = loader.load(*url, [this](const QImage& image) {
    m_photo = image;
    if (image.isNull() && !m_failureLogged) {
      m_failureLogged = true;
      qCCritical(lcAvatar).noquote() << failedMessage;
    }
    update();
  });
}

void AccountAvatar::checkAddress() {
  if (m_user && m_user->image && !m_user->image->isEmpty() && !m_user->imageURL())
    qCCritical(lcAvatar).noquote() << unsupportedMessage;
}

void AccountAvatar::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (m_shownOnce)
    return;
  m_shownOnce = true;
  checkAddress();
}

QSize AccountAvatar::sizeHint() const {
  const int side = int(std::ceil(m_diameter));
  return QSize(side, side);
}

void AccountAvatar::paintPhoto(QPainter& painter, const QRectF& circle, const QImage& photo) {
  const QSizeF covering = QSizeF(photo.size()).scaled(circle.size(), Qt::KeepAspectRatioByExpanding);
  const QRectF target(circle.center() - QPointF(covering.width(), covering.height()) / 2, covering);
  QPainterPath clip;
  clip.addEllipse(circle);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.setClipPath(clip);
  painter.drawImage(target, photo);
  painter.restore();
}

void AccountAvatar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRectF circle(QPointF(width() - m_diameter, height() - m_diameter) / 2,
                      QSizeF(m_diameter, m_diameter));
  if (!m_photo.isNull()) {
    paintPhoto(painter, circle, m_photo);
    return;
  }
  const ColorScheme scheme = UiEnvironment::instance().schemeOf(this);
  DropSymbols::paint(painter, QStringLiteral("person.crop.circle"), circle, m_diameter, QFont::Normal,
                     scheme == ColorScheme::dark ? DropDesign::paper() : DropDesign::ink());
}

} // namespace brindlewick

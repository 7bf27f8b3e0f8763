#pragma once

#include "account/AccountContracts.h"
#include "ui/account/AvatarImageLoader.h"

#include <QImage>
#include <QWidget>

#include <optional>

namespace brindlewick {

class ReaderModel;

// The reader's profile photo in a circle `diameter` across, cropped to fill it; the person
// symbol in its place while there is no reader, no usable address, nothing loaded yet, or
// the load failed. Photos come from the shared AvatarImageLoader. Decoration: it says
// nothing to assistive technology.
//
// Its only log output, at critical level under "app.brindlewick.AccountAvatar": the
// unsupported-address line when it is first shown and at each change of the photo address
// afterwards, and the failed-load line once per reader and address that failed. Neither
// carries the address.
class AccountAvatar : public QWidget {
  Q_OBJECT

public:
  static inline const QString unsupportedMessage =
      QStringLiteral("Profile photo URL is unsupported; showing the account icon.");
  static inline const QString failedMessage =
      QStringLiteral("Profile photo could not load; showing the account icon.");
  static constexpr qreal toolbarSize = 28;
  static constexpr qreal menuSize = 36;
  static constexpr qreal cardSize = 28;

  explicit AccountAvatar(qreal diameter, QWidget* parent = nullptr);
  // Shows the account's cached user, signed in or not, and follows it.
  AccountAvatar(ReaderModel& model, qreal diameter, QWidget* parent = nullptr);

  const std::optional<ReaderAccountUser>& user() const { return m_user; }
  void setUser(const std::optional<ReaderAccountUser>& user);
  qreal diameter() const { return m_diameter; }
  // A photo is loaded and drawn.
  bool showsPhoto() const { return !m_photo.isNull(); }
  // Waiting for the loader.
  bool isLoading() const { return m_ticket.isWaiting(); }

  // "<id>:<image>": a new one discards the photo and loads again.
  static QString identity(const std::optional<ReaderAccountUser>& user);
  // `photo` scaled to cover `circle` (centred, never letterboxed) and clipped to it.
  static void paintPhoto(QPainter& painter, const QRectF& circle, const QImage& photo);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;

private:
  void reload();
  void checkAddress();

  qreal m_diameter;
  std::optional<ReaderAccountUser> m_user;
  QString m_identity;
  QImage m_photo;
  AvatarImageLoader::Ticket m_ticket;
  bool m_shownOnce = false;
  bool m_failureLogged = false;
};

} // namespace brindlewick

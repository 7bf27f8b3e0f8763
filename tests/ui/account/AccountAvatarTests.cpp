#include "AsyncProbe.h"
#include "ContactSheet.h"
#include "MessageCapture.h"
#include "ScriptedTlsServer.h"
#include "StandInHarness.h"
#include "ui/account/AccountAvatar.h"
#include "ui/account/AvatarImageLoader.h"

#include <QBuffer>
#include <QHBoxLayout>
#include <QPainter>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using Step = ScriptedTlsServer::Step;

// A photo twice as wide as high: red, with a blue band down its middle.
QByteArray widePhoto() {
  QImage image(240, 120, QImage::Format_RGB32);
  image.fill(Qt::red);
  QPainter(&image).fillRect(110, 0, 20, 120, Qt::blue);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

class AccountAvatarTest : public ::testing::Test {
protected:
  AccountAvatarTest() {
    AvatarImageLoader::instance().setClient(harness.makeClient());
    service.publishPhoto(QStringLiteral("ada"), widePhoto());
  }
  ~AccountAvatarTest() override { AvatarImageLoader::instance().setClient(nullptr); }

  static ReaderAccountUser reader(const QString& image, const QString& id = QStringLiteral("reader-7")) {
    return {id, QStringLiteral("Ada"), QStringLiteral("ada@example.com"), image};
  }
  QString photo(const QString& name) const { return service.photoURL(name).toString(); }
  int photoRequests() const {
    int count = 0;
    for (const LoggedRequest& request : service.requestLog())
      count += request.path.startsWith(QStringLiteral("/photos/")) ? 1 : 0;
    return count;
  }
  // Shows an avatar of `user` and waits until its load ended.
  std::unique_ptr<AccountAvatar> shown(const std::optional<ReaderAccountUser>& user, qreal size = 36) {
    auto avatar = std::make_unique<AccountAvatar>(size);
    avatar->setUser(user);
    avatar->show();
    EXPECT_TRUE(waitUntil([&] { return !avatar->isLoading(); }));
    return avatar;
  }

  StandInHarness harness;
  ReadingService& service = harness.service();
  testing::MessageCapture log{"app.brindlewick.AccountAvatar"};
};

TEST_F(AccountAvatarTest, OneAddressIsFetchedOnceForEveryAvatarAndDrawnFillingItsCircle) {
  std::vector<std::unique_ptr<AccountAvatar>> avatars;
  for (const qreal size : {28, 36, 28}) {
    avatars.push_back(std::make_unique<AccountAvatar>(size));
    avatars.back()->setUser(reader(photo(QStringLiteral("ada"))));
  }
  ASSERT_TRUE(waitUntil([&] { return avatars[0]->showsPhoto() && avatars[2]->showsPhoto(); }));
  EXPECT_TRUE(avatars[1]->showsPhoto());
  // A later avatar finds it cached; the scheme's case does not make another address.
  QString upper = photo(QStringLiteral("ada"));
  upper.replace(0, 5, QStringLiteral("HTTPS"));
  EXPECT_TRUE(shown(reader(upper))->showsPhoto());
  EXPECT_EQ(photoRequests(), 1);

  QImage picture(36, 36, QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::transparent);
  avatars[1]->resize(avatars[1]->sizeHint());
  avatars[1]->render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
  // The band stays in the middle and reaches the top of the circle (letterboxed, the top
  // quarter would be empty); the red reaches its sides; outside the circle nothing is drawn.
  EXPECT_EQ(picture.pixelColor(18, 2), QColor(Qt::blue));
  EXPECT_EQ(picture.pixelColor(3, 18), QColor(Qt::red));
  EXPECT_EQ(picture.pixelColor(1, 1).alpha(), 0);
  EXPECT_TRUE(log.records().isEmpty());
}

// Unsafe addresses are never requested and say so once per change; failed loads show the
// symbol, say so once, are not cached, and nothing written names the address.
TEST_F(AccountAvatarTest, RefusedAndFailedPhotosShowTheSymbol) {
  ReadingService elsewhere(harness.serverIdentity());
  elsewhere.listen();
  elsewhere.publishPhoto(QStringLiteral("ada"), widePhoto());
  service.setReply(
      "GET", QStringLiteral("/photos/away"),
      {302, {{"Location", elsewhere.photoURL(QStringLiteral("ada")).toString().toUtf8()}}, {}, "text/plain"});
  service.publishPhoto(QStringLiteral("huge"), QByteArray(AvatarImageLoader::maximumBytes + 1, 'x'));
  service.publishPhoto(QStringLiteral("garbage"), QByteArray("not a picture"));
  ScriptedTlsServer cut(
      harness.serverIdentity(),
      {Step::write(ScriptedTlsServer::head(200, {"Content-Length: 5000"}) + "\x89PNG"), Step::abort()});

  auto avatar = shown(reader(QString()));
  const QString port = QString::number(service.baseURL().port());
  for (const QString& unsafe :
       {QStringLiteral("http://127.0.0.1:%1/photos/ada").arg(port), QStringLiteral("https:///photos/ada"),
        QStringLiteral("https://a:b@127.0.0.1:%1/photos/ada").arg(port)})
    avatar->setUser(reader(unsafe));
  EXPECT_EQ(log.records().size(), 3);
  avatar->setUser(
      reader(QStringLiteral("https://a:b@127.0.0.1:%1/photos/ada").arg(port), QStringLiteral("another")));
  EXPECT_EQ(log.records().size(), 3); // the same address for another reader: no change of it
  EXPECT_EQ(photoRequests(), 0);

  for (const QString& failing :
       {photo(QStringLiteral("away")), photo(QStringLiteral("huge")), photo(QStringLiteral("garbage")),
        photo(QStringLiteral("missing")), cut.baseURL().toString() + QStringLiteral("/photos/ada")}) {
    SCOPED_TRACE(failing.toStdString());
    EXPECT_FALSE(shown(reader(failing))->showsPhoto());
  }
  EXPECT_TRUE(elsewhere.requestLog().isEmpty());
  EXPECT_EQ(log.records().size(), 3 + 5);
  // Not cached: a new avatar asks again.
  EXPECT_FALSE(shown(reader(photo(QStringLiteral("garbage"))))->showsPhoto());
  EXPECT_EQ(photoRequests(), 5);
  for (const auto& record : log.records()) {
    EXPECT_EQ(record.type, QtCriticalMsg);
    EXPECT_TRUE(record.message == AccountAvatar::unsupportedMessage ||
                record.message == AccountAvatar::failedMessage);
  }
}

// A request is shared while anyone waits for it and cancelled when nobody does.
TEST_F(AccountAvatarTest, AvatarsLeavingTheirIdentityDetachFromTheSharedRequest) {
  service.addFault("GET", QStringLiteral("/photos/ada"), {.hold = true});
  AccountAvatar first(28);
  AccountAvatar second(36);
  first.setUser(reader(photo(QStringLiteral("ada"))));
  second.setUser(reader(photo(QStringLiteral("ada"))));
  ASSERT_TRUE(waitUntil([&] { return service.heldReplies() == 1; }));
  AvatarImageLoader& loader = AvatarImageLoader::instance();
  first.setUser(std::nullopt);
  EXPECT_EQ(loader.pending(), 1);
  second.setUser(reader(photo(QStringLiteral("ada")), QStringLiteral("another-reader")));
  EXPECT_EQ(loader.pending(), 1); // a new identity: a fresh wait, the old one released
  second.setUser(std::nullopt);
  EXPECT_EQ(loader.pending(), 0);
  // The cancelled transfer hangs up: the held reply has nobody to go to.
  EXPECT_TRUE(waitUntil([&] { return service.heldReplies() == 0; }));
  EXPECT_TRUE(log.records().isEmpty());
}

TEST_F(AccountAvatarTest, Renders) {
  testing::ContactSheet sheet;
  const auto row = [&](const std::optional<ReaderAccountUser>& user) {
    auto holder = std::make_unique<QWidget>();
    auto* layout = new QHBoxLayout(holder.get());
    layout->setSpacing(16);
    for (const qreal size : {AccountAvatar::toolbarSize, AccountAvatar::menuSize}) {
      auto* avatar = new AccountAvatar(size);
      avatar->setUser(user);
      layout->addWidget(avatar, 0, Qt::AlignVCenter);
    }
    layout->addStretch(1);
    holder->show();
    EXPECT_TRUE(waitUntil([&] { return !holder->findChild<AccountAvatar*>()->isLoading(); }));
    return holder;
  };
  sheet.add(QStringLiteral("photo (wide, cropped to its circle)"), *row(reader(photo(QStringLiteral("ada")))),
            200);
  sheet.add(QStringLiteral("symbol"), *row(std::nullopt), 200);
  sheet.write(QStringLiteral("account-avatars.png"));
}

} // namespace
} // namespace brindlewick

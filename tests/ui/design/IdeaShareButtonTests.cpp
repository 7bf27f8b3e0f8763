#include "AccountFixtures.h"
#include "UrlCatcher.h"
#include "content/ShareText.h"
#include "ui/design/IdeaShareButton.h"

#include <QAction>
#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QUrlQuery>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

// An idea whose text holds what a mail address or a clipboard could mangle.
DropSnapshot awkwardIdea() {
  DropSnapshot snapshot = AccountFixtures::snapshot(1);
  snapshot.lore.explanation =
      QStringLiteral("Salt & pepper + 100% #1 idea?\nSecond line: caf\u00e9 \u2014 \u6f22\u5b57 \U0001F4DA");
  return snapshot;
}

QAction* action(const IdeaShareButton& button, const QString& text) {
  for (QAction* candidate : button.shareMenu()->actions()) {
    if (candidate->text() == text)
      return candidate;
  }
  return nullptr;
}

TEST(IdeaShareButton, APressPopsItsMenuUp) {
  QWidget window;
  auto* button = new IdeaShareButton(awkwardIdea(), true, QStringLiteral("reader"), &window);
  window.resize(100, 80);
  window.show();
  QTest::mouseClick(button, Qt::LeftButton, {}, button->shapeRect().center());
  EXPECT_TRUE(button->shareMenu()->isVisible());
  button->shareMenu()->hide();
}

TEST(IdeaShareButton, CopyPutsExactlyTheShareTextOnTheClipboardAsPlainText) {
  const DropSnapshot idea = awkwardIdea();
  IdeaShareButton button(idea, false, QStringLiteral("library.x"));
  QGuiApplication::clipboard()->clear();
  action(button, QStringLiteral("Copy"))->trigger();
  const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(copied, nullptr);
  EXPECT_EQ(copied->formats(), QStringList{QStringLiteral("text/plain")});
  EXPECT_EQ(copied->text(), shareText(idea));
}

TEST(IdeaShareButton, EMailOpensAMessageWhoseBodyDecodesBackToTheShareText) {
  const DropSnapshot idea = awkwardIdea();
  IdeaShareButton button(idea, false, QStringLiteral("library.x"));
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
  action(button, QStringLiteral("E-mail\u2026"))->trigger();
  QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));

  ASSERT_EQ(catcher.urls.size(), 1);
  const QUrl url = catcher.urls.first();
  EXPECT_EQ(url.scheme(), QStringLiteral("mailto"));
  EXPECT_TRUE(url.path().isEmpty());
  const QUrlQuery query(url);
  EXPECT_EQ(query.queryItems().size(), 1); // a body and no subject
  EXPECT_TRUE(url.toString(QUrl::FullyEncoded).contains(QStringLiteral("%0D%0A")));
  QString body = query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded);
  body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  EXPECT_EQ(body, shareText(idea));
}

} // namespace
} // namespace brindlewick

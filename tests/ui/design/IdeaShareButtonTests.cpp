#include "AccountFixtures.h"
#include "desktop/FakeUrlOpener.h"
#include "content/ShareText.h"
#include "ui/design/DropButton.h"
#include "ui/design/IdeaShareButton.h"
#include "ui/design/NotOpenedNotice.h"

#include <QAction>
#include <QClipboard>
#include <QApplication>
#include <QPushButton>
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

int noMailWindows() {
  int count = 0;
  for (QWidget* widget : QApplication::topLevelWidgets())
    count += widget->objectName() == QStringLiteral("share.noMailProgram") && widget->isVisible();
  return count;
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
  FakeUrlOpener mail;
  const InstalledUrlOpener installed(mail);
  action(button, QStringLiteral("E-mail\u2026"))->trigger();
  QCoreApplication::processEvents();
  EXPECT_EQ(noMailWindows(), 0) << "a mail program took it";

  ASSERT_EQ(mail.opened.size(), 1);
  const QUrl url = mail.opened.first();
  EXPECT_EQ(url.scheme(), QStringLiteral("mailto"));
  EXPECT_TRUE(url.path().isEmpty());
  const QUrlQuery query(url);
  EXPECT_EQ(query.queryItems().size(), 1); // a body and no subject
  EXPECT_TRUE(url.toString(QUrl::FullyEncoded).contains(QStringLiteral("%0D%0A")));
  QString body = query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded);
  body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  EXPECT_EQ(body, shareText(idea));
}

// Without a mail program the reader is told so, from the menu as they chose, and the notice
// that says it offers Copy; the button may be gone by then (its card closed).
TEST(IdeaShareButton, WithoutAMailProgramANoticeSaysSoAndCopiesTheIdea) {
  const DropSnapshot idea = awkwardIdea();
  FakeUrlOpener mail;
  mail.opens = false;
  mail.holding = true;
  const InstalledUrlOpener installed(mail);
  auto window = std::make_unique<QWidget>();
  auto* button = new IdeaShareButton(idea, true, QStringLiteral("reader"), window.get());
  window->resize(100, 80);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  QTest::mouseClick(button, Qt::LeftButton, {}, button->shapeRect().center());
  QMenu* menu = button->shareMenu();
  ASSERT_TRUE(menu->isVisible());
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action(*button, QStringLiteral("E-mail\u2026"))).center());
  ASSERT_EQ(mail.opened.size(), 1);
  window.reset();
  mail.release();
  ASSERT_TRUE(QTest::qWaitFor([] { return noMailWindows() == 1; }, 2000));

  NotOpenedNotice* notice = NotOpenedNotice::current();
  ASSERT_NE(notice, nullptr);
  EXPECT_EQ(notice->objectName(), "share.noMailProgram");
  EXPECT_EQ(notice->title(), "No mail program opened");
  EXPECT_EQ(notice->text(), "This computer has no mail program set up to write a new message. Copy puts "
                            "the idea on the clipboard, to paste into any message.");
  EXPECT_TRUE(notice->address().isEmpty()) << "the idea is not an address to show";
  QGuiApplication::clipboard()->clear();
  auto* copy = notice->findChild<DropButton*>(QStringLiteral("share.noMailProgram.copy"));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->text(), "Copy");
  const QPointer<NotOpenedNotice> alive(notice);
  QTest::mouseClick(copy, Qt::LeftButton, {}, copy->shapeRect().center());
  EXPECT_EQ(QGuiApplication::clipboard()->text(), shareText(idea));
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(alive.isNull()) << "the notice goes once it answered";
}

} // namespace
} // namespace brindlewick

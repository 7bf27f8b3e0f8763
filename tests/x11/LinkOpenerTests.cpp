#include "TestOutput.h"
#include "desktop/FakeUrlOpener.h"
#include "ui/card/BookLine.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropTextBlock.h"
#include "ui/design/IdeaShareButton.h"
#include "ui/design/NotOpenedNotice.h"
#include "ui/reading/ReadingText.h"
#include "ui/reading/SourceRow.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QTest>
#include <QTextCursor>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace brindlewick {
namespace {

const QUrl kAddress(QStringLiteral("https://example.com/books/thinking-in-systems?chapter=2#leverage"));

// A press on a link the reader can make, on the real widget, in a shown window.
struct Origin {
  const char* name;
  std::function<QWidget*(QWidget& window)> build;
  std::function<void(QWidget& widget)> press;
};

// A click on the third character of `text`, which the link covers.
void clickLink(ReadingText& text) {
  QTextCursor onLink(text.document());
  onLink.setPosition(2);
  QTest::mouseClick(text.viewport(), Qt::LeftButton, {}, text.cursorRect(onLink).center());
}

Source linkedSource() {
  Source source;
  source.id = QStringLiteral("s1");
  source.bookId = QStringLiteral("b1");
  source.title = QStringLiteral("Leverage points");
  source.url = kAddress.toString();
  source.locator = QStringLiteral("Chapter 6");
  return source;
}

const Origin kOrigins[] = {
    {"a link in reading text",
     [](QWidget& window) {
       auto* text = new ReadingText({}, &window);
       text->setRuns({ReadingText::Run{QStringLiteral("Thinking in Systems"), kAddress},
                      ReadingText::Run{QStringLiteral(" \u00B7 Donella Meadows")}});
       return text;
     },
     [](QWidget& widget) { clickLink(static_cast<ReadingText&>(widget)); }},
    {"a source's title", [](QWidget& window) { return new SourceRow(linkedSource(), 15, &window); },
     [](QWidget& widget) { clickLink(*static_cast<SourceRow&>(widget).title()); }},
    {"a source's press for assistive technology",
     [](QWidget& window) { return new SourceRow(linkedSource(), 15, &window); },
     [](QWidget& widget) {
       QAccessible::queryAccessibleInterface(&widget)->actionInterface()->doAction(
           QAccessibleActionInterface::pressAction());
       QCoreApplication::processEvents(); // the press runs once the request is answered
     }},
    {"a book's title on the card",
     [](QWidget& window) {
       Book book;
       book.id = QStringLiteral("b1");
       book.title = QStringLiteral("Thinking in Systems");
       book.authors = {QStringLiteral("Donella Meadows")};
       return new BookLine(
           book, BookLine::Link{kAddress, QStringLiteral("Chapter 6")}, [] {}, &window);
     },
     [](QWidget& widget) {
       QAbstractButton* title = static_cast<BookLine&>(widget).titleControl();
       QTest::mouseClick(title, Qt::LeftButton, {}, title->rect().center());
     }},
};

class LinkOpenerTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (QGuiApplication::platformName() != QStringLiteral("xcb"))
      GTEST_SKIP() << "needs an X server (xvfb-run) to keep pop-ups open";
    ASSERT_TRUE(DropFonts::registerFonts());
  }

  void TearDown() override {
    if (NotOpenedNotice* notice = NotOpenedNotice::current())
      notice->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  // The origin in a shown window of its own.
  QWidget* shown(const Origin& origin) {
    m_window = std::make_unique<QWidget>();
    auto* column = new QVBoxLayout(m_window.get());
    QWidget* widget = origin.build(*m_window);
    column->addWidget(widget);
    m_window->resize(420, 120);
    m_window->show();
    // Active, as a window the reader clicks in is: a window that becomes active closes pop-ups.
    m_window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    return widget;
  }

  // Lets the opener's answer arrive and be acted on.
  static void settle() {
    for (int round = 0; round < 3; ++round)
      QCoreApplication::processEvents();
  }

  std::unique_ptr<QWidget> m_window;
};

// Every link the reader presses goes to the desktop through the one opener; when it answers
// that nothing took the address, a notice under the press shows the address, and its button
// copies it and closes the notice. When the address opened, nothing is shown.
TEST_F(LinkOpenerTest, ALinkNoBrowserTookShowsItsAddressToCopy) {
  for (const Origin& origin : kOrigins) {
    for (const bool opens : {true, false}) {
      SCOPED_TRACE(std::string(origin.name) + (opens ? ", opened" : ", not opened"));
      FakeUrlOpener browser;
      browser.opens = opens;
      const InstalledUrlOpener installed(browser);
      QWidget* widget = shown(origin);
      origin.press(*widget);
      ASSERT_EQ(browser.opened, QList<QUrl>{kAddress});
      if (opens) {
        settle();
        EXPECT_EQ(NotOpenedNotice::current(), nullptr);
        continue;
      }
      ASSERT_TRUE(QTest::qWaitFor([] { return NotOpenedNotice::current() != nullptr; }, 2000));
      NotOpenedNotice* notice = NotOpenedNotice::current();
      EXPECT_TRUE(notice->isVisible());
      EXPECT_EQ(notice->title(), "No browser opened");
      EXPECT_EQ(notice->text(), "Copy the address to open it in a browser, here or on another device.");
      EXPECT_EQ(notice->address(), kAddress.toString(QUrl::FullyEncoded));
      auto* address = notice->findChild<DropTextBlock*>(QStringLiteral("link.notOpened.address"));
      ASSERT_NE(address, nullptr);
      EXPECT_TRUE(address->isSelectable());
      // Under what was pressed (the title, the link's line), not somewhere else on the screen.
      const QRect pressed(widget->mapToGlobal(QPoint(0, 0)), widget->size());
      EXPECT_GT(notice->geometry().top(), pressed.top()) << "the screen has room below";
      EXPECT_LE(notice->geometry().top(), pressed.bottom() + 8);
      EXPECT_GE(notice->geometry().left(), pressed.left()) << "the window is far from the screen's edge";
      EXPECT_LT(notice->geometry().left(), pressed.right());

      QGuiApplication::clipboard()->clear();
      DropButton* copy = notice->copyButton();
      EXPECT_EQ(copy->objectName(), "link.notOpened.copy");
      EXPECT_EQ(copy->text(), "Copy address");
      const QPointer<NotOpenedNotice> alive(notice);
      QTest::mouseClick(copy, Qt::LeftButton, {}, copy->shapeRect().center());
      EXPECT_EQ(QGuiApplication::clipboard()->text(), kAddress.toString(QUrl::FullyEncoded));
      QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      EXPECT_TRUE(alive.isNull()) << "the notice goes once it answered";
      EXPECT_EQ(NotOpenedNotice::current(), nullptr);
    }
  }
}

// The card may close while the desktop answers: the reader is still told, where they pressed.
// A second failure replaces the first notice rather than stacking a second; Escape closes it.
TEST_F(LinkOpenerTest, TheNoticeOutlivesWhatWasPressedAndOnlyOneIsShown) {
  FakeUrlOpener browser;
  browser.opens = false;
  browser.holding = true;
  const InstalledUrlOpener installed(browser);
  QWidget* widget = shown(kOrigins[3]);
  const QWidget* title = static_cast<BookLine*>(widget)->titleControl();
  const QPoint pressedAt = title->mapToGlobal(QPoint(0, title->height()));
  kOrigins[3].press(*widget);
  m_window.reset();
  browser.release();
  ASSERT_TRUE(QTest::qWaitFor([] { return NotOpenedNotice::current() != nullptr; }, 2000));
  const QPointer<NotOpenedNotice> first(NotOpenedNotice::current());
  EXPECT_NEAR(first->geometry().top(), pressedAt.y(), 8);
  EXPECT_EQ(first->geometry().left(), pressedAt.x());

  widget = shown(kOrigins[1]);
  kOrigins[1].press(*widget);
  browser.release();
  ASSERT_TRUE(QTest::qWaitFor([&] { return NotOpenedNotice::current() != first.data(); }, 2000));
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(first.isNull());
  int shownNotices = 0;
  for (QWidget* window : QApplication::topLevelWidgets())
    shownNotices += qobject_cast<NotOpenedNotice*>(window) != nullptr && window->isVisible();
  EXPECT_EQ(shownNotices, 1);

  const QPointer<NotOpenedNotice> second(NotOpenedNotice::current());
  QTest::keyClick(second.data(), Qt::Key_Escape);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(second.isNull());
}

// The image of a shown notice on a backdrop of its scheme, saved for a person to look at.
void saveRender(NotOpenedNotice& notice, ColorScheme scheme, const QString& fileName) {
  const QImage face = notice.grab().toImage();
  QImage picture(face.size() + QSize(48, 48), QImage::Format_ARGB32_Premultiplied);
  picture.fill(scheme == ColorScheme::dark ? QColor(28, 28, 30) : QColor(236, 236, 240));
  QPainter painter(&picture);
  painter.drawImage(QPoint(24, 24), face);
  painter.end();
  EXPECT_TRUE(picture.save(testing::testOutputPath(fileName)));
}

// The share button's E-mail without a mail program tells the reader in the same notice, under
// the button, with the idea to copy and no address.
TEST_F(LinkOpenerTest, TheShareButtonsNoticeIsTheSamePiece) {
  FakeUrlOpener mail;
  mail.opens = false;
  const InstalledUrlOpener installed(mail);
  m_window = std::make_unique<QWidget>();
  Drop lore;
  lore.id = QStringLiteral("d1");
  lore.explanation = QStringLiteral("Leverage hides where few look.");
  const DropSnapshot idea(lore, ContentRelease{});
  auto* button = new IdeaShareButton(idea, true, QStringLiteral("reader"), m_window.get());
  m_window->resize(200, 80);
  m_window->show();
  m_window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
  QTest::mouseClick(button, Qt::LeftButton, {}, button->shapeRect().center());
  QMenu* menu = button->shareMenu();
  ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }, 2000));
  QAction* email = menu->actions().at(1);
  ASSERT_EQ(email->text(), QStringLiteral("E-mail\u2026"));
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(email).center());
  ASSERT_TRUE(QTest::qWaitFor([] { return NotOpenedNotice::current() != nullptr; }, 2000));
  NotOpenedNotice* notice = NotOpenedNotice::current();
  EXPECT_EQ(notice->objectName(), "share.noMailProgram");
  EXPECT_TRUE(notice->address().isEmpty());
  EXPECT_FALSE(notice->findChild<DropTextBlock*>(QStringLiteral("share.noMailProgram.address"))->isVisible());
  EXPECT_GE(notice->geometry().top(), button->mapToGlobal(QPoint(0, button->height() / 2)).y());
  saveRender(*notice, ColorScheme::light, QStringLiteral("share-no-mail-program.png"));
}

// For a person to look at: the notice under a source title on the light reading page, and
// under a book title on the always-dark card.
TEST_F(LinkOpenerTest, RendersTheNoticeInBothSchemes) {
  FakeUrlOpener browser;
  browser.opens = false;
  const InstalledUrlOpener installed(browser);
  for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
    QWidget* widget = shown(kOrigins[1]);
    UiEnvironment::forceScheme(m_window.get(), scheme);
    kOrigins[1].press(*widget);
    ASSERT_TRUE(QTest::qWaitFor([] { return NotOpenedNotice::current() != nullptr; }, 2000));
    NotOpenedNotice* notice = NotOpenedNotice::current();
    EXPECT_EQ(UiEnvironment::instance().schemeOf(notice), scheme) << "the notice takes the scheme pressed in";

    saveRender(*notice, scheme,
               scheme == ColorScheme::dark ? QStringLiteral("link-not-opened-dark.png")
                                           : QStringLiteral("link-not-opened-light.png"));
    notice->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
}

} // namespace
} // namespace brindlewick

#include "CardTestSupport.h"
#include "RequiredValue.h"
#include "ui/card/BookLine.h"
#include "ui/card/CardCloseButton.h"
#include "ui/card/CardHeader.h"
#include "ui/card/DropCardContent.h"
#include "ui/design/CategoryAccent.h"
#include "ui/design/CollectionButton.h"
#include "ui/design/DropOverlayScrollBar.h"
#include "ui/design/DropTextBlock.h"
#include "ui/design/IdeaShareButton.h"

#include <QAccessible>
#include <QApplication>
#include <QLayout>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using namespace cardtest;

class ReaderCardTest : public ::testing::Test {
protected:
  ReaderModel& open(bool signedIn = true, double textScale = 1.0, int drops = 40) {
    DropFonts::registerFonts();
    fx = std::make_unique<ReaderModelFixture>(drops);
    ReaderPreferences preferences = ReaderModelFixture::readerPreferences();
    preferences.textScale = textScale;
    if (signedIn)
      fx->signIn(preferences);
    ReaderModel& model = fx->open();
    PanelContentFactories factories = cardPanelContent();
    factories.cardFittingHeight = [this](ReaderModel& m, double width) {
      ++measurements;
      return ReaderCard::fittingHeight(m, width);
    };
    model.setPanelContentFactories(factories);
    return model;
  }
  ReaderModel& model() { return fx->model(); }
  DropSnapshot drop(int index) {
    return requiredValue(model().repository().snapshot(fx->release().release.lore[index].id),
                         "the fixture's drop");
  }
  ReaderCard* present(const DropSnapshot& snapshot) {
    ReaderModelTestAccess::present(model(), snapshot);
    flushEvents();
    return model().panel().panel().findChild<ReaderCard*>();
  }

  std::unique_ptr<ReaderModelFixture> fx;
  int measurements = 0;
};

TEST_F(ReaderCardTest, FitsItsContentExactlyOnItsTopicsGradient) {
  for (const double scale : {1.0, 1.2}) {
    open(true, scale);
    for (const auto& [index, topic] : {std::pair{0, "psychology"}, {1, "science"}, {5, "history"}}) {
      ReaderCard* card =
          present(withBooks(drop(index), longExplanation + QLatin1Char(' ') + longExplanation));
      fx->advance(ReaderModel::readingConfirmationDelay);
      const double height = ReaderCard::fittingHeight(model(), 720);
      EXPECT_EQ(height, std::ceil(height));
      card->resize(720, int(height));
      card->layout()->activate();
      // At the fitting height nothing needs to scroll.
      EXPECT_EQ(card->scrollArea()->verticalScrollBar()->maximum(), 0) << topic;
      const QImage image =
          picture(*card, QStringLiteral("card-%1-%2").arg(QString::fromLatin1(topic)).arg(scale, 0, 'f', 1))
              .scaled(card->size());
      for (int y = 0; y < int(card->height() * 0.12); y += 4)
        EXPECT_EQ(image.pixelColor(8, y), QColor(Qt::black)) << y;
      const QColor bottom = image.pixelColor(8, card->height() - 1);
      const QColor expected = DropDesign::cardColor(model().current()->lore.category);
      EXPECT_LE(std::abs(bottom.red() - expected.red()) + std::abs(bottom.blue() - expected.blue()), 4)
          << topic;
    }
  }
}

TEST_F(ReaderCardTest, WithoutADropTheHeaderAndMessageStandOnTheBiographyGradient) {
  open(false);
  model().changeCollection(drop(0), false);
  ReaderCard card(model(), false);
  card.resize(720, 420);
  card.show();
  EXPECT_EQ(card.header()->wordmarkColor({}), accent(Category::biography, ColorScheme::dark));
  EXPECT_FALSE(card.content());
  EXPECT_TRUE(card.messageLine()->isVisible());
  const QColor bottom = picture(card, QStringLiteral("card-no-drop")).scaled(card.size()).pixelColor(8, 419);
  EXPECT_NEAR(bottom.hueF(), DropDesign::cardColor(Category::biography).hueF(), 0.02);
}

TEST_F(ReaderCardTest, MoreForYouFollowsBusyAndAnotherIdeaAndItsKeyPressesIt) {
  const auto pressMore = [](ReaderCard* card) {
    for (QShortcut* shortcut : card->findChildren<QShortcut*>())
      if (shortcut->key() == QKeySequence(Qt::CTRL | Qt::Key_N))
        Q_EMIT shortcut->activated();
  };
  // Busy until the reading is confirmed; the help still names another idea.
  open();
  ReaderCard* card = present(drop(2));
  EXPECT_FALSE(card->moreButton()->isEnabled());
  pressMore(card);
  EXPECT_EQ(model().current()->id(), drop(2).id());
  fx->advance(ReaderModel::readingConfirmationDelay);
  EXPECT_TRUE(card->moreButton()->isEnabled());

  // A release of one drop has no other idea.
  open(true, 1.0, 1);
  card = present(drop(0));
  fx->advance(ReaderModel::readingConfirmationDelay);
  EXPECT_FALSE(card->moreButton()->isEnabled());
  EXPECT_EQ(shownTooltip(*card->moreButton()), ReaderModel::noOtherIdeaMessage);
  pressMore(card);
  EXPECT_FALSE(model().message()); // surpriseMe() would say so
}

TEST_F(ReaderCardTest, AMessageRefitsThePanelOnceAndTheMeasuringCardNever) {
  open();
  ReaderCard* card = present(drop(3));
  const int before = measurements;
  model().panel().refreshLayout();
  const int perRefresh = measurements - before;
  ASSERT_GT(perRefresh, 0);
  ReaderModelTestAccess::setMessage(model(),
                                    QStringLiteral("Your collection could not sync: <b>offline</b>"));
  EXPECT_EQ(measurements - before, 2 * perRefresh);
  picture(*card, QStringLiteral("card-message"));
}

TEST_F(ReaderCardTest, HoverComesFromTheCardItselfNotFromCrossingItsChildren) {
  open();
  ReaderCard* card = present(drop(4));
  fx->advance(ReaderModel::readingConfirmationDelay);
  QSignalSpy hovered(&model(), &ReaderModel::hoveredChanged);
  QWidget* window = card->window();
  const auto pointAt = [&](QWidget* widget, QPoint at) {
    QTest::mouseMove(window, widget->mapTo(window, at));
  };
  pointAt(card, QPoint(20, 20));
  pointAt(card->saveButton(), card->saveButton()->rect().center());
  pointAt(card->header()->closeButton(), QPoint(18, 18));
  pointAt(card, QPoint(card->width() / 2, card->height() - 8));
  EXPECT_TRUE(model().hovered());
  fx->advance(60);
  EXPECT_TRUE(model().panel().panel().isVisible());
  QTest::mouseMove(window, QPoint(window->width() + 40, window->height() + 40));
  EXPECT_FALSE(model().hovered());
  EXPECT_EQ(hovered.count(), 2);
}

// The panel never becomes the active window, and Qt shows tooltips only in the active one
// unless told otherwise: the help texts must still show on hover.
TEST_F(ReaderCardTest, HelpShowsOnHoverWhileAnotherWindowIsActive) {
  open();
  ReaderCard* card = present(drop(5));
  QWidget other;
  other.resize(240, 160);
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  QWidget* window = card->window();
  ASSERT_FALSE(window->isActiveWindow());
  QWidget* explore = card->exploreButton();
  QTest::mouseMove(window, explore->mapTo(window, explore->rect().center()));
  ASSERT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 4000));
  QTextDocument shown;
  shown.setHtml(QToolTip::text());
  EXPECT_EQ(shown.toPlainText(), QStringLiteral("Open the full idea and its sources"));
  QToolTip::hideText();
}

// Assistive technology reads each help text of the card, one with a book title that looks
// like markup too, as the words the tooltip shows, never as the tooltip's markup.
TEST_F(ReaderCardTest, DescriptionsAreTheHelpTextsAsPlainText) {
  open();
  ReaderCard* card = present(withBooks(drop(8), QStringLiteral("An idea.")));
  int described = 0;
  for (QWidget* widget : card->findChildren<QWidget*>()) {
    if (widget->toolTip().isEmpty() || !widget->isVisibleTo(card))
      continue;
    QAccessibleInterface* element = QAccessible::queryAccessibleInterface(widget);
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(element->text(QAccessible::Description), shownTooltip(*widget))
        << qPrintable(widget->objectName());
    ++described;
  }
  EXPECT_GE(described, 5);
}

TEST_F(ReaderCardTest, ExploreOpensTheReadPageOnlyForAnIdeaTheReaderMayRead) {
  open(false);
  ReaderCard(model(), false).openInWindow(drop(6));
  EXPECT_TRUE(fx->openedPages.isEmpty());

  open();
  present(drop(6))->exploreButton()->click();
  EXPECT_NE(model().panel().phase(), PanelController::Phase::visible);
  EXPECT_EQ(fx->openedPages, QList<ReaderTab>{ReaderTab::read});
}

TEST_F(ReaderCardTest, BookLinesLinkOnlyTheFirstAddressedSourceAndOnlyWhenItMayOpen) {
  open();
  DropSnapshot snapshot = withBooks(drop(7), QStringLiteral("<b>Bold</b> stays as written."));
  // An earlier source of the first book without an address does not count; a "file:"
  // address is no link.
  snapshot.sources.prepend(snapshot.sources[2]);
  snapshot.sources[0].bookId = snapshot.books[0].id;
  snapshot.sources[3].url = QStringLiteral("file:///etc/passwd");

  const DropCardContent content(snapshot, 1.0, [] {});
  const QList<BookLine*>& lines = content.bookLines();
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0]->bookLink()->url, QUrl(QStringLiteral("https://example.com/systems")));
  EXPECT_EQ(shownTooltip(*lines[0]->titleControl()), QStringLiteral("Chapter 1"));
  for (BookLine* line : {lines[1], lines[2]}) {
    EXPECT_FALSE(line->bookLink());
    EXPECT_EQ(shownTooltip(*line->titleControl()), QStringLiteral("Read the full drop and its sources"));
  }
  EXPECT_EQ(lines[2]->authorsText(), QStringLiteral("\u00B7 "));

  FakeUrlOpener browser;
  const InstalledUrlOpener installed(browser);
  lines[0]->titleControl()->click();
  EXPECT_EQ(browser.opened, QList<QUrl>{QUrl(QStringLiteral("https://example.com/systems"))});
  snapshot.books.clear();
  EXPECT_TRUE(DropCardContent(snapshot, 1.0, [] {}).bookLines().isEmpty());
}

TEST_F(ReaderCardTest, ALongExplanationScrollsInThePanelsHeight) {
  open();
  const QString text =
      longExplanation + QLatin1Char(' ') + longExplanation + QLatin1Char(' ') + longExplanation;
  ReaderCard* card = present(withBooks(drop(1), text));
  card->resize(720, 420);
  card->layout()->activate();
  EXPECT_GT(card->scrollArea()->verticalScrollBar()->maximum(), 0);
  // From the first show, before any scrolling, a bar tells the reader there is more.
  const auto* bar = card->findChild<DropOverlayScrollBar*>();
  ASSERT_NE(bar, nullptr);
  EXPECT_TRUE(bar->isVisibleTo(card));
  const QRect shownText(card->scrollArea()->mapTo(card, QPoint()), card->scrollArea()->size());
  EXPECT_GT(bar->mapTo(card, QPoint()).x(), shownText.right()) << "in the side padding, off the text";
  EXPECT_LT(bar->mapTo(card, QPoint(bar->width(), 0)).x(), card->width());
  picture(*card, QStringLiteral("card-long-scroll"));
  card->scrollArea()->verticalScrollBar()->setValue(card->scrollArea()->verticalScrollBar()->maximum());
  EXPECT_EQ(bar->value(), bar->maximum());
  card->resize(720, 2000);
  card->layout()->activate();
  EXPECT_FALSE(bar->isVisibleTo(card)) << "nothing to scroll, nothing shown";
  for (const auto& [overrides, name] : {std::pair{UiOverrides{.increasedContrast = true}, "contrast"},
                                        {UiOverrides{.boldText = true}, "bold"}}) {
    UiEnvironment::instance().setOverrides(overrides);
    picture(*present(withBooks(drop(0), longExplanation)),
            QStringLiteral("card-") + QString::fromLatin1(name));
  }
  UiEnvironment::instance().setOverrides({});
}

// "Focus reader for keyboard" puts the keyboard on the drop's text, where no key changes
// anything, and rings it at once; Tab goes on through the card's controls in order.
TEST_F(ReaderCardTest, FocusReaderLandsOnTheRingedTextAndTabWalksTheControls) {
  open();
  const QString text =
      longExplanation + QLatin1Char(' ') + longExplanation + QLatin1Char(' ') + longExplanation;
  ReaderCard* card = present(withBooks(drop(1), text));
  ASSERT_NE(card, nullptr);
  const DropSnapshot shown = *model().current();
  const bool saved = model().isSaved(shown);
  const bool loved = model().isLoved(shown);
  model().focusReader();
  ASSERT_TRUE(QTest::qWaitForWindowActive(card->window()));
  DropCardContent* content = card->content();
  ASSERT_EQ(QApplication::focusWidget(), content) << "the keyboard lands on the text";
  EXPECT_TRUE(content->showsFocus());
  picture(*card, QStringLiteral("card-keyboard-focus"));

  // Assistive technology hears the drop's text.
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(content);
  ASSERT_NE(accessible, nullptr);
  EXPECT_EQ(accessible->text(QAccessible::Name), text);
  EXPECT_EQ(accessible->role(), QAccessible::Paragraph);
  EXPECT_TRUE(accessible->state().focused);

  // Reading keys change no data; the arrows scroll the long text (in a card shorter than it).
  card->resize(720, 420);
  card->layout()->activate();
  QScrollBar* bar = card->scrollArea()->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_Enter})
    QTest::keyClick(QApplication::focusWidget(), key);
  flushEvents();
  EXPECT_EQ(model().isLoved(shown), loved);
  EXPECT_EQ(model().isSaved(shown), saved);
  EXPECT_FALSE(model().collectionBusy());
  EXPECT_EQ(model().current(), shown);
  EXPECT_TRUE(card->window()->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), content);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  EXPECT_GT(bar->value(), 0);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
  EXPECT_EQ(bar->value(), bar->maximum());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
  EXPECT_EQ(bar->value(), 0);
  // The ring's line, on the text area's left side, halfway down, in the side padding.
  const QRect area(card->scrollArea()->mapTo(card, QPoint()), card->scrollArea()->size());
  const QPoint onRing(area.left() - 7, area.center().y());
  const auto ringShown = [&] { return picture(*card).pixelColor(onRing * 2).lightness() > 220; };
  picture(*card, QStringLiteral("card-keyboard-focus-scrolling"));
  EXPECT_TRUE(ringShown());

  const QList<QWidget*> order{card->loveButton(), card->saveButton(), card->findChild<IdeaShareButton*>(),
                              card->exploreButton(), card->moreButton()};
  int tabs = 0;
  for (QWidget* expected : order) {
    if (!expected->isEnabled())
      continue; // "More for you" waits for the reading to be confirmed
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ++tabs;
    EXPECT_EQ(QApplication::focusWidget(), expected) << expected->accessibleName().toStdString();
  }
  EXPECT_FALSE(content->showsFocus());
  EXPECT_FALSE(ringShown()) << "the ring leaves with the keyboard";
  // Back to the text.
  for (int step = 0; step < tabs; ++step)
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), content);
  EXPECT_TRUE(ringShown());
}

// "More for you" pressed from the keyboard brings another drop: the keyboard stays on the
// card, on the new drop's text, ringed.
TEST_F(ReaderCardTest, AnotherIdeaFromTheKeyboardKeepsTheKeyboardOnTheNewText) {
  open();
  ReaderCard* card = present(drop(2));
  fx->advance(ReaderModel::readingConfirmationDelay);
  model().focusReader();
  ASSERT_TRUE(QTest::qWaitForWindowActive(card->window()));
  ASSERT_TRUE(card->moreButton()->isEnabled());
  for (int step = 0; step < 5 && QApplication::focusWidget() != card->moreButton(); ++step)
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), card->moreButton());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  flushEvents();
  ASSERT_NE(model().current()->id(), drop(2).id());
  card = model().panel().panel().findChild<ReaderCard*>();
  ASSERT_NE(card, nullptr);
  ASSERT_NE(card->content(), nullptr);
  EXPECT_EQ(QApplication::focusWidget(), card->content());
  EXPECT_TRUE(card->content()->showsFocus());
}

// The share menu on the always-dark card is dark too, whatever the desktop's scheme.
TEST_F(ReaderCardTest, TheShareMenuOpensDarkOnTheCard) {
  open();
  ReaderCard* card = present(withBooks(drop(1), longExplanation));
  auto* share = card->findChild<IdeaShareButton*>();
  ASSERT_NE(share, nullptr);
  QWidget* panel = card->window();
  panel->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
  QTest::mouseClick(share, Qt::LeftButton, {}, share->shapeRect().center());
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(menu, nullptr);
  const QImage shown = menu->grab().toImage();
  EXPECT_LT(qGray(shown.pixel(shown.width() / 2, 3)), 80);

  // The menu opens below the card's buttons, past the card's edge: the sheet holds both.
  const QRect menuArea(menu->mapToGlobal(QPoint()) - card->mapToGlobal(QPoint()), menu->size());
  const QRect area = card->rect().united(menuArea);
  QImage sheet(area.size() * 2, QImage::Format_ARGB32_Premultiplied);
  sheet.setDevicePixelRatio(2);
  sheet.fill(Qt::white);
  QPainter painter(&sheet);
  painter.drawImage(QPoint(0, 0), picture(*card));
  painter.drawImage(QRectF(menuArea), shown);
  painter.end();
  sheet.save(testing::testOutputPath(QStringLiteral("card-share-menu.png")));
  menu->close();
}

} // namespace
} // namespace brindlewick

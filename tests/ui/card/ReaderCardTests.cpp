#include "CardTestSupport.h"
#include "TestOutput.h"
#include "ui/card/BookLine.h"
#include "ui/card/CardCloseButton.h"
#include "ui/card/CardHeader.h"
#include "ui/card/DropCardContent.h"
#include "ui/design/CategoryAccent.h"
#include "ui/design/CollectionButton.h"
#include "ui/design/DropTextBlock.h"

#include <QDesktopServices>
#include <QLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using namespace cardtest;

class UrlCatcher : public QObject {
  Q_OBJECT

public:
  QList<QUrl> urls;

public Q_SLOTS:
  void open(const QUrl& url) { urls.append(url); }
};

class ReaderCardTest : public ::testing::Test {
protected:
  ReaderModel& open(bool signedIn = true, double textScale = 1.0) {
    DropFonts::registerFonts();
    if (signedIn) {
      ReaderPreferences preferences = ReaderModelFixture::readerPreferences();
      preferences.textScale = textScale;
      fx->signIn(preferences);
    }
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
    return *model().repository().snapshot(fx->release().release.lore[index].id);
  }
  ReaderCard* present(const DropSnapshot& snapshot) {
    ReaderModelTestAccess::present(model(), snapshot);
    flushEvents();
    return model().panel().panel().findChild<ReaderCard*>();
  }
  void render(ReaderCard& card, const QString& name) {
    EXPECT_TRUE(picture(card).save(testing::testOutputPath(QStringLiteral("card-%1.png").arg(name))));
  }

  std::unique_ptr<ReaderModelFixture> fx = std::make_unique<ReaderModelFixture>();
  int measurements = 0;
};

TEST_F(ReaderCardTest, BackgroundIsBlackAtTheTopAndTheTopicsColourAtTheBottom) {
  open();
  // Psychology, science and history.
  for (const int index : {0, 1, 5}) {
    ReaderCard* card = present(drop(index));
    ASSERT_TRUE(card);
    const QImage image = picture(*card).scaled(card->size());
    for (int y = 0; y < int(card->height() * 0.12); y += 4)
      EXPECT_EQ(image.pixelColor(8, y), QColor(Qt::black)) << y;
    const QColor bottom = image.pixelColor(8, card->height() - 1);
    const QColor expected = DropDesign::cardColor(model().current()->lore.category);
    EXPECT_NEAR(bottom.redF(), expected.redF(), 0.02);
    EXPECT_NEAR(bottom.greenF(), expected.greenF(), 0.02);
    EXPECT_NEAR(bottom.blueF(), expected.blueF(), 0.02);
  }
}

TEST_F(ReaderCardTest, WithoutADropTheHeaderAndMessageStandOnTheBiographyGradient) {
  open(false);
  model().changeCollection(drop(0), false);
  ASSERT_EQ(model().message(), ReaderModel::collectionSignInMessage);
  ReaderCard card(model(), false);
  card.resize(720, 420);
  card.show();
  EXPECT_EQ(card.category(), Category::biography);
  EXPECT_EQ(card.header()->wordmarkColor({}), accent(Category::biography, ColorScheme::dark));
  EXPECT_FALSE(card.content());
  EXPECT_TRUE(card.messageLine()->isVisible());
  EXPECT_EQ(card.messageLine()->text(), ReaderModel::collectionSignInMessage);
  const QColor bottom = picture(card).scaled(card.size()).pixelColor(8, 419);
  EXPECT_NEAR(bottom.hueF(), DropDesign::cardColor(Category::biography).hueF(), 0.02);
  render(card, QStringLiteral("no-drop"));
}

TEST_F(ReaderCardTest, MoreForYouFollowsBusyAndAnotherIdeaAndItsKeyPressesIt) {
  open();
  ReaderCard* card = present(drop(2));
  // Busy until the reading is confirmed; the help still names another idea.
  ASSERT_TRUE(model().busy());
  EXPECT_FALSE(card->moreButton()->isEnabled());
  EXPECT_EQ(shownTooltip(*card->moreButton()), QStringLiteral("Read another idea from your interests"));
  const QString shown = model().current()->id();
  const auto pressMore = [&] {
    for (QShortcut* shortcut : card->findChildren<QShortcut*>())
      if (shortcut->key() == QKeySequence(Qt::CTRL | Qt::Key_N))
        Q_EMIT shortcut->activated();
  };
  pressMore();
  EXPECT_EQ(model().current()->id(), shown);
  fx->advance(ReaderModel::readingConfirmationDelay);
  EXPECT_TRUE(card->moreButton()->isEnabled());

  // A release of one drop has no other idea.
  fx = std::make_unique<ReaderModelFixture>(1);
  open();
  card = present(drop(0));
  fx->advance(ReaderModel::readingConfirmationDelay);
  EXPECT_FALSE(model().busy());
  EXPECT_FALSE(card->moreButton()->isEnabled());
  EXPECT_EQ(shownTooltip(*card->moreButton()), ReaderModel::noOtherIdeaMessage);
  pressMore();
  EXPECT_FALSE(model().message());
}

TEST_F(ReaderCardTest, AMessageRefitsThePanelOnceAndTheMeasuringCardNever) {
  open();
  present(drop(3));
  const int before = measurements;
  model().panel().refreshLayout();
  const int perRefresh = measurements - before;
  ASSERT_GT(perRefresh, 0);
  ReaderModelTestAccess::setMessage(model(),
                                    QStringLiteral("Your collection could not sync: <b>offline</b>"));
  EXPECT_EQ(measurements - before, 2 * perRefresh);
  ReaderCard* card = model().panel().panel().findChild<ReaderCard*>();
  EXPECT_EQ(card->messageLine()->text(), QStringLiteral("Your collection could not sync: <b>offline</b>"));
  render(*card, QStringLiteral("message"));
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
  pointAt(card, QPoint(20, 20)); // the background
  pointAt(card->saveButton(), card->saveButton()->rect().center());
  pointAt(card->header()->closeButton(), QPoint(18, 18));
  pointAt(card, QPoint(card->width() / 2, card->height() - 8));
  flushEvents();
  EXPECT_TRUE(model().hovered());
  fx->advance(60);
  EXPECT_TRUE(model().panel().panel().isVisible());
  QTest::mouseMove(window, QPoint(window->width() + 40, window->height() + 40));
  flushEvents();
  EXPECT_FALSE(model().hovered());
  EXPECT_EQ(hovered.count(), 2);
}

TEST_F(ReaderCardTest, ExploreOpensTheReadPageOnlyForAnIdeaTheReaderMayRead) {
  open(false);
  ReaderCard signedOut(model(), false);
  signedOut.openInWindow(drop(6));
  EXPECT_TRUE(fx->openedPages.isEmpty());

  fx = std::make_unique<ReaderModelFixture>();
  open();
  ReaderCard* card = present(drop(6));
  card->exploreButton()->click();
  EXPECT_NE(model().panel().phase(), PanelController::Phase::visible);
  EXPECT_EQ(fx->openedPages, QList<ReaderTab>{ReaderTab::read});
}

TEST_F(ReaderCardTest, FittingHeightIsWholeAndHoldsTheWholeCard) {
  for (const double scale : {1.0, 1.2}) {
    fx = std::make_unique<ReaderModelFixture>();
    open(true, scale);
    const QString name = scale == 1.0 ? QStringLiteral("1.0") : QStringLiteral("1.2");
    for (const auto& [index, topic] : {std::pair{0, "psychology"}, {1, "science"}, {5, "history"}}) {
      ReaderCard* card = present(richDrop(drop(index), longExplanation + QLatin1Char(' ') + longExplanation));
      fx->advance(ReaderModel::readingConfirmationDelay);
      const double height = ReaderCard::fittingHeight(model(), 720);
      EXPECT_EQ(height, std::ceil(height));
      card->resize(720, int(height));
      card->layout()->activate();
      flushEvents();
      // At the fitting height nothing needs to scroll.
      EXPECT_EQ(card->scrollArea()->verticalScrollBar()->maximum(), 0) << topic;
      render(*card, QStringLiteral("%1-%2").arg(QString::fromLatin1(topic), name));
    }
  }
}

TEST_F(ReaderCardTest, BookLinesLinkOnlyTheFirstAddressedSourceAndOnlyWhenItMayOpen) {
  open();
  DropSnapshot snapshot = richDrop(drop(7), QStringLiteral("<b>Bold</b> stays as written."));
  // An earlier source of the first book without an address does not count.
  Source noAddress = snapshot.sources[0];
  noAddress.id += QStringLiteral("x");
  noAddress.url = std::nullopt;
  snapshot.sources.prepend(noAddress);
  Source fileSource = snapshot.sources[1];
  fileSource.bookId = snapshot.books[2].id;
  fileSource.url = QStringLiteral("file:///etc/passwd");
  snapshot.sources.append(fileSource);

  DropCardContent content(snapshot, 1.0, [] {});
  const QList<BookLine*>& lines = content.bookLines();
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0]->bookLink()->url, QUrl(QStringLiteral("https://example.com/systems")));
  EXPECT_EQ(shownTooltip(*lines[0]->titleControl()), QStringLiteral("Chapter 1"));
  for (BookLine* line : {lines[1], lines[2]}) { // "javascript:" and "file:"
    EXPECT_FALSE(line->bookLink());
    EXPECT_EQ(shownTooltip(*line->titleControl()), QStringLiteral("Read the full drop and its sources"));
  }
  EXPECT_EQ(lines[2]->authorsText(), QStringLiteral("\u00B7 "));
  EXPECT_EQ(content.explanation()->text(), QStringLiteral("<b>Bold</b> stays as written."));

  UrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
  lines[0]->titleControl()->click();
  QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
  EXPECT_EQ(catcher.urls, QList<QUrl>{QUrl(QStringLiteral("https://example.com/systems"))});

  snapshot.books.clear();
  EXPECT_TRUE(DropCardContent(snapshot, 1.0, [] {}).bookLines().isEmpty());
}

TEST_F(ReaderCardTest, RendersALongScrollingCardUnderContrastAndBoldText) {
  open();
  ReaderCard* card = present(richDrop(drop(1), longExplanation + QLatin1Char(' ') + longExplanation +
                                                   QLatin1Char(' ') + longExplanation));
  card->resize(720, 420);
  flushEvents();
  EXPECT_GT(card->scrollArea()->verticalScrollBar()->maximum(), 0);
  render(*card, QStringLiteral("long-scroll"));
  const struct {
    UiOverrides overrides;
    const char* name;
  } looks[] = {{{.increasedContrast = true}, "contrast"}, {{.boldText = true}, "bold"}};
  for (const auto& look : looks) {
    UiEnvironment::instance().setOverrides(look.overrides);
    ReaderCard* shown = present(richDrop(drop(0), longExplanation));
    shown->resize(720, 420);
    flushEvents();
    render(*shown, QString::fromLatin1(look.name));
  }
  UiEnvironment::instance().setOverrides({});
}

} // namespace
} // namespace brindlewick

#include "ReaderCardTests.moc"

#include "../account/ContactSheet.h"
#include "../window/ReaderWindowTestFixture.h"
#include "RequiredValue.h"
#include "ui/design/CollectionButton.h"
#include "ui/design/DropArticleSection.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropEmptyState.h"
#include "ui/design/DropNotice.h"
#include "ui/design/DropTextBlock.h"
#include "ui/reading/DetailView.h"
#include "ui/reading/ReadingText.h"
#include "ui/reading/RelatedIdeaButton.h"
#include "ui/reading/SourceRow.h"

#include <QAccessible>
#include <QClipboard>
#include <QCryptographicHash>
#include <QFontMetricsF>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

// The reading page over the real model: the reader window on the read tab, signed in.
class DetailViewTest : public ::testing::Test {
protected:
  void open(bool signedIn = true, double textScale = 1.0) {
    ReaderPreferences preferences = ReaderModelFixture::readerPreferences();
    preferences.textScale = textScale;
    harness = std::make_unique<ReaderWindowHarness>(signedIn, QSize(960, 640), preferences);
  }
  ReaderModel& model() { return *harness->model; }
  // Installs the same release with one withdrawal added; returns the withdrawn id.
  QString withdrawOne() {
    const GeneratedRelease release = generateRelease(40, {.withdrawals = 1});
    model().repository().install(release.body, release.manifest, std::nullopt, harness->fixture.now());
    return model().repository().withdrawals().keys().value(0);
  }
  DropSnapshot drop(int index) {
    return requiredValue(model().repository().snapshot(harness->fixture.release().release.lore[index].id),
                         "the fixture's drop");
  }
  // A drop with a related idea (every fourth has one), given a common belief.
  DropSnapshot richDrop() {
    DropSnapshot snapshot = drop(4);
    snapshot.lore.commonBelief = QStringLiteral("Big effects need big causes.");
    return snapshot;
  }
  DetailView* show(const DropSnapshot& snapshot) {
    model().read(snapshot);
    QApplication::processEvents();
    return harness->home->findChild<DetailView*>();
  }
  static DropArticleSection* section(QWidget* page, const QString& title) {
    for (auto* section : page->findChildren<DropArticleSection*>())
      if (section->accessibleName() == title)
        return section;
    return nullptr;
  }

  std::unique_ptr<ReaderWindowHarness> harness;
};

TEST_F(DetailViewTest, TextSizesAndSpacingsFollowTheReadersScale) {
  struct Case {
    double scale;
    qreal body, bodySpacing, explanation, explanationSpacing, detail;
  };
  for (const Case& c : {Case{1.0, 17, 5, 32, 4, 15}, Case{1.2, 20.4, 6, 38.4, 5, 18}}) {
    SCOPED_TRACE(c.scale);
    open(true, c.scale);
    DetailView* page = show(richDrop());
    const ReadingText::Style explanation = page->explanation()->textStyle();
    EXPECT_EQ(explanation.font, DropFonts::display(c.explanation, QFont::Medium));
    EXPECT_EQ(explanation.lineSpacing, c.explanationSpacing);
    for (const QString& title : {QStringLiteral("The common belief"), QStringLiteral("The idea in full"),
                                 QStringLiteral("Why it is surprising")}) {
      const ReadingText::Style body = static_cast<ReadingText*>(section(page, title)->content())->textStyle();
      EXPECT_EQ(body.font, DropFonts::rounded(c.body));
      EXPECT_EQ(body.lineSpacing, c.bodySpacing);
    }
    for (const QString& name : {QStringLiteral("detail.book"), QStringLiteral("detail.grounding")})
      EXPECT_EQ(page->findChild<ReadingText*>(name)->textStyle().font.size, c.detail);
    EXPECT_EQ(page->findChild<SourceRow*>()->locator()->textStyle().font.size, c.detail);
  }
  // Bold Text sets the page in semibold; the explanation stays medium.
  UiEnvironment::instance().setOverrides({.reduceMotion = true, .boldText = true});
  DetailView* page = show(richDrop());
  EXPECT_EQ(static_cast<ReadingText*>(section(page, QStringLiteral("The idea in full"))->content())
                ->textStyle()
                .font.weight,
            QFont::DemiBold);
  EXPECT_EQ(page->explanation()->textStyle().font.weight, QFont::Medium);
}

TEST_F(DetailViewTest, WhatTheReaderMayNotOpenShowsTheEmptyState) {
  open(false);
  const DetailView nothing(model(), std::nullopt);
  const DetailView unreadable(model(), drop(3)); // signed out, not among the account's ideas
  for (const DetailView* page : {&nothing, &unreadable}) {
    EXPECT_TRUE(page->emptyState());
    EXPECT_FALSE(page->article());
    EXPECT_FALSE(page->backButton());
  }
}

TEST_F(DetailViewTest, WithoutTheFullLibraryTheBackButtonGoesToTheCollectionAndNothingRelates) {
  open();
  const DropSnapshot saved = model().savedSnapshots().first();
  ReaderModelTestAccess::setStorageHealthy(model(), false);
  DetailView* page = show(saved);
  ASSERT_TRUE(page->article());
  EXPECT_EQ(page->backButton()->text(), QStringLiteral("Your collection"));
  EXPECT_FALSE(section(page, QStringLiteral("Keep exploring")));
  QTest::keyClick(&harness->window, Qt::Key_BracketLeft, Qt::ControlModifier);
  EXPECT_EQ(model().navigationTab(), ReaderTab::saved);

  // Healthy again, the page follows at once.
  ReaderModelTestAccess::setStorageHealthy(model(), true);
  page = show(saved);
  EXPECT_EQ(page->backButton()->text(), QStringLiteral("Library"));
  page->backButton()->click();
  EXPECT_EQ(model().navigationTab(), ReaderTab::discover);
}

TEST_F(DetailViewTest, RelatedIdeasSkipWhatIsNotInstalledAndKeepRepeats) {
  open();
  DropSnapshot snapshot = richDrop();
  const QString withdrawn = withdrawOne();
  snapshot.lore.relatedLoreIds = {QStringLiteral("not-in-the-release"), withdrawn};
  ASSERT_FALSE(withdrawn.isEmpty());
  const DetailView none(model(), snapshot);
  EXPECT_FALSE(section(none.article(), QStringLiteral("Keep exploring")));
  EXPECT_EQ(none.article()->findChildren<DropArticleSection*>().size(), 4);

  snapshot.lore.relatedLoreIds = {drop(5).id(), QStringLiteral("not-in-the-release"), drop(5).id()};
  const DetailView twice(model(), snapshot);
  ASSERT_EQ(twice.relatedButtons().size(), 2);
  EXPECT_EQ(twice.relatedButtons()[1]->text(), drop(5).lore.headline);
  twice.relatedButtons()[0]->click();
  EXPECT_EQ(harness->fixture.openedPages.value(0), ReaderTab::read);
}

TEST_F(DetailViewTest, ABookLinksTheFirstSourceWithAnAddressOnlyWhenItMayOpen) {
  open();
  DropSnapshot snapshot = drop(2);
  const Book book = snapshot.books.first();
  Source plain = snapshot.sources.first();
  plain.bookId = book.id;
  plain.url = std::nullopt;
  Source good = plain;
  good.url = QStringLiteral("https://example.com/book");
  Source refused = plain;
  refused.url = QStringLiteral("javascript:alert(1)");
  struct Case {
    QList<Source> sources;
    std::optional<QUrl> link;
  };
  for (const Case& c : {Case{{plain, good}, QUrl(QStringLiteral("https://example.com/book"))},
                        Case{{refused, good}, std::nullopt}, Case{{plain}, std::nullopt}}) {
    snapshot.sources = c.sources;
    EXPECT_EQ(DetailView::bookAttribution(book, snapshot).link, c.link);
  }
}

TEST_F(DetailViewTest, KeysPressTheButtonsAndABusyCollectionIgnoresThem) {
  open();
  const DropSnapshot snapshot = drop(9);
  show(snapshot);
  harness->window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&harness->window));
  ASSERT_FALSE(model().isLoved(snapshot));
  ASSERT_FALSE(model().isSaved(snapshot));
  QTest::keyClick(&harness->window, Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_TRUE(model().collectionBusy());
  QTest::keyClick(&harness->window, Qt::Key_S, Qt::ControlModifier); // ignored while busy
  ASSERT_TRUE(waitUntil([&] { return !model().collectionBusy(); }));
  EXPECT_TRUE(model().isLoved(snapshot));
  EXPECT_FALSE(model().isSaved(snapshot));
  QTest::keyClick(&harness->window, Qt::Key_S, Qt::ControlModifier);
  ASSERT_TRUE(waitUntil([&] { return !model().collectionBusy(); }));
  EXPECT_TRUE(model().isSaved(snapshot));
}

const QString kLongText = QStringLiteral(
    "Small, well-placed changes in a system's structure can produce large shifts in its behaviour, "
    "while big pushes on the wrong spot do almost nothing. The leverage lies in feedback loops, "
    "delays and the rules of the game rather than in the quantities people argue about.");

// Pictures for a person: spacing grows with the scale, the notices, the reduced page.
TEST_F(DetailViewTest, RendersItsStates) {
  testing::ContactSheet sheet;
  std::vector<std::unique_ptr<DetailView>> pages;
  const auto add = [&](const char* label, std::optional<DropSnapshot> snapshot) {
    pages.push_back(std::make_unique<DetailView>(model(), std::move(snapshot)));
    pages.back()->show();
    sheet.add(QString::fromLatin1(label), *pages.back(), 720);
  };
  open(true, 1.0);
  DropSnapshot withdrawn = richDrop();
  withdrawn.lore.longExplanation = kLongText;
  withdrawn.lore.id = withdrawOne();
  add("Scale 1.0, withdrawn from delivery", withdrawn);

  open(true, 1.2);
  DropSnapshot corrected = drop(2); // at revision 3
  corrected.lore.revision = 1;
  corrected.lore.longExplanation = kLongText;
  add("Scale 1.2, a corrected revision installed", corrected);

  const DropSnapshot saved = model().savedSnapshots().first();
  ReaderModelTestAccess::setStorageHealthy(model(), false);
  add("Local storage failed: back to your collection, nothing to explore", saved);
  open(false);
  add("Signed out", saved);
  sheet.write(QStringLiteral("reading-page.png"));
  EXPECT_TRUE(pages.back()->emptyState());
}

// Tab into the text lands on its link, ringed in the design's solid line rather than Qt's
// dotted box; the ring goes with the keys.
TEST_F(DetailViewTest, TheLinkTheKeysAreOnIsRinged) {
  open();
  show(richDrop());
  harness->window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&harness->window));
  ReadingText* text = nullptr;
  for (int step = 0; step < 60 && text == nullptr; ++step) {
    harness->press(Qt::Key_Tab);
    text = qobject_cast<ReadingText*>(QApplication::focusWidget());
  }
  ASSERT_NE(text, nullptr);
  QTextCursor start = text->textCursor();
  ASSERT_TRUE(start.hasSelection());
  start.setPosition(start.selectionStart());
  const QRect word = text->cursorRect(start);
  // The ring's leading side: a solid line beside the words (its rounded corners aside).
  const int x = std::max(word.left() - 2, 1);
  const int top = word.top() + 3;
  const int bottom = word.bottom() - 3;
  const auto ringedRows = [&](const QImage& image) {
    int dark = 0;
    for (int y = top; y <= bottom; ++y)
      dark += qGray(image.pixel(x, y)) < 100 ? 1 : 0;
    return dark;
  };
  const QImage focused = text->grab().toImage();
  focused.save(testing::testOutputPath(QStringLiteral("reading-link-focused.png")));
  EXPECT_EQ(ringedRows(focused), bottom - top + 1);
  harness->press(Qt::Key_Tab);
  ASSERT_NE(QApplication::focusWidget(), text);
  EXPECT_EQ(ringedRows(text->grab().toImage()), 0);
}

// As long as a headline may be (120 units): more than the page's width on one line.
const QString kLongHeadline = QStringLiteral(
    "The stories we tell about our own choices are written after the fact, yet they read as the reasons "
    "that came first");

// Where the first dark pixel of each line of a light-scheme button lies, from the leading edge.
QList<int> lineStarts(RelatedIdeaButton& button, int lines) {
  const QImage image = button.grab().toImage();
  const qreal ratio = image.devicePixelRatio();
  const QRectF shape(button.shapeRect());
  const qreal lineHeight = QFontMetricsF(dropControl({}).labelFont(false).font()).lineSpacing();
  const qreal top = shape.center().y() - lines * lineHeight / 2;
  QList<int> starts;
  for (int line = 0; line < lines; ++line) {
    int start = -1;
    for (int x = int(shape.left()); x < int(shape.right()) && start < 0; ++x)
      for (int y = int(top + line * lineHeight); y < int(top + (line + 1) * lineHeight); ++y)
        if (qGray(image.pixel(int(x * ratio), int(y * ratio))) < 110) {
          start = x;
          break;
        }
    starts.append(start);
  }
  return starts;
}

// A related headline too long for one line wraps over as many as it needs, each aligned to the
// leading edge after the arrow; the button grows by a line for each line more and stays
// within the page. Pictured with a short one, in both schemes.
TEST_F(DetailViewTest, AKeepExploringHeadlineWrapsAlignedToTheLeadingEdge) {
  open();
  UiEnvironment::instance().setOverrides({.scheme = ColorScheme::light, .reduceMotion = true});
  const DropSnapshot idea = drop(4);
  ASSERT_FALSE(idea.lore.relatedLoreIds.isEmpty());
  GeneratedRelease next = harness->fixture.release();
  for (Drop& lore : next.release.lore)
    if (lore.id == idea.lore.relatedLoreIds.first())
      lore.headline = kLongHeadline;
  next.body = encodeRelease(next.release);
  next.manifest.checksumSha256 =
      QString::fromLatin1(QCryptographicHash::hash(next.body, QCryptographicHash::Sha256).toHex());
  next.manifest.byteLength = next.body.size();
  model().repository().install(next.body, next.manifest, std::nullopt, harness->fixture.now());

  DetailView* page = show(idea);
  ASSERT_EQ(page->relatedButtons().size(), 1);
  auto* button = qobject_cast<RelatedIdeaButton*>(page->relatedButtons().first());
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), kLongHeadline);
  QApplication::processEvents();
  const QRect shape = button->shapeRect();
  const int lines = button->lineCount(shape.width());
  EXPECT_GE(lines, 2);
  const qreal lineHeight = QFontMetricsF(dropControl({}).labelFont(false).font()).lineSpacing();
  EXPECT_NEAR(shape.height(), 40 + (lines - 1) * lineHeight, 1);
  EXPECT_LE(button->mapTo(page, QPoint(button->width(), 0)).x(), page->width());
  // The capsule lines up with the section's caption; its shadow reaches into the padding.
  EXPECT_EQ(button->mapTo(page, shape.topLeft()).x(),
            section(page, QStringLiteral("Keep exploring"))->caption()->mapTo(page, QPoint()).x());
  const QList<int> starts = lineStarts(*button, lines);
  // The arrow leads the first line; the text of every other line starts where the first
  // line's text does, just after it.
  const qreal textStart =
      shape.left() + 18 + DropButtonStyle::symbolSize(dropControl({}).labelFont(false).font()) + 6;
  EXPECT_NEAR(starts[0], shape.left() + 18, 3);
  for (int line = 1; line < lines; ++line)
    EXPECT_NEAR(starts[line], textStart, 3) << line;

  // One line when it fits: the style's height.
  RelatedIdeaButton shortOne(QStringLiteral("Small wins compound"));
  shortOne.resize(shortOne.sizeHint());
  EXPECT_EQ(shortOne.shapeRect().height(), 40);
  EXPECT_EQ(shortOne.heightForWidth(2000), shortOne.sizeHint().height());

  testing::ContactSheet sheet;
  QWidget list;
  auto* stack = new QVBoxLayout(&list);
  stack->setSpacing(10);
  stack->addWidget(new RelatedIdeaButton(QStringLiteral("Small wins compound")), 0,
                   Qt::AlignLeft | Qt::AlignTop);
  stack->addWidget(new RelatedIdeaButton(kLongHeadline), 0, Qt::AlignLeft | Qt::AlignTop);
  stack->addStretch(1);
  sheet.add(QStringLiteral("Keep exploring: a short headline and one over several lines"), list, 520);
  sheet.write(QStringLiteral("keep-exploring-headlines.png"));
}

// The eyebrow and every section title select as the reader drags over them or double-clicks
// a word, and Ctrl+C copies the selection.
TEST_F(DetailViewTest, EyebrowAndSectionTitlesSelectAndCopy) {
  open();
  DetailView* page = show(richDrop());
  ASSERT_NE(page, nullptr);
  QList<DropTextBlock*> texts{page->findChild<DropTextBlock*>(QStringLiteral("detail.eyebrow"))};
  for (DropArticleSection* section : page->findChildren<DropArticleSection*>())
    texts.append(section->caption());
  ASSERT_EQ(texts.size(), 6); // the eyebrow, belief, in full, surprising, sources, keep exploring
  for (DropTextBlock* text : texts) {
    ASSERT_NE(text, nullptr);
    SCOPED_TRACE(text->text().toStdString());
    ASSERT_TRUE(text->isVisible());
    const int middle = text->height() / 2;
    QTest::mousePress(text, Qt::LeftButton, {}, QPoint(1, middle));
    QTest::mouseMove(text, QPoint(text->width() - 1, middle));
    QTest::mouseRelease(text, Qt::LeftButton, {}, QPoint(text->width() - 1, middle));
    EXPECT_EQ(text->selectedText(), text->text());
    QApplication::clipboard()->clear();
    QTest::keyClick(text, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), text->text());

    QTest::mouseDClick(text, Qt::LeftButton, {}, QPoint(2, middle));
    qsizetype end = 0;
    while (end < text->text().size() && text->text().at(end).isLetterOrNumber())
      ++end;
    EXPECT_EQ(text->selectedText(), text->text().left(end));
    EXPECT_FALSE(text->selectedText().isEmpty());
  }
}

// Sources link only web addresses with a host and no credentials, through the shared opener,
// when the reader clicks the title; text is never read as markup.
TEST_F(DetailViewTest, SourcesLinkOnlyWebAddressesAndTextStaysPlain) {
  open();
  Source source = drop(1).sources.first();
  source.title = QStringLiteral("<b>Chapter</b> &amp; verse");
  struct Case {
    std::optional<QString> url;
    bool link;
  };
  const Case cases[] = {
      {"HTTPS://EXAMPLE.com/a", true}, {"http://example.com", true},        {"file:///etc/passwd", false},
      {"javascript:alert(1)", false},  {"brindlewick://open/x", false},     {"https://user:pw@host/", false},
      {"https:///path", false},        {"https://exa mple.com/%zz", false}, {std::nullopt, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url.value_or("(none)").toStdString());
    source.url = c.url;
    FakeUrlOpener browser;
    const InstalledUrlOpener installed(browser);
    const QList<QUrl>& opened = browser.opened;
    SourceRow row(source, 15);
    row.resize(420, row.heightForWidth(420));
    row.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&row));
    EXPECT_EQ(row.title()->runs().first().link.has_value(), c.link);
    EXPECT_TRUE(row.title()->toPlainText().startsWith(source.title)); // then the arrow, if any
    QTextCursor onTitle(row.title()->document());
    onTitle.setPosition(2);
    QTest::mouseClick(row.title()->viewport(), Qt::LeftButton, {}, row.title()->cursorRect(onTitle).center());
    EXPECT_EQ(opened, c.link ? QList<QUrl>{QUrl(*c.url)} : QList<QUrl>{});

    // Assistive technology meets one element, a link exactly when the title is one, whose
    // press opens it as the click did.
    QAccessibleInterface* element = QAccessible::queryAccessibleInterface(&row);
    EXPECT_EQ(element->childCount(), 0);
    EXPECT_EQ(element->role() == QAccessible::Link, c.link);
    const bool pressable =
        element->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(pressable, c.link);
    if (pressable) {
      element->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
      QApplication::processEvents();
      EXPECT_EQ(opened, (QList<QUrl>{QUrl(*c.url), QUrl(*c.url)}));
    }
  }
}

} // namespace
} // namespace brindlewick

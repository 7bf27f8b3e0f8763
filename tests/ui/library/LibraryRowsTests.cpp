#include "LibraryFixture.h"
#include "LibraryTestSupport.h"
#include "ReleaseGenerator.h"
#include "RequiredValue.h"
#include "ui/design/CollectionButton.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropNotice.h"
#include "ui/design/DropTextBlock.h"
#include "ui/library/LibraryIdeaRow.h"
#include "ui/library/LibraryRow.h"
#include "ui/library/SnapshotNotice.h"
#include "ui/library/TopicLabel.h"
#include "ui/reading/SourceRow.h"

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>

using namespace brindlewick;
using namespace brindlewick::testing;

namespace {

class LibraryRowsTest : public LibraryTest {};

// A snapshot of an installed drop with its revision moved by `delta`.
DropSnapshot atRevision(DropSnapshot snapshot, qint64 delta) {
  snapshot.lore.revision += delta;
  return snapshot;
}

Source source(const QString& title, const std::optional<QString>& url) {
  Source source;
  source.title = title;
  source.locator = QStringLiteral("Chapter 3, p. 41");
  source.url = url;
  return source;
}

TEST(LibraryRow, BooksLineJoinsTitlesAndAuthors) {
  EXPECT_EQ(LibraryRow::booksText(librarySnapshot(libraryDrop("a", 1), {"Alone"}, QString())),
            "Alone \u2014 ");
  EXPECT_EQ(LibraryRow::booksText(librarySnapshot(libraryDrop("a", 1), {"One", "Two"}, "Ann")),
            "One \u2014 Ann \u00B7 Two \u2014 Ann");
  EXPECT_EQ(LibraryRow::booksText(librarySnapshot(libraryDrop("a", 1))), QString());
}

TEST_F(LibraryRowsTest, BadgeTable) {
  const QString withdrawnId = model().repository().withdrawals().keys().first();
  const DropSnapshot installed = drop(4);
  struct Case {
    const char* name;
    DropSnapshot snapshot;
    QString badge;
  };
  const Case cases[] = {
      {"withdrawn", librarySnapshot(libraryDrop(withdrawnId, 9)),
       "Withdrawn: " + model().repository().withdrawals().value(withdrawnId)},
      {"corrected", atRevision(installed, -1), "Corrected revision available. Your snapshot is unchanged."},
      {"same revision", installed, {}},
      {"newer than installed", atRevision(installed, 1), {}},
      {"not in the release", librarySnapshot(libraryDrop("absent", 1)), {}},
  };
  for (const Case& c : cases) {
    LibraryRow row(model(), c.snapshot);
    EXPECT_EQ(row.badgeLabel()->text(), c.badge) << c.name;
    EXPECT_EQ(row.badgeLabel()->parentWidget()->isVisibleTo(&row), !c.badge.isEmpty()) << c.name;
  }
}

TEST_F(LibraryRowsTest, FillPrecedenceAndAccessibility) {
  LibraryIdeaRow row(model(), drop(2));
  row.resize(600, row.heightForWidth(600));
  row.show();
  row.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&row));
  row.setHovered(true);
  EXPECT_TRUE(row.showsHoverFill());
  row.setSelected(true);
  EXPECT_TRUE(row.showsSelectionFill());
  EXPECT_FALSE(row.showsHoverFill());
  QAccessibleInterface* read = QAccessible::queryAccessibleInterface(row.readButton());
  ASSERT_NE(read, nullptr);
  EXPECT_TRUE(read->state().selected);
  // One element that reads what the summary shows, and never the headline it does not show.
  const DropSnapshot& shown = row.summary()->snapshot();
  const QString name = read->text(QAccessible::Name);
  EXPECT_TRUE(name.contains(shown.lore.explanation) && name.contains(LibraryRow::booksText(shown)))
      << name.toStdString();
  EXPECT_FALSE(name.contains(shown.lore.headline)) << name.toStdString();
  EXPECT_EQ(read->childCount(), 0);
  row.setSelected(false);
  EXPECT_FALSE(read->state().selected);

  // A click on love takes no focus, so the row stays unlit; keyboard focus lights it.
  row.setHovered(false);
  QTest::mouseClick(row.loveButton(), Qt::LeftButton, {}, row.loveButton()->rect().center());
  waitForCollection();
  EXPECT_FALSE(row.showsSelectionFill());
  row.saveButton()->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(row.focusedControl(), LibraryIdeaRow::Control::save);
  EXPECT_TRUE(row.showsSelectionFill());
}

TEST_F(LibraryRowsTest, ClickOpensAndTheExplanationIsClampedToThreeLines) {
  DropSnapshot snapshot = drop(3);
  snapshot.lore.explanation = QString(60, 'w').replace(QLatin1Char('w'), QStringLiteral("word "));
  LibraryIdeaRow row(model(), snapshot);
  row.resize(420, row.heightForWidth(420));
  QSignalSpy opened(&row, &LibraryIdeaRow::opened);
  QTest::mouseClick(row.readButton(), Qt::LeftButton, {}, QPoint(20, 20));
  EXPECT_EQ(opened.size(), 1);
  EXPECT_TRUE(row.summary()->explanationLabel()->isClamped(row.summary()->explanationLabel()->width()));
  DropTextBlock unclamped(snapshot.lore.explanation);
  unclamped.setTextStyle(DropTextBlock::Style{DropFonts::display(17, QFont::Medium)});
  EXPECT_LT(row.summary()->explanationLabel()->heightForWidth(300), unclamped.heightForWidth(300));
}

TEST_F(LibraryRowsTest, SnapshotNoticeShowsKeptAndInstalledRevisions) {
  const DropSnapshot installed = drop(5);
  const DropSnapshot kept = atRevision(installed, -2);
  QWidget page;
  auto* layout = new QVBoxLayout(&page);
  SnapshotNotice notice(model(), kept, layout);
  EXPECT_FALSE(notice.withdrawalNotice()->isVisibleTo(&page));
  ASSERT_TRUE(notice.correctionBlock()->isVisibleTo(&page));
  EXPECT_EQ(
      notice.correctionNotice()->text(),
      QStringLiteral("A corrected revision is available. You are reading revision %1; your saved text is "
                     "unchanged.")
          .arg(kept.lore.revision));
  EXPECT_EQ(notice.openButton()->text(),
            QStringLiteral("Open corrected revision %1").arg(installed.lore.revision));
  QList<ReaderTab> opened;
  model().setOpenWindow([&](ReaderTab tab, const std::optional<DropSnapshot>& shown) {
    opened.append(tab);
    EXPECT_EQ(shown, installed);
  });
  notice.openButton()->click();
  EXPECT_EQ(opened, QList<ReaderTab>{ReaderTab::read});

  breakStorage();
  EXPECT_FALSE(notice.openButton()->isVisibleTo(&page));
  EXPECT_TRUE(notice.correctionBlock()->isVisibleTo(&page));

  SnapshotNotice withdrawn(
      model(), librarySnapshot(libraryDrop(model().repository().withdrawals().keys().first(), 1)), layout);
  EXPECT_TRUE(withdrawn.withdrawalNotice()->text().startsWith("Withdrawn from delivery: "));
  EXPECT_FALSE(withdrawn.correctionBlock()->isVisibleTo(&page));
}

TEST(SnapshotNoticeSignedOut, HasNoOpenButton) {
  ReaderModelFixture fx;
  ReaderModel& model = fx.open();
  const DropSnapshot installed =
      requiredValue(model.repository().snapshot(fx.release().release.lore[5].id), "the fixture's drop");
  QWidget page;
  SnapshotNotice notice(model, atRevision(installed, -1), new QVBoxLayout(&page));
  EXPECT_TRUE(notice.correctionBlock()->isVisibleTo(&page));
  EXPECT_FALSE(notice.openButton()->isVisibleTo(&page));
}

TEST(SnapshotNotice, AWithdrawalReasonEndsInOneStop) {
  const QString rest = QStringLiteral(" Your snapshot remains available.");
  const std::pair<QString, QString> cases[] = {
      {QStringLiteral("Replaced by a better drop."), QStringLiteral("Replaced by a better drop.")},
      {QStringLiteral("Replaced by a better drop"), QStringLiteral("Replaced by a better drop.")},
      {QStringLiteral("Is this right? "), QStringLiteral("Is this right?")},
      {QStringLiteral("Under review\u2026"), QStringLiteral("Under review\u2026")},
  };
  for (const auto& [reason, sentence] : cases)
    EXPECT_EQ(SnapshotNotice::withdrawnText(reason), "Withdrawn from delivery: " + sentence + rest)
        << reason.toStdString();
}

// The list measures every idea on one row kept off screen: it answers for the idea it shows
// now, never from what it measured for the one before.
TEST_F(LibraryRowsTest, AMeasuringRowAnswersForTheIdeaItShowsNow) {
  DropSnapshot shortOne = drop(0);
  shortOne.lore.explanation = QStringLiteral("Short.");
  DropSnapshot longOne = drop(1);
  longOne.lore.explanation =
      QString(30, 'x').replace(QLatin1Char('x'), QStringLiteral("a long explanation "));
  const QString withdrawnId = model().repository().withdrawals().keys().first();
  const DropSnapshot badged = librarySnapshot(libraryDrop(withdrawnId, 1), {"A Book"});
  LibraryIdeaRow measuring(model(), shortOne);
  measuring.setMeasuring();
  for (const int width : {900, 420}) {
    for (const DropSnapshot& snapshot : {shortOne, longOne, shortOne, badged, longOne}) {
      measuring.setSnapshot(snapshot);
      LibraryIdeaRow fresh(model(), snapshot);
      EXPECT_EQ(measuring.neededHeight(width), fresh.heightForWidth(width))
          << width << " " << snapshot.lore.explanation.size();
    }
  }
}

TEST_F(LibraryRowsTest, Renders) {
  const QString withdrawnId = model().repository().withdrawals().keys().first();
  // The last row gains its badge while the sheet is shown, from a release that corrects it.
  LibraryIdeaRow* focused = nullptr; // keyboard focus on one save control: one focus per window
  renderSheet(
      QStringLiteral("library-rows"),
      [&](QVBoxLayout* layout, ColorScheme) {
        DropSnapshot longOne = drop(1);
        longOne.lore.explanation =
            QString(40, 'x').replace(QLatin1Char('x'), QStringLiteral("a long explanation "));
        const DropSnapshot gone =
            librarySnapshot(libraryDrop(withdrawnId, 1, Category::history, "Gone", "A withdrawn idea."),
                            {"A Book With A Very Long Title That Will Be Cut Somewhere", "Second Book"});
        DropSnapshot longBooks = drop(7);
        longBooks.lore.explanation = longOne.lore.explanation;
        longBooks.books = gone.books;
        for (Book& book : longBooks.books)
          book.title += QStringLiteral(" Through Its Subtitle, Its Series And The Name Of Its Translator");
        // State 1 hovered, 2 selected, 3 keyboard focus.
        const QList<std::pair<DropSnapshot, int>> rows{{drop(0), 0},   {drop(0), 1},
                                                       {drop(0), 2},   {longOne, 3},
                                                       {longBooks, 0}, {atRevision(drop(6), -1), 0},
                                                       {gone, 0},      {drop(8), 0}};
        for (const auto& [snapshot, state] : rows) {
          auto* row = new LibraryIdeaRow(model(), snapshot);
          layout->addWidget(row);
          row->setHovered(state == 1);
          row->setSelected(state == 2);
          if (state == 3 && !focused)
            focused = row;
        }
      },
      640,
      [&](QWidget&) {
        focused->saveButton()->setFocus(Qt::TabFocusReason);
        installCorrection(8);
      });
  renderSheet(QStringLiteral("library-sources-topics"), [&](QVBoxLayout* layout, ColorScheme) {
    layout->addWidget(new SourceRow(source("The web source", "https://example.com/source"), 15));
    layout->addWidget(new SourceRow(source("A file source (plain)", "file:///tmp/x"), 15));
    new SnapshotNotice(model(), atRevision(drop(5), -2), layout);
    new SnapshotNotice(model(), librarySnapshot(libraryDrop(withdrawnId, 1)), layout);
    auto* topics = new QGridLayout;
    for (Category category : allCases<Category>())
      topics->addWidget(new TopicLabel(category), int(category) / 4, int(category) % 4);
    layout->addLayout(topics);
  });
}

} // namespace

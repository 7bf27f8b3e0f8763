#include "AccountFixtures.h"
#include "AsyncProbe.h"
#include "TestOutput.h"
#include "model/ReaderModelFixture.h"
#include "ui/design/BookTitleLabel.h"
#include "ui/design/CollectionButton.h"
#include "ui/design/DropArticleSection.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropEmptyState.h"
#include "ui/design/DropEyebrow.h"
#include "ui/design/DropFilterMenu.h"
#include "ui/design/DropMenuRowStyle.h"
#include "ui/design/DropNotice.h"
#include "ui/design/DropScreenHeader.h"
#include "ui/design/DropSearchField.h"
#include "ui/design/DropSelectionStyle.h"
#include "ui/design/DropSidebarSurface.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/DropSymbols.h"
#include "ui/design/IdeaShareButton.h"
#include "ui/design/ReadingSearchInput.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using Appearance = DropButtonStyle::Appearance;

constexpr qreal kRatio = 2;
constexpr int kWidth = 1580;
// A row of buttons: a 40-high capsule 9 below the top, and the 15 its lifted shadow reaches
// below it, so that the next row's backdrop never cuts a shadow off.
constexpr int kButtonBand = 64;

struct Look {
  ColorScheme scheme;
  bool increasedContrast;
  const char* name;
};
constexpr Look kLooks[] = {{ColorScheme::light, false, "light, standard contrast"},
                           {ColorScheme::dark, false, "dark, standard contrast"},
                           {ColorScheme::light, true, "light, increased contrast"},
                           {ColorScheme::dark, true, "dark, increased contrast"}};

struct State {
  const char* name;
  ControlState control;
};
const State kStates[] = {{"normal", {}},
                         {"hover", {.hover = 1}},
                         {"pressed", {.hover = 1, .press = 1}},
                         {"disabled", {.enabled = false}},
                         {"focused", {.focus = 1}}};

void write(QPainter& painter, QPointF at, const QString& words, const QColor& color, qreal size = 11,
           QFont::Weight weight = QFont::Medium) {
  painter.setPen(color);
  painter.setFont(DropFonts::rounded(size, weight).font());
  painter.drawText(at, words);
}

// Renders `widget` (laid out at `size`) with its top-left at `at`, on what is painted there.
void place(QPainter& painter, QWidget& widget, QPoint at, QSize size) {
  widget.resize(size);
  if (QLayout* layout = widget.layout())
    layout->activate();
  widget.render(&painter, at, QRegion(), QWidget::DrawChildren);
}

void backdrop(QPainter& painter, const QRect& band, Appearance appearance, ColorScheme scheme) {
  if (appearance == Appearance::reader)
    painter.fillRect(band, DropDesign::panelBackground(Category::science, band));
  else if (appearance == Appearance::hero || appearance == Appearance::heroSecondary)
    painter.fillRect(band, DropDesign::heroGradient(band));
  else
    DropDesign::paintWorkspaceBackground(painter, band, scheme);
}

// Each appearance regular and compact, text and icon-only, in every state; then tinted.
int paintButtons(QPainter& painter, int top, const Look& look) {
  const UiTraits traits{look.scheme, look.increasedContrast};
  struct Row {
    const char* name;
    DropButtonStyle style;
  };
  const QColor amber = DropDesign::highlight(DropDesign::Highlight::amber, look.scheme);
  const Row rows[] = {{"primary", {Appearance::primary}},
                      {"secondary", {Appearance::secondary}},
                      {"tinted", {Appearance::secondary, false, false, amber}},
                      {"reader", {Appearance::reader}},
                      {"hero", {Appearance::hero}},
                      {"heroSecondary", {Appearance::heroSecondary}}};
  struct Column {
    bool iconOnly, compact;
    int cell;
  };
  const Column columns[] = {{false, false, 112}, {false, true, 72}, {true, false, 52}, {true, true, 40}};
  int y = top;
  for (const Row& row : rows) {
    const QRect band(0, y, kWidth, kButtonBand);
    backdrop(painter, band, row.style.appearance, look.scheme);
    const bool darkBand = row.style.appearance >= Appearance::reader || look.scheme == ColorScheme::dark;
    write(painter, QPointF(12, y + 33), QString::fromLatin1(row.name), darkBand ? Qt::white : Qt::black);
    int x = 108;
    for (const Column& column : columns) {
      for (const State& state : kStates) {
        DropButtonStyle style = row.style;
        style.iconOnly = column.iconOnly;
        style.compact = column.compact;
        const DropButtonStyle::Metrics size = style.metrics();
        const QString text = column.compact ? QStringLiteral("Save") : QStringLiteral("Continue");
        const QFont font = style.labelFont(false).font();
        const QString symbol = column.iconOnly ? QStringLiteral("heart") : QString();
        const qreal width =
            style.shapeWidth(DropButtonStyle::labelWidth(column.iconOnly ? QString() : text, symbol, font));
        const QRectF capsule(x, y + 29 - size.height / 2, width, size.height);
        DropButtonStyle::paint(
            painter, capsule, style, state.control, traits,
            [&](QPainter& label, const QRectF& content, const QColor& color, const QFont& face) {
              DropButtonStyle::paintLabel(label, content, column.iconOnly ? QString() : text, symbol, color,
                                          face);
            });
        x += column.cell;
      }
      x += 14;
    }
    y += band.height();
  }
  return y;
}

void tileLabel(QPainter& painter, const QRectF& tile, const QString& words, const QColor& color,
               const QColor& symbolColor) {
  DropSymbols::paint(painter, QStringLiteral("square.stack"),
                     QRectF(tile.left() + 12, tile.top(), 20, tile.height()), 17, QFont::Normal, symbolColor);
  write(painter, QPointF(tile.left() + 42, tile.center().y() + 4.5), words, color, 13, QFont::Normal);
}

// Selection tiles flat and on glass, with and without an accent, in their states; menu rows.
int paintRows(QPainter& painter, int top, const Look& look) {
  const UiTraits traits{look.scheme, look.increasedContrast};
  const QColor teal = DropDesign::highlight(DropDesign::Highlight::teal, look.scheme);
  const QRect band(0, top, kWidth, 150);
  DropDesign::paintWorkspaceBackground(painter, band, look.scheme);
  struct Tile {
    const char* name;
    bool selected;
    ControlState state;
  };
  const Tile tiles[] = {{"rest", false, {}},
                        {"hover", false, {.hover = 1}},
                        {"pressed", false, {.press = 1}},
                        {"focus", false, {.focus = 1}},
                        {"selected", true, {}},
                        {"sel.+focus", true, {.focus = 1}}};
  int y = top + 10;
  for (const bool glass : {false, true}) {
    int x = 12;
    for (const bool accented : {false, true}) {
      for (const Tile& tile : tiles) {
        const DropSelectionStyle style{tile.selected, accented ? std::optional(teal) : std::nullopt, glass};
        const QRectF rect(x, y, 112, 40);
        DropSelectionStyle::paint(painter, rect, style, tile.selected ? 1 : 0, tile.state, traits);
        tileLabel(painter, rect, QString::fromLatin1(tile.name), DropSelectionStyle::foreground(look.scheme),
                  accented ? teal : DropSelectionStyle::foreground(look.scheme));
        x += 122;
      }
      x += 12;
    }
    y += 50;
  }
  int x = 12;
  for (const bool destructive : {false, true}) {
    const DropMenuRowStyle style{destructive};
    for (const State& state : kStates) {
      if (std::string_view(state.name) == "focused")
        continue;
      const QRectF row(x, y + 4, 170, DropMenuRowStyle::height);
      painter.save();
      painter.setOpacity(state.control.enabled ? 1 : DropMenuRowStyle::disabledOpacity);
      DropMenuRowStyle::paint(painter, row, state.control, look.scheme);
      DropSymbols::paint(painter, QStringLiteral("gearshape"),
                         QRectF(row.left() + 10, row.top(), 16, row.height()), 13, QFont::Normal,
                         DropDesign::secondaryLabel(look.scheme));
      write(painter, QPointF(row.left() + 36, row.center().y() + 4.5),
            destructive ? QStringLiteral("Delete") : QString::fromLatin1(state.name),
            style.foreground(look.scheme), 13, QFont::Normal);
      painter.restore();
      x += 180;
    }
  }
  return band.bottom() + 1;
}

// Notices, eyebrows, labels, search, filter menu, surfaces and an empty state: real widgets.
int paintWidgets(QPainter& painter, int top, const Look& look, QWidget& host, ReaderModel& model) {
  const QRect band(0, top, kWidth, 590);
  DropDesign::paintWorkspaceBackground(painter, band, look.scheme);
  const DropNotice::Tone tones[] = {DropNotice::Tone::info, DropNotice::Tone::warning};
  int y = top + 12;
  for (const DropNotice::Tone tone : tones) {
    for (const bool action : {false, true}) {
      const bool warning = tone == DropNotice::Tone::warning;
      DropNotice notice(
          warning ? QStringLiteral("Sync could not finish: the reading service is unavailable. "
                                   "Existing data was retained.")
                  : QStringLiteral("Saved ideas stay readable offline. <b>Markup</b> shows as written."),
          warning ? QStringLiteral("exclamationmark.triangle") : QStringLiteral("info.circle"), tone, &host);
      if (action)
        notice.setAction(QStringLiteral("Sync now"));
      place(painter, notice, QPoint(action ? 382 : 12, y + (warning ? 90 : 0)),
            QSize(360, notice.heightForWidth(360)));
    }
  }
  y += 190;
  // Eyebrows of every topic, on the window and on the reading card.
  const QRect card(750, top + 12, 330, 170);
  painter.fillRect(card, DropDesign::panelBackground(Category::history, card));
  for (std::size_t index = 0; index < 12; ++index) {
    const Category category = Category(index);
    const QString kind = QString::fromLatin1(ContractEnum<DropKind>::wireValues[index % 6].data());
    DropEyebrow onWindow(category, kind, false, &host);
    place(painter, onWindow, QPoint(1090, top + 14 + int(index) * 14), onWindow.sizeHint());
    DropEyebrow onCard(category, kind, true, &host);
    place(painter, onCard, QPoint(card.left() + 10, card.top() + 8 + int(index) * 13), onCard.sizeHint());
  }
  // Labels: a header whose title wraps under its caption, a book title, an article section.
  DropScreenHeader header(QStringLiteral("Library"),
                          QStringLiteral("Everything you saved to read again, and more"),
                          QStringLiteral("Next drop 10:30"), &host);
  place(painter, header, QPoint(12, y), QSize(400, header.heightForWidth(400)));
  BookTitleLabel book(QStringLiteral("Thinking in Systems & Other Essays"), &host);
  book.setFont(DropFonts::rounded(13).font()); // font and colour are the caller's
  DropStandardWidgets::keepForeground(&book,
                                      [](const UiTraits& t) { return DropDesign::secondaryLabel(t.scheme); });
  place(painter, book, QPoint(430, y + 4), book.sizeHint());
  DropArticleSection section(QStringLiteral("Why it is surprising"),
                             DropDesign::highlight(DropDesign::Highlight::violet, look.scheme), &host);
  auto* body = new QLabel(QStringLiteral("The body keeps the primary colour."));
  body->setFont(DropFonts::rounded(14).font());
  section.setContent(body);
  place(painter, section, QPoint(430, y + 34), QSize(300, section.sizeHint().height()));
  // The search field empty, typed and focused; a filter menu with a long choice.
  DropSearchField empty(QStringLiteral("Search your reading"), &host);
  place(painter, empty, QPoint(750, y), QSize(230, 40));
  DropSearchField typed(QStringLiteral("Search your reading"), &host);
  typed.setText(QStringLiteral("habits"));
  place(painter, typed, QPoint(990, y), QSize(230, 40));
  {
    QWidget window;
    window.resize(260, 60);
    auto* focused = new DropSearchField(QStringLiteral("Search your reading"), &window);
    focused->setGeometry(10, 10, 230, 40);
    window.show();
    QApplication::setActiveWindow(&window);
    focused->input()->setFocus(Qt::TabFocusReason);
    focused->setText(QStringLiteral("stoic"));
    focused->render(&painter, QPoint(1230, y), QRegion(), QWidget::DrawChildren);
  }
  QMenu menu(&host);
  DropFilterMenu filter(QStringLiteral("Filter by book"),
                        QStringLiteral("The Structure of Scientific Revolutions & Its Critics"), &menu,
                        &host);
  filter.setFixedShapeWidth(190);
  place(painter, filter, QPoint(750 - 12, y + 56 - 9), QSize(190 + 24, filter.sizeHint().height()));
  // Save and love, off and on (tinted), then one waiting for a request of the model.
  {
    using Action = CollectionButton::Action;
    const DropSnapshot saved = model.savedSnapshots().first();
    const DropSnapshot unsaved = AccountFixtures::snapshot(9);
    CollectionButton saveOff(model, unsaved, Action::save, false, false, QStringLiteral("row"), &host);
    CollectionButton saveOn(model, saved, Action::save, false, false, QStringLiteral("row"), &host);
    CollectionButton loveOff(model, unsaved, Action::love, false, true, QStringLiteral("row"), &host);
    CollectionButton loveOn(model, saved, Action::love, false, true, QStringLiteral("row"), &host);
    int x = 962;
    for (CollectionButton* button : {&saveOff, &saveOn, &loveOff, &loveOn}) {
      place(painter, *button, QPoint(x, y + 47), button->sizeHint());
      x += button->sizeHint().width() - 14;
    }
    model.changeCollection(unsaved, false);
    place(painter, saveOff, QPoint(x, y + 47), saveOff.sizeHint());
    waitUntil([&] { return !model.collectionBusy(); });
    model.changeCollection(unsaved, false); // back off, for the next look
    waitUntil([&] { return !model.collectionBusy(); });
  }
  // The share button with its menu open.
  IdeaShareButton share(AccountFixtures::snapshot(1), false, QStringLiteral("library.x"), &host);
  place(painter, share, QPoint(1400, y + 47), share.sizeHint());
  QMenu* shareMenu = share.shareMenu();
  shareMenu->popup(QPoint(0, 0));
  shareMenu->render(&painter, QPoint(1412, y + 47 + share.sizeHint().height() - 10));
  shareMenu->hide();
  y += 120;
  // Both sidebar surfaces, their panels level and their shadows inside the band, and an
  // empty state.
  for (const bool elevated : {false, true}) {
    DropSidebarSurface surface(elevated, &host);
    const QMargins room = DropSidebarSurface::shadowMargins(elevated);
    const QPoint panel(40 + (elevated ? 260 : 0), y + 30);
    place(painter, surface, panel - QPoint(room.left(), room.top()), QSize(220, 180).grownBy(room));
  }
  DropEmptyState state(
      QStringLiteral("bookmark"), QStringLiteral("No saved ideas yet"),
      QStringLiteral("Save an idea you want to come back to. A long message wraps, centred, with "
                     "four points between its lines."),
      QStringLiteral("Discover ideas"), &host);
  place(painter, state, QPoint(600, y), QSize(700, state.heightForWidth(700)));
  return band.bottom() + 1;
}

TEST(DesignControlsRender, DrawsEveryControlInEveryStateForAPersonToLookAt) {
  ASSERT_TRUE(DropFonts::registerFonts());
  ReaderModelFixture fx;
  fx.signIn();
  ReaderModel& model = fx.open();
  // The first saved idea is loved too, so that both buttons show "on".
  model.changeCollection(model.savedSnapshots().first(), true);
  ASSERT_TRUE(waitUntil([&] { return !model.collectionBusy(); }));
  constexpr int lookHeight = 34 + 6 * kButtonBand + 150 + 590;
  QImage sheet(QSize(kWidth, 4 * lookHeight) * kRatio, QImage::Format_ARGB32_Premultiplied);
  sheet.setDevicePixelRatio(kRatio);
  QPainter painter(&sheet);
  painter.setRenderHint(QPainter::Antialiasing);
  QWidget host;
  int y = 0;
  for (const Look& look : kLooks) {
    UiEnvironment::instance().setOverrides(
        {.scheme = look.scheme, .increasedContrast = look.increasedContrast, .reduceMotion = true});
    painter.fillRect(QRect(0, y, kWidth, 34), QColor(40, 40, 40));
    write(painter, QPointF(12, y + 23), QString::fromLatin1(look.name), Qt::white, 15, QFont::Bold);
    y = paintWidgets(painter, paintRows(painter, paintButtons(painter, y + 34, look), look), look, host,
                     model);
  }
  painter.end();
  UiEnvironment::instance().setOverrides({});
  EXPECT_EQ(y, 4 * lookHeight);
  EXPECT_TRUE(sheet.save(testing::testOutputPath(QStringLiteral("design-controls.png"))));
}

} // namespace
} // namespace brindlewick

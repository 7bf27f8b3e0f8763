#include "../account/ContactSheet.h"
#include "AsyncProbe.h"
#include "RequiredValue.h"
#include "model/ReaderModelFixture.h"
#include "ui/design/CollectionButton.h"

#include <QHBoxLayout>
#include <QImage>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using Action = CollectionButton::Action;

class CollectionButtonTest : public ::testing::Test {
protected:
  void SetUp() override {
    fx.signIn();
    fx.open();
  }
  ReaderModel& model() { return fx.model(); }
  DropSnapshot drop(int index) {
    return requiredValue(model().repository().snapshot(fx.release().release.lore[index].id),
                         "the fixture's drop");
  }
  void waitForCollection() {
    ASSERT_TRUE(waitUntil([&] { return !model().collectionBusy(); }));
    flushEvents();
  }
  // Whether the rendered button shows `color` anywhere.
  static bool shows(QWidget& button, const QColor& color) {
    const QImage image = button.grab().toImage();
    for (int i = 0; i < image.width() * image.height(); ++i) {
      const QColor pixel = image.pixelColor(i % image.width(), i / image.width());
      if (qAbs(pixel.red() - color.red()) + qAbs(pixel.green() - color.green()) +
              qAbs(pixel.blue() - color.blue()) <
          12)
        return true;
    }
    return false;
  }

  ReaderModelFixture fx;
};

TEST_F(CollectionButtonTest, StateTextsAndTintFollowTheModel) {
  UiEnvironment::instance().setOverrides({.scheme = ColorScheme::light, .reduceMotion = true});
  const DropSnapshot both = model().savedSnapshots().first();
  model().changeCollection(both, true); // saved and loved
  waitForCollection();
  const struct {
    Action action;
    bool on;
    const char* title;
  } rows[] = {{Action::save, false, "Save"},
              {Action::save, true, "Saved"},
              {Action::love, false, "Love"},
              {Action::love, true, "Loved"}};
  for (const auto& row : rows) {
    for (const bool reader : {false, true}) {
      SCOPED_TRACE(std::string(row.title) + (reader ? " reader" : ""));
      CollectionButton button(model(), row.on ? both : drop(7), row.action, reader, false,
                              QStringLiteral("row"));
      EXPECT_EQ(button.text(), QString::fromLatin1(row.title));
      // Only an idea in the collection, off the reading card, is tinted.
      button.resize(button.sizeHint());
      EXPECT_EQ(shows(button, CollectionButton::tint(row.action, ColorScheme::light)), row.on && !reader);
    }
  }
  UiEnvironment::instance().setOverrides({});
}

// An idea in the collection tints the symbol alone: the title keeps the label colour in
// both schemes, so "Saved" and "Loved" read as well as "Save" and "Love". Pictured.
TEST_F(CollectionButtonTest, OnlyTheSymbolTakesTheTint) {
  const DropSnapshot both = model().savedSnapshots().first();
  model().changeCollection(both, true); // saved and loved
  waitForCollection();
  for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
    UiEnvironment::instance().setOverrides({.scheme = scheme, .reduceMotion = true});
    for (const Action action : {Action::save, Action::love}) {
      SCOPED_TRACE(std::string(scheme == ColorScheme::dark ? "dark " : "light ") +
                   CollectionButton::title(action, true).toStdString());
      CollectionButton button(model(), both, action, false, false, QStringLiteral("detail"));
      button.resize(button.sizeHint());
      const QImage image = button.grab().toImage();
      const qreal ratio = image.devicePixelRatio();
      const QColor tint = CollectionButton::tint(action, scheme);
      const QFont font = button.buttonStyle().labelFont(false).font();
      // The label is centred in the capsule: the symbol, a gap of 6, the title.
      const qreal labelWidth = DropButtonStyle::labelWidth(button.text(), button.symbol(), font);
      const qreal titleStart =
          button.shapeRect().center().x() - labelWidth / 2 + DropButtonStyle::symbolSize(font) + 3;
      int tintedSymbol = 0;
      int tintedTitle = 0;
      for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
          const QColor pixel = image.pixelColor(x, y);
          const bool tinted = qAbs(pixel.red() - tint.red()) + qAbs(pixel.green() - tint.green()) +
                                  qAbs(pixel.blue() - tint.blue()) <
                              40;
          (x / ratio < titleStart ? tintedSymbol : tintedTitle) += tinted;
        }
      EXPECT_GT(tintedSymbol, 0);
      EXPECT_EQ(tintedTitle, 0);
    }
  }

  testing::ContactSheet sheet;
  QWidget row;
  auto* buttons = new QHBoxLayout(&row);
  for (const Action action : {Action::save, Action::love})
    for (const DropSnapshot& idea : {drop(7), both})
      buttons->addWidget(new CollectionButton(model(), idea, action, false, false, QStringLiteral("detail")));
  buttons->addStretch(1);
  sheet.add(QStringLiteral("Save, Saved, Love, Loved"), row, 520);
  sheet.write(QStringLiteral("collection-buttons.png"));
}

TEST_F(CollectionButtonTest, APressTogglesOneFlagAndEveryButtonAgreesAndWaits) {
  const DropSnapshot idea = drop(3);
  CollectionButton love(model(), idea, Action::love, true, true, QStringLiteral("reader"));
  CollectionButton loveElsewhere(model(), idea, Action::love, false, false, QStringLiteral("row"));
  CollectionButton save(model(), idea, Action::save, true, true, QStringLiteral("reader"));
  CollectionButton otherIdea(model(), drop(4), Action::save, false, false, QStringLiteral("row"));
  const std::initializer_list<CollectionButton*> all = {&love, &loveElsewhere, &save, &otherIdea};

  love.click();
  // The whole model is busy, so every button of every idea waits.
  for (CollectionButton* button : all)
    EXPECT_FALSE(button->isEnabled());
  waitForCollection();
  for (CollectionButton* button : all)
    EXPECT_TRUE(button->isEnabled());
  EXPECT_TRUE(model().isLoved(idea));
  EXPECT_FALSE(model().isSaved(idea) || model().isSaved(drop(4)));
  EXPECT_EQ(loveElsewhere.text(), QStringLiteral("Loved"));
  EXPECT_EQ(save.symbol(), QStringLiteral("bookmark"));

  love.click();
  waitForCollection();
  EXPECT_FALSE(model().isLoved(idea));
  EXPECT_EQ(loveElsewhere.symbol(), QStringLiteral("heart"));
}

} // namespace
} // namespace brindlewick

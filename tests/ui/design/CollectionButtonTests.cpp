#include "AsyncProbe.h"
#include "model/ReaderModelFixture.h"
#include "ui/design/CollectionButton.h"

#include <QImage>
#include <QPainter>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using Action = CollectionButton::Action;

// The tooltip as a person reads it.
QString shownTooltip(const QWidget& widget) {
  QTextDocument shown;
  shown.setHtml(widget.toolTip());
  return shown.toPlainText();
}

class CollectionButtonTest : public ::testing::Test {
protected:
  void SetUp() override {
    fx.signIn();
    fx.open();
  }
  ReaderModel& model() { return fx.model(); }
  DropSnapshot drop(int index) { return *model().repository().snapshot(fx.release().release.lore[index].id); }
  void waitForCollection() {
    ASSERT_TRUE(waitUntil([&] { return !model().collectionBusy(); }));
    flushEvents();
  }
  // Pixels of the rendered button within a small distance of `color`.
  static int pixelsNear(QWidget& button, const QColor& color) {
    QImage image(button.size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    button.render(&image);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QColor pixel = image.pixelColor(x, y);
        count += std::abs(pixel.red() - color.red()) + std::abs(pixel.green() - color.green()) +
                     std::abs(pixel.blue() - color.blue()) <
                 24;
      }
    return count;
  }

  ReaderModelFixture fx;
};

TEST_F(CollectionButtonTest, StateTextsAndTintFollowTheModel) {
  UiEnvironment::instance().setOverrides({.scheme = ColorScheme::light, .reduceMotion = true});
  const DropSnapshot saved = model().savedSnapshots().first();
  const DropSnapshot unsaved = drop(7);
  struct Row {
    Action action;
    bool on;
    const char* title;
    const char* symbol;
    const char* label;
    const char* help;
  };
  const Row rows[] = {
      {Action::save, false, "Save", "bookmark", "Save this idea", "Save this idea to your collection"},
      {Action::save, true, "Saved", "bookmark.fill", "Remove from Saved", "Remove this idea from Saved"},
      {Action::love, false, "Love", "heart", "Love this idea", "Love this idea, separately from saving it"},
      {Action::love, true, "Loved", "heart.fill", "Unlove this idea", "Remove your love for this idea"},
  };
  // The saved idea is loved too, for the "on" love rows.
  model().changeCollection(saved, true);
  waitForCollection();
  for (const Row& row : rows) {
    for (const bool reader : {false, true}) {
      SCOPED_TRACE(std::string(row.title) + (reader ? " reader" : ""));
      CollectionButton button(model(), row.on ? saved : unsaved, row.action, reader, false,
                              QStringLiteral("row.x"));
      button.resize(button.sizeHint());
      EXPECT_EQ(button.isOn(), row.on);
      EXPECT_EQ(button.text(), QString::fromLatin1(row.title));
      EXPECT_EQ(button.symbol(), QString::fromLatin1(row.symbol));
      EXPECT_EQ(button.accessibleName(), QString::fromLatin1(row.label));
      EXPECT_EQ(shownTooltip(button), QString::fromLatin1(row.help));
      EXPECT_EQ(button.objectName(),
                row.action == Action::save ? QStringLiteral("row.x.save") : QStringLiteral("row.x.love"));
      // Only an idea in the collection, off the reading card, shows the tint.
      const bool tinted = row.on && !reader;
      EXPECT_EQ(pixelsNear(button, CollectionButton::tint(row.action, ColorScheme::light)) > 4, tinted);
    }
  }
  UiEnvironment::instance().setOverrides({});
}

TEST_F(CollectionButtonTest, APressTogglesOneFlagAndEveryButtonAgreesAndWaits) {
  const DropSnapshot idea = drop(3);
  const DropSnapshot other = drop(4);
  CollectionButton love(model(), idea, Action::love, true, true, QStringLiteral("reader"));
  CollectionButton loveElsewhere(model(), idea, Action::love, false, false, QStringLiteral("row"));
  CollectionButton save(model(), idea, Action::save, true, true, QStringLiteral("reader"));
  CollectionButton otherSave(model(), other, Action::save, false, false, QStringLiteral("row"));

  love.click();
  // The whole model is busy, so every button of every idea waits.
  ASSERT_TRUE(model().collectionBusy());
  for (CollectionButton* button : {&love, &loveElsewhere, &save, &otherSave})
    EXPECT_FALSE(button->isEnabled());
  waitForCollection();
  for (CollectionButton* button : {&love, &loveElsewhere, &save, &otherSave})
    EXPECT_TRUE(button->isEnabled());
  EXPECT_TRUE(model().isLoved(idea));
  EXPECT_FALSE(model().isSaved(idea));
  EXPECT_EQ(love.symbol(), QStringLiteral("heart.fill"));
  EXPECT_EQ(loveElsewhere.text(), QStringLiteral("Loved"));
  EXPECT_EQ(save.symbol(), QStringLiteral("bookmark"));
  EXPECT_FALSE(model().isLoved(other) || model().isSaved(other));

  love.click();
  waitForCollection();
  EXPECT_FALSE(model().isLoved(idea));
  EXPECT_EQ(loveElsewhere.text(), QStringLiteral("Love"));
}

} // namespace
} // namespace brindlewick

#pragma once

#include "AsyncProbe.h"
#include "TestOutput.h"
#include "model/ReaderModelFixture.h"
#include "ui/card/CardPanelContent.h"
#include "ui/card/ReaderCard.h"

#include <QImage>
#include <QPainter>
#include <QTextDocument>

namespace brindlewick {

struct ReaderModelTestAccess {
  static void present(ReaderModel& model, const DropSnapshot& snapshot) { model.present(snapshot); }
  static void setMessage(ReaderModel& model, const QString& text) { model.setMessage(text); }
};

namespace cardtest {

inline QString shownTooltip(const QWidget& widget) {
  QTextDocument shown;
  shown.setHtml(widget.toolTip());
  return shown.toPlainText();
}

// `widget` painted at twice the resolution, as on a high-density display; saved for a person
// to look at when given a name.
inline QImage picture(QWidget& widget, const QString& name = {}) {
  QImage image(widget.size() * 2, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(2);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  widget.render(&painter);
  if (!name.isEmpty())
    image.save(testing::testOutputPath(name + QStringLiteral(".png")));
  return image;
}

// `base` with `explanation` and three books: linked to the web, with a "javascript:" address,
// and without authors or address.
inline DropSnapshot withBooks(DropSnapshot drop, const QString& explanation) {
  drop.lore.explanation = explanation;
  const Book book = drop.books.value(0);
  const Source source = drop.sources.value(0);
  drop.books.clear();
  drop.sources.clear();
  const QString titles[] = {QStringLiteral("Thinking in Systems"),
                            QStringLiteral("The Design of <b>Everyday</b> Things"),
                            QStringLiteral("Anonymous Essays")};
  const std::optional<QString> urls[] = {QStringLiteral("https://example.com/systems"),
                                         QStringLiteral("javascript:alert(1)"), std::nullopt};
  for (int i = 0; i < 3; ++i) {
    drop.books.append(book);
    drop.books.last().id += QString::number(i);
    drop.books.last().title = titles[i];
    drop.books.last().authors = i == 2 ? QStringList() : QStringList{QStringLiteral("Donella Meadows")};
    drop.sources.append(source);
    drop.sources.last().bookId = drop.books.last().id;
    drop.sources.last().url = urls[i];
    drop.sources.last().locator = QStringLiteral("Chapter %1").arg(i + 1);
  }
  return drop;
}

inline const QString longExplanation = QStringLiteral(
    "Small, well-placed changes in a system's structure can produce large shifts in its behaviour, "
    "while big pushes on the wrong spot do almost nothing. The leverage lies in feedback loops, "
    "delays and the rules of the game rather than in the quantities people argue about.");

} // namespace cardtest
} // namespace brindlewick

#pragma once

#include "AsyncProbe.h"
#include "model/ReaderModelFixture.h"
#include "ui/card/CardPanelContent.h"
#include "ui/card/ReaderCard.h"

#include <QImage>
#include <QPainter>
#include <QTextDocument>

#include <memory>

namespace brindlewick {

struct ReaderModelTestAccess {
  static void present(ReaderModel& model, const DropSnapshot& snapshot) { model.present(snapshot); }
  static void setMessage(ReaderModel& model, const QString& text) { model.setMessage(text); }
};

namespace cardtest {

// The tooltip as a person reads it.
inline QString shownTooltip(const QWidget& widget) {
  QTextDocument shown;
  shown.setHtml(widget.toolTip());
  return shown.toPlainText();
}

// `widget` painted at twice the resolution, as on a high-density display.
inline QImage picture(QWidget& widget) {
  QImage image(widget.size() * 2, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(2);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  widget.render(&painter, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
  return image;
}

// Drop `index` of the generated release with a longer explanation and three books: the first
// linked to the web, the second with only a bad address, the third without authors.
inline DropSnapshot richDrop(const DropSnapshot& base, const QString& explanation) {
  DropSnapshot drop = base;
  drop.lore.explanation = explanation;
  const Book first = base.books.value(0);
  const Source source = base.sources.value(0);
  drop.books.clear();
  drop.sources.clear();
  const struct {
    const char* title;
    QStringList authors;
    std::optional<QString> url;
  } books[] = {{"Thinking in Systems",
                {QStringLiteral("Donella Meadows")},
                QStringLiteral("https://example.com/systems")},
               {"The Design of <b>Everyday</b> Things",
                {QStringLiteral("Don Norman"), QStringLiteral("A. Editor")},
                QStringLiteral("javascript:alert(1)")},
               {"Anonymous Essays", {}, std::nullopt}};
  int index = 0;
  for (const auto& entry : books) {
    Book book = first;
    book.id = first.id + QString::number(index);
    book.title = QString::fromUtf8(entry.title);
    book.authors = entry.authors;
    Source cited = source;
    cited.id = source.id + QString::number(index++);
    cited.bookId = book.id;
    cited.url = entry.url;
    cited.locator = QStringLiteral("Chapter %1").arg(index);
    drop.books.append(book);
    drop.sources.append(cited);
  }
  return drop;
}

inline const QString longExplanation = QStringLiteral(
    "Small, well-placed changes in a system's structure can produce large shifts in its behaviour, "
    "while big pushes on the wrong spot do almost nothing. The leverage lies in feedback loops, "
    "delays and the rules of the game rather than in the quantities people argue about.");

} // namespace cardtest
} // namespace brindlewick

#include "ui/design/TextElision.h"

#include <QFontMetricsF>

namespace brindlewick {

namespace {

const QChar kEllipsis(0x2026);

QString withoutSpaceBeforeEllipsis(QString elided) {
  if (!elided.endsWith(kEllipsis))
    return elided;
  elided.chop(1);
  while (!elided.isEmpty() && elided.back().isSpace())
    elided.chop(1);
  return elided + kEllipsis;
}

} // namespace

QString TextElision::elide(const QString& text, const QFont& font, qreal width) {
  const QString elided = QFontMetricsF(font).elidedText(text, Qt::ElideRight, width);
  return elided == text ? text : withoutSpaceBeforeEllipsis(elided);
}

QString TextElision::cut(const QString& text, const QFont& font, qreal width) {
  QString shown = text;
  while (!shown.isEmpty() && shown.back().isSpace())
    shown.chop(1);
  return withoutSpaceBeforeEllipsis(QFontMetricsF(font).elidedText(shown + kEllipsis, Qt::ElideRight, width));
}

} // namespace brindlewick

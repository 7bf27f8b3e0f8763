#pragma once

#include <QString>

class QFont;

namespace brindlewick {

// Text cut to a width with an ellipsis at its end. Where the cut falls just after a word,
// the space before the ellipsis goes ("what they…", not "what they …").
namespace TextElision {

// `text` whole when it fits in `width`, else cut at its end with an ellipsis.
QString elide(const QString& text, const QFont& font, qreal width);
// `text` followed by an ellipsis, cut further when both do not fit: the end of a text whose
// rest is not shown.
QString cut(const QString& text, const QFont& font, qreal width);

} // namespace TextElision

} // namespace brindlewick

#include "geometry/ScreenGeometry.h"

#include <algorithm>
#include <cmath>

namespace brindlewick {

namespace {

// Requested panel sides below 0 (or not numbers) would give rectangles of negative size.
double sanitizedSide(double value) {
  return value > 0 ? value : 0;
}

} // namespace

double ScreenGeometry::PanelLayout::topInset() const {
  const double inset = frame.maxY() - contentFrame.maxY();
  return inset > 0 ? inset : 0; // a negative value or NaN gives 0
}

ScreenGeometry::ScreenGeometry(Rect frame, Rect visibleFrame, double safeTop, Rect auxiliaryLeft,
                               Rect auxiliaryRight, bool isBuiltIn)
    : m_frame(frame), m_visibleFrame(visibleFrame), m_safeTop(safeTop), m_auxiliaryLeft(auxiliaryLeft),
      m_auxiliaryRight(auxiliaryRight), m_isBuiltIn(isBuiltIn) {}

Rect ScreenGeometry::usableFrame() const {
  const std::optional<Rect> usable = m_visibleFrame.intersected(m_frame);
  if (!usable || usable->isEmpty())
    return m_frame;
  return *usable;
}

std::optional<Rect> ScreenGeometry::notchGap() const {
  const double s = m_safeTop;
  const Rect& left = m_auxiliaryLeft;
  const Rect& right = m_auxiliaryRight;
  if (!(s > 0 && s < m_frame.height))
    return std::nullopt;
  if (left.isEmpty() || right.isEmpty())
    return std::nullopt;
  if (!(left.maxX() < right.minX()))
    return std::nullopt;
  if (!(m_frame.minX() <= left.minX() && right.maxX() <= m_frame.maxX()))
    return std::nullopt;
  if (!(std::abs(left.maxY() - m_frame.maxY()) < 1 && std::abs(right.maxY() - m_frame.maxY()) < 1))
    return std::nullopt;
  return Rect{left.maxX(), m_frame.maxY() - s, right.minX() - left.maxX(), s};
}

Rect ScreenGeometry::panelFrame(QSizeF size) const {
  const Rect usable = usableFrame();
  const std::optional<Rect> gap = notchGap();
  const double width = std::min(sanitizedSide(size.width()), std::max(usable.width - 2 * margin, 1.0));
  const double height = std::min(sanitizedSide(size.height()), std::max(usable.height - 2 * margin, 1.0));
  const double anchor = gap ? gap->midX() : usable.midX();
  // A safe area that is not a number counts as none rather than spreading into the frame.
  const double safeTop = m_safeTop > 0 ? m_safeTop : 0;
  double top = std::min(m_frame.maxY() - safeTop, usable.maxY());
  if (!gap)
    top -= margin;
  double x = anchor - width / 2;
  if (x <= usable.minX() + margin)
    x = usable.minX() + margin;
  if (usable.maxX() - width - margin < x)
    x = usable.maxX() - width - margin; // applied last: the right edge wins
  const double y = std::max(top - height, usable.minY() + margin);
  return Rect{x, y, width, height};
}

ScreenGeometry::PanelLayout ScreenGeometry::panelLayout(QSizeF size) const {
  const Rect plain = panelFrame(size);
  const Rect usable = usableFrame();
  const std::optional<Rect> gap = notchGap();
  if (!gap || !(gap->width > 0) || gap->width > plain.width || !(usable.minY() + margin < gap->minY()))
    return PanelLayout{plain, plain, std::nullopt};
  const double height = std::min(gap->minY() - usable.minY() - margin, plain.height);
  const Rect content{plain.minX(), gap->minY() - height, plain.width, height};
  const Rect window =
      Rect{content.minX(), content.minY(), content.width, content.height + (m_frame.maxY() - content.maxY())}
          .integral();
  return PanelLayout{window, content, gap->width};
}

std::optional<qsizetype> ScreenGeometry::preferredIndex(const QList<ScreenGeometry>& screens,
                                                        std::optional<qsizetype> mainIndex) {
  for (qsizetype index = 0; index < screens.size(); ++index) {
    if (screens[index].isBuiltIn() && screens[index].notchGap())
      return index;
  }
  if (mainIndex && *mainIndex >= 0 && *mainIndex < screens.size())
    return mainIndex;
  if (!screens.isEmpty())
    return 0;
  return std::nullopt;
}

} // namespace brindlewick

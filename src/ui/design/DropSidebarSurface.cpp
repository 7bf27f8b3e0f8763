#include "ui/design/DropSidebarSurface.h"

#include "ui/design/AccessibleRole.h"
#include "ui/design/DrawingCaches.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropShadow.h"

#include <QCache>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace brindlewick {

namespace {

constexpr qreal kCornerRadius = 24;

struct ShadowSpec {
  qreal radius;
  qreal offset;
  qreal darkAlpha;
  qreal lightAlpha;
};

constexpr ShadowSpec kHairline{1, 1, 0.3, 0.035};
constexpr ShadowSpec kResting{18, 8, 0.2, 0.04};
constexpr ShadowSpec kElevated{28, 14, 0.4, 0.12};

// A blur reaches three deviations (1.5 × the radius) beyond what casts it.
int reach(const ShadowSpec& shadow) {
  return int(std::ceil(1.5 * shadow.radius));
}

// Both shadows of a panel just large enough that its straight edges cast the same shadow as
// a panel of any size: the middle row and column of the picture stretch to fit. Cached by
// what changes the picture.
QImage shadowPicture(bool elevated, ColorScheme scheme, qreal ratio, int* side, QMargins* margins) {
  const ShadowSpec& soft = elevated ? kElevated : kResting;
  *margins = DropSidebarSurface::shadowMargins(elevated);
  // Corners plus the blur's reach on either side of the middle, then one stretching pixel.
  const int core = 2 * (int(kCornerRadius) + reach(soft)) + 1;
  *side = core;
  const QString key = QStringLiteral("%1/%2/%3").arg(elevated).arg(int(scheme)).arg(ratio);
  static QCache<QString, QImage> cache(8);
  [[maybe_unused]] static const bool registered = (DrawingCaches::add([] { cache.clear(); }), true);
  if (const QImage* cached = cache.object(key))
    return *cached;
  const QSize size = QSize(core, core).grownBy(*margins);
  QImage shape(size * ratio, QImage::Format_ARGB32_Premultiplied);
  shape.setDevicePixelRatio(ratio);
  shape.fill(Qt::transparent);
  {
    QPainter painter(&shape);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(
        DropDesign::roundedRect(QRectF(margins->left(), margins->top(), core, core), kCornerRadius),
        Qt::black);
  }
  const bool dark = scheme == ColorScheme::dark;
  QImage shadows(shape.size(), QImage::Format_ARGB32_Premultiplied);
  shadows.setDevicePixelRatio(ratio);
  shadows.fill(Qt::transparent);
  {
    QPainter painter(&shadows);
    for (const ShadowSpec* shadow : {&soft, &kHairline}) {
      const QColor color = QColor::fromRgbF(0, 0, 0, float(dark ? shadow->darkAlpha : shadow->lightAlpha));
      painter.drawImage(QPointF(),
                        DropShadow::cast(shape, shadow->radius, QPointF(0, shadow->offset), color));
    }
  }
  cache.insert(key, new QImage(shadows));
  return shadows;
}

// Draws `picture` over `target`: the bands `slice` wide along each edge as they are (the
// corners whole, the edges stretched along their length), the middle stretched both ways.
void drawNineSlices(QPainter& painter, const QRectF& target, const QImage& picture, const QMargins& slice,
                    qreal ratio) {
  const qreal sourceX[] = {0, qreal(slice.left()), picture.width() / ratio - slice.right(),
                           picture.width() / ratio};
  const qreal sourceY[] = {0, qreal(slice.top()), picture.height() / ratio - slice.bottom(),
                           picture.height() / ratio};
  const qreal targetX[] = {target.left(), target.left() + slice.left(), target.right() - slice.right(),
                           target.right()};
  const qreal targetY[] = {target.top(), target.top() + slice.top(), target.bottom() - slice.bottom(),
                           target.bottom()};
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      const QRectF to(QPointF(targetX[column], targetY[row]), QPointF(targetX[column + 1], targetY[row + 1]));
      const QRectF from(QPointF(sourceX[column], sourceY[row]) * ratio,
                        QPointF(sourceX[column + 1], sourceY[row + 1]) * ratio);
      if (to.width() > 0 && to.height() > 0)
        painter.drawImage(to, picture, from);
    }
  }
}

} // namespace

DropSidebarSurface::DropSidebarSurface(bool elevated, QWidget* parent)
    : QWidget(parent), m_elevated(elevated) {
  setContentsMargins(shadowMargins(elevated));
  // Painted beneath what it backs; never read.
  AccessibleRole::setHidden(this);
  UiEnvironment::repaintOnChange(this);
}

QMargins DropSidebarSurface::shadowMargins(bool elevated) {
  const ShadowSpec& soft = elevated ? kElevated : kResting;
  const int blur = reach(soft);
  return QMargins(blur, std::max(0, blur - int(soft.offset)), blur, blur + int(std::ceil(soft.offset)));
}

QRect DropSidebarSurface::panelRect() const {
  return rect().marginsRemoved(shadowMargins(m_elevated));
}

void DropSidebarSurface::paint(QPainter& painter, const QRectF& panel, bool elevated,
                               const UiTraits& traits) {
  const qreal ratio = painter.device() != nullptr ? painter.device()->devicePixelRatio() : 1;
  int side = 0;
  QMargins margins;
  const QImage shadows = shadowPicture(elevated, traits.scheme, ratio, &side, &margins);
  const int corner = (side - 1) / 2;
  drawNineSlices(painter, panel.marginsAdded(QMarginsF(margins)), shadows,
                 QMargins(corner, corner, corner, corner) + margins, ratio);

  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  const bool dark = traits.scheme == ColorScheme::dark;
  painter.fillPath(DropDesign::roundedRect(panel, kCornerRadius),
                   dark ? DropDesign::windowBackground(traits.scheme) : QColor(Qt::white));
  const QColor border = DropDesign::withOpacity(DropDesign::secondaryLabel(traits.scheme),
                                                traits.increasedContrast ? 0.4 : 0.1);
  DropDesign::strokeInnerEdge(painter, panel, kCornerRadius, border);
  painter.restore();
}

void DropSidebarSurface::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paint(painter, panelRect(), m_elevated, UiEnvironment::instance().traitsOf(this));
}

} // namespace brindlewick

#include "ui/design/DropGlass.h"

#include "ui/design/DrawingCaches.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropShadow.h"

#include <QCache>
#include <QLinearGradient>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace brindlewick {

namespace {

using DropDesign::grey;
using DropDesign::withOpacity;

QColor white(double alpha) {
  return grey(1, alpha);
}

QColor black(double alpha) {
  return grey(0, alpha);
}

// One row of the surface table.
struct Look {
  QColor fillTop, fillBottom;
  QColor edgeTop, edgeBottom;
  double sheen;
  double contact, ambientResting, ambientLifted;
  double tint;
  double tintedEdgeTop, tintedEdgeBottom;
  QColor contrastEdge; // the edge under increased contrast without a tint
};

Look look(const DropGlass::Style& style) {
  const DropGlass::Flags flags = DropGlass::flags(style.tone, style.scheme);
  if (flags.solidLight)
    return {grey(1.0), grey(0.87), white(1), grey(0.75), 0.50, 0.08, 0.06, 0.14, 0.16, 0.75, 0.40, black(1)};
  if (flags.darkBackdrop)
    return {white(0.13), white(0.05), white(0.30), white(0.14), 0.04, 0.20,
            0.14,        0.30,        0.16,        0.75,        0.40, DropDesign::primaryLabel(style.scheme)};
  if (style.tone == DropGlass::Tone::ink)
    return {grey(0.26), grey(0.07), white(0.28), black(0.40), 0.14, 0.12,
            0.08,       0.18,       0.09,        0.65,        0.35, white(1)};
  return {white(0.96), grey(0.955, 0.92),
          black(0.05), black(0.13),
          0.60,        0.05,
          0.035,       0.08,
          0.09,        0.65,
          0.35,        DropDesign::primaryLabel(style.scheme)};
}

struct Shadow {
  double radius;
  QPointF offset;
};
constexpr Shadow kContact{0.5, {0, 0.5}};
constexpr Shadow kAmbientResting{4, {0, 2}};
constexpr Shadow kAmbientLifted{8, {0, 3}};

// Everything the composited group (fill, tint, sheen, edge) depends on. The shape is kept
// with its bounds' top-left at the origin, so a surface moved elsewhere is the same surface.
struct GroupKey {
  QPainterPath shape;
  DropGlass::Tone tone;
  bool tinted;
  quint64 tint;
  ColorScheme scheme;
  bool increasedContrast;
  qreal devicePixelRatio;

  friend bool operator==(const GroupKey&, const GroupKey&) = default;
};

size_t qHash(const GroupKey& key, size_t seed = 0) {
  seed = qHashMulti(seed, int(key.shape.fillRule()), key.shape.elementCount());
  for (int i = 0; i < key.shape.elementCount(); ++i) {
    const QPainterPath::Element element = key.shape.elementAt(i);
    seed = qHashMulti(seed, int(element.type), element.x, element.y);
  }
  return qHashMulti(seed, int(key.tone), key.tinted, key.tint, int(key.scheme), key.increasedContrast,
                    key.devicePixelRatio);
}

struct SurfaceKey {
  GroupKey group;
  bool lifted;
  friend bool operator==(const SurfaceKey&, const SurfaceKey&) = default;
};

size_t qHash(const SurfaceKey& key, size_t seed = 0) {
  return qHashMulti(seed, key.group, key.lifted);
}

struct ShadowKey {
  GroupKey group;
  double radius;
  QPointF offset;
  QRgb color;
  friend bool operator==(const ShadowKey&, const ShadowKey&) = default;
};

size_t qHash(const ShadowKey& key, size_t seed = 0) {
  return qHashMulti(seed, key.group, key.radius, key.offset.x(), key.offset.y(), key.color);
}

// A finished surface: shadows and group, trimmed to what is not transparent. `origin` is
// its top-left in device pixels from the top-left of the shape's bounds.
struct Surface {
  QImage image;
  QPoint origin;
};

// Costs are in kibibytes.
constexpr int kSurfaceCacheKiB = 24 * 1024;
constexpr int kShadowCacheKiB = 16 * 1024;

QCache<SurfaceKey, Surface>& surfaceCache() {
  static QCache<SurfaceKey, Surface> cache(kSurfaceCacheKiB);
  [[maybe_unused]] static const bool registered = (DrawingCaches::add([] { cache.clear(); }), true);
  return cache;
}

QCache<ShadowKey, QImage>& shadowCache() {
  static QCache<ShadowKey, QImage> cache(kShadowCacheKiB);
  [[maybe_unused]] static const bool registered = (DrawingCaches::add([] { cache.clear(); }), true);
  return cache;
}

int costOf(const QImage& image) {
  return int(image.sizeInBytes() / 1024) + 1;
}

GroupKey groupKey(const QPainterPath& shape, const DropGlass::Style& style, qreal devicePixelRatio) {
  const QRectF bounds = shape.boundingRect();
  return GroupKey{shape.translated(-bounds.topLeft()),
                  style.tone,
                  style.tint.has_value(),
                  style.tint ? quint64(style.tint->rgba64()) : 0,
                  style.scheme,
                  style.increasedContrast,
                  devicePixelRatio};
}

// Fill, tint, sheen and edge, each laid over the whole bounds and then cut to the shape
// once, so that the antialiased outline is applied a single time.
void paintGroup(QPainter& painter, const QPainterPath& shape, const DropGlass::Style& style) {
  const Look surface = look(style);
  const QRectF bounds = shape.boundingRect();
  const QRectF cover = bounds.adjusted(-1, -1, 1, 1);

  QLinearGradient fill(bounds.topLeft(), bounds.bottomLeft());
  fill.setColorAt(0, surface.fillTop);
  fill.setColorAt(1, surface.fillBottom);
  painter.fillRect(cover, fill);
  if (style.tint)
    painter.fillRect(cover, withOpacity(*style.tint, surface.tint));
  QLinearGradient sheen(bounds.topLeft(), QPointF(bounds.left(), bounds.center().y()));
  sheen.setColorAt(0, white(surface.sheen));
  sheen.setColorAt(1, white(0));
  painter.fillRect(cover, sheen);
  // A 2 px line centred on the outline, of which the cut keeps the inner 1 px.
  painter.strokePath(shape, QPen(DropGlass::edgeBrush(style, bounds), 2));
  // Composition acts only where something is drawn, so the cut clears the shape's
  // complement rather than keeping the shape.
  QPainterPath outside;
  outside.addRect(cover.adjusted(-2, -2, 2, 2));
  outside.addPath(shape);
  outside.setFillRule(Qt::OddEvenFill);
  painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
  painter.fillPath(outside, Qt::black);
}

QImage castShadow(const QImage& group, const GroupKey* key, const Shadow& shadow, double alpha) {
  const QColor color = black(alpha);
  if (key == nullptr)
    return DropShadow::cast(group, shadow.radius, shadow.offset, color);
  const ShadowKey shadowKey{*key, shadow.radius, shadow.offset, color.rgba()};
  if (const QImage* cached = shadowCache().object(shadowKey))
    return *cached;
  QImage image = DropShadow::cast(group, shadow.radius, shadow.offset, color);
  shadowCache().insert(shadowKey, new QImage(image), costOf(image));
  return image;
}

QRect opaqueBounds(const QImage& image) {
  int left = image.width(), right = -1, top = image.height(), bottom = -1;
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      if (qAlpha(line[x]) != 0) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = y;
      }
    }
  }
  return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// Renders the surface of `shape` (its bounds at the origin); `key` set means its shadows
// come from and go to the shadow cache.
Surface build(const QPainterPath& shape, const DropGlass::Style& style, bool lifted, qreal ratio,
              const GroupKey* key) {
  const QMarginsF margins = DropGlass::shadowMargins();
  const auto pixels = [ratio](double points) { return int(std::ceil(points * ratio)) + 1; };
  const QPoint shapeAt(pixels(margins.left()), pixels(margins.top()));
  const QSizeF size = shape.boundingRect().size();
  const QSize imageSize(shapeAt.x() + pixels(size.width()) + pixels(margins.right()),
                        shapeAt.y() + pixels(size.height()) + pixels(margins.bottom()));
  const QPointF shapeOffset = QPointF(shapeAt) / ratio;

  QImage group(imageSize, QImage::Format_ARGB32_Premultiplied);
  group.setDevicePixelRatio(ratio);
  group.fill(Qt::transparent);
  {
    QPainter painter(&group);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(shapeOffset);
    paintGroup(painter, shape, style);
  }

  const Look surface = look(style);
  QImage composite(imageSize, QImage::Format_ARGB32_Premultiplied);
  composite.setDevicePixelRatio(ratio);
  composite.fill(Qt::transparent);
  {
    QPainter painter(&composite);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawImage(QPointF(), castShadow(group, key, lifted ? kAmbientLifted : kAmbientResting,
                                            lifted ? surface.ambientLifted : surface.ambientResting));
    painter.drawImage(QPointF(), castShadow(group, key, kContact, surface.contact));
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    painter.fillPath(shape.translated(shapeOffset), Qt::black);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(QPointF(), group);
  }
  const QRect kept = opaqueBounds(composite);
  QImage trimmed = composite.copy(kept);
  trimmed.setDevicePixelRatio(ratio);
  return Surface{trimmed, kept.topLeft() - shapeAt};
}

// A copy (the image is shared): the cache may drop its own at the next insertion.
Surface cachedSurface(const GroupKey& group, const DropGlass::Style& style, bool lifted) {
  const SurfaceKey key{group, lifted};
  if (const Surface* cached = surfaceCache().object(key))
    return *cached;
  const Surface made = build(group.shape, style, lifted, group.devicePixelRatio, &group);
  surfaceCache().insert(key, new Surface(made), costOf(made.image));
  return made;
}

// The blend (1 - t) × resting + t × lifted, pixel by pixel: alike inside the shape, the two
// give the same pixels there at every step.
Surface crossFade(const Surface& resting, const Surface& lifted, qreal t, qreal ratio) {
  const QRect restingRect(resting.origin, resting.image.size());
  const QRect liftedRect(lifted.origin, lifted.image.size());
  const QRect area = restingRect | liftedRect;
  QImage blend(area.size(), QImage::Format_ARGB32_Premultiplied);
  blend.setDevicePixelRatio(ratio);
  const int weight = qRound(t * 256);
  const auto pixelOf = [](const Surface& surface, const QRect& rect, QPoint at) -> QRgb {
    return rect.contains(at) ? surface.image.pixel(at - rect.topLeft()) : 0;
  };
  for (int y = 0; y < area.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(blend.scanLine(y));
    for (int x = 0; x < area.width(); ++x) {
      const QPoint at = area.topLeft() + QPoint(x, y);
      const QRgb from = pixelOf(resting, restingRect, at);
      const QRgb to = pixelOf(lifted, liftedRect, at);
      const auto mix = [weight](int a, int b) { return a + (((b - a) * weight) >> 8); };
      line[x] = qRgba(mix(qRed(from), qRed(to)), mix(qGreen(from), qGreen(to)), mix(qBlue(from), qBlue(to)),
                      mix(qAlpha(from), qAlpha(to)));
    }
  }
  return Surface{blend, area.topLeft()};
}

// Draws `surface` for a shape whose bounds start at `topLeft`, on whole device pixels when
// the painter only translates.
void place(QPainter& painter, QPointF topLeft, const Surface& surface, qreal ratio) {
  const QTransform& transform = painter.transform();
  if (transform.type() > QTransform::TxTranslate) {
    painter.drawImage(topLeft + QPointF(surface.origin) / ratio, surface.image);
    return;
  }
  const QPointF device = transform.map(topLeft) * ratio;
  const QPointF snapped(std::round(device.x()), std::round(device.y()));
  const QPointF at = (snapped + QPointF(surface.origin)) / ratio - QPointF(transform.dx(), transform.dy());
  painter.drawImage(at, surface.image);
}

qreal ratioOf(const QPainter& painter) {
  return painter.device() != nullptr ? painter.device()->devicePixelRatio() : 1.0;
}

} // namespace

QPainterPath DropGlass::capsule(const QRectF& rect) {
  const qreal radius = std::min(rect.width(), rect.height()) / 2;
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  return path;
}

DropGlass::Flags DropGlass::flags(Tone tone, ColorScheme scheme) {
  const bool dark = scheme == ColorScheme::dark;
  switch (tone) {
  case Tone::clear: return {dark, false};
  case Tone::ink: return {dark, dark};
  case Tone::paper: return {true, true};
  case Tone::onDark: return {true, false};
  }
  return {};
}

QMarginsF DropGlass::shadowMargins() {
  // Three deviations of the lifted ambient shadow (radius 8, σ 4) around its 3 px drop.
  const double reach = 3 * kAmbientLifted.radius / 2;
  return QMarginsF(reach, reach - kAmbientLifted.offset.y(), reach, reach + kAmbientLifted.offset.y());
}

QBrush DropGlass::edgeBrush(const Style& style, const QRectF& bounds) {
  const Look surface = look(style);
  if (style.increasedContrast)
    return withOpacity(style.tint.value_or(surface.contrastEdge), 0.6);
  QLinearGradient gradient(bounds.topLeft(), bounds.bottomLeft());
  gradient.setColorAt(0, style.tint ? withOpacity(*style.tint, surface.tintedEdgeTop) : surface.edgeTop);
  gradient.setColorAt(1,
                      style.tint ? withOpacity(*style.tint, surface.tintedEdgeBottom) : surface.edgeBottom);
  return gradient;
}

void DropGlass::paint(QPainter& painter, const QPainterPath& shape, const Style& style, qreal lift) {
  if (shape.isEmpty())
    return;
  if (painter.transform().type() > QTransform::TxTranslate) {
    paintUncached(painter, shape, style, lift);
    return;
  }
  lift = std::clamp(lift, 0.0, 1.0);
  const qreal ratio = ratioOf(painter);
  const GroupKey group = groupKey(shape, style, ratio);
  const QPointF topLeft = shape.boundingRect().topLeft();
  if (lift == 0 || lift == 1) {
    place(painter, topLeft, cachedSurface(group, style, lift == 1), ratio);
    return;
  }
  place(painter, topLeft,
        crossFade(cachedSurface(group, style, false), cachedSurface(group, style, true), lift, ratio), ratio);
}

void DropGlass::paintUncached(QPainter& painter, const QPainterPath& shape, const Style& style, qreal lift) {
  if (shape.isEmpty())
    return;
  lift = std::clamp(lift, 0.0, 1.0);
  const qreal ratio = ratioOf(painter);
  const QRectF bounds = shape.boundingRect();
  const QPainterPath atOrigin = shape.translated(-bounds.topLeft());
  Surface surface;
  if (lift == 0 || lift == 1)
    surface = build(atOrigin, style, lift == 1, ratio, nullptr);
  else
    surface = crossFade(build(atOrigin, style, false, ratio, nullptr),
                        build(atOrigin, style, true, ratio, nullptr), lift, ratio);
  place(painter, bounds.topLeft(), surface, ratio);
}

int DropGlass::cachedSurfaceCount() {
  return int(surfaceCache().count());
}

int DropGlass::cachedShadowCount() {
  return int(shadowCache().count());
}

void DropGlass::clearCaches() {
  surfaceCache().clear();
  shadowCache().clear();
}

} // namespace brindlewick

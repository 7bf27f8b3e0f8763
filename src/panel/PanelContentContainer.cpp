#include "panel/PanelContentContainer.h"

#include <QGraphicsOpacityEffect>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brindlewick {

namespace PanelSilhouette {

namespace {

constexpr double pi = std::numbers::pi;

class Builder {
public:
  void move(double x, double y) { add(point(SilhouetteSegment::Kind::move, QPointF(x, y))); }
  void line(double x, double y) { add(point(SilhouetteSegment::Kind::line, QPointF(x, y))); }
  void arc(double cx, double cy, double radius, double start, double end, bool clockwise) {
    SilhouetteSegment segment = point(SilhouetteSegment::Kind::arc,
                                      QPointF(cx + radius * std::cos(end), cy + radius * std::sin(end)));
    segment.centre = QPointF(cx, cy);
    segment.radius = radius;
    segment.startAngle = start;
    segment.endAngle = end;
    segment.clockwise = clockwise;
    add(segment);
  }
  void close() { add(point(SilhouetteSegment::Kind::close, m_start)); }
  QList<SilhouetteSegment> result() const { return m_segments; }

private:
  static SilhouetteSegment point(SilhouetteSegment::Kind kind, QPointF to) {
    SilhouetteSegment segment;
    segment.kind = kind;
    segment.to = to;
    return segment;
  }
  void add(const SilhouetteSegment& segment) {
    if (segment.kind == SilhouetteSegment::Kind::move)
      m_start = segment.to;
    m_segments.append(segment);
  }
  QList<SilhouetteSegment> m_segments;
  QPointF m_start;
};

void plainShape(Builder& path, const Rect& b, double radius, bool includeTop) {
  const double r = radius;
  path.move(b.minX() + r, b.maxY());
  path.arc(b.minX() + r, b.maxY() - r, r, pi / 2, pi, false);
  path.line(b.minX(), b.minY() + r);
  path.arc(b.minX() + r, b.minY() + r, r, pi, 3 * pi / 2, false);
  path.line(b.maxX() - r, b.minY());
  path.arc(b.maxX() - r, b.minY() + r, r, -pi / 2, 0, false);
  path.line(b.maxX(), b.maxY() - r);
  path.arc(b.maxX() - r, b.maxY() - r, r, 0, pi / 2, false);
  if (includeTop)
    path.close();
}

void notchShape(Builder& path, const Rect& b, double radius, double topInset, double notchWidth,
                bool includeTop) {
  const double w = b.width;
  const double h = b.height;
  const double shoulder = (w - notchWidth) * 0.5;
  const double r1 = std::min({topInset, shoulder, shoulderRadius, h / 3});
  const double left = b.minX() + r1;
  const double right = b.maxX() - r1;
  const double r2 = std::min({std::max(r1, (h - topInset) * 0.5), radius, (right - left) * 0.5, h - r1});
  path.move(b.minX(), b.maxY());
  path.arc(b.minX(), b.maxY() - r1, r1, pi / 2, 0, true);
  path.line(left, b.minY() + r2);
  path.arc(left + r2, b.minY() + r2, r2, pi, 3 * pi / 2, false);
  path.line(right - r2, b.minY());
  path.arc(right - r2, b.minY() + r2, r2, -pi / 2, 0, false);
  path.line(right, b.maxY() - r1);
  path.arc(b.maxX(), b.maxY() - r1, r1, pi, pi / 2, true);
  if (includeTop)
    path.close();
}

} // namespace

QList<SilhouetteSegment> segments(const Rect& bounds, double topInset, std::optional<double> notchWidth,
                                  bool includeTop) {
  const double w = bounds.width;
  const double h = bounds.height;
  if (bounds.isEmpty())
    return {};
  const double radius = std::min({cornerRadius, w / 2, h / 2});
  Builder path;
  // Every comparison with a value that is not a number fails, which selects the plain shape.
  const bool notch = notchWidth && topInset > 0 && *notchWidth > 0 && h > 0 && *notchWidth + 4 < w;
  if (notch)
    notchShape(path, bounds, radius, topInset, *notchWidth, includeTop);
  else
    plainShape(path, bounds, radius, includeTop);
  return path.result();
}

QList<QPointF> points(const QList<SilhouetteSegment>& segments) {
  QList<QPointF> result;
  for (const SilhouetteSegment& segment : segments)
    result.append(segment.to);
  return result;
}

QPainterPath painterPath(const QList<SilhouetteSegment>& segments, double flipAxis) {
  const auto flip = [flipAxis](QPointF point) { return QPointF(point.x(), flipAxis - point.y()); };
  QPainterPath path;
  for (const SilhouetteSegment& segment : segments) {
    switch (segment.kind) {
    case SilhouetteSegment::Kind::move: path.moveTo(flip(segment.to)); break;
    case SilhouetteSegment::Kind::line: path.lineTo(flip(segment.to)); break;
    case SilhouetteSegment::Kind::close: path.closeSubpath(); break;
    case SilhouetteSegment::Kind::arc: {
      if (!(segment.radius > 0)) {
        path.lineTo(flip(segment.to));
        break;
      }
      // Qt's arc angles run counter-clockwise as seen on screen, which is counter-clockwise
      // in y-up coordinates too, so the angles carry over unchanged.
      double sweep = segment.endAngle - segment.startAngle;
      if (segment.clockwise) {
        while (sweep > 0)
          sweep -= 2 * pi;
      } else {
        while (sweep < 0)
          sweep += 2 * pi;
      }
      const QPointF centre = flip(segment.centre);
      const double r = segment.radius;
      path.arcTo(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), segment.startAngle * 180 / pi,
                 sweep * 180 / pi);
      break;
    }
    }
  }
  return path;
}

QPainterPath path(QSizeF size, double topInset, std::optional<double> notchWidth, bool includeTop) {
  return painterPath(segments(Rect{0, 0, size.width(), size.height()}, topInset, notchWidth, includeTop),
                     size.height());
}

} // namespace PanelSilhouette

// The topmost child: draws the rim above the hosted content, then erases everything outside
// the silhouette. Erasing in the shared, translucent backing store gives antialiased edges
// that a widget mask (one bit per pixel) cannot.
class PanelContentContainer::Overlay : public QWidget {
public:
  explicit Overlay(PanelContentContainer* container) : QWidget(container), m_container(container) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
  }

  // The mask changed: where it leaves pixels uncovered is found again at the next paint.
  void maskChanged() { m_uncovered.reset(); }

protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    // Rectangle by rectangle, the rim's images are plain copies; under a clip of many
    // rectangles (the band a frame of the glint repaints) each would be cut into spans and
    // blended on the raster engine's thread pool.
    for (const QRect& rect : event->region()) {
      painter.setClipRect(rect);
      m_container->edgeHighlight().paint(painter);
    }
    // The rim's outer half and the content's corners lie where the silhouette leaves pixels
    // uncovered; everywhere else there is nothing to erase. A whole repaint (each frame of
    // the panel's movement, which resizes it) erases without looking.
    const QRegion& region = event->region();
    const bool whole = region.rectCount() == 1 && region.boundingRect() == rect();
    const QRegion cut = whole ? region : region.intersected(uncovered());
    if (cut.isEmpty())
      return;
    painter.setClipRegion(cut);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    painter.fillPath(outside(), Qt::black);
  }

private:
  QPainterPath outside() const {
    QPainterPath outside;
    outside.setFillRule(Qt::OddEvenFill);
    outside.addRect(QRectF(rect()));
    outside.addPath(m_container->maskPath());
    return outside;
  }

  // The tiles of the overlay holding a pixel the silhouette does not cover entirely.
  const QRegion& uncovered() {
    if (m_uncovered)
      return *m_uncovered;
    constexpr int tile = 8;
    QImage coverage(size().expandedTo(QSize(1, 1)), QImage::Format_Alpha8);
    coverage.fill(0);
    {
      QPainter painter(&coverage);
      painter.setRenderHint(QPainter::Antialiasing);
      painter.fillPath(outside(), Qt::black);
    }
    QRegion uncovered;
    for (int top = 0; top < coverage.height(); top += tile) {
      const int bottom = std::min(top + tile, coverage.height());
      for (int left = 0; left < coverage.width(); left += tile) {
        const int right = std::min(left + tile, coverage.width());
        const auto anyUncovered = [&] {
          for (int y = top; y < bottom; ++y) {
            const uchar* row = coverage.constScanLine(y);
            if (std::any_of(row + left, row + right, [](uchar alpha) { return alpha != 0; }))
              return true;
          }
          return false;
        };
        if (anyUncovered())
          uncovered += QRect(left, top, right - left, bottom - top);
      }
    }
    m_uncovered = uncovered;
    return *m_uncovered;
  }

  PanelContentContainer* m_container;
  std::optional<QRegion> m_uncovered;
};

PanelContentContainer::PanelContentContainer(FrameClock* clock, AccessibilitySettings* accessibility,
                                             QWidget* parent)
    : QWidget(parent), m_edgeHighlight(new PanelEdgeHighlight(clock, accessibility, this)),
      m_overlay(new Overlay(this)) {
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  connect(m_edgeHighlight, &PanelEdgeHighlight::changed, m_overlay, qOverload<>(&QWidget::update));
  connect(m_edgeHighlight, &PanelEdgeHighlight::bandChanged, m_overlay,
          qOverload<const QRegion&>(&QWidget::update));
  layoutContent();
}

PanelContentContainer::~PanelContentContainer() = default;

void PanelContentContainer::setEdgeColors(const std::optional<EdgeColors>& colors) {
  m_edgeColors = colors;
  layoutContent();
}

void PanelContentContainer::setEdgeVisible(bool visible) {
  m_edgeVisible = visible;
  if (!visible)
    m_edgeHighlight->stop();
  layoutContent();
}

void PanelContentContainer::setContentSize(QSizeF size) {
  m_contentSize = size;
  layoutContent();
}

void PanelContentContainer::setTopInset(double inset) {
  m_topInset = inset;
  layoutContent();
}

void PanelContentContainer::setNotchWidth(std::optional<double> width) {
  m_notchWidth = width;
  layoutContent();
}

void PanelContentContainer::setContent(QWidget* view) {
  if (view == m_hosted)
    return;
  if (m_hosted) {
    m_hosted->hide();
    m_hosted->setParent(nullptr);
    m_hosted->deleteLater(); // it may be the sender of the signal that replaced it
  }
  m_hosted = view;
  if (view) {
    view->setParent(this);
    applyContentOpacity();
    view->show();
    m_overlay->raise();
  }
  layoutContent();
}

void PanelContentContainer::setContentOpacity(double opacity) {
  opacity = std::clamp(opacity >= 0 ? opacity : 0.0, 0.0, 1.0);
  if (opacity == m_contentOpacity)
    return;
  m_contentOpacity = opacity;
  applyContentOpacity();
}

void PanelContentContainer::applyContentOpacity() {
  if (!m_hosted)
    return;
  if (m_contentOpacity >= 1) {
    // No effect at full opacity: the content is then drawn directly, without an offscreen pass.
    m_hosted->setGraphicsEffect(nullptr);
    return;
  }
  auto* effect = qobject_cast<QGraphicsOpacityEffect*>(m_hosted->graphicsEffect());
  if (!effect) {
    effect = new QGraphicsOpacityEffect(m_hosted);
    m_hosted->setGraphicsEffect(effect);
  }
  effect->setOpacity(m_contentOpacity);
}

void PanelContentContainer::layoutContent() {
  const QSizeF bounds = size();
  if (m_hosted) {
    const QRectF frame((bounds.width() - m_contentSize.width()) * 0.5, m_topInset, m_contentSize.width(),
                       m_contentSize.height());
    m_hosted->setGeometry(frame.toRect());
  }
  m_overlay->setGeometry(rect());
  QPainterPath mask = PanelSilhouette::path(bounds, m_topInset, m_notchWidth, true);
  if (mask != m_maskPath) {
    m_maskPath = mask;
    m_overlay->maskChanged();
  }
  if (!m_edgeColors) {
    m_edgeHighlight->stop();
  } else {
    const QPainterPath outline = PanelSilhouette::path(bounds, m_topInset, m_notchWidth, false);
    const bool visible = m_edgeVisible && window()->isVisible();
    m_edgeHighlight->update(outline, QRectF(rect()), *m_edgeColors, visible);
  }
  update();
}

void PanelContentContainer::paintEvent(QPaintEvent*) {
  // The whole rectangle is black; the overlay cuts it to the silhouette after the children.
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
}

void PanelContentContainer::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layoutContent();
}

void PanelContentContainer::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  layoutContent();
}

void PanelContentContainer::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  layoutContent();
}

} // namespace brindlewick

#include "panel/PanelEdgeHighlight.h"

#include "desktop/AccessibilitySettings.h"
#include "desktop/FrameClock.h"

#include <QEasingCurve>
#include <QPainter>
#include <QPainterPathStroker>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>

namespace brindlewick {

namespace {

QColor withAlpha(QColor color, double alpha) {
  color.setAlphaF(static_cast<float>(alpha));
  return color;
}

// The standard ease-in-ease-out timing curve (control points 0.42, 0 and 0.58, 1).
double easeInEaseOut(double t) {
  static const QEasingCurve curve = [] {
    QEasingCurve c(QEasingCurve::BezierSpline);
    c.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
    return c;
  }();
  return curve.valueForProgress(t);
}

// Squares along the outline, overlapping, each wider than the line and its antialiasing.
QRegion bandAlong(const OutlineTrack& outline, double lineWidth) {
  constexpr double step = 4;
  const double half = lineWidth / 2 + 3;
  const double length = outline.length();
  if (!(length > 0))
    return {};
  const int squares = int(std::ceil(length / step));
  QRegion band;
  for (int i = 0; i <= squares; ++i) {
    const QPointF at = outline.pointAtFraction(double(i) / squares);
    band += QRectF(at.x() - half, at.y() - half, 2 * half, 2 * half).toAlignedRect();
  }
  return band;
}

} // namespace

PanelEdgeHighlight::PanelEdgeHighlight(FrameClock* clock, AccessibilitySettings* accessibility,
                                       QObject* parent)
    : QObject(parent), m_clock(clock), m_accessibility(accessibility) {
  if (m_clock)
    connect(m_clock, &FrameClock::frame, this, [this](double now) {
      if (m_isAnimating)
        frame(now);
    });
}

PanelEdgeHighlight::~PanelEdgeHighlight() {
  removeGlint();
}

void PanelEdgeHighlight::update(const QPainterPath& outline, const QRectF& bounds, const EdgeColors& colors,
                                bool visible) {
  const bool reduceMotion = m_accessibility && m_accessibility->reduceMotion();
  const bool increaseContrast = m_accessibility && m_accessibility->increaseContrast();
  const bool same = m_outline && *m_outline == outline;
  if (!same) {
    m_outline = outline;
    QPainterPathStroker stroker;
    stroker.setWidth(lineWidth);
    stroker.setCapStyle(Qt::FlatCap);
    stroker.setJoinStyle(Qt::MiterJoin);
    m_stroke = stroker.createStroke(outline);
    m_track = OutlineTrack(outline);
    m_band = bandAlong(m_track, lineWidth);
  }
  const QColor lineColor = withAlpha(colors.color, reduceMotion || increaseContrast ? 1.0 : 0.6);
  if (!same || colors != m_colors || lineColor != m_lineColor)
    m_lineSprite = QImage();
  m_bounds = bounds;
  m_colors = colors;
  m_hidden = !visible;
  m_lineColor = lineColor;
  m_glintHidden = reduceMotion;
  if (!visible || reduceMotion)
    removeGlint();
  else if (!same || !m_isAnimating) {
    removeGlint();
    m_isAnimating = true;
    m_glintStartedAt = m_clock ? m_clock->now() : 0;
    m_glintShownAt = m_glintStartedAt;
    const double speed = m_track.length() / lapDuration;
    m_frameRate = std::max(minimumGlintFrameRate, speed / glintStep);
    if (m_clock)
      m_clock->requestFrames(m_frameRate);
  }
  m_lastGlintSquare = glintSquare();
  Q_EMIT changed();
}

void PanelEdgeHighlight::frame(double now) {
  m_glintShownAt = now;
  // The glint moves a few points a frame: only the band under where it was and where it is
  // now changes.
  const QRect square = glintSquare();
  // Two cuts of the band by a rectangle cost less than one by a region.
  const QRegion dirty = m_band.intersected(m_lastGlintSquare).united(m_band.intersected(square));
  m_lastGlintSquare = square;
  if (!m_hidden && !m_glintHidden && !dirty.isEmpty())
    Q_EMIT bandChanged(dirty);
}

QRect PanelEdgeHighlight::glintSquare() const {
  const std::optional<QPointF> centre = glintPosition();
  if (!centre)
    return {};
  const double radius = glintDiameter / 2 + 1;
  return QRectF(centre->x() - radius, centre->y() - radius, 2 * radius, 2 * radius).toAlignedRect();
}

void PanelEdgeHighlight::stop() {
  removeGlint();
  m_hidden = true;
  Q_EMIT changed();
}

void PanelEdgeHighlight::removeGlint() {
  if (!m_isAnimating)
    return;
  m_isAnimating = false;
  if (m_clock)
    m_clock->releaseFrames(m_frameRate);
}

double PanelEdgeHighlight::lapProgress() const {
  const double elapsed = m_glintShownAt - m_glintStartedAt;
  const double lap = std::fmod(elapsed, lapDuration) / lapDuration;
  return lap >= 0 ? lap : 0;
}

std::optional<QPointF> PanelEdgeHighlight::glintPosition() const {
  if (!m_isAnimating || !(m_track.length() > 0))
    return std::nullopt;
  return m_track.pointAtFraction(lapProgress());
}

double PanelEdgeHighlight::glintOpacity() const {
  if (!m_isAnimating)
    return 0;
  const double t = lapProgress();
  if (t < 0.08)
    return easeInEaseOut(t / 0.08);
  if (t <= 0.88)
    return 1;
  return 1 - easeInEaseOut((t - 0.88) / 0.12);
}

void PanelEdgeHighlight::paint(QPainter& painter) const {
  if (m_hidden || m_stroke.isEmpty())
    return;
  const qreal ratio = painter.device() ? painter.device()->devicePixelRatio() : 1.0;
  if (m_lineSprite.isNull() || ratio != m_spriteRatio)
    renderSprites(ratio);
  painter.drawImage(m_spriteRect.topLeft(), m_lineSprite);
  const std::optional<QPointF> centre = glintPosition();
  if (m_glintHidden || !centre)
    return;
  QPoint origin;
  const QImage& glint = composeGlint(*centre, origin);
  if (!glint.isNull())
    painter.drawImage(QPointF(origin) / ratio, glint);
}

void PanelEdgeHighlight::renderSprites(qreal ratio) const {
  m_spriteRatio = ratio;
  m_glintFrameKey = {};
  m_spriteRect = m_stroke.boundingRect().toAlignedRect();
  const auto canvas = [ratio](QSizeF size) {
    QImage image((size * ratio).toSize().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    return image;
  };
  // Only the inner half shows: the panel's shape is the outline closed along the top.
  QPainterPath inside = *m_outline;
  inside.closeSubpath();
  const auto fillStroke = [this, &canvas, &inside](const QBrush& brush) {
    QImage image = canvas(m_spriteRect.size());
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(-m_spriteRect.topLeft());
    painter.setClipPath(inside);
    painter.fillPath(m_stroke, brush);
    return image;
  };
  m_lineSprite = fillStroke(m_lineColor);
  m_strokeSprite = fillStroke(Qt::black);
  m_strokeRuns.clear();
  for (int y = 0; y < m_strokeSprite.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(m_strokeSprite.constScanLine(y));
    QList<std::pair<int, int>> runs;
    for (int x = 0; x < m_strokeSprite.width(); ++x) {
      if (qAlpha(row[x]) == 0)
        continue;
      if (!runs.isEmpty() && runs.last().second == x)
        runs.last().second = x + 1;
      else
        runs.append({x, x + 1});
    }
    m_strokeRuns.append(runs);
  }

  // One point of room around the glint's circle, so its rim of transparency is whole.
  const double side = glintDiameter + 2;
  m_glintSprite = canvas(QSizeF(side, side));
  QPainter painter(&m_glintSprite);
  QRadialGradient sheen(QPointF(side, side) / 2, glintDiameter / 2);
  sheen.setColorAt(0, m_colors.glint);
  sheen.setColorAt(0.2, withAlpha(m_colors.glint, 0.95));
  sheen.setColorAt(0.48, withAlpha(m_colors.glint, 0.7));
  sheen.setColorAt(0.8, withAlpha(m_colors.color, 0.85));
  sheen.setColorAt(1, withAlpha(m_colors.color, 0));
  painter.fillRect(QRectF(0, 0, side, side), sheen);
}

const QImage& PanelEdgeHighlight::composeGlint(QPointF centre, QPoint& origin) const {
  // In device pixels, relative to the stroke sprite: the glint's square and the part of it
  // the line crosses.
  const QSize size = m_glintSprite.size();
  const QPointF stroke = QPointF(m_spriteRect.topLeft()) * m_spriteRatio;
  const QPoint at = (centre * m_spriteRatio - stroke - QPointF(size.width(), size.height()) / 2).toPoint();
  const QRect area = QRect(at, size).intersected(m_strokeSprite.rect());
  const int opacity = qRound(glintOpacity() * 255);
  const GlintFrameKey key{at, opacity};
  origin = (stroke + QPointF(area.topLeft())).toPoint();
  if (key == m_glintFrameKey)
    return m_glintFrame;
  m_glintFrameKey = key;
  if (area.isEmpty() || opacity <= 0) {
    m_glintFrame = QImage();
    return m_glintFrame;
  }
  if (m_glintFrame.size() != area.size()) {
    m_glintFrame = QImage(area.size(), QImage::Format_ARGB32_Premultiplied);
    m_glintFrame.setDevicePixelRatio(m_spriteRatio);
  }
  // The sheen times the line's coverage times the fade, per premultiplied channel: what a
  // gradient fill of the line at that opacity gives, without the fill.
  m_glintFrame.fill(Qt::transparent);
  for (int y = 0; y < area.height(); ++y) {
    const auto* coverage = reinterpret_cast<const QRgb*>(m_strokeSprite.constScanLine(area.top() + y));
    // x counts the stroke sprite's columns; the sheen's row starts at its column at.x(), the
    // frame's at area.left().
    const auto* sheen = reinterpret_cast<const QRgb*>(m_glintSprite.constScanLine(area.top() - at.y() + y));
    auto* out = reinterpret_cast<QRgb*>(m_glintFrame.scanLine(y));
    for (const auto& [start, end] : m_strokeRuns[area.top() + y]) {
      for (int x = std::max(start, area.left()); x < std::min(end, area.left() + area.width()); ++x) {
        const int alpha = qAlpha(coverage[x]) * opacity;
        const auto scale = [alpha](int channel) { return (channel * alpha + 255 * 255 / 2) / (255 * 255); };
        const QRgb pixel = sheen[x - at.x()];
        out[x - area.left()] =
            qRgba(scale(qRed(pixel)), scale(qGreen(pixel)), scale(qBlue(pixel)), scale(qAlpha(pixel)));
      }
    }
  }
  return m_glintFrame;
}

} // namespace brindlewick

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
    connect(m_clock, &FrameClock::frame, this, [this] {
      if (m_isAnimating)
        frame();
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
  m_bounds = bounds;
  m_colors = colors;
  m_hidden = !visible;
  m_lineColor = withAlpha(colors.color, reduceMotion || increaseContrast ? 1.0 : 0.6);
  m_glintHidden = reduceMotion;
  if (!visible || reduceMotion)
    removeGlint();
  else if (!same || !m_isAnimating) {
    removeGlint();
    m_isAnimating = true;
    m_glintStartedAt = m_clock ? m_clock->now() : 0;
    const double speed = m_track.length() / lapDuration;
    m_frameRate = std::max(minimumGlintFrameRate, speed / glintStep);
    if (m_clock)
      m_clock->requestFrames(m_frameRate);
  }
  m_lastGlintSquare = glintSquare();
  Q_EMIT changed();
}

void PanelEdgeHighlight::frame() {
  // The glint moves a few points a frame: only the band under where it was and where it is
  // now changes.
  const QRect square = glintSquare();
  const QRegion dirty = m_band.intersected(QRegion(m_lastGlintSquare).united(square));
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
  const double elapsed = (m_clock ? m_clock->now() : 0) - m_glintStartedAt;
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
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillPath(m_stroke, m_lineColor);
  const std::optional<QPointF> centre = glintPosition();
  if (!m_glintHidden && centre) {
    QRadialGradient sheen(*centre, glintDiameter / 2);
    sheen.setColorAt(0, m_colors.glint);
    sheen.setColorAt(0.2, withAlpha(m_colors.glint, 0.95));
    sheen.setColorAt(0.48, withAlpha(m_colors.glint, 0.7));
    sheen.setColorAt(0.8, withAlpha(m_colors.color, 0.85));
    sheen.setColorAt(1, withAlpha(m_colors.color, 0));
    painter.setOpacity(glintOpacity());
    painter.fillPath(m_stroke, sheen);
  }
  painter.restore();
}

} // namespace brindlewick

#pragma once

#include "panel/OutlineTrack.h"

#include <QColor>
#include <QImage>
#include <QObject>
#include <QPainterPath>
#include <QPointer>
#include <QRectF>
#include <QRegion>

#include <optional>
#include <utility>

class QPainter;

namespace brindlewick {

class AccessibilitySettings;
class FrameClock;

// The two colours of a panel's rim: the line itself and its travelling glint.
struct EdgeColors {
  QColor color;
  QColor glint;

  friend bool operator==(const EdgeColors&, const EdgeColors&) = default;
};

// The coloured rim of the drop panel: a 4 pt line centred on the panel's outline (the
// panel's own mask keeps only its inner half), with a bright glint that travels along the
// outline at constant speed, once every 6 seconds, fading in and out at each lap. It is not
// a widget: the content container asks it to paint above the hosted content. A change of
// outline, colours or visibility asks for a whole repaint (`changed`); a frame of the glint
// only for the part of the rim's band it left and entered (`bandChanged`), so a waiting
// teaser repaints a few small squares per frame, not the whole panel.
class PanelEdgeHighlight : public QObject {
  Q_OBJECT

public:
  static constexpr double lineWidth = 4;
  static constexpr double glintDiameter = 132;
  static constexpr double lapDuration = 6; // seconds
  // The glint asks for a frame each time it has moved this far along the outline, but never
  // fewer than `minimumGlintFrameRate` a second, so its fades stay smooth too. A soft glow
  // 132 points wide moving 4 points a step (about 20 a second on a teaser) looks as smooth as
  // at every refresh, and a waiting teaser costs under 2 % of a core.
  static constexpr double glintStep = 4;              // points
  static constexpr double minimumGlintFrameRate = 20; // frames a second

  // Reduce Motion and Increase Contrast are read from `accessibility` at each update; both
  // count as off without it (or once it is gone).
  PanelEdgeHighlight(FrameClock* clock, AccessibilitySettings* accessibility, QObject* parent = nullptr);
  ~PanelEdgeHighlight() override;

  // Takes a new outline (in the owner's widget coordinates), colours and visibility. The
  // glint starts from the beginning of the path when the outline changed or the glint was
  // not running, and keeps going undisturbed otherwise. Hidden, or with Reduce Motion, there
  // is no glint; Reduce Motion or Increase Contrast draw the line at full colour.
  void update(const QPainterPath& outline, const QRectF& bounds, const EdgeColors& colors, bool visible);
  // Hides the rim and removes the glint; the outline is kept.
  void stop();

  bool isAnimating() const { return m_isAnimating; }
  bool isHidden() const { return m_hidden; }
  bool isGlintHidden() const { return m_glintHidden; }
  QRectF bounds() const { return m_bounds; }
  const std::optional<QPainterPath>& outline() const { return m_outline; }
  // The line's colour: the rim colour at alpha 0.6, or 1.0 with Reduce Motion or Increase Contrast.
  QColor lineColor() const { return m_lineColor; }
  // The glint's centre at the last frame, absent when there is no running glint (or no
  // outline to run along).
  std::optional<QPointF> glintPosition() const;
  // The glint's opacity at the last frame: 0 → 1 over the first 8 % of a lap, 1 → 0 over the
  // last 12 %.
  double glintOpacity() const;
  // The frames a second the running glint asks its clock for; 0 without a running glint.
  double glintFrameRate() const { return m_isAnimating ? m_frameRate : 0; }

  // Paints the rim, kept inside the panel's shape (the outline closed along the top); the
  // caller cuts what lies beneath to the same shape. The line and the glint are
  // blitted from images rendered once per outline, colours and pixel ratio, so a frame
  // costs a few small copies rather than a gradient fill of the whole outline (which the
  // raster engine also spreads over a pool of threads, waking them all at every frame).
  void paint(QPainter& painter) const;

  // Where the line and its glint can paint: a band a little wider than the line along the
  // outline, in the owner's coordinates.
  const QRegion& band() const { return m_band; }

Q_SIGNALS:
  void changed();
  void bandChanged(const QRegion& region);

private:
  void removeGlint();
  double lapProgress() const;
  void frame(double now);
  // The square the glint covers now; empty without a running glint.
  QRect glintSquare() const;
  void renderSprites(qreal pixelRatio) const;
  // The glint where it is now, cut to the line and faded, in device pixels; its top left in
  // device pixels goes to `origin`. Null when nothing of it shows. Made once per frame
  // however many rectangles the repaint has.
  const QImage& composeGlint(QPointF centre, QPoint& origin) const;

  QPointer<FrameClock> m_clock;
  QPointer<AccessibilitySettings> m_accessibility;
  std::optional<QPainterPath> m_outline;
  OutlineTrack m_track;
  QPainterPath m_stroke;
  QRegion m_band;
  QRect m_lastGlintSquare;
  QRectF m_bounds;
  EdgeColors m_colors;
  QColor m_lineColor;
  bool m_hidden = true;
  bool m_glintHidden = false;
  bool m_isAnimating = false;
  double m_glintStartedAt = 0;
  // The glint stands where the last frame put it until the next: the band that frame asked
  // to repaint is where it is painted, however late the paint comes.
  double m_glintShownAt = 0;
  double m_frameRate = 0;

  // Rendered lazily at the pixel ratio painted at; a null `m_lineSprite` asks for new ones.
  mutable QImage m_lineSprite;   // the line in its colour over `m_spriteRect`
  mutable QImage m_strokeSprite; // the line's coverage over the same rectangle
  // Per row of `m_strokeSprite`, the runs of pixels the line covers at all (start, end):
  // most of a row of a panel's rim is empty, and only the runs need the glint.
  mutable QList<QList<std::pair<int, int>>> m_strokeRuns;
  mutable QImage m_glintSprite; // the glint's radial sheen, centred
  mutable QImage m_glintFrame;  // the current frame's glint, reused
  struct GlintFrameKey {
    QPoint at; // the sheen's top left, device pixels from the stroke sprite's
    int opacity = -1;
    friend bool operator==(const GlintFrameKey&, const GlintFrameKey&) = default;
  };
  mutable GlintFrameKey m_glintFrameKey;
  mutable QRect m_spriteRect; // the stroke's bounds, in the owner's coordinates
  mutable qreal m_spriteRatio = 0;
};

} // namespace brindlewick

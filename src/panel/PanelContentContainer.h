#pragma once

#include "geometry/Rect.h"
#include "panel/PanelEdgeHighlight.h"

#include <QList>
#include <QPainterPath>
#include <QPointF>
#include <QSizeF>
#include <QWidget>

#include <optional>

namespace brindlewick {

class AccessibilitySettings;
class FrameClock;

// One piece of a panel outline, in y-up coordinates: a move or straight line to `to`, an arc
// about `centre` from `startAngle` to `endAngle` (radians, measured counter-clockwise from
// the positive x axis, with `clockwise` giving the direction of travel), or the closing
// line back to the start of the outline.
struct SilhouetteSegment {
  enum class Kind { move, line, arc, close };

  Kind kind = Kind::move;
  QPointF to; // where the segment ends (the arc's end point for arcs)
  QPointF centre;
  double radius = 0;
  double startAngle = 0;
  double endAngle = 0;
  bool clockwise = false;
};

// The panel's outline: a rounded card, or, under a notch, a card whose top edge runs along
// the top of the screen across the camera housing and meets it in two concave shoulders.
namespace PanelSilhouette {

inline constexpr double cornerRadius = 34;
inline constexpr double shoulderRadius = 12;

// The outline of `bounds` (y up). With `includeTop` it is the closed shape of the panel's
// mask; without, the open rim outline that leaves out the top edge. Bounds without area
// give no segments.
QList<SilhouetteSegment> segments(const Rect& bounds, double topInset, std::optional<double> notchWidth,
                                  bool includeTop);
// Where each segment ends, in order: the corners and arc ends a reader of the outline sees.
QList<QPointF> points(const QList<SilhouetteSegment>& segments);
// The segments as a painter path in the y-down coordinates of a widget: y' = flipAxis - y.
QPainterPath painterPath(const QList<SilhouetteSegment>& segments, double flipAxis);
// The outline of a widget's rectangle (origin 0, 0) in its own coordinates.
QPainterPath path(QSizeF size, double topInset, std::optional<double> notchWidth, bool includeTop);

} // namespace PanelSilhouette

// The drop panel's content view: black, cut to the panel's silhouette with antialiased
// edges (the panel window is translucent, so everything outside the outline stays
// transparent), hosting the content view below the notch strip and drawing the edge
// highlight above it. Every change of its inputs runs a fresh layout pass at once.
class PanelContentContainer : public QWidget {
  Q_OBJECT

public:
  // The clock steps the rim's glint; the settings decide how the rim is drawn (both may be null).
  PanelContentContainer(FrameClock* clock, AccessibilitySettings* accessibility, QWidget* parent = nullptr);
  ~PanelContentContainer() override;

  // Colours of the rim; absent means no rim.
  const std::optional<EdgeColors>& edgeColors() const { return m_edgeColors; }
  void setEdgeColors(const std::optional<EdgeColors>& colors);
  // Whether the rim may show; clearing it stops the rim at once.
  bool edgeVisible() const { return m_edgeVisible; }
  void setEdgeVisible(bool visible);
  // The size at which the hosted view is laid out, centred horizontally, `topInset` below the top.
  QSizeF contentSize() const { return m_contentSize; }
  void setContentSize(QSizeF size);
  // Height of the strip above the content (the notch's height under a notch).
  double topInset() const { return m_topInset; }
  void setTopInset(double inset);
  // Width of the notch gap when the panel hugs the notch.
  std::optional<double> notchWidth() const { return m_notchWidth; }
  void setNotchWidth(std::optional<double> width);

  // The hosted content view; absent before any content.
  QWidget* hosted() const { return m_hosted; }
  // Hosts `view` (taking ownership and deleting the previous one) at the current content
  // opacity, so content swapped during a fade keeps the fade.
  void setContent(QWidget* view);
  double contentOpacity() const { return m_contentOpacity; }
  void setContentOpacity(double opacity);

  PanelEdgeHighlight& edgeHighlight() { return *m_edgeHighlight; }
  // The current mask in widget coordinates.
  const QPainterPath& maskPath() const { return m_maskPath; }

  // The layout pass: places the content, cuts the mask and updates the rim.
  void layoutContent();

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

private:
  class Overlay;
  void applyContentOpacity();

  std::optional<EdgeColors> m_edgeColors;
  bool m_edgeVisible = false;
  QSizeF m_contentSize{0, 0};
  double m_topInset = 0;
  std::optional<double> m_notchWidth;
  QWidget* m_hosted = nullptr;
  double m_contentOpacity = 1;
  PanelEdgeHighlight* m_edgeHighlight;
  Overlay* m_overlay;
  QPainterPath m_maskPath;
};

} // namespace brindlewick

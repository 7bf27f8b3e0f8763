#pragma once

#include "geometry/Rect.h"

#include <QList>
#include <QSizeF>

#include <optional>

namespace brindlewick {

// What the drop panel needs to know about one display, captured once per layout pass, and
// where the panel goes on it. Everything is in global points with y growing upward: the
// origin is the bottom-left corner of the primary display and maxY() is a top edge.
// All members are pure functions of the six fields.
class ScreenGeometry {
public:
  // Where the panel window goes and where its visible content lies inside it. In the notch
  // layout the window reaches up to the top of the display while the content starts right
  // under the camera housing; in the plain layout both are the same rectangle.
  struct PanelLayout {
    Rect frame;
    Rect contentFrame;
    std::optional<double> notchWidth; // width of the notch gap; absent for the plain layout

    // Height of the strip of the window above the content: the notch's height, or 0.
    double topInset() const;

    friend bool operator==(const PanelLayout&, const PanelLayout&) = default;
  };

  // Margin between the plain panel and the edges of the usable area.
  static constexpr double margin = 12;

  ScreenGeometry() = default;
  // Stores the values unchanged. `safeTop` is the height of the camera housing (0 without
  // one); the auxiliary areas are the free parts of the top strip left and right of it
  // (the zero rectangle when the display reports none).
  ScreenGeometry(Rect frame, Rect visibleFrame, double safeTop, Rect auxiliaryLeft, Rect auxiliaryRight,
                 bool isBuiltIn);

  const Rect& frame() const { return m_frame; }
  const Rect& visibleFrame() const { return m_visibleFrame; }
  double safeTop() const { return m_safeTop; }
  const Rect& auxiliaryLeft() const { return m_auxiliaryLeft; }
  const Rect& auxiliaryRight() const { return m_auxiliaryRight; }
  bool isBuiltIn() const { return m_isBuiltIn; }

  // The visible frame within the frame; the whole frame when the two do not overlap.
  Rect usableFrame() const;
  // The camera housing between the two auxiliary areas, when the display has one that
  // touches its top edge.
  std::optional<Rect> notchGap() const;
  // The plain panel rectangle: centred under the notch (or the usable area) near the top,
  // cut to the usable area less the margins. A negative or not-a-number size counts as 0.
  Rect panelFrame(QSizeF size) const;
  // The notch layout when the display has room for it, otherwise the plain one.
  PanelLayout panelLayout(QSizeF size) const;

  // The display to use without a preference: the first built-in display with a notch, else
  // the main one (when its index is valid), else the first; absent for an empty list.
  static std::optional<qsizetype> preferredIndex(const QList<ScreenGeometry>& screens,
                                                 std::optional<qsizetype> mainIndex);

  friend bool operator==(const ScreenGeometry&, const ScreenGeometry&) = default;

private:
  Rect m_frame;
  Rect m_visibleFrame;
  double m_safeTop = 0;
  Rect m_auxiliaryLeft;
  Rect m_auxiliaryRight;
  bool m_isBuiltIn = false;
};

using PanelLayout = ScreenGeometry::PanelLayout;

} // namespace brindlewick

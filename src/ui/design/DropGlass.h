#pragma once

#include "ui/design/UiEnvironment.h"

#include <QBrush>
#include <QColor>
#include <QMarginsF>
#include <QPainterPath>

#include <optional>

class QPainter;

namespace brindlewick {

// The painted glass under buttons and selected rows: no blur of what lies behind, only a
// vertical fill, an optional tint wash, a top sheen, a 1 px edge inside the shape, and two
// black shadows (a contact shadow and an ambient one that grows when the surface is lifted),
// all chosen by tone, scheme and contrast. Fill, tint, sheen and edge are composited as one
// group, and the shadows are cast by that group's alpha. The shadows are drawn outside the
// shape only, so translucent glass never shows its own shadow through it and lifting
// changes nothing inside the shape.
//
// Shadows reach beyond the shape (shadowMargins()) and a widget cannot paint outside its
// rectangle: a control places its visible shape inside that margin, a large surface takes
// its shadow from a layer beneath it. Rounded corners are circular arcs.
//
// Painting is cached: whole surfaces by shape, size, tone, tint, lift, scheme, contrast and
// device pixel ratio, and the blurred shadows they are made of, both bounded. A hover
// cross-fades the resting and lifted images; nothing is blurred per frame.
class DropGlass {
public:
  enum class Tone { clear, ink, paper, onDark };

  struct Flags {
    bool darkBackdrop = false; // the surface sits on something dark
    bool solidLight = false;   // the surface is an opaque light fill

    friend bool operator==(const Flags&, const Flags&) = default;
  };

  struct Style {
    Tone tone = Tone::clear;
    std::optional<QColor> tint;
    ColorScheme scheme = ColorScheme::light;
    bool increasedContrast = false;
  };

  // The pill of a button: a rounded rectangle whose corners are half its height.
  static QPainterPath capsule(const QRectF& rect);
  // A clear surface in the dark scheme looks like onDark, an ink one like paper.
  static Flags flags(Tone tone, ColorScheme scheme);
  // How far the shadows reach beyond the shape on each side, in device-independent pixels.
  static QMarginsF shadowMargins();
  // The paint of the 1 px edge over `bounds`: under increased contrast one colour at 0.6
  // (the tint, else the tone's contrast colour), else a top-to-bottom gradient.
  static QBrush edgeBrush(const Style& style, const QRectF& bounds);

  // Paints the surface for `shape` (in the painter's coordinates): `lift` 0 at rest, 1
  // lifted, between them a cross-fade. The surface is placed on whole device pixels; a
  // painter that scales or rotates gets paintUncached().
  static void paint(QPainter& painter, const QPainterPath& shape, const Style& style, qreal lift = 0);
  // The same picture made afresh, touching no cache.
  static void paintUncached(QPainter& painter, const QPainterPath& shape, const Style& style, qreal lift = 0);

  static int cachedSurfaceCount();
  static int cachedShadowCount();
  static void clearCaches();
};

} // namespace brindlewick

#pragma once

#include "geometry/ScreenGeometry.h"

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QString>

#include <optional>

namespace brindlewick {

// Converts between Qt's desktop coordinates (y growing downward, origin at the top-left of
// the virtual desktop) and global points (y growing upward, origin at the bottom-left
// corner of the primary display).
class DesktopMapping {
public:
  DesktopMapping() = default;
  // `primary` is the primary display's geometry in desktop coordinates.
  explicit DesktopMapping(const QRectF& primary);

  Rect toGlobal(const QRectF& desktop) const;
  QRectF toDesktop(const Rect& global) const;
  QPointF pointToGlobal(QPointF desktop) const;
  QPointF pointToDesktop(QPointF global) const;

  friend bool operator==(const DesktopMapping&, const DesktopMapping&) = default;

private:
  double m_left = 0;   // desktop x of the global origin
  double m_bottom = 0; // desktop y of the global origin
};

// One connected display: its connector name, its display number (DisplayIdentity), its
// geometry in global points, and what the reader knows it by: the manufacturer and model the
// display reports (empty when it reports neither).
struct ScreenDescription {
  QString name;
  std::optional<quint32> displayId;
  ScreenGeometry geometry;
  QString label = {};

  // The label, else the connector.
  QString displayName() const { return label.isEmpty() ? name : label; }

  friend bool operator==(const ScreenDescription&, const ScreenDescription&) = default;
};

// Where the panel learns which displays exist. The system source asks Qt; the simulated one
// is built from a description, so that a notched display can be tested and shown on any
// computer.
class ScreenSource {
public:
  virtual ~ScreenSource();

  // Every display, the primary one first.
  virtual QList<ScreenDescription> screens() const = 0;
  // The index in screens() of the display the reader is working on; absent when unknown.
  virtual std::optional<qsizetype> mainIndex() const = 0;
  virtual DesktopMapping mapping() const = 0;

  // The geometry records of screens(), in the same order.
  QList<ScreenGeometry> geometries() const;
};

class X11DesktopWatch;

// The displays Qt knows (QGuiApplication::screens()). Linux reports no camera housing, so
// safeTop is 0 and there are no auxiliary areas; a display counts as built in when its
// connector is a laptop panel's (eDP, LVDS, DSI). Main thread only.
class SystemScreenSource final : public ScreenSource {
public:
  // `x11` tells which window of the whole desktop is active; without it (or once it is gone,
  // or where it cannot tell) only Brindlewick's own focused window counts.
  explicit SystemScreenSource(X11DesktopWatch* x11 = nullptr);

  QList<ScreenDescription> screens() const override;
  // The display the reader works on: the one that holds the centre of the active window's
  // frame, whichever application owns it; else the display of Brindlewick's own focused
  // window; else the primary display.
  std::optional<qsizetype> mainIndex() const override;
  DesktopMapping mapping() const override;

  // True for the connector names of built-in panels ("eDP-1", "LVDS1", "DSI-2", …).
  static bool isBuiltInConnector(const QString& name);
  // The index in QGuiApplication::screens() of the display that holds `native`, a point in the
  // window system's device pixels; none when no display does.
  static std::optional<qsizetype> screenAtNativePoint(QPoint native);
  // `native` (device pixels) in Qt's desktop coordinates (device-independent pixels).
  static QPointF nativeToDesktop(QPoint native);

private:
  QPointer<X11DesktopWatch> m_x11;
};

// Displays from a description, for tests and diagnostics. The JSON form:
//   {"screens": [{"name": "Built-in", "label": "Acme Panel", "displayId": 1, "builtIn": true,
//                 "frame": [0, 0, 1512, 982], "visibleFrame": [0, 0, 1512, 949],
//                 "safeTop": 32, "auxiliaryLeft": [0, 950, 662, 32],
//                 "auxiliaryRight": [850, 950, 662, 32]}],
//    "mainIndex": 0}
// Rectangles are [x, y, width, height] in global points (y up). Only "frame" is required:
// "visibleFrame" defaults to the frame, "safeTop" to 0, the auxiliary areas to the zero
// rectangle, "builtIn" to false, "name" and "label" to "", and "displayId" and "mainIndex" to
// absent.
// The primary display is the first; its desktop coordinates keep x and put y = 0 at the
// primary display's top edge.
class SimulatedScreenSource final : public ScreenSource {
public:
  SimulatedScreenSource(QList<ScreenDescription> screens, std::optional<qsizetype> mainIndex);
  // Throws JsonDecodingError for a document that does not follow the form above.
  static SimulatedScreenSource fromJson(const QByteArray& json);

  QList<ScreenDescription> screens() const override { return m_screens; }
  std::optional<qsizetype> mainIndex() const override { return m_mainIndex; }
  DesktopMapping mapping() const override;

private:
  QList<ScreenDescription> m_screens;
  std::optional<qsizetype> m_mainIndex;
};

} // namespace brindlewick

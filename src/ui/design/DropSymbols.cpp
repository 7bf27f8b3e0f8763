#include "ui/design/DropSymbols.h"

#include "ui/design/DrawingCaches.h"

#include <QCache>
#include <QHash>
#include <QLoggingCategory>
#include <QPainter>
#include <QPainterPathStroker>
#include <QSet>
#include <QtMath>

#include <functional>
#include <map>

namespace brindlewick {

namespace {

Q_LOGGING_CATEGORY(lcSymbols, "app.brindlewick.Symbols")

constexpr qreal kGrid = 24; // every symbol is drawn on a 24 × 24 grid
// Path operations flatten curves to lines half a unit long; drawing eight times larger
// first keeps circles round at every size.
constexpr qreal kOversample = 8;

// Draws in grid units: lines become outlines of the weight's width, areas are kept as they
// are, and both are set out at the working scale.
class Pen {
public:
  Pen(qreal size, QFont::Weight weight)
      : m_scale(size / kGrid * kOversample),
        // 1.7 grid units at the regular weight, 0.25 more or less per step of 100.
        m_width(1.7 + (int(weight) - int(QFont::Normal)) * 0.0025) {}

  qreal width() const { return m_width; }

  QPainterPath stroke(const QPainterPath& centreLine, qreal widthFactor = 1) const {
    QPainterPathStroker stroker;
    stroker.setWidth(m_width * widthFactor * m_scale);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(area(centreLine)).simplified();
  }
  QPainterPath area(const QPainterPath& region) const {
    return QTransform::fromScale(m_scale, m_scale).map(region);
  }
  // The region with its outline drawn round it, as wide as the line form.
  QPainterPath solid(const QPainterPath& region) const { return area(region).united(stroke(region)); }
  // The filled or the line form of a closed shape.
  QPainterPath shape(const QPainterPath& region, bool filled) const {
    return filled ? solid(region) : stroke(region);
  }
  // A dot as wide as a line.
  QPainterPath dot(qreal x, qreal y, qreal widthFactor = 1.25) const;
  qreal scale() const { return m_scale; }

private:
  qreal m_scale;
  qreal m_width;
};

QPainterPath line(qreal x1, qreal y1, qreal x2, qreal y2) {
  QPainterPath path;
  path.moveTo(x1, y1);
  path.lineTo(x2, y2);
  return path;
}

QPainterPath polyline(const QList<QPointF>& points, bool closed = false) {
  QPainterPath path;
  for (const QPointF& point : points) {
    if (path.elementCount() == 0)
      path.moveTo(point);
    else
      path.lineTo(point);
  }
  if (closed)
    path.closeSubpath();
  return path;
}

QPainterPath circle(qreal x, qreal y, qreal radius) {
  QPainterPath path;
  path.addEllipse(QPointF(x, y), radius, radius);
  return path;
}

QPainterPath roundedRect(qreal x, qreal y, qreal width, qreal height, qreal radius) {
  QPainterPath path;
  path.addRoundedRect(QRectF(x, y, width, height), radius, radius);
  return path;
}

QPainterPath Pen::dot(qreal x, qreal y, qreal widthFactor) const {
  return area(circle(x, y, m_width * widthFactor / 2));
}

// An arc of a circle (angles in degrees, counter-clockwise from three o'clock, as Qt counts
// them) ending in a filled arrowhead that points along it.
struct ArcWithHead {
  QPainterPath arc;
  QPainterPath head;
};

ArcWithHead arcWithHead(QPointF centre, qreal radius, qreal startDegrees, qreal sweepDegrees,
                        qreal headSize) {
  ArcWithHead result;
  const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  result.arc.arcMoveTo(box, startDegrees);
  result.arc.arcTo(box, startDegrees, sweepDegrees);
  const qreal end = qDegreesToRadians(startDegrees + sweepDegrees);
  const QPointF tip(centre.x() + radius * std::cos(end), centre.y() - radius * std::sin(end));
  // The direction of travel at the end of the arc (y grows downwards).
  const qreal sign = sweepDegrees < 0 ? -1 : 1;
  const QPointF along(-std::sin(end) * sign, -std::cos(end) * sign);
  const QPointF across(-along.y(), along.x());
  const QPointF front = tip + along * headSize * 0.8;
  result.head = polyline({front, tip - along * headSize * 0.2 + across * headSize * 0.75,
                          tip - along * headSize * 0.2 - across * headSize * 0.75},
                         true);
  return result;
}

QPainterPath gearOutline() {
  QList<QPointF> points;
  constexpr int teeth = 8;
  constexpr qreal outer = 10;
  constexpr qreal root = 7.4;
  for (int tooth = 0; tooth < teeth; ++tooth) {
    const qreal base = tooth * 360.0 / teeth;
    const qreal angles[] = {base - 15, base - 9, base + 9, base + 15};
    const qreal radii[] = {root, outer, outer, root};
    for (int i = 0; i < 4; ++i) {
      const qreal angle = qDegreesToRadians(angles[i]);
      points.append(QPointF(12 + radii[i] * std::cos(angle), 12 - radii[i] * std::sin(angle)));
    }
  }
  return polyline(points, true);
}

QPainterPath heartOutline() {
  QPainterPath path;
  path.moveTo(12, 20);
  path.cubicTo(12, 20, 3, 14.6, 3, 8.9);
  path.cubicTo(3, 6, 5.2, 4, 7.8, 4);
  path.cubicTo(9.6, 4, 11.1, 5, 12, 6.6);
  path.cubicTo(12.9, 5, 14.4, 4, 16.2, 4);
  path.cubicTo(18.8, 4, 21, 6, 21, 8.9);
  path.cubicTo(21, 14.6, 12, 20, 12, 20);
  path.closeSubpath();
  return path;
}

QPainterPath dropOutline() {
  QPainterPath path;
  path.moveTo(12, 3);
  path.cubicTo(12, 3, 5.5, 10.4, 5.5, 14.5);
  path.cubicTo(5.5, 18.1, 8.4, 21, 12, 21);
  path.cubicTo(15.6, 21, 18.5, 18.1, 18.5, 14.5);
  path.cubicTo(18.5, 10.4, 12, 3, 12, 3);
  path.closeSubpath();
  return path;
}

QPainterPath bookPages() {
  QPainterPath path;
  path.moveTo(12, 6.5);
  path.cubicTo(10, 5, 6.6, 4.4, 3, 5);
  path.lineTo(3, 18.6);
  path.cubicTo(6.6, 18, 10, 18.6, 12, 20);
  path.cubicTo(14, 18.6, 17.4, 18, 21, 18.6);
  path.lineTo(21, 5);
  path.cubicTo(17.4, 4.4, 14, 5, 12, 6.5);
  path.closeSubpath();
  return path;
}

// The ring of a badge, and the disc it encloses out to its outer edge.
QPainterPath badgeRing() {
  return circle(12, 12, 9.5);
}

QPainterPath badgeDisc(const Pen& pen) {
  return pen.area(circle(12, 12, 9.5 + pen.width() / 2));
}

// A symbol as a circle with marks inside: the ring with the marks, or, filled, the disc
// with the marks cut out of it.
QPainterPath badge(const Pen& pen, bool filled, const QPainterPath& marks,
                   const QPainterPath& markAreas = {}) {
  if (filled)
    return badgeDisc(pen).subtracted(pen.stroke(marks).united(markAreas));
  return pen.stroke(badgeRing()).united(pen.stroke(marks)).united(markAreas);
}

// An open-topped tray with an arrow through its opening.
QPainterPath trayWithArrow(const Pen& pen, bool up) {
  const QPainterPath tray =
      polyline({{8.5, 9.5}, {5.5, 9.5}, {5.5, 21}, {18.5, 21}, {18.5, 9.5}, {15.5, 9.5}});
  const QPainterPath head =
      up ? polyline({{8.5, 6.5}, {12, 3}, {15.5, 6.5}}) : polyline({{8.5, 11}, {12, 14.5}, {15.5, 11}});
  return pen.stroke(tray).united(pen.stroke(line(12, 3, 12, 14.5))).united(pen.stroke(head));
}

using Builder = std::function<QPainterPath(const Pen&, bool filled)>;

struct Symbol {
  Builder build;
  bool filledForm;
};

const std::map<QString, Symbol>& symbols() {
  static const std::map<QString, Symbol> table = {
      {QStringLiteral("book"),
       {[](const Pen& pen, bool filled) {
          const QPainterPath spine = line(12, 7.5, 12, 19);
          if (filled)
            return pen.solid(bookPages()).subtracted(pen.stroke(spine, 0.7));
          return pen.stroke(bookPages()).united(pen.stroke(spine));
        },
        true}},
      {QStringLiteral("book.closed"),
       {[](const Pen& pen, bool filled) {
          const QPainterPath cover = roundedRect(5, 3, 14, 18, 2.2);
          const QPainterPath spine = line(8.75, 3, 8.75, 21);
          if (filled)
            return pen.solid(cover).subtracted(pen.stroke(spine, 0.7));
          return pen.stroke(cover).united(pen.stroke(spine));
        },
        true}},
      {QStringLiteral("bookmark"),
       {[](const Pen& pen, bool filled) {
          const QPainterPath ribbon =
              polyline({{6.5, 3.5}, {17.5, 3.5}, {17.5, 20.5}, {12, 16.2}, {6.5, 20.5}}, true);
          return pen.shape(ribbon, filled);
        },
        true}},
      {QStringLiteral("heart"),
       {[](const Pen& pen, bool filled) { return pen.shape(heartOutline(), filled); }, true}},
      {QStringLiteral("clock"),
       {[](const Pen& pen, bool filled) {
          return badge(pen, filled, polyline({{12, 6.8}, {12, 12}, {15.6, 14.2}}));
        },
        true}},
      {QStringLiteral("square.stack"),
       {[](const Pen& pen, bool filled) {
          const QPainterPath front = roundedRect(3.5, 8, 13.5, 13, 2.5);
          const QPainterPath back = roundedRect(7, 3.5, 13.5, 13, 2.5);
          // The back card shows only where the front one, with a gap around it, does not.
          const QPainterPath gap = pen.stroke(front, 3).united(pen.area(front));
          const QPainterPath behind = pen.stroke(back).subtracted(gap);
          return pen.shape(front, filled).united(behind);
        },
        true}},
      {QStringLiteral("square.grid.2x2"),
       {[](const Pen& pen, bool filled) {
          QPainterPath result;
          for (const QPointF corner :
               {QPointF(3.5, 3.5), QPointF(13.5, 3.5), QPointF(3.5, 13.5), QPointF(13.5, 13.5)}) {
            const QPainterPath cell = roundedRect(corner.x(), corner.y(), 7, 7, 2);
            result = result.united(pen.shape(cell, filled));
          }
          return result;
        },
        true}},
      {QStringLiteral("slider.horizontal.3"),
       {[](const Pen& pen, bool) {
          QPainterPath result;
          const QPointF knobs[] = {{15, 6}, {8, 12}, {13.5, 18}};
          for (const QPointF knob : knobs) {
            const QPainterPath track = pen.stroke(line(3, knob.y(), 21, knob.y()));
            const QPainterPath ring = circle(knob.x(), knob.y(), 2.4);
            result = result.united(track.subtracted(pen.area(ring)).subtracted(pen.stroke(ring, 2.2)))
                         .united(pen.stroke(ring));
          }
          return result;
        },
        false}},
      {QStringLiteral("drop"),
       {[](const Pen& pen, bool filled) { return pen.shape(dropOutline(), filled); }, true}},
      {QStringLiteral("pause.circle"),
       {[](const Pen& pen, bool filled) {
          QPainterPath bars = line(9.8, 8.5, 9.8, 15.5);
          bars.addPath(line(14.2, 8.5, 14.2, 15.5));
          return badge(pen, filled, bars);
        },
        true}},
      {QStringLiteral("xmark"),
       {[](const Pen& pen, bool) {
          return pen.stroke(line(6, 6, 18, 18)).united(pen.stroke(line(18, 6, 6, 18)));
        },
        false}},
      {QStringLiteral("xmark.circle"),
       {[](const Pen& pen, bool filled) {
          QPainterPath cross = line(8.8, 8.8, 15.2, 15.2);
          cross.addPath(line(15.2, 8.8, 8.8, 15.2));
          return badge(pen, filled, cross);
        },
        true}},
      {QStringLiteral("magnifyingglass"),
       {[](const Pen& pen, bool) {
          return pen.stroke(circle(10.3, 10.3, 6.6)).united(pen.stroke(line(15.2, 15.2, 20.5, 20.5), 1.15));
        },
        false}},
      {QStringLiteral("chevron.down"),
       {[](const Pen& pen, bool) {
          return pen.stroke(polyline({{5.5, 9}, {12, 15.5}, {18.5, 9}}));
        },
        false}},
      {QStringLiteral("chevron.left"),
       {[](const Pen& pen, bool) {
          return pen.stroke(polyline({{15, 5.5}, {8.5, 12}, {15, 18.5}}));
        },
        false}},
      {QStringLiteral("arrow.right"),
       {[](const Pen& pen, bool) {
          return pen.stroke(line(4, 12, 19.5, 12))
              .united(pen.stroke(polyline({{13.5, 6}, {19.5, 12}, {13.5, 18}})));
        },
        false}},
      {QStringLiteral("arrow.up.right"),
       {[](const Pen& pen, bool) {
          return pen.stroke(line(6, 18, 17.5, 6.5))
              .united(pen.stroke(polyline({{8.5, 6.5}, {17.5, 6.5}, {17.5, 15.5}})));
        },
        false}},
      {QStringLiteral("arrow.triangle.2.circlepath"),
       {[](const Pen& pen, bool) {
          const qreal head = 2.2 + pen.width();
          const ArcWithHead top = arcWithHead({12, 12}, 8, 200, -150, head);
          const ArcWithHead bottom = arcWithHead({12, 12}, 8, 20, -150, head);
          return pen.stroke(top.arc)
              .united(pen.area(top.head))
              .united(pen.stroke(top.head, 0.5))
              .united(pen.stroke(bottom.arc))
              .united(pen.area(bottom.head))
              .united(pen.stroke(bottom.head, 0.5));
        },
        false}},
      {QStringLiteral("exclamationmark.triangle"),
       {[](const Pen& pen, bool filled) {
          const QPainterPath triangle = polyline({{12, 3.5}, {21.5, 19.8}, {2.5, 19.8}}, true);
          const QPainterPath mark = pen.stroke(line(12, 9.2, 12, 13.6)).united(pen.dot(12, 16.6));
          if (filled)
            return pen.solid(triangle).subtracted(mark);
          return pen.stroke(triangle).united(mark);
        },
        true}},
      {QStringLiteral("exclamationmark.circle"),
       {[](const Pen& pen, bool filled) {
          return badge(pen, filled, line(12, 6.8, 12, 12.8), pen.dot(12, 16.4));
        },
        true}},
      {QStringLiteral("info.circle"),
       {[](const Pen& pen, bool filled) {
          return badge(pen, filled, line(12, 11, 12, 17), pen.dot(12, 7.6));
        },
        true}},
      {QStringLiteral("checkmark.circle"),
       {[](const Pen& pen, bool filled) {
          return badge(pen, filled, polyline({{7.6, 12.4}, {10.6, 15.4}, {16.4, 8.8}}));
        },
        true}},
      {QStringLiteral("square.and.arrow.up"),
       {[](const Pen& pen, bool) { return trayWithArrow(pen, true); }, false}},
      {QStringLiteral("square.and.arrow.down"),
       {[](const Pen& pen, bool) { return trayWithArrow(pen, false); }, false}},
      {QStringLiteral("rectangle.portrait.and.arrow.right"),
       {[](const Pen& pen, bool) {
          QPainterPath door;
          door.moveTo(14.5, 8);
          door.lineTo(14.5, 5.2);
          door.quadTo(14.5, 3.5, 12.8, 3.5);
          door.lineTo(5.7, 3.5);
          door.quadTo(4, 3.5, 4, 5.2);
          door.lineTo(4, 18.8);
          door.quadTo(4, 20.5, 5.7, 20.5);
          door.lineTo(12.8, 20.5);
          door.quadTo(14.5, 20.5, 14.5, 18.8);
          door.lineTo(14.5, 16);
          return pen.stroke(door)
              .united(pen.stroke(line(9, 12, 20.5, 12)))
              .united(pen.stroke(polyline({{17, 8.5}, {20.5, 12}, {17, 15.5}})));
        },
        false}},
      {QStringLiteral("person.crop.circle"),
       {[](const Pen& pen, bool filled) {
          const QPainterPath head = circle(12, 9.4, 3.4);
          QPainterPath shoulders;
          shoulders.moveTo(6, 18.4);
          shoulders.cubicTo(7.4, 16.1, 9.5, 14.9, 12, 14.9);
          shoulders.cubicTo(14.5, 14.9, 16.6, 16.1, 18, 18.4);
          if (filled) {
            // The person is cut out of the disc, inside a rim as wide as a line.
            QPainterPath body = shoulders;
            body.lineTo(18, 22);
            body.lineTo(6, 22);
            body.closeSubpath();
            const QPainterPath inside = pen.area(circle(12, 12, 9.5 - pen.width() / 2));
            const QPainterPath person = pen.area(head).united(pen.area(body).intersected(inside));
            return badgeDisc(pen).subtracted(person);
          }
          return pen.stroke(badgeRing()).united(pen.stroke(head)).united(pen.stroke(shoulders));
        },
        true}},
      {QStringLiteral("gearshape"),
       {[](const Pen& pen, bool filled) {
          const QPainterPath hub = circle(12, 12, 3.2);
          if (filled)
            return pen.area(gearOutline()).united(pen.stroke(gearOutline(), 0.6)).subtracted(pen.area(hub));
          return pen.stroke(gearOutline()).united(pen.stroke(hub));
        },
        true}},
      {QStringLiteral("speaker.wave.2"),
       {[](const Pen& pen, bool filled) {
          const QPainterPath speaker =
              polyline({{3.5, 9}, {6.8, 9}, {11.5, 5}, {11.5, 19}, {6.8, 15}, {3.5, 15}}, true);
          QPainterPath waves;
          for (const qreal radius : {3.8, 7.4}) {
            const QRectF box(11.5 - radius, 12 - radius, 2 * radius, 2 * radius);
            waves.arcMoveTo(box, 42);
            waves.arcTo(box, 42, -84);
          }
          return pen.shape(speaker, filled).united(pen.stroke(waves));
        },
        true}},
      {QStringLiteral("line.3.horizontal.decrease"),
       {[](const Pen& pen, bool) {
          return pen.stroke(line(4, 7, 20, 7))
              .united(pen.stroke(line(7, 12, 17, 12)))
              .united(pen.stroke(line(10, 17, 14, 17)));
        },
        false}},
  };
  return table;
}

struct PathKey {
  QString name;
  qreal size;
  int weight;
  friend bool operator==(const PathKey&, const PathKey&) = default;
};

size_t qHash(const PathKey& key, size_t seed = 0) {
  return qHashMulti(seed, key.name, key.size, key.weight);
}

constexpr int kCachedPaths = 512;

// The symbol and whether the filled form is asked for, or nothing for an unknown name.
const Symbol* lookUp(const QString& name, bool* filled) {
  QString plain = name;
  *filled = plain.endsWith(QLatin1String(".fill"));
  if (*filled)
    plain.chop(5);
  const auto& table = symbols();
  const auto found = table.find(plain);
  return found == table.end() ? nullptr : &found->second;
}

} // namespace

QStringList DropSymbols::names() {
  QStringList result;
  for (const auto& entry : symbols())
    result.append(entry.first);
  return result;
}

bool DropSymbols::exists(const QString& name) {
  bool filled = false;
  return lookUp(name, &filled) != nullptr;
}

bool DropSymbols::hasFilledForm(const QString& name) {
  const auto found = symbols().find(name);
  return found != symbols().end() && found->second.filledForm;
}

QPainterPath DropSymbols::path(const QString& name, qreal size, QFont::Weight weight) {
  static QCache<PathKey, QPainterPath> cache(kCachedPaths);
  [[maybe_unused]] static const bool registered = (DrawingCaches::add([] { cache.clear(); }), true);
  const PathKey key{name, size, int(weight)};
  if (const QPainterPath* cached = cache.object(key))
    return *cached;
  bool filled = false;
  const Symbol* symbol = lookUp(name, &filled);
  if (symbol == nullptr) {
    static QSet<QString> reported;
    if (!reported.contains(name)) {
      reported.insert(name);
      qCWarning(lcSymbols, "No symbol is named \"%s\"", qUtf8Printable(name));
    }
    return {};
  }
  const Pen pen(size, weight);
  // Path operations leave holes to the odd-even rule the outline carries.
  const QPainterPath outline = QTransform::fromScale(1 / kOversample, 1 / kOversample)
                                   .map(symbol->build(pen, filled && symbol->filledForm));
  cache.insert(key, new QPainterPath(outline));
  return outline;
}

void DropSymbols::paint(QPainter& painter, const QString& name, const QRectF& box, qreal size,
                        QFont::Weight weight, const QColor& color) {
  const QPainterPath outline = path(name, size, weight);
  if (outline.isEmpty())
    return;
  const QPointF corner = box.center() - QPointF(size / 2, size / 2);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(corner);
  painter.fillPath(outline, color);
  painter.restore();
}

} // namespace brindlewick

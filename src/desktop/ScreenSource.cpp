#include "desktop/ScreenSource.h"

#include "desktop/DisplayIdentity.h"
#include "desktop/X11DesktopWatch.h"
#include "foundation/Json.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QWindow>

#include <cmath>
#include <limits>

namespace brindlewick {

DesktopMapping::DesktopMapping(const QRectF& primary)
    : m_left(primary.x()), m_bottom(primary.y() + primary.height()) {}

Rect DesktopMapping::toGlobal(const QRectF& desktop) const {
  return Rect{desktop.x() - m_left, m_bottom - (desktop.y() + desktop.height()), desktop.width(),
              desktop.height()};
}

QRectF DesktopMapping::toDesktop(const Rect& global) const {
  return QRectF(global.x + m_left, m_bottom - global.maxY(), global.width, global.height);
}

QPointF DesktopMapping::pointToGlobal(QPointF desktop) const {
  return QPointF(desktop.x() - m_left, m_bottom - desktop.y());
}

QPointF DesktopMapping::pointToDesktop(QPointF global) const {
  return QPointF(global.x() + m_left, m_bottom - global.y());
}

ScreenSource::~ScreenSource() = default;

QList<ScreenGeometry> ScreenSource::geometries() const {
  QList<ScreenGeometry> result;
  for (const ScreenDescription& screen : screens())
    result.append(screen.geometry);
  return result;
}

bool SystemScreenSource::isBuiltInConnector(const QString& name) {
  static const QRegularExpression builtIn(QStringLiteral("^(eDP|LVDS|DSI)([-_]?\\d.*)?$"),
                                          QRegularExpression::CaseInsensitiveOption);
  return builtIn.match(name).hasMatch();
}

QList<ScreenDescription> SystemScreenSource::screens() const {
  const DesktopMapping global = mapping();
  QList<ScreenDescription> result;
  for (QScreen* screen : QGuiApplication::screens()) {
    const ScreenGeometry geometry(global.toGlobal(screen->geometry()),
                                  global.toGlobal(screen->availableGeometry()), 0, Rect{}, Rect{},
                                  isBuiltInConnector(screen->name()));
    const DisplayIdentity identity = DisplayIdentity::of(*screen);
    QStringList label;
    for (const QString& part : {identity.manufacturer.trimmed(), identity.model.trimmed()}) {
      if (!part.isEmpty())
        label.append(part);
    }
    result.append(
        ScreenDescription{screen->name(), identity.displayId(), geometry, label.join(QLatin1Char(' '))});
  }
  return result;
}

SystemScreenSource::SystemScreenSource(X11DesktopWatch* x11) : m_x11(x11) {}

namespace {

// A display's rectangle in device pixels. Qt keeps a display's top-left corner where the
// window system puts it and scales only its size.
QRect nativeGeometry(const QScreen& screen) {
  const QRect geometry = screen.geometry();
  return QRect(geometry.topLeft(), geometry.size() * screen.devicePixelRatio());
}

} // namespace

std::optional<qsizetype> SystemScreenSource::screenAtNativePoint(QPoint native) {
  const QList<QScreen*> all = QGuiApplication::screens();
  for (qsizetype index = 0; index < all.size(); ++index) {
    if (nativeGeometry(*all[index]).contains(native))
      return index;
  }
  return std::nullopt;
}

QPointF SystemScreenSource::nativeToDesktop(QPoint native) {
  const std::optional<qsizetype> index = screenAtNativePoint(native);
  if (!index)
    return QPointF(native);
  const QScreen& screen = *QGuiApplication::screens().at(*index);
  const QPointF origin = screen.geometry().topLeft();
  return origin + (QPointF(native) - origin) / screen.devicePixelRatio();
}

std::optional<qsizetype> SystemScreenSource::mainIndex() const {
  // The reader's focus may be in any application: the window manager names its window.
  if (m_x11) {
    if (const std::optional<QRect> frame = m_x11->activeWindowFrame()) {
      if (const std::optional<qsizetype> index = screenAtNativePoint(frame->center()))
        return index;
    }
  }
  const QList<QScreen*> all = QGuiApplication::screens();
  QScreen* main = QGuiApplication::primaryScreen();
  if (QWindow* focus = QGuiApplication::focusWindow(); focus && focus->screen())
    main = focus->screen();
  const qsizetype index = all.indexOf(main);
  if (index < 0)
    return std::nullopt;
  return index;
}

DesktopMapping SystemScreenSource::mapping() const {
  if (QScreen* primary = QGuiApplication::primaryScreen())
    return DesktopMapping(primary->geometry());
  return DesktopMapping();
}

namespace {

Rect readRect(const QJsonValue& value, const QString& path) {
  const QJsonArray numbers = Json::toArray(value, path);
  if (numbers.size() != 4)
    throw JsonDecodingError(path, QStringLiteral("expected four numbers [x, y, width, height]"));
  double parts[4];
  for (qsizetype index = 0; index < 4; ++index)
    parts[index] = Json::toDouble(numbers[index], Json::element(path, index));
  if (parts[2] < 0 || parts[3] < 0)
    throw JsonDecodingError(path, QStringLiteral("a rectangle cannot have a negative width or height"));
  return Rect{parts[0], parts[1], parts[2], parts[3]};
}

Rect optionalRect(const JsonObjectReader& reader, QStringView key, Rect fallback) {
  return reader.hasValue(key) ? readRect(reader.required(key), reader.pathOf(key)) : fallback;
}

ScreenDescription readScreen(const JsonObjectReader& reader) {
  const Rect frame = readRect(reader.required(u"frame"), reader.pathOf(u"frame"));
  std::optional<quint32> displayId;
  if (const std::optional<qint64> number = reader.optionalInt64(u"displayId")) {
    if (*number < 0 || *number > std::numeric_limits<quint32>::max())
      throw JsonDecodingError(reader.pathOf(u"displayId"), QStringLiteral("a display number has 32 bits"));
    displayId = static_cast<quint32>(*number);
  }
  const ScreenGeometry geometry(
      frame, optionalRect(reader, u"visibleFrame", frame), reader.optionalNumber(u"safeTop").value_or(0),
      optionalRect(reader, u"auxiliaryLeft", Rect{}), optionalRect(reader, u"auxiliaryRight", Rect{}),
      reader.optionalBoolean(u"builtIn").value_or(false));
  return ScreenDescription{reader.optionalString(u"name").value_or(QString()), displayId, geometry,
                           reader.optionalString(u"label").value_or(QString())};
}

} // namespace

SimulatedScreenSource::SimulatedScreenSource(QList<ScreenDescription> screens,
                                             std::optional<qsizetype> mainIndex)
    : m_screens(std::move(screens)), m_mainIndex(mainIndex) {}

SimulatedScreenSource SimulatedScreenSource::fromJson(const QByteArray& json) {
  const JsonObjectReader document(Json::parseObject(json));
  const QJsonArray list = document.array(u"screens");
  QList<ScreenDescription> screens;
  for (qsizetype index = 0; index < list.size(); ++index) {
    const QString path = Json::element(document.pathOf(u"screens"), index);
    screens.append(readScreen(JsonObjectReader(Json::toObject(list[index], path), path)));
  }
  std::optional<qsizetype> mainIndex;
  if (const std::optional<qint64> index = document.optionalInt64(u"mainIndex"))
    mainIndex = static_cast<qsizetype>(*index);
  return SimulatedScreenSource(std::move(screens), mainIndex);
}

DesktopMapping SimulatedScreenSource::mapping() const {
  if (m_screens.isEmpty())
    return DesktopMapping();
  const Rect& primary = m_screens.first().geometry.frame();
  return DesktopMapping(QRectF(0, 0, primary.width, primary.maxY()));
}

} // namespace brindlewick

#include "ui/onboarding/TitlebarArea.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QMouseEvent>
#include <QWindow>

namespace brindlewick {

namespace {

// The desktop's answer, asked once per process; until it comes (or without a portal) none.
struct DesktopDoubleClick {
  std::optional<QString> value;
  bool asked = false;

  void ask() {
    asked = true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
      return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
    call << QStringLiteral("org.gnome.desktop.wm.preferences")
         << QStringLiteral("action-double-click-titlebar");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 3000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [this](QDBusPendingCallWatcher* done) {
      done->deleteLater();
      const QDBusPendingReply<QDBusVariant> reply = *done;
      if (reply.isError())
        return;
      // The portal wraps the value once more.
      QVariant variant = reply.value().variant();
      while (variant.canConvert<QDBusVariant>() && variant.userType() == qMetaTypeId<QDBusVariant>())
        variant = variant.value<QDBusVariant>().variant();
      const QString gnome = variant.toString();
      if (gnome == QLatin1String("minimize"))
        value = QStringLiteral("Minimize");
      else if (gnome == QLatin1String("none"))
        value = QStringLiteral("None");
      else if (!gnome.isEmpty())
        value = gnome;
    });
  }
};

DesktopDoubleClick& desktopDoubleClick() {
  static DesktopDoubleClick setting;
  return setting;
}

} // namespace

TitlebarArea::DoubleClick TitlebarArea::doubleClickAction(const std::optional<QString>& setting) {
  if (setting == QStringLiteral("Minimize"))
    return DoubleClick::minimise;
  if (setting == QStringLiteral("None"))
    return DoubleClick::none;
  return DoubleClick::toggleMaximised;
}

TitlebarArea::SettingProvider TitlebarArea::desktopSetting() {
  DesktopDoubleClick& setting = desktopDoubleClick();
  if (!setting.asked)
    setting.ask();
  return [] { return desktopDoubleClick().value; };
}

TitlebarArea::WindowActions TitlebarArea::WindowActions::system() {
  return {
      [](QWidget* window) {
        if (QWindow* handle = window->windowHandle())
          handle->startSystemMove();
      },
      [](QWidget* window) { window->setWindowState(window->windowState() ^ Qt::WindowMaximized); },
      [](QWidget* window) { window->showMinimized(); },
  };
}

TitlebarArea::TitlebarArea(SettingProvider setting, WindowActions actions, QWidget* parent)
    : QWidget(parent), m_setting(std::move(setting)), m_actions(std::move(actions)) {
  setFixedHeight(height);
  setAttribute(Qt::WA_NoSystemBackground);
}

void TitlebarArea::mousePressEvent(QMouseEvent* event) {
  // A first or a third press: Qt reports the second as a double click.
  if (event->button() == Qt::LeftButton)
    m_actions.startMove(window());
}

void TitlebarArea::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton)
    return;
  switch (doubleClickAction(m_setting ? m_setting() : std::nullopt)) {
  case DoubleClick::toggleMaximised: m_actions.toggleMaximised(window()); break;
  case DoubleClick::minimise: m_actions.minimise(window()); break;
  case DoubleClick::none: break;
  }
}

} // namespace brindlewick

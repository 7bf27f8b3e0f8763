#include "desktop/AccessibilityEvents.h"

#include <QDBusVariant>

namespace brindlewick {

namespace {

const QString registry = QStringLiteral("org.a11y.atspi.Registry");
const QString registryPath = QStringLiteral("/org/a11y/atspi/registry");
const QString objectEvents = QStringLiteral("org.a11y.atspi.Event.Object");
// Every object event: Qt's bridge reads the registered names by their first word.
const QString everyObjectEvent = QStringLiteral("Object:");

} // namespace

AccessibilityEvents::AccessibilityEvents(QDBusConnection connection) : m_connection(std::move(connection)) {
  for (const QString& member : {QStringLiteral("StateChanged"), QStringLiteral("ChildrenChanged")})
    m_connection.connect(QString(), QString(), objectEvents, member, this, SLOT(received(QDBusMessage)));
  // Registries have taken one argument, then two, then three over the years.
  const QList<QVariantList> signatures = {
      {everyObjectEvent}, {everyObjectEvent, QStringList()}, {everyObjectEvent, QStringList(), QString()}};
  for (const QVariantList& arguments : signatures) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(registry, registryPath, registry, QStringLiteral("RegisterEvent"));
    call.setArguments(arguments);
    if (m_connection.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage) {
      m_registered = true;
      break;
    }
  }
}

AccessibilityEvents::~AccessibilityEvents() {
  if (!m_registered)
    return;
  QDBusMessage call =
      QDBusMessage::createMethodCall(registry, registryPath, registry, QStringLiteral("DeregisterEvent"));
  call.setArguments({everyObjectEvent});
  m_connection.call(call, QDBus::Block, 5000);
}

void AccessibilityEvents::received(const QDBusMessage& message) {
  const QVariantList arguments = message.arguments();
  QString line = message.member();
  if (!arguments.isEmpty())
    line += u' ' + arguments.at(0).toString();
  if (message.member() == QLatin1String("StateChanged") && arguments.size() > 1)
    line += u' ' + QString::number(arguments.at(1).toInt());
  m_heard.append({message.service(), line.trimmed()});
}

QStringList AccessibilityEvents::take(const QString& service) {
  QStringList lines;
  for (const auto& [sender, line] : std::as_const(m_heard))
    if (sender == service)
      lines.append(line);
  m_heard.clear();
  return lines;
}

} // namespace brindlewick

#include "desktop/AccessibilityTree.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QList>

namespace brindlewick {

namespace {

const QString rootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
constexpr uint enabledState = 8;  // ATSPI_STATE_ENABLED
constexpr uint showingState = 25; // ATSPI_STATE_SHOWING
constexpr int deepest = 40;

QDBusMessage call(QDBusConnection& connection, const QString& service, const QString& path,
                  const QString& interface, const QString& method, const QVariantList& arguments = {}) {
  QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
  message.setArguments(arguments);
  return connection.call(message, QDBus::Block, 5000);
}

bool answered(const QDBusMessage& reply) {
  return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
}

} // namespace

AccessibilityTree::AccessibilityTree() {
  QDBusConnection session = QDBusConnection::sessionBus();
  const QDBusMessage reply = call(session, QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                  QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
  if (!answered(reply))
    return;
  m_connection = QDBusConnection::connectToBus(reply.arguments().front().toString(),
                                               QStringLiteral("brindlewick-accessibility-tree"));
}

AccessibilityTree::~AccessibilityTree() {
  if (m_connection)
    QDBusConnection::disconnectFromBus(m_connection->name());
}

std::optional<QString> AccessibilityTree::applicationOf(qint64 pid) {
  const QString bus = QStringLiteral("org.freedesktop.DBus");
  const QDBusMessage names =
      call(*m_connection, bus, QStringLiteral("/org/freedesktop/DBus"), bus, QStringLiteral("ListNames"));
  if (!answered(names))
    return std::nullopt;
  for (const QString& name : names.arguments().front().toStringList()) {
    if (!name.startsWith(u':'))
      continue;
    const QDBusMessage owner = call(*m_connection, bus, QStringLiteral("/org/freedesktop/DBus"), bus,
                                    QStringLiteral("GetConnectionUnixProcessID"), {name});
    if (answered(owner) && owner.arguments().front().toLongLong() == pid)
      return name;
  }
  return std::nullopt;
}

std::optional<AccessibilityTree::Node> AccessibilityTree::find(qint64 pid, Role role, const QString& name,
                                                               Filter filter) {
  if (!ok())
    return std::nullopt;
  const std::optional<QString> application = applicationOf(pid);
  if (!application)
    return std::nullopt;
  return search({*application, rootPath}, role, name, filter, 0);
}

// Depth first; what is not showing is passed over with all it holds when the filter asks for
// showing objects.
std::optional<AccessibilityTree::Node>
AccessibilityTree::search(const Node& node, Role role, const QString& name, Filter filter, int depth) {
  if (depth > deepest)
    return std::nullopt;
  const quint32 states = depth > 0 ? stateOf(node) : 0;
  if (depth > 0 && filter.showing && (states & (1u << showingState)) == 0)
    return std::nullopt;
  if (depth > 0 && (!filter.enabled || (states & (1u << enabledState)) != 0)) {
    const QDBusMessage roleReply =
        call(*m_connection, node.service, node.path, accessibleInterface, QStringLiteral("GetRole"));
    const QDBusMessage nameReply =
        call(*m_connection, node.service, node.path, QStringLiteral("org.freedesktop.DBus.Properties"),
             QStringLiteral("Get"), {accessibleInterface, QStringLiteral("Name")});
    if (answered(roleReply) && answered(nameReply) && roleReply.arguments().front().toUInt() == uint(role) &&
        nameReply.arguments().front().value<QDBusVariant>().variant().toString() == name)
      return node;
  }
  const QDBusMessage children =
      call(*m_connection, node.service, node.path, accessibleInterface, QStringLiteral("GetChildren"));
  if (!answered(children))
    return std::nullopt;
  QList<Node> found;
  const QDBusArgument list = children.arguments().front().value<QDBusArgument>();
  list.beginArray();
  while (!list.atEnd()) {
    Node child;
    QDBusObjectPath path;
    list.beginStructure();
    list >> child.service >> path;
    list.endStructure();
    child.path = path.path();
    found.append(child);
  }
  list.endArray();
  for (const Node& child : found)
    if (auto match = search(child, role, name, filter, depth + 1))
      return match;
  return std::nullopt;
}

quint32 AccessibilityTree::stateOf(const Node& node) {
  const QDBusMessage reply =
      call(*m_connection, node.service, node.path, accessibleInterface, QStringLiteral("GetState"));
  if (!answered(reply))
    return 0;
  QList<uint> words;
  const QDBusArgument states = reply.arguments().front().value<QDBusArgument>();
  states >> words;
  return words.isEmpty() ? 0 : words.front();
}

bool AccessibilityTree::press(const Node& node) {
  const QDBusMessage reply = call(*m_connection, node.service, node.path,
                                  QStringLiteral("org.a11y.atspi.Action"), QStringLiteral("DoAction"), {0});
  return answered(reply) && reply.arguments().front().toBool();
}

} // namespace brindlewick

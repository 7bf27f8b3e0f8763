#include "desktop/AccessibilityTree.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QList>
#include <QTest>

namespace brindlewick {

namespace {

const QString rootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
constexpr uint enabledState = uint(AccessibilityTree::State::enabled);
constexpr uint showingState = uint(AccessibilityTree::State::showing);
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
    if (!name.startsWith(u':') || name == m_connection->baseService())
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
  for (const Node& child : childrenOf(node))
    if (auto match = search(child, role, name, filter, depth + 1))
      return match;
  return std::nullopt;
}

QList<AccessibilityTree::Node> AccessibilityTree::childrenOf(const Node& node) {
  const QDBusMessage children =
      call(*m_connection, node.service, node.path, accessibleInterface, QStringLiteral("GetChildren"));
  if (!answered(children))
    return {};
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
  return found;
}

QList<AccessibilityTree::Element> AccessibilityTree::elements(qint64 pid, Filter filter) {
  QList<Element> found;
  if (!ok())
    return found;
  if (const std::optional<QString> application = applicationOf(pid))
    for (const Node& child : childrenOf({*application, rootPath}))
      collect(child, 0, filter, found);
  return found;
}

void AccessibilityTree::collect(const Node& node, int depth, Filter filter, QList<Element>& into) {
  if (depth > deepest)
    return;
  Element element;
  element.node = node;
  element.depth = depth;
  element.states = stateOf(node);
  if (filter.showing && !element.has(State::showing))
    return;
  if (filter.enabled && !element.has(State::enabled))
    return;
  const QDBusMessage role =
      call(*m_connection, node.service, node.path, accessibleInterface, QStringLiteral("GetRole"));
  const QDBusMessage roleName =
      call(*m_connection, node.service, node.path, accessibleInterface, QStringLiteral("GetRoleName"));
  const QDBusMessage name =
      call(*m_connection, node.service, node.path, QStringLiteral("org.freedesktop.DBus.Properties"),
           QStringLiteral("Get"), {accessibleInterface, QStringLiteral("Name")});
  if (answered(role))
    element.role = role.arguments().front().toUInt();
  if (answered(roleName))
    element.roleName = roleName.arguments().front().toString();
  if (answered(name))
    element.name = name.arguments().front().value<QDBusVariant>().variant().toString();
  const QList<Node> children = childrenOf(node);
  element.children = int(children.size());
  into.append(element);
  for (const Node& child : children)
    collect(child, depth + 1, filter, into);
}

QString AccessibilityTree::dump(const QList<Element>& elements) {
  const std::pair<State, const char*> told[] = {
      {State::selected, "selected"}, {State::checked, "checked"}, {State::modal, "modal"}};
  QStringList lines;
  for (const Element& element : elements) {
    QString line = QString(2 * element.depth, u' ') + element.roleName;
    if (!element.name.isEmpty())
      line += QStringLiteral(" \"") + element.name + u'"';
    for (const auto& [state, word] : told)
      if (element.has(state))
        line += QStringLiteral(" [") + QLatin1String(word) + u']';
    if (!element.has(State::enabled))
      line += QStringLiteral(" [disabled]");
    lines.append(line);
  }
  return lines.join(u'\n');
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

bool AccessibilityTree::pressSettled(qint64 pid, Role role, const QString& name, int timeoutMilliseconds) {
  std::optional<Node> earlier;
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < timeoutMilliseconds) {
    const std::optional<Node> node = find(pid, role, name);
    if (node && earlier && node->path == earlier->path && press(*node))
      return true;
    earlier = node;
    QTest::qWait(300);
  }
  return false;
}

bool AccessibilityTree::press(const Node& node) {
  const QDBusMessage reply = call(*m_connection, node.service, node.path,
                                  QStringLiteral("org.a11y.atspi.Action"), QStringLiteral("DoAction"), {0});
  return answered(reply) && reply.arguments().front().toBool();
}

} // namespace brindlewick

#pragma once

#include <QDBusConnection>
#include <QString>

#include <optional>

namespace brindlewick {

// Which accessible objects count: hidden windows and closed menus keep theirs in the tree,
// and a disabled control cannot be acted on.
struct AccessibilityFilter {
  bool showing = true;
  bool enabled = true;
};

// What an assistive technology sees of a running program: its accessibility tree on the
// session's accessibility bus (AT-SPI), read and acted on over D-Bus, as a screen reader
// would. The program must run with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1.
class AccessibilityTree {
public:
  // AT-SPI roles the tests look for.
  enum class Role : uint { menuItem = 35, pushButton = 43 };

  // One accessible object: the bus name of its program and its object path.
  struct Node {
    QString service;
    QString path;
  };

  // Connects to the accessibility bus of the current session bus; ok() is false when the
  // session offers none (at-spi2-core is not installed).
  AccessibilityTree();
  ~AccessibilityTree();
  AccessibilityTree(const AccessibilityTree&) = delete;
  AccessibilityTree& operator=(const AccessibilityTree&) = delete;

  bool ok() const { return m_connection.has_value() && m_connection->isConnected(); }

  using Filter = AccessibilityFilter;

  // The first object of process `pid` with this role and name that passes `filter`, if any.
  std::optional<Node> find(qint64 pid, Role role, const QString& name, Filter filter = {});
  // Performs the object's first action (a button's "Press"); false when the call failed.
  bool press(const Node& node);

private:
  std::optional<QString> applicationOf(qint64 pid);
  std::optional<Node> search(const Node& node, Role role, const QString& name, Filter filter, int depth);
  quint32 stateOf(const Node& node); // the first word of its AT-SPI state set

  std::optional<QDBusConnection> m_connection;
};

} // namespace brindlewick

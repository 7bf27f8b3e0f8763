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
  enum class Role : uint {
    checkBox = 7,
    list = 31,
    menuItem = 35,
    pageTab = 37,
    pushButton = 43,
    heading = 83
  };
  // AT-SPI states the tests look for (bits of the state set's first word).
  enum class State : uint { checked = 4, enabled = 8, modal = 16, selected = 23, showing = 25 };

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
  // The accessibility bus; only when ok().
  QDBusConnection connection() const { return *m_connection; }
  // The bus name under which process `pid` offers its tree, if it does. The tree's own
  // connection is passed over, so a test may read the tree of its own process.
  std::optional<QString> applicationOf(qint64 pid);

  using Filter = AccessibilityFilter;

  // The first object of process `pid` with this role and name that passes `filter`, if any.
  std::optional<Node> find(qint64 pid, Role role, const QString& name, Filter filter = {});
  // Performs the object's first action (a button's "Press"); false when the call failed.
  bool press(const Node& node);
  // Presses the showing, enabled object once it has settled: pages build their controls
  // while they slide in, so the same object must be found twice, a moment apart.
  bool pressSettled(qint64 pid, Role role, const QString& name, int timeoutMilliseconds);

  // One object as a screen reader walks to it, depth first.
  struct Element {
    Node node;
    int depth = 0;
    uint role = 0;
    QString roleName;
    QString name;
    quint32 states = 0;
    int children = 0;

    bool has(State state) const { return (states & (1u << uint(state))) != 0; }
    bool is(Role r) const { return role == uint(r); }
  };
  // Every object of process `pid` that passes `filter` (what is not showing is passed over
  // with all it holds), in reading order.
  QList<Element> elements(qint64 pid, Filter filter = {.showing = true, .enabled = false});
  // One line an object: indented by depth, role, name in quotes, and the states that matter.
  static QString dump(const QList<Element>& elements);

private:
  std::optional<Node> search(const Node& node, Role role, const QString& name, Filter filter, int depth);
  quint32 stateOf(const Node& node); // the first word of its AT-SPI state set
  QList<Node> childrenOf(const Node& node);
  void collect(const Node& node, int depth, Filter filter, QList<Element>& into);

  std::optional<QDBusConnection> m_connection;
};

} // namespace brindlewick

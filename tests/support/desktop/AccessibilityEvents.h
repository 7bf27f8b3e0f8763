#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>

namespace brindlewick {

// The object events a program sends on the accessibility bus, heard as a screen reader hears
// them: registered with the bus's registry first, since a program sends only what someone
// listens for.
class AccessibilityEvents : public QObject {
  Q_OBJECT

public:
  // Listens on `connection`, the accessibility bus (AccessibilityTree::connection()).
  explicit AccessibilityEvents(QDBusConnection connection);
  ~AccessibilityEvents() override;

  // Whether the registry took the registration.
  bool ok() const { return m_registered; }
  // What `service` sent since the last call, one line an event: "StateChanged showing 0",
  // "ChildrenChanged add".
  QStringList take(const QString& service);

private Q_SLOTS:
  void received(const QDBusMessage& message);

private:
  QDBusConnection m_connection;
  bool m_registered = false;
  QList<std::pair<QString, QString>> m_heard; // sender, line
};

} // namespace brindlewick

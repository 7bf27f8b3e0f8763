#pragma once

#include <QObject>
#include <QStringList>

#include <functional>
#include <utility>

namespace brindlewick {

// Every signal that an object's own classes declare (not QObject's), by name in the order
// emitted, while the log lives. `onSignal`, when given, runs at each one once it is recorded:
// a test can look at what an observer would see at that moment.
class SignalLog : public QObject {
public:
  explicit SignalLog(QObject& sender, std::function<void()> onSignal = {});

  // The names recorded since the last call, which forgets them.
  QStringList take() { return std::exchange(names, {}); }

  QStringList names;

  // Every signal is connected to one method past QObject's own, handled here (as QSignalSpy
  // does): no meta-object of its own is needed.
  int qt_metacall(QMetaObject::Call call, int id, void** arguments) override;

private:
  std::function<void()> m_onSignal;
};

} // namespace brindlewick

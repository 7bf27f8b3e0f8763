#include "SignalLog.h"

#include <QMetaMethod>

namespace brindlewick {

namespace {

// The index this log's one method has: the first after QObject's.
const int recordMethod = QObject::staticMetaObject.methodCount();

} // namespace

SignalLog::SignalLog(QObject& sender, std::function<void()> onSignal) : m_onSignal(std::move(onSignal)) {
  const QMetaObject* meta = sender.metaObject();
  for (int i = QObject::staticMetaObject.methodCount(); i < meta->methodCount(); ++i) {
    if (meta->method(i).methodType() == QMetaMethod::Signal)
      QMetaObject::connect(&sender, i, this, recordMethod, Qt::DirectConnection);
  }
}

int SignalLog::qt_metacall(QMetaObject::Call call, int id, void** arguments) {
  id = QObject::qt_metacall(call, id, arguments);
  if (id < 0 || call != QMetaObject::InvokeMetaMethod)
    return id;
  if (id == 0) {
    names.append(QString::fromLatin1(sender()->metaObject()->method(senderSignalIndex()).name()));
    if (m_onSignal)
      m_onSignal();
  }
  return id - 1;
}

} // namespace brindlewick

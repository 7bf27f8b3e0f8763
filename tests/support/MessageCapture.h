#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

namespace brindlewick::testing {

// Collects the log records of one category while it lives (one capture at a time); the
// others go on to the handler installed before.
class MessageCapture {
public:
  struct Record {
    QtMsgType type;
    QString message;
  };

  explicit MessageCapture(QByteArray category) : m_category(std::move(category)) {
    s_current = this;
    m_previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
          if (context.category != nullptr && s_current->m_category == context.category)
            s_current->m_records.append({type, text});
          else if (s_current->m_previous != nullptr)
            s_current->m_previous(type, context, text);
        });
  }
  ~MessageCapture() {
    qInstallMessageHandler(m_previous);
    s_current = nullptr;
  }
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

  const QList<Record>& records() const { return m_records; }

private:
  static inline MessageCapture* s_current = nullptr;
  QByteArray m_category;
  QtMessageHandler m_previous = nullptr;
  QList<Record> m_records;
};

} // namespace brindlewick::testing

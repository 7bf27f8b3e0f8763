#include "service/SecureStorage.h"

#include <QList>

#include <utility>

namespace brindlewick {

struct LateAnswer::State {
  std::optional<bool> carriedOut;
  QList<std::pair<QPointer<QObject>, std::function<void(bool)>>> handlers;
};

LateAnswer::LateAnswer() : m_state(std::make_shared<State>()) {}

void LateAnswer::then(QObject* context, std::function<void(bool carriedOut)> handler) const {
  if (m_state->carriedOut) {
    if (context)
      handler(*m_state->carriedOut);
    return;
  }
  m_state->handlers.append({QPointer<QObject>(context), std::move(handler)});
}

void LateAnswer::settle(bool carriedOut) const {
  if (m_state->carriedOut)
    return;
  m_state->carriedOut = carriedOut;
  const auto handlers = std::exchange(m_state->handlers, {});
  for (const auto& [context, handler] : handlers) {
    if (context)
      handler(carriedOut);
  }
}

KeychainError::KeychainError(qint32 status)
    : m_status(status), m_what(QStringLiteral("Secure storage is unavailable (system keyring status %1). "
                                              "No credentials were discarded.")
                                   .arg(status)
                                   .toUtf8()) {}

KeychainError::KeychainError(qint32 status, LateAnswer late) : KeychainError(status) {
  m_late = std::move(late);
}

} // namespace brindlewick

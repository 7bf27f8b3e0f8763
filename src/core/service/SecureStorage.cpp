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

namespace {

// The reader's words for what stood in the way and what to do about it.
QString reasonFor(KeychainError::Cause cause, QString detail) {
  switch (cause) {
  case KeychainError::Cause::noService:
    return QStringLiteral("no keyring service (Secret Service) answers on the session bus. Install and start "
                          "gnome-keyring or KWallet, log in again, then start Brindlewick again.");
  // Typically a terminal left from an earlier login: its keyring is fine, the way to it is not.
  case KeychainError::Cause::noSessionBus:
    return QStringLiteral("the session bus%1 cannot be reached, so no keyring can answer. Start Brindlewick "
                          "from your desktop's own session, or from a new terminal in it.")
        .arg(detail.isEmpty() ? QString() : QStringLiteral(" at ") + detail);
  case KeychainError::Cause::locked:
    return QStringLiteral("the system keyring is locked. Unlock it (your login password usually opens it), "
                          "then try again.");
  case KeychainError::Cause::noAnswer:
    return QStringLiteral("the system keyring is locked or did not answer. Unlock it (your login password "
                          "usually opens it), then try again.");
  case KeychainError::Cause::other: break;
  }
  detail = detail.trimmed();
  while (detail.endsWith(u'.'))
    detail.chop(1);
  if (detail.isEmpty())
    return QStringLiteral("the system keyring reported an error.");
  return QStringLiteral("the system keyring reported an error: %1.").arg(detail);
}

} // namespace

KeychainError::KeychainError(qint32 status, Cause cause, QString detail)
    : m_status(status), m_cause(cause),
      m_what(QStringLiteral("Secure storage is unavailable: %1 No credentials were discarded.")
                 .arg(reasonFor(cause, std::move(detail)))
                 .toUtf8()) {}

KeychainError::KeychainError(qint32 status)
    : KeychainError(status, status == noAnswerStatus ? Cause::noAnswer : Cause::other) {}

KeychainError::KeychainError(qint32 status, LateAnswer late) : KeychainError(status, Cause::noAnswer) {
  m_late = std::move(late);
}

} // namespace brindlewick

#include "service/SecureStorage.h"

namespace brindlewick {

KeychainError::KeychainError(qint32 status)
    : m_status(status), m_what(QStringLiteral("Secure storage is unavailable (system keyring status %1). "
                                              "No credentials were discarded.")
                                   .arg(status)
                                   .toUtf8()) {}

} // namespace brindlewick

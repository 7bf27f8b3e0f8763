#pragma once

#include <QString>

namespace brindlewick {

// The login collection of the private gnome-keyring that tests/support/with-secret-service.sh
// starts on the session bus, locked and unlocked as a reader's session does it, without a prompt.
// Plain calls on the Secret Service: an interface object would introspect the service, and Qt
// keeps what it learns for the rest of the process.
namespace LoginKeyring {

// Locks the collection; the bus's error text, empty once locked.
QString lock();
// Unlocks it with the password the wrapper gave the keyring; the bus's error text, empty once
// unlocked.
QString unlock();

} // namespace LoginKeyring

} // namespace brindlewick

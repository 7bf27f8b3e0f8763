#pragma once

#include "SecureStorage.h"

#include <QString>

namespace brindlewick {

// What every SecureStorage must do, checked the same way on the in-memory store and on the
// real keyring, so the store the account tests use behaves as the one the reader gets.
// Each check uses account names that start with `prefix` and leaves none of them behind.
namespace SecureStorageContract {

// Reading and removing an account that was never written: nothing, and no error.
void checkMissingEntry(SecureStorage& storage, const QString& prefix);
// A write creates the item, a second write replaces it in place, other accounts stay apart,
// and any bytes (empty, NUL, invalid UTF-8) come back exactly.
void checkWriteThenUpdate(SecureStorage& storage, const QString& prefix);
// A removed item reads as missing; removing it again is no error.
void checkRemove(SecureStorage& storage, const QString& prefix);

} // namespace SecureStorageContract

} // namespace brindlewick

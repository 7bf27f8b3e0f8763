#pragma once

#include "service/SecureStorage.h"

#include <QString>

namespace brindlewick::SecureStorageContract {

// What every SecureStorage must do, checked the same way on the in-memory store and on the
// real keyring, so the store the account tests use behaves as the one the reader gets:
// reading or removing an account never written gives nothing and no error; a write creates
// the item and a second one replaces it; account names are case-sensitive and stay apart;
// any bytes (empty, NUL, invalid UTF-8) come back exactly; a removed item reads as missing.
// Uses account names that start with `prefix` and leaves none of them behind.
void check(SecureStorage& storage, const QString& prefix);

} // namespace brindlewick::SecureStorageContract

#pragma once

#include "account/AccountContracts.h"

#include <QByteArray>
#include <QString>

namespace brindlewick {

// Valid account records for tests and benchmarks.
namespace AccountFixtures {

inline const QString userID = QStringLiteral("reader-7");
inline const QString token = QStringLiteral("tok.en-8f14e45fceea167a5a36dedd4bea2543");

// A valid snapshot of one cited book and source whose drop id is generatedId(3, index).
// `padding` letters lengthen the drop's long explanation (at most 5000 in all).
DropSnapshot snapshot(qint64 index, qsizetype padding = 0);
// A saved item of that snapshot, saved and updated at `savedAt`.
AccountItem savedItem(qint64 index, Date savedAt, qsizetype padding = 0);

// A cache of the user's session of `sessionToken`, confirmed at `confirmedAt` and ending a day
// later, holding `items` saved items of drops 0 to items - 1, saved a minute apart.
AccountCache cache(Date confirmedAt, int items = 2, const QString& sessionToken = token,
                   qsizetype padding = 0);

QByteArray credential(const QString& credentialToken = token, const QString& user = userID,
                      bool revoked = false);

} // namespace AccountFixtures

} // namespace brindlewick

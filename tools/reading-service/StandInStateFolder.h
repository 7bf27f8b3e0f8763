#pragma once

#include "StandInAccounts.h"
#include "TestCertificateAuthority.h"

#include <QString>

#include <optional>

#include <stdexcept>

namespace brindlewick {

// The stand-in program's state between runs, in one folder that only the user can enter: its
// certificate authority ("ca.pem", the key in "ca-key.pem" readable by the user alone), its
// server identity ("server.pem", "server-key.pem") and the account state ("accounts.json",
// rewritten whole after each change). So the authority a browser was told to accept, and the
// sessions of readers signed in to it, outlive a restart. Tests keep authorities in memory.
//
// A file that cannot be read stops the program with a std::runtime_error naming it; nothing
// in the folder is replaced or repaired then.
class StandInStateFolder {
public:
  // The authority and the server certificate last about a year; a new pair is made when
  // either has run out.
  static constexpr int validDays = 397;

  // Makes the folder when it is missing.
  explicit StandInStateFolder(QString path);

  QString authorityFile() const;
  // The folder's authority and a server identity it issued, made and written on first use.
  TestCertificateAuthority& authority() { return *m_authority; }
  const TlsIdentity& serverIdentity() const { return m_identity; }

  // Puts the folder's account state into `accounts` (nothing when there is none yet) and
  // writes it back after each change.
  void keep(StandInAccounts& accounts);

private:
  QString filePath(const QString& name) const;
  void loadOrMakeIdentities();

  QString m_path;
  std::optional<TestCertificateAuthority> m_authority;
  TlsIdentity m_identity;
};

} // namespace brindlewick

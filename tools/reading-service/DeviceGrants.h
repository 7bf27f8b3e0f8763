#pragma once

#include "foundation/Date.h"

#include <QHash>
#include <QRandomGenerator>
#include <QString>

#include <optional>

namespace brindlewick {

// The device-code grants of browser sign-in, on the clock it is given. A grant waits until a
// reader approves it (on the verification page, from a test, or by itself after the
// auto-approval delay), expires after its lifetime, and gives its token once.
class DeviceGrants {
public:
  struct Issued {
    QString deviceCode;
    QString userCode; // "BCDF-GHJK"
    int expiresIn = 0;
    int interval = 0;
  };

  enum class Standing { unknown, pending, approved, expired, spent };

  // What a token request learns: the grant's standing, or that it came too early.
  struct Poll {
    Standing standing;
    bool slowDown = false;
    QString readerId = {}; // for `approved`: the grant is spent from now on
  };

  static constexpr int defaultExpiresIn = 900;
  static constexpr int defaultInterval = 5;
  // How much the required pause grows each time a client polls too early.
  static constexpr double slowDownStep = 5;

  explicit DeviceGrants(NowSource now = systemNow);

  // `expires_in` and `interval` of the grants issued from now on; any values, so that a test
  // can offer what a client must refuse.
  void setTiming(int expiresIn, int interval);
  // Approves every grant for the browser reader this many seconds after it was issued.
  void setAutoApproveAfter(std::optional<double> seconds) { m_autoApproveAfter = seconds; }
  // The reader signed in to the stand-in's browser: the verification page and auto-approval
  // approve grants for this reader.
  void setBrowserReader(std::optional<QString> readerId) { m_browserReader = std::move(readerId); }
  const std::optional<QString>& browserReader() const { return m_browserReader; }

  Issued issue();
  // One token request. Too early (before the grant's interval since the last request or the
  // issue) is slow_down and lengthens the interval by slowDownStep, up to the 300 seconds a
  // client waits at most.
  Poll poll(const QString& deviceCode);

  // By user code, compared without regard to case.
  Standing standing(const QString& userCode) const;
  // False unless the grant is pending.
  bool approve(const QString& userCode, const QString& readerId);

private:
  struct Grant {
    QString deviceCode;
    QString userCode;
    Date issuedAt;
    Date lastRequest;
    int expiresIn = 0;
    double interval = 0;
    Standing standing = Standing::pending; // never `unknown` or `expired`: those come from the clock
    QString readerId;
  };

  Grant* grantOfUserCode(const QString& userCode);
  const Grant* grantOfUserCode(const QString& userCode) const;
  // The grant's standing now, with auto-approval and expiry applied.
  Standing current(const Grant& grant) const;
  QString newUserCode();

  NowSource m_now;
  QRandomGenerator m_random;
  QHash<QString, Grant> m_grants;                 // by device code
  QHash<QString, QString> m_deviceCodeOfUserCode; // user code -> device code
  int m_expiresIn = defaultExpiresIn;
  int m_interval = defaultInterval;
  std::optional<double> m_autoApproveAfter;
  std::optional<QString> m_browserReader;
};

} // namespace brindlewick

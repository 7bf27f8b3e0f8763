#include "DeviceGrants.h"

#include "StandInHttp.h"

#include <algorithm>

namespace brindlewick {

namespace {

// Letters that cannot be misread for one another or spell words (no vowels, no digits).
constexpr QLatin1StringView userCodeLetters("BCDFGHJKLMNPQRSTVWXZ");
constexpr double longestInterval = 300;
// Clocks agree only to rounding: a client that waited exactly the interval is not early.
constexpr double pollTolerance = 1e-6;

QString normalized(const QString& userCode) {
  return userCode.trimmed().toUpper();
}

} // namespace

DeviceGrants::DeviceGrants(NowSource now)
    : m_now(std::move(now)), m_random(QRandomGenerator::securelySeeded()) {}

void DeviceGrants::setTiming(int expiresIn, int interval) {
  m_expiresIn = expiresIn;
  m_interval = interval;
}

DeviceGrants::Issued DeviceGrants::issue() {
  Grant grant;
  grant.deviceCode = StandInWire::randomToken(m_random);
  grant.userCode = newUserCode();
  grant.issuedAt = m_now();
  grant.lastRequest = grant.issuedAt;
  grant.expiresIn = m_expiresIn;
  grant.interval = m_interval;
  m_deviceCodeOfUserCode.insert(grant.userCode, grant.deviceCode);
  m_grants.insert(grant.deviceCode, grant);
  return Issued{grant.deviceCode, grant.userCode, m_expiresIn, m_interval};
}

DeviceGrants::Poll DeviceGrants::poll(const QString& deviceCode) {
  const auto found = m_grants.find(deviceCode);
  if (found == m_grants.end()) {
    return {Standing::unknown};
  }
  Grant& grant = *found;
  const Standing standing = current(grant);
  if (standing != Standing::pending && standing != Standing::approved) {
    return {standing};
  }
  const Date now = m_now();
  const bool early = now.secondsSince(grant.lastRequest) + pollTolerance < grant.interval;
  grant.lastRequest = now;
  if (early) {
    grant.interval = std::min(grant.interval + slowDownStep, longestInterval);
    return {standing, true};
  }
  if (standing != Standing::approved) {
    return {standing};
  }
  grant.standing = Standing::spent;
  return {standing, false, grant.readerId.isEmpty() ? m_browserReader.value_or(QString()) : grant.readerId};
}

DeviceGrants::Standing DeviceGrants::standing(const QString& userCode) const {
  const Grant* grant = grantOfUserCode(userCode);
  return grant ? current(*grant) : Standing::unknown;
}

bool DeviceGrants::approve(const QString& userCode, const QString& readerId) {
  Grant* grant = grantOfUserCode(userCode);
  if (!grant || current(*grant) != Standing::pending) {
    return false;
  }
  grant->standing = Standing::approved;
  grant->readerId = readerId;
  return true;
}

DeviceGrants::Grant* DeviceGrants::grantOfUserCode(const QString& userCode) {
  return const_cast<Grant*>(std::as_const(*this).grantOfUserCode(userCode));
}

const DeviceGrants::Grant* DeviceGrants::grantOfUserCode(const QString& userCode) const {
  const auto deviceCode = m_deviceCodeOfUserCode.constFind(normalized(userCode));
  if (deviceCode == m_deviceCodeOfUserCode.constEnd()) {
    return nullptr;
  }
  return &*m_grants.constFind(*deviceCode);
}

DeviceGrants::Standing DeviceGrants::current(const Grant& grant) const {
  if (grant.standing == Standing::spent) {
    return grant.standing;
  }
  const Date now = m_now();
  if (now.secondsSince(grant.issuedAt) >= grant.expiresIn) {
    return Standing::expired;
  }
  if (grant.standing == Standing::pending && m_autoApproveAfter && m_browserReader &&
      now.secondsSince(grant.issuedAt) >= *m_autoApproveAfter) {
    return Standing::approved;
  }
  return grant.standing;
}

QString DeviceGrants::newUserCode() {
  QString code;
  do {
    code.clear();
    for (int i = 0; i < 8; ++i) {
      if (i == 4) {
        code += QLatin1Char('-');
      }
      code += userCodeLetters[m_random.bounded(static_cast<int>(userCodeLetters.size()))];
    }
  } while (m_deviceCodeOfUserCode.contains(code));
  return code;
}

} // namespace brindlewick

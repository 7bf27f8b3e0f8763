#pragma once

#include "ReadingService.h"
#include "TestCertificateAuthority.h"
#include "VirtualDelayScheduler.h"
#include "service/NativeAPIClient.h"

#include <memory>

namespace brindlewick {

// The stand-in service on a fresh test authority, on virtual time, with the sample release
// published when the build has one; and clients that trust that authority and measure their
// deadline on the same virtual time.
//
// The clock is the stand-in's, and the one to give a client under test: it moves with the
// scheduler (advance() fires the timers that fall due and moves the clock as far), and a test
// can set it anywhere, backwards too.
class StandInHarness {
public:
  // 2026-03-01T09:00:00Z: where the clock starts.
  static constexpr Date start{794048400.0};

  StandInHarness();
  StandInHarness(const StandInHarness&) = delete;
  StandInHarness& operator=(const StandInHarness&) = delete;

  TestCertificateAuthority& authority() { return m_authority; }
  const TlsIdentity& serverIdentity() const { return m_identity; }
  ReadingService& service() { return *m_service; }
  VirtualDelayScheduler& scheduler() { return m_scheduler; }

  Date now() const { return Date(m_clockOffset + m_scheduler.now()); }
  void setNow(Date date) { m_clockOffset = date.secondsSinceReference() - m_scheduler.now(); }
  NowSource clock() {
    return [this] { return now(); };
  }
  void advance(double seconds) { m_scheduler.advance(seconds); }

  NativeAPIClient::Options clientOptions();
  std::unique_ptr<NativeAPIClient> makeClient();
  std::unique_ptr<NativeAPIClient> makeClient(const QUrl& baseURL);

  // One request to the stand-in through a client of the harness, waited for (in real time,
  // with the safety net of waitUntil); throws what the client throws.
  APIResponse fetch(const QByteArray& method, const QString& path, std::optional<QByteArray> body = {},
                    std::optional<QString> token = {}, std::optional<QString> etag = {});

private:
  TestCertificateAuthority m_authority;
  TlsIdentity m_identity;
  VirtualDelayScheduler m_scheduler;
  double m_clockOffset = start.secondsSinceReference() - m_scheduler.now();
  std::unique_ptr<ReadingService> m_service;
  std::unique_ptr<NativeAPIClient> m_client;
};

// A content sync's requests in the stand-in's log, in order: "release", or the manifest with
// the tag it carried: "manifest untagged", "manifest stored tag" (equal to `storedTag`),
// "manifest other".
QString contentRequests(const QList<LoggedRequest>& log, const QString& manifestPath,
                        const QByteArray& storedTag);

} // namespace brindlewick

#pragma once

#include "ReadingService.h"
#include "TestCertificateAuthority.h"
#include "VirtualDelayScheduler.h"
#include "service/NativeAPIClient.h"

#include <memory>

namespace brindlewick {

// The stand-in service on a fresh test authority, and clients that trust that authority and
// measure their deadline on virtual time.
class StandInHarness {
public:
  StandInHarness();

  TestCertificateAuthority& authority() { return m_authority; }
  const TlsIdentity& serverIdentity() const { return m_identity; }
  ReadingService& service() { return *m_service; }
  VirtualDelayScheduler& scheduler() { return m_scheduler; }

  NativeAPIClient::Options clientOptions();
  std::unique_ptr<NativeAPIClient> makeClient();
  std::unique_ptr<NativeAPIClient> makeClient(const QUrl& baseURL);

private:
  TestCertificateAuthority m_authority;
  TlsIdentity m_identity;
  VirtualDelayScheduler m_scheduler;
  std::unique_ptr<ReadingService> m_service;
};

} // namespace brindlewick

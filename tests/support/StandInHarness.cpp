#include "StandInHarness.h"

namespace brindlewick {

StandInHarness::StandInHarness()
    : m_identity(m_authority.issueServerIdentity()), m_service(std::make_unique<ReadingService>(m_identity)) {
  m_service->listen();
}

NativeAPIClient::Options StandInHarness::clientOptions() {
  NativeAPIClient::Options options;
  options.additionalCaCertificates = {m_authority.certificate()};
  options.scheduler = &m_scheduler;
  return options;
}

std::unique_ptr<NativeAPIClient> StandInHarness::makeClient() {
  return makeClient(m_service->baseURL());
}

std::unique_ptr<NativeAPIClient> StandInHarness::makeClient(const QUrl& baseURL) {
  return std::make_unique<NativeAPIClient>(baseURL, clientOptions());
}

} // namespace brindlewick

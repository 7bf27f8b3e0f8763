#include "StandInHarness.h"

#include "AsyncProbe.h"

namespace brindlewick {

StandInHarness::StandInHarness()
    : m_identity(m_authority.issueServerIdentity()),
      m_service(std::make_unique<ReadingService>(m_identity, clock(), m_scheduler)) {
  m_service->content().publishSampleRelease();
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

APIResponse StandInHarness::fetch(const QByteArray& method, const QString& path,
                                  std::optional<QByteArray> body, std::optional<QString> token,
                                  std::optional<QString> etag) {
  if (!m_client) {
    m_client = makeClient();
  }
  return finishTask(m_client->send(path, QString::fromLatin1(method), std::move(body), std::move(token),
                                   NativeAPIClient::maximumResponseBytes, std::move(etag), {}))
      .get();
}

QString contentRequests(const QList<LoggedRequest>& log, const QString& manifestPath,
                        const QByteArray& storedTag) {
  QStringList requests;
  for (const LoggedRequest& request : log) {
    const auto tag = request.header("If-None-Match");
    requests << (request.path != manifestPath ? "release"
                 : !tag                       ? "manifest untagged"
                 : *tag == storedTag          ? "manifest stored tag"
                                              : "manifest other");
  }
  return requests.join(QLatin1String(", "));
}

} // namespace brindlewick

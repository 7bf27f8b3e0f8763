#include "FeedUpdaterRig.h"

#include "ReaderModelFixture.h"
#include "update/DownloadedUpdate.h"

#include <QIODevice>

namespace brindlewick {

namespace {

QCoro::Task<UpdateInstallOutcome> recordInstall(FeedUpdaterRig* rig,
                                                std::shared_ptr<const DownloadedUpdate> update) {
  rig->installed.append(update->reader()->readAll());
  if (rig->installError)
    throw UpdateInstallError(*rig->installError);
  // A copy: the task takes what it returns by moving it.
  UpdateInstallOutcome outcome = rig->outcome;
  co_return outcome;
}

} // namespace

FeedUpdaterRig::FeedUpdaterRig() = default;

QUrl FeedUpdaterRig::feedURL(const QString& name) {
  QUrl url = harness.service().baseURL();
  url.setPath(QStringLiteral("/updates/") + name);
  return url;
}

UpdateConfiguration FeedUpdaterRig::configuration(const QString& name) {
  return UpdateConfiguration{feedURL(name), harness.service().updates().publicKey()};
}

std::unique_ptr<FeedUpdater> FeedUpdaterRig::make(const QString& version, const QString& feed) {
  auto updater = makeUnstarted(version);
  updater->start(configuration(feed));
  return updater;
}

void FeedUpdaterRig::configure(ReaderModelFixture& fixture, const QString& version) {
  fixture.addConfiguration({{UpdateConfiguration::feedKey, feedURL().toString()},
                            {UpdateConfiguration::publicKeyKey, harness.service().updates().publicKey()}});
  fixture.makeUpdaterBackend = [this, version] { return makeUnstarted(version); };
}

std::unique_ptr<FeedUpdater> FeedUpdaterRig::makeUnstarted(const QString& version) {
  NativeAPIClient::Options clientOptions = harness.clientOptions();
  clientOptions.inactivityTimeoutMilliseconds = inactivityTimeoutMilliseconds;
  FeedUpdater::Services services{
      .scheduler = harness.scheduler(),
      .now = harness.clock(),
      .defaultsFile = defaultsFile(),
      .runningVersion = version,
      .clientOptions = clientOptions,
      .isOnline = [this] { return online; },
      .events = &events,
      .downloadFolder = downloadFolder(),
      .install =
          [this](std::shared_ptr<const DownloadedUpdate> update, QString version) {
            return installer ? installer(std::move(update), std::move(version)) : recordInstall(this, update);
          },
      .restart =
          [this](const QString& executable) {
            restarts.append(executable);
            return restartSucceeds;
          },
      .quit = [this] { ++quits; },
      .openUrl = [this](QUrl url) -> QCoro::Task<bool> {
        opened.append(url);
        co_return openSucceeds;
      },
  };
  return std::make_unique<FeedUpdater>(std::move(services));
}

qsizetype FeedUpdaterRig::feedRequests() {
  qsizetype count = 0;
  for (const LoggedRequest& request : harness.service().requestLog())
    count += request.path.startsWith(QStringLiteral("/updates/")) &&
             request.path.endsWith(QStringLiteral(".json"));
  return count;
}

} // namespace brindlewick

#include "app/ApplicationUpdater.h"

#include "desktop/UrlOpener.h"
#include "foundation/Json.h"
#include "update/UpdateInstaller.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QNetworkInformation>
#include <QStandardPaths>

namespace brindlewick {

namespace {

// The installer is shared with every install under way, so that one still running when the
// updater goes keeps what it works with.
QCoro::Task<UpdateInstallOutcome> installWith(std::shared_ptr<UpdateInstaller> installer,
                                              std::shared_ptr<const DownloadedUpdate> update,
                                              QString version) {
  co_return co_await installer->install(std::move(update), std::move(version));
}

NativeAPIClient::Options updaterClientOptions(const UpdaterTrust& trust, const QString& configurationFile) {
  try {
    QFile file(configurationFile);
    if (trust && file.open(QIODevice::ReadOnly))
      return trust(Json::parseObject(file.readAll()));
  } catch (const std::exception&) {
    // The service client reports a broken configuration at start; the updater trusts the
    // system's authorities alone.
  }
  return {};
}

bool networkIsUp() {
  const QNetworkInformation* network = QNetworkInformation::instance();
  return !network || network->reachability() != QNetworkInformation::Reachability::Disconnected;
}

} // namespace

std::unique_ptr<FeedUpdater> makeApplicationUpdater(SystemEvents* events, const UpdaterTrust& trust,
                                                    const QString& configurationFile,
                                                    std::function<bool(const QString& executable)> restart) {
  QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
  if (downloads.isEmpty())
    downloads = QDir::homePath();
  auto installer = std::make_shared<UpdateInstaller>(QCoreApplication::applicationFilePath(), downloads);
  const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  FeedUpdater::Services services{
      .scheduler = DelayScheduler::system(),
      .runningVersion = QCoreApplication::applicationVersion(),
      .clientOptions = updaterClientOptions(trust, configurationFile),
      .isOnline = networkIsUp,
      .events = events,
      .downloadFolder = QDir(cache).filePath(QStringLiteral("app.brindlewick/updates")),
      .install = [installer](std::shared_ptr<const DownloadedUpdate> update,
                             QString version) { return installWith(installer, std::move(update), version); },
      .restart = std::move(restart),
      .quit = [] { QCoreApplication::quit(); },
      .openUrl = [](QUrl url) { return UrlOpener::shared().open(std::move(url)); },
  };
  return std::make_unique<FeedUpdater>(std::move(services));
}

} // namespace brindlewick

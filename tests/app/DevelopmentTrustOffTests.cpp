// The development-trust unit as an ordinary build compiles it, and this build's configuration.
#include "app/DevelopmentTrust.h"

#include "AsyncProbe.h"
#include "StandInHarness.h"
#include "foundation/Json.h"
#include "service/ServiceError.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace brindlewick;

TEST(DevelopmentTrustOff, IgnoresAPlantedEntry) {
  ASSERT_FALSE(DevelopmentTrust::enabled());
  QTemporaryDir folder;
  StandInHarness harness;
  const QString authority = folder.filePath(QStringLiteral("ca.pem"));
  QFile file(authority);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(harness.authority().certificate().toPem());
  file.close();

  // Neither a good authority nor a missing file is looked at.
  for (const QString& path : {authority, folder.filePath(QStringLiteral("missing.pem"))}) {
    const QJsonObject planted{{DevelopmentTrust::configurationKey, path}};
    EXPECT_TRUE(DevelopmentTrust::clientOptions(planted).additionalCaCertificates.isEmpty());
  }
  const auto transport = DevelopmentTrust::transportFactory(authority)(harness.service().baseURL());
  const auto reply = finishTask(transport->send(QStringLiteral("/api/reader/me"), QStringLiteral("GET"),
                                                std::nullopt, std::nullopt, 4096, {}));
  EXPECT_EQ(reply.errorAs<ServiceError>(), ServiceError::unavailable());
  EXPECT_TRUE(harness.service().requestLog().isEmpty());
}

// The configuration names an authority exactly when the build was configured with one.
TEST(DevelopmentTrustOff, ThisBuildsConfigurationNamesOnlyTheConfiguredAuthority) {
  QFile file(QStringLiteral(BRINDLEWICK_CONFIGURATION_FILE));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QJsonObject configuration = Json::parseObject(file.readAll());
  const QString configured = QStringLiteral(BRINDLEWICK_CONFIGURED_DEVELOPMENT_CA);
  if (configured.isEmpty())
    EXPECT_FALSE(configuration.contains(DevelopmentTrust::configurationKey));
  else
    EXPECT_EQ(configuration.value(DevelopmentTrust::configurationKey).toString(), configured);
}

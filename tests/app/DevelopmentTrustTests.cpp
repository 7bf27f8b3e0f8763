// The development-trust unit as a development build compiles it.
#include "app/DevelopmentTrust.h"

#include "AsyncProbe.h"
#include "StandInHarness.h"

#include "service/BuildConfiguration.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

class DevelopmentTrustTest : public testing::Test {
protected:
  QTemporaryDir folder;
  StandInHarness harness;

  QString write(const QString& name, const QByteArray& bytes) {
    const QString path = folder.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    return path;
  }
  static QJsonObject naming(const QString& path) { return {{DevelopmentTrust::configurationKey, path}}; }
};

} // namespace

TEST_F(DevelopmentTrustTest, TrustsExactlyTheNamedAuthority) {
  ASSERT_TRUE(DevelopmentTrust::enabled());
  const QString path = write(QStringLiteral("ca.pem"), harness.authority().certificate().toPem());
  const NativeAPIClient::Options options = DevelopmentTrust::clientOptions(naming(path));
  EXPECT_EQ(options.additionalCaCertificates, QList<QSslCertificate>{harness.authority().certificate()});
  // Without an entry, or with an empty one, the system's authorities stand alone.
  EXPECT_TRUE(DevelopmentTrust::clientOptions({}).additionalCaCertificates.isEmpty());
  EXPECT_TRUE(DevelopmentTrust::clientOptions(naming({})).additionalCaCertificates.isEmpty());
}

TEST_F(DevelopmentTrustTest, RefusesAFileThatDoesNotHoldExactlyOneAuthorityNamingIt) {
  TestCertificateAuthority other(QStringLiteral("Other Authority"));
  const QByteArray authority = harness.authority().certificate().toPem();
  const struct {
    const char* name;
    std::optional<QByteArray> bytes; // none: the file does not exist
  } cases[] = {
      {"missing.pem", std::nullopt},
      {"empty.pem", QByteArray()},
      {"garbage.pem", QByteArray("-----BEGIN CERTIFICATE-----\nnot base64\n-----END CERTIFICATE-----\n")},
      {"two.pem", authority + other.certificate().toPem()},
      {"server.pem", harness.serverIdentity().certificate.toPem()},
      {"huge.pem", authority + QByteArray(70000, '\n')},
  };
  for (const auto& refused : cases) {
    SCOPED_TRACE(refused.name);
    const QString path = refused.bytes ? write(QString::fromUtf8(refused.name), *refused.bytes)
                                       : folder.filePath(QString::fromUtf8(refused.name));
    try {
      DevelopmentTrust::clientOptions(naming(path));
      ADD_FAILURE() << "accepted";
    } catch (const DevelopmentAuthorityError& error) {
      EXPECT_TRUE(error.description().contains(path)) << error.what();
    }
  }
}

// The factory reads the configuration file when the model asks for a transport, and its
// client reaches the stand-in, whose authority no system trusts.
TEST_F(DevelopmentTrustTest, TheModelsTransportReachesTheStandIn) {
  const QString authority = write(QStringLiteral("ca.pem"), harness.authority().certificate().toPem());
  const QString configuration =
      write(QStringLiteral("configuration.json"), QJsonDocument(naming(authority)).toJson());
  const auto transport = DevelopmentTrust::transportFactory(configuration)(harness.service().baseURL());
  const auto reply = finishTask(transport->send(QStringLiteral("/api/reader/me"), QStringLiteral("GET"),
                                                std::nullopt, std::nullopt, 4096, {}));
  EXPECT_EQ(reply.get().statusCode, 401);
  // A configuration file gone since the model read it stops the start too.
  EXPECT_THROW(DevelopmentTrust::transportFactory(folder.filePath(QStringLiteral("gone.json")))(std::nullopt),
               ConfigurationFileError);
}

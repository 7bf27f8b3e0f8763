#include "foundation/Json.h"

#include "UpdateArchive.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <openssl/evp.h>

using namespace brindlewick;

namespace {

struct ScriptRun {
  int status = -1;
  QByteArray out;
  QByteArray err;
};

ScriptRun run(const QString& program, const QStringList& arguments, const QString& folder,
              const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
  QProcess process;
  process.setWorkingDirectory(folder);
  process.setProcessEnvironment(environment);
  process.start(program, arguments);
  process.waitForFinished(60000);
  return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

// Pure Ed25519, as the updater checks it: the raw public key, the signature, the whole file.
bool verifies(const QByteArray& publicKey, const QByteArray& signature, const QByteArray& data) {
  EVP_PKEY* key = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                              reinterpret_cast<const unsigned char*>(publicKey.constData()),
                                              size_t(publicKey.size()));
  if (!key)
    return false;
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  const bool good =
      EVP_DigestVerifyInit(context, nullptr, nullptr, nullptr, key) == 1 &&
      EVP_DigestVerify(context, reinterpret_cast<const unsigned char*>(signature.constData()),
                       size_t(signature.size()), reinterpret_cast<const unsigned char*>(data.constData()),
                       size_t(data.size())) == 1;
  EVP_MD_CTX_free(context);
  EVP_PKEY_free(key);
  return good;
}

class SignUpdateScript : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_folder.isValid());
    ASSERT_EQ(run(QStringLiteral("openssl"),
                  {QStringLiteral("genpkey"), QStringLiteral("-algorithm"), QStringLiteral("ed25519"),
                   QStringLiteral("-out"), QStringLiteral("key.pem")},
                  m_folder.path())
                  .status,
              0);
    m_archive = sampleUpdateArchive(QStringLiteral("1.4.0"));
    QFile file(m_folder.filePath(QStringLiteral("brindlewick-1.4.0-Linux.tar.gz")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(m_archive);
  }

  ScriptRun sign(const QStringList& arguments,
                 const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    return run(QStringLiteral(BRINDLEWICK_SIGN_UPDATE), arguments, m_folder.path(), environment);
  }

  QTemporaryDir m_folder;
  QByteArray m_archive;
};

TEST_F(SignUpdateScript, printsAFeedEntryWhoseSignatureTheBuildsKeyVerifies) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("NOTES"),
                     QStringLiteral("Fixes \"saved\" ideas.\nSecond paragraph.\t\\o/"));
  const QString url = QStringLiteral("https://example.org/brindlewick-1.4.0-Linux.tar.gz");

  const ScriptRun result =
      sign({QStringLiteral("brindlewick-1.4.0-Linux.tar.gz"), url, QStringLiteral("key.pem")}, environment);

  ASSERT_EQ(result.status, 0) << result.err.toStdString();
  const QJsonObject entry = Json::parseObject(result.out);
  EXPECT_EQ(entry.keys(),
            (QStringList{QStringLiteral("length"), QStringLiteral("minimumVersion"), QStringLiteral("notes"),
                         QStringLiteral("signature"), QStringLiteral("url"), QStringLiteral("version")}));
  EXPECT_EQ(entry.value(QStringLiteral("version")).toString(), QStringLiteral("1.4.0"));
  EXPECT_EQ(entry.value(QStringLiteral("url")).toString(), url);
  EXPECT_EQ(entry.value(QStringLiteral("length")).toInteger(), m_archive.size());
  EXPECT_TRUE(entry.value(QStringLiteral("minimumVersion")).isNull());
  EXPECT_EQ(entry.value(QStringLiteral("notes")).toString(), environment.value(QStringLiteral("NOTES")));

  const QRegularExpressionMatch key =
      QRegularExpression(QStringLiteral("BRINDLEWICK_UPDATE_PUBLIC_KEY=([A-Za-z0-9+/=]+)"))
          .match(QString::fromUtf8(result.err));
  ASSERT_TRUE(key.hasMatch()) << result.err.toStdString();
  const QByteArray publicKey = QByteArray::fromBase64(key.captured(1).toLatin1());
  const QByteArray signature =
      QByteArray::fromBase64(entry.value(QStringLiteral("signature")).toString().toLatin1());
  ASSERT_EQ(publicKey.size(), 32);
  ASSERT_EQ(signature.size(), 64);
  EXPECT_TRUE(verifies(publicKey, signature, m_archive));
  QByteArray altered = m_archive;
  altered[10] = char(altered[10] ^ 1);
  EXPECT_FALSE(verifies(publicKey, signature, altered));
}

TEST_F(SignUpdateScript, refusesWhatWouldMakeABadEntry) {
  ASSERT_EQ(run(QStringLiteral("openssl"),
                {QStringLiteral("genpkey"), QStringLiteral("-algorithm"), QStringLiteral("EC"),
                 QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:P-256"),
                 QStringLiteral("-out"), QStringLiteral("ec.pem")},
                m_folder.path())
                .status,
            0);
  QFile::copy(m_folder.filePath(QStringLiteral("brindlewick-1.4.0-Linux.tar.gz")),
              m_folder.filePath(QStringLiteral("release.tar.gz")));
  const struct {
    const char* name;
    QStringList arguments;
    const char* message;
  } cases[] = {
      {"plain http",
       {QStringLiteral("brindlewick-1.4.0-Linux.tar.gz"), QStringLiteral("http://example.org/a"),
        QStringLiteral("key.pem")},
       "must be an https:// address"},
      {"a quote in the address",
       {QStringLiteral("brindlewick-1.4.0-Linux.tar.gz"), QStringLiteral("https://example.org/a\"b"),
        QStringLiteral("key.pem")},
       "must not hold"},
      {"not an Ed25519 key",
       {QStringLiteral("brindlewick-1.4.0-Linux.tar.gz"), QStringLiteral("https://example.org/a"),
        QStringLiteral("ec.pem")},
       "is not an Ed25519 private key"},
      {"no version in the name",
       {QStringLiteral("release.tar.gz"), QStringLiteral("https://example.org/a"), QStringLiteral("key.pem")},
       "cannot read a version"},
      {"no archive",
       {QStringLiteral("missing.tar.gz"), QStringLiteral("https://example.org/a"), QStringLiteral("key.pem")},
       "no archive"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ScriptRun refused = sign(c.arguments);
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(refused.out.isEmpty()) << refused.out.toStdString();
    EXPECT_TRUE(refused.err.contains(c.message)) << refused.err.toStdString();
  }
}

// The versions the updater takes, and no others: a feed with one it refuses would be refused
// whole.
TEST_F(SignUpdateScript, takesTheVersionsTheUpdaterTakes) {
  const struct {
    const char* version;
    const char* minimum;
    const char* refusal; // none: signed
  } rows[] = {
      {"4294967296.18446744073709551615", "00000000000000000001", nullptr},
      {"1.2.3.4.5.6.7.8", "", nullptr},
      {"1.18446744073709551616", "", "its part 18446744073709551616 is larger than 18446744073709551615"},
      {"1.4", "99999999999999999999999", "its part 99999999999999999999999 is larger than"},
      {"000000000000000000001", "", "its part 000000000000000000001 has more than 20 digits"},
      {"1.2.3.4.5.6.7.8.9", "", "it has more than 8 parts"},
      {"1.4-beta", "", "is not a version (dot-separated numbers)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.version);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VERSION"), QString::fromLatin1(row.version));
    environment.insert(QStringLiteral("MINIMUM_VERSION"), QString::fromLatin1(row.minimum));
    const ScriptRun result = sign({QStringLiteral("brindlewick-1.4.0-Linux.tar.gz"),
                                   QStringLiteral("https://example.org/a"), QStringLiteral("key.pem")},
                                  environment);
    if (row.refusal) {
      EXPECT_EQ(result.status, 1);
      EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
      EXPECT_TRUE(result.err.contains(row.refusal)) << result.err.toStdString();
    } else {
      ASSERT_EQ(result.status, 0) << result.err.toStdString();
      EXPECT_EQ(Json::parseObject(result.out).value(QStringLiteral("version")).toString(),
                QString::fromLatin1(row.version));
    }
  }
}

} // namespace

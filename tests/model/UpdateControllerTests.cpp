#include "model/UpdateController.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace brindlewick;

namespace {

// Records what it was asked outside itself: the controller drops a backend it does not start.
class FakeBackend final : public UpdaterBackend {
public:
  explicit FakeBackend(std::vector<UpdateConfiguration>& starts) : m_starts(starts) {}
  void start(const UpdateConfiguration& configuration) override { m_starts.push_back(configuration); }
  bool canCheckForUpdates() const override { return true; }
  void checkForUpdates() override {}

private:
  std::vector<UpdateConfiguration>& m_starts;
};

TEST(UpdateController, OnlyAValidConfigurationWithABackendEnablesUpdates) {
  const QString feed = "https://updates.example/appcast.xml";
  const QString key = QByteArray(32, char(0xFB)).toBase64(); // "+/v7...", standard alphabet
  const QString url = "Build configuration requires HTTPS URLs without credentials, query, or fragment.";
  const QString pair = "Configure both an HTTPS update feed and a base64-encoded 32-byte Ed25519 public key.";
  const QString none = UpdateController::notConfiguredMessage;
  const struct {
    QJsonValue feed, key;
    QString problem; // "" when valid
  } rows[] = {
      {{}, QJsonValue::Undefined, none},
      {"", 32, none}, // a key that is no string counts as empty
      {feed, key, ""},
      {"http://updates.example/", key, url},
      {feed + "?beta", key, url},
      {"https://me@updates.example/", key, url},
      {"", key, pair},
      {feed, "", pair},
      {feed, QString(QByteArray(31, 'k').toBase64()), pair},
      {feed, key.chopped(1), pair}, // unpadded
      {feed, QString(QByteArray(32, char(0xFB)).toBase64(QByteArray::Base64UrlEncoding)), pair},
      {feed, key.left(20) + "\n" + key.mid(20), pair},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.feed.toString().toStdString() + " " + row.key.toString().toStdString());
    const QJsonObject configuration{{"SUFeedURL", row.feed}, {"SUPublicEDKey", row.key}};
    const QString refused = row.problem == none ? none : UpdateController::disabledPrefix + row.problem;
    const UpdateController alone(configuration);
    // Without a backend there is no updater to speak of.
    EXPECT_EQ(alone.message(), row.problem.isEmpty() ? none : refused);
    EXPECT_FALSE(alone.canCheckForUpdates());

    std::vector<UpdateConfiguration> starts;
    const UpdateController started(configuration, std::make_unique<FakeBackend>(starts));
    EXPECT_EQ(started.message(), row.problem.isEmpty() ? UpdateController::enabledMessage : refused);
    EXPECT_EQ(started.canCheckForUpdates(), row.problem.isEmpty());
    const std::vector<UpdateConfiguration> expected = row.problem.isEmpty()
                                                          ? std::vector{UpdateConfiguration{QUrl(feed), key}}
                                                          : std::vector<UpdateConfiguration>{};
    EXPECT_EQ(starts, expected);
  }
}

} // namespace

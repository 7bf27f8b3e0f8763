// Browser sign-in at the stand-in: the device-code grant, its token, the verification page and
// sign-out, over TLS on virtual time.
#include "StandInHarness.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <functional>
#include <vector>

using namespace brindlewick;
using namespace Qt::StringLiterals;

namespace {

const QString clientId = u"brindlewick-macos"_s;
const QString grantType = u"urn:ietf:params:oauth:grant-type:device_code"_s;

QJsonObject json(const APIResponse& response) {
  return QJsonDocument::fromJson(response.body).object();
}

class SignInRoutesTest : public testing::Test {
protected:
  StandInHarness harness;
  ReadingService& service = harness.service();
  DeviceGrants& grants = service.grants();

  void SetUp() override {
    service.accounts().addReader({u"r1"_s, u"Ada"_s, u"ada@example.com"_s});
    grants.setBrowserReader(u"r1"_s);
  }

  QJsonObject begin(const QString& client = clientId) {
    return json(harness.fetch("POST", u"/api/reader-auth/device/code"_s,
                              QJsonDocument(QJsonObject{{u"client_id"_s, client}}).toJson()));
  }
  APIResponse poll(const QString& deviceCode, const QString& client = clientId,
                   const QString& grant = grantType) {
    const QJsonObject body{
        {u"client_id"_s, client}, {u"device_code"_s, deviceCode}, {u"grant_type"_s, grant}};
    return harness.fetch("POST", u"/api/reader-auth/device/token"_s, QJsonDocument(body).toJson());
  }
  APIResponse page(const QString& userCode) {
    return harness.fetch("GET", u"/device?user_code="_s + QUrl::toPercentEncoding(userCode));
  }
  APIResponse approve(const QString& userCode) {
    return harness.fetch("POST", u"/device/approve"_s, "user_code=" + userCode.toUtf8());
  }
};

} // namespace

// The account tests of the client follow a grant to its token, through the page and by
// auto-approval; these cover what they do not reach.
TEST_F(SignInRoutesTest, DeviceCodeNamesItsOwnOriginAndTheConfiguredTiming) {
  EXPECT_EQ(begin(u"other"_s), (QJsonObject{{u"error"_s, u"invalid_client"_s}}));
  grants.setTiming(600, 7);
  const QJsonObject first = begin();
  EXPECT_EQ(first[u"expires_in"_s].toInt(), 600);
  EXPECT_EQ(first[u"interval"_s].toInt(), 7);
  EXPECT_EQ(first[u"verification_uri"_s].toString(), service.baseURL().toString() + u"/device"_s);
}

TEST_F(SignInRoutesTest, TokenRequestsFollowTheGrant) {
  struct Case {
    const char* name;
    std::function<void(const QString& userCode)> act;
    std::vector<std::pair<double, const char*>>
        polls; // seconds after the previous step; the error or "token"
  };
  const std::vector<Case> cases = {
      // Each early poll lengthens the interval by 5 s, counted from that poll.
      {"pending, then polled early twice",
       nullptr,
       {{5, "authorization_pending"}, {4, "slow_down"}, {5, "slow_down"}, {15, "authorization_pending"}}},
      {"approved: the token once",
       [&](const QString& code) { grants.approve(code, u"r1"_s); },
       {{5, "token"}, {5, "invalid_grant"}}},
      {"expired", nullptr, {{5, "authorization_pending"}, {895, "expired_token"}}},
  };
  for (const Case& c : cases) {
    const QJsonObject grant = begin();
    if (c.act) {
      c.act(grant[u"user_code"_s].toString());
    }
    for (const auto& [after, expected] : c.polls) {
      harness.advance(after);
      const QJsonObject reply = json(poll(grant[u"device_code"_s].toString()));
      EXPECT_EQ(reply.contains(u"access_token"_s) ? u"token"_s : reply[u"error"_s].toString(),
                QString::fromLatin1(expected))
          << c.name;
    }
  }
}

TEST_F(SignInRoutesTest, MalformedTokenRequestsAreRefusedWithoutTouchingTheGrant) {
  const QString deviceCode = begin()[u"device_code"_s].toString();
  harness.advance(5);
  EXPECT_EQ(json(poll(deviceCode, u"other"_s))[u"error"_s], u"invalid_client"_s);
  EXPECT_EQ(json(poll(deviceCode, clientId, u"password"_s))[u"error"_s], u"unsupported_grant_type"_s);
  EXPECT_EQ(json(poll(u"unknown"_s))[u"error"_s], u"invalid_grant"_s);
  EXPECT_EQ(json(poll(deviceCode))[u"error"_s], u"authorization_pending"_s);
}

TEST_F(SignInRoutesTest, VerificationPageApprovesForTheBrowsersReaderOnly) {
  const QJsonObject grant = begin();
  const QString userCode = grant[u"user_code"_s].toString();
  EXPECT_EQ(page(userCode.toLower()).statusCode, 200);

  grants.setBrowserReader(std::nullopt);
  EXPECT_EQ(approve(userCode).statusCode, 403);
  grants.setBrowserReader(u"r1"_s);
  EXPECT_EQ(approve(userCode).statusCode, 200);
  harness.advance(5);
  EXPECT_EQ(poll(grant[u"device_code"_s].toString()).statusCode, 200);

  // A spent code and a hostile one say so; whatever the query held is shown escaped.
  EXPECT_EQ(approve(userCode).statusCode, 404);
  EXPECT_EQ(page(userCode).statusCode, 404);
  const APIResponse hostile = page(u"<script>alert(1)</script>"_s);
  EXPECT_EQ(hostile.statusCode, 404);
  EXPECT_TRUE(hostile.body.contains("&lt;script&gt;alert(1)&lt;/script&gt;"));
  EXPECT_FALSE(hostile.body.contains("<script>"));
}

TEST_F(SignInRoutesTest, SignOutEndsTheBearersSessionOnly) {
  const QString token = service.accounts().openSession(u"r1"_s);
  const QString other = service.accounts().openSession(u"r1"_s);
  const QString signOut = u"/api/reader-auth/sign-out"_s;
  const APIResponse ended = harness.fetch("POST", signOut, "{}", token);
  EXPECT_EQ(ended.statusCode, 204);
  EXPECT_TRUE(ended.body.isEmpty());
  EXPECT_EQ(harness.fetch("POST", signOut, "{}", token).statusCode, 401);
  EXPECT_EQ(harness.fetch("GET", u"/api/reader/me"_s, std::nullopt, other).statusCode, 200);
}

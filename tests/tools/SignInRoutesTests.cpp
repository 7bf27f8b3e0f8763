// Browser sign-in at the stand-in: the device-code grant, its token, the verification page and
// sign-out, over TLS on virtual time.
#include "StandInHarness.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <functional>
#include <vector>

using namespace brindlewick;

namespace {

const QString codePath = QStringLiteral("/api/reader-auth/device/code");
const QString tokenPath = QStringLiteral("/api/reader-auth/device/token");
const QByteArray clientBody = R"({"client_id":"brindlewick-macos"})";

QJsonObject json(const APIResponse& response) {
  return QJsonDocument::fromJson(response.body).object();
}

class SignInRoutesTest : public testing::Test {
protected:
  StandInHarness harness;
  ReadingService& service = harness.service();
  DeviceGrants& grants = service.grants();

  void SetUp() override {
    service.accounts().addReader(
        {QStringLiteral("r1"), QStringLiteral("Ada"), QStringLiteral("ada@example.com")});
    grants.setBrowserReader(QStringLiteral("r1"));
  }

  QJsonObject begin() { return json(harness.fetch("POST", codePath, clientBody)); }

  APIResponse poll(const QString& deviceCode) {
    return harness.fetch(
        "POST", tokenPath,
        QJsonDocument(QJsonObject{{QStringLiteral("client_id"), QStringLiteral("brindlewick-macos")},
                                  {QStringLiteral("device_code"), deviceCode},
                                  {QStringLiteral("grant_type"),
                                   QStringLiteral("urn:ietf:params:oauth:grant-type:device_code")}})
            .toJson());
  }

  APIResponse page(const QString& userCode) {
    return harness.fetch("GET", QStringLiteral("/device?user_code=") + QUrl::toPercentEncoding(userCode));
  }
};

} // namespace

TEST_F(SignInRoutesTest, DeviceCodeNamesItsOwnOriginAndTheConfiguredTiming) {
  for (const QByteArray& body :
       {QByteArray("{\"client_id\":\"other\"}"), QByteArray("{}"), QByteArray("client")}) {
    const APIResponse refused = harness.fetch("POST", codePath, body);
    EXPECT_EQ(refused.statusCode, 400) << body.toStdString();
    EXPECT_FALSE(json(refused).contains(QStringLiteral("device_code")));
  }
  grants.setTiming(600, 7);
  const QJsonObject first = begin();
  const QJsonObject second = begin();
  EXPECT_EQ(first[QStringLiteral("expires_in")].toInt(), 600);
  EXPECT_EQ(first[QStringLiteral("interval")].toInt(), 7);
  EXPECT_NE(first[QStringLiteral("device_code")], second[QStringLiteral("device_code")]);
  EXPECT_NE(first[QStringLiteral("user_code")], second[QStringLiteral("user_code")]);
  const QString userCode = first[QStringLiteral("user_code")].toString();
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^[B-Z]{4}-[B-Z]{4}$")).match(userCode).hasMatch())
      << userCode.toStdString();

  QUrl page = service.baseURL();
  page.setPath(QStringLiteral("/device"));
  EXPECT_EQ(first[QStringLiteral("verification_uri")].toString(), page.toString());
  page.setQuery(QStringLiteral("user_code=") + userCode);
  EXPECT_EQ(first[QStringLiteral("verification_uri_complete")].toString(), page.toString());
}

TEST_F(SignInRoutesTest, TokenRequestsFollowTheGrant) {
  struct Poll {
    double after;         // seconds since the previous step
    const char* expected; // the error, or "token"
  };
  struct Case {
    const char* name;
    std::function<void(const QString& userCode)> act;
    std::vector<Poll> polls;
  };
  const std::vector<Case> cases = {
      // Each early poll lengthens the interval by 5 s, counted from that poll.
      {"pending, then polled early twice",
       nullptr,
       {{5, "authorization_pending"}, {4, "slow_down"}, {5, "slow_down"}, {15, "authorization_pending"}}},
      {"approved: the token once",
       [&](const QString& code) { grants.approve(code, QStringLiteral("r1")); },
       {{5, "token"}, {5, "invalid_grant"}}},
      {"declined",
       [&](const QString& code) { grants.deny(code); },
       {{5, "access_denied"}, {5, "access_denied"}}},
      {"expired", nullptr, {{5, "authorization_pending"}, {895, "expired_token"}}},
      {"approved by itself after 12 s",
       [&](const QString&) { grants.setAutoApproveAfter(12); },
       {{5, "authorization_pending"}, {5, "authorization_pending"}, {5, "token"}}},
  };
  for (const Case& c : cases) {
    grants.setAutoApproveAfter(std::nullopt);
    const QJsonObject grant = begin();
    if (c.act) {
      c.act(grant[QStringLiteral("user_code")].toString());
    }
    for (const Poll& step : c.polls) {
      harness.advance(step.after);
      const APIResponse reply = poll(grant[QStringLiteral("device_code")].toString());
      if (QByteArray(step.expected) == "token") {
        ASSERT_EQ(reply.statusCode, 200) << c.name;
        EXPECT_EQ(json(reply)[QStringLiteral("token_type")].toString(), QStringLiteral("Bearer"));
        const APIResponse me = harness.fetch("GET", QStringLiteral("/api/reader/me"), std::nullopt,
                                             json(reply)[QStringLiteral("access_token")].toString());
        EXPECT_EQ(json(me)[QStringLiteral("user")][QStringLiteral("id")].toString(), QStringLiteral("r1"))
            << c.name;
      } else {
        EXPECT_EQ(reply.statusCode, 400) << c.name;
        EXPECT_EQ(json(reply)[QStringLiteral("error")].toString(), QString::fromLatin1(step.expected))
            << c.name;
      }
    }
  }
}

TEST_F(SignInRoutesTest, MalformedTokenRequestsAreRefused) {
  const QString deviceCode = begin()[QStringLiteral("device_code")].toString();
  harness.advance(5);
  const QByteArray grantType = "\"urn:ietf:params:oauth:grant-type:device_code\"";
  const std::vector<std::pair<QByteArray, const char*>> cases = {
      {"{\"client_id\":\"other\",\"device_code\":\"" + deviceCode.toUtf8() +
           "\",\"grant_type\":" + grantType + "}",
       "invalid_client"},
      {"{\"client_id\":\"brindlewick-macos\",\"device_code\":\"" + deviceCode.toUtf8() +
           "\",\"grant_type\":\"x\"}",
       "unsupported_grant_type"},
      {"{\"client_id\":\"brindlewick-macos\",\"device_code\":\"unknown\",\"grant_type\":" + grantType + "}",
       "invalid_grant"},
      {"{\"client_id\":\"brindlewick-macos\",\"grant_type\":" + grantType + "}", "invalid_request"},
      {"device_code=" + deviceCode.toUtf8(), "invalid_request"},
  };
  for (const auto& [body, error] : cases) {
    const APIResponse reply = harness.fetch("POST", tokenPath, body);
    EXPECT_EQ(reply.statusCode, 400) << error;
    EXPECT_EQ(json(reply)[QStringLiteral("error")].toString(), QString::fromLatin1(error));
  }
  // None of them spent the grant or counted as an early poll.
  EXPECT_EQ(json(poll(deviceCode))[QStringLiteral("error")].toString(),
            QStringLiteral("authorization_pending"));
}

TEST_F(SignInRoutesTest, VerificationPageShowsTheCodeAndItsButtonApproves) {
  const QJsonObject grant = begin();
  const QString userCode = grant[QStringLiteral("user_code")].toString();
  const APIResponse shown = page(userCode.toLower());
  EXPECT_EQ(shown.statusCode, 200);
  EXPECT_TRUE(shown.headers.value(QStringLiteral("content-type")).startsWith(QStringLiteral("text/html")));
  const QString html = QString::fromUtf8(shown.body);
  EXPECT_TRUE(html.contains(QStringLiteral("<strong>") + userCode + QStringLiteral("</strong>")));
  EXPECT_EQ(html.count(QStringLiteral("<button")), 1);
  EXPECT_TRUE(html.contains(QStringLiteral("<form method=\"post\" action=\"/device/approve\">")));

  const QByteArray form = "user_code=" + userCode.toUtf8();
  grants.setBrowserReader(std::nullopt);
  EXPECT_EQ(harness.fetch("POST", QStringLiteral("/device/approve"), form).statusCode, 403);
  grants.setBrowserReader(QStringLiteral("r1"));
  EXPECT_EQ(harness.fetch("POST", QStringLiteral("/device/approve"), form).statusCode, 200);
  EXPECT_EQ(grants.standing(userCode), DeviceGrants::Standing::approved);
  harness.advance(5);
  EXPECT_EQ(poll(grant[QStringLiteral("device_code")].toString()).statusCode, 200);

  // Spent, unknown and hostile codes say so; whatever the query held is shown escaped.
  const APIResponse approvedAgain = harness.fetch("POST", QStringLiteral("/device/approve"), form);
  EXPECT_EQ(approvedAgain.statusCode, 404);
  EXPECT_TRUE(approvedAgain.body.contains("already been used"));
  EXPECT_EQ(page(userCode).statusCode, 404);
  const APIResponse hostile = page(QStringLiteral("<script>alert(1)</script>"));
  EXPECT_EQ(hostile.statusCode, 404);
  EXPECT_TRUE(hostile.body.contains("&lt;script&gt;alert(1)&lt;/script&gt;"));
  EXPECT_FALSE(hostile.body.contains("<script>"));
}

TEST_F(SignInRoutesTest, SignOutEndsTheBearersSessionOnly) {
  const QString token = service.accounts().openSession(QStringLiteral("r1"));
  const QString other = service.accounts().openSession(QStringLiteral("r1"));
  const QString signOut = QStringLiteral("/api/reader-auth/sign-out");
  EXPECT_EQ(harness.fetch("POST", signOut, "{}").statusCode, 401);
  const APIResponse ended = harness.fetch("POST", signOut, "{}", token);
  EXPECT_EQ(ended.statusCode, 204);
  EXPECT_TRUE(ended.body.isEmpty());
  EXPECT_EQ(harness.fetch("GET", QStringLiteral("/api/reader/me"), std::nullopt, token).statusCode, 401);
  EXPECT_EQ(harness.fetch("GET", QStringLiteral("/api/reader/me"), std::nullopt, other).statusCode, 200);
  EXPECT_EQ(harness.fetch("POST", signOut, "{}", token).statusCode, 401);
}

#include "AsyncProbe.h"
#include "ScriptedTlsServer.h"
#include "StandInHarness.h"
#include "service/BuildConfiguration.h"
#include "service/NativeAPIClient.h"
#include "service/ServiceError.h"

#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <QtEndian>

#include <vector>

using namespace brindlewick;

namespace {

using Outcome = std::shared_ptr<AsyncOutcome<APIResponse>>;
using Step = ScriptedTlsServer::Step;

constexpr qint64 smallLimit = 65536;

Outcome get(NativeAPIClient& client, const QString& path, qint64 limit = smallLimit,
            std::optional<QString> token = std::nullopt, CancellationToken cancellation = {}) {
  return startTask(client.send(path, QStringLiteral("GET"), std::nullopt, std::move(token), limit,
                               std::move(cancellation)));
}

Outcome finished(Outcome outcome) {
  EXPECT_TRUE(waitUntilFinished(outcome));
  return outcome;
}

std::optional<ServiceError> serviceError(const Outcome& outcome) {
  return outcome->errorAs<ServiceError>();
}

QString errorText(const Outcome& outcome) {
  try {
    outcome->get();
  } catch (const std::exception& error) {
    return QString::fromUtf8(error.what());
  }
  return {};
}

// The gzip member format around a raw deflate stream (qCompress gives zlib framing).
QByteArray gzip(const QByteArray& data) {
  const QByteArray zlib = qCompress(data, 9).mid(4);
  const QByteArray deflate = zlib.mid(2, zlib.size() - 6);
  quint32 crc = 0xFFFFFFFFu;
  for (const char byte : data) {
    crc ^= static_cast<quint8>(byte);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
  }
  crc ^= 0xFFFFFFFFu;
  QByteArray out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
  out += deflate;
  char trailer[8];
  qToLittleEndian<quint32>(crc, trailer);
  qToLittleEndian<quint32>(static_cast<quint32>(data.size()), trailer + 4);
  return out + QByteArray(trailer, 8);
}

class NativeAPIClientTest : public testing::Test {
protected:
  StandInHarness harness;
  ReadingService& service = harness.service();

  std::unique_ptr<ScriptedTlsServer> scripted(QList<Step> script) {
    return std::make_unique<ScriptedTlsServer>(harness.serverIdentity(), std::move(script));
  }
};

} // namespace

TEST(ServiceErrorTest, MessagesAndEquality) {
  EXPECT_STREQ(ServiceError::unavailable().what(),
               "The service could not be reached. Check your connection and retry sign-in or cloud sync.");
  EXPECT_STREQ(ServiceError::invalidResponse().what(),
               "The service returned an unreadable response. Please try again later.");
  EXPECT_STREQ(ServiceError::responseTooLarge().what(), "The service response exceeded the safe size limit.");
  EXPECT_STREQ(ServiceError::invalidRequest().what(), "The request is not valid for this service.");
  EXPECT_STREQ(ServiceError::releaseUnavailable().what(),
               "The requested release is no longer published. Refresh the content manifest.");
  EXPECT_STREQ(ServiceError::http(429).what(), "Too many requests. Please wait before trying again.");
  for (int status : {500, 503, 599}) {
    EXPECT_TRUE(ServiceError::http(status).description().startsWith(
        QStringLiteral("The service is temporarily unavailable. ")))
        << status;
  }
  // 401, 409 and the rest each have a message of their own.
  EXPECT_NE(ServiceError::http(401).description(), ServiceError::http(409).description());
  EXPECT_NE(ServiceError::http(409).description(), ServiceError::http(404).description());
  EXPECT_EQ(ServiceError::http(404).description(), ServiceError::http(400).description());

  EXPECT_FALSE(ServiceError::http(404) == ServiceError::http(410));
  EXPECT_FALSE(ServiceError::unavailable() == ServiceError::invalidResponse());
}

// Cancellation is checked first, then the address, then the request itself.
TEST_F(NativeAPIClientTest, ChecksCancellationThenTheAddressThenTheRequest) {
  NativeAPIClient unconfigured(std::nullopt, harness.clientOptions());
  const auto error = finished(get(unconfigured, QStringLiteral("//bad"), 0))->errorAs<ConfigurationError>();
  ASSERT_TRUE(error);
  EXPECT_STREQ(error->what(),
               "This build has no configured API service. Sign-in and cloud sync are unavailable.");

  CancellationSource source;
  source.cancel();
  EXPECT_TRUE(finished(get(unconfigured, QStringLiteral("/x"), 1, std::nullopt, source.token()))
                  ->errorAs<CancelledError>());
  auto client = harness.makeClient();
  EXPECT_TRUE(finished(get(*client, QStringLiteral("//bad"), 0, std::nullopt, source.token()))
                  ->errorAs<CancelledError>());
  EXPECT_TRUE(service.requestLog().isEmpty());
}

TEST_F(NativeAPIClientTest, RefusedRequestsSendNothing) {
  struct Case {
    const char* name;
    QString path;
    QString method;
    qint64 limit;
    std::optional<QString> token;
    std::optional<QString> etag;
  };
  const QString ok = QStringLiteral("/api/reader/me");
  const QString get = QStringLiteral("GET");
  const std::vector<Case> cases = {
      {"no leading slash", QStringLiteral("api/reader/me"), get, 10, {}, {}},
      {"two leading slashes", QStringLiteral("//evil.example/x"), get, 10, {}, {}},
      {"backslash", QStringLiteral("/api\\reader"), get, 10, {}, {}},
      {"unparsable", QStringLiteral("/a b"), get, 10, {}, {}},
      {"fragment", QStringLiteral("/api#top"), get, 10, {}, {}},
      {"lower-case method", ok, QStringLiteral("get"), 10, {}, {}},
      {"unknown method", ok, QStringLiteral("OPTIONS"), 10, {}, {}},
      {"header in method", ok, QStringLiteral("GET /x HTTP/1.1\r\nX: y"), 10, {}, {}},
      {"zero limit", ok, get, 0, {}, {}},
      {"line feed in token", ok, get, 10, QStringLiteral("abc\nX-Injected: 1"), {}},
      {"carriage return in token", ok, get, 10, QStringLiteral("abc\r"), {}},
      {"vertical tab in token", ok, get, 10, QStringLiteral("abc\x0b"), {}},
      {"next line in token", ok, get, 10, QStringLiteral("abc\u0085"), {}},
      {"line separator in token", ok, get, 10, QStringLiteral("abc\u2028"), {}},
      {"paragraph separator in etag", ok, get, 10, {}, QStringLiteral("\"v1\"\u2029")},
      {"line feed in etag", ok, get, 10, QStringLiteral("fine"), QStringLiteral("\"v1\"\nX: y")},
  };
  auto client = harness.makeClient();
  for (const Case& c : cases) {
    auto outcome =
        finished(startTask(client->send(c.path, c.method, std::nullopt, c.token, c.limit, c.etag, {})));
    EXPECT_EQ(serviceError(outcome), ServiceError::invalidRequest()) << c.name;
  }
  EXPECT_TRUE(service.requestLog().isEmpty());
}

TEST_F(NativeAPIClientTest, UnsafeServiceAddressesAreRefused) {
  const QString port = QString::number(service.baseURL().port());
  for (const QString& address :
       {QStringLiteral("http://127.0.0.1:") + port, QStringLiteral("https://u:p@127.0.0.1:") + port,
        QStringLiteral("https://127.0.0.1:") + port + QStringLiteral("/?q=1"),
        QStringLiteral("https://127.0.0.1:") + port + QStringLiteral("/#f"),
        QStringLiteral("https:///nohost")}) {
    auto client = harness.makeClient(QUrl(address));
    EXPECT_EQ(serviceError(finished(get(*client, QStringLiteral("/x")))), ServiceError::invalidRequest())
        << address.toStdString();
  }
  EXPECT_TRUE(service.requestLog().isEmpty());
}

TEST_F(NativeAPIClientTest, SendsExactlyTheHeadersAndBodyAsked) {
  service.setReply("PATCH", QStringLiteral("/api/reader/preferences"), StandInReply::json(200, "{}"));
  service.setReply("GET", QStringLiteral("/api/reader/content/manifest"), StandInReply::json(200, "{}"));
  auto client = harness.makeClient();

  auto patched =
      finished(startTask(client->send(QStringLiteral("/api/reader/preferences"), QStringLiteral("PATCH"),
                                      QByteArray(R"({"a":1})"), QStringLiteral("tok-1"), 100, {})));
  EXPECT_EQ(patched->get().statusCode, 200);
  auto conditional = finished(
      startTask(client->send(QStringLiteral("/api/reader/content/manifest?x=1"), QStringLiteral("GET"),
                             std::nullopt, std::nullopt, 100, QStringLiteral("W/\"abc\""), {})));
  EXPECT_EQ(conditional->get().statusCode, 200);
  auto emptyToken = finished(get(*client, QStringLiteral("/api/reader/content/manifest"), 100, QString()));
  EXPECT_EQ(emptyToken->get().statusCode, 200);

  ASSERT_EQ(service.requestLog().size(), 3);
  const LoggedRequest& first = service.requestLog()[0];
  EXPECT_EQ(first.method, "PATCH");
  EXPECT_EQ(first.body, R"({"a":1})");
  EXPECT_EQ(first.header("Accept"), "application/json");
  EXPECT_EQ(first.header("Content-Type"), "application/json");
  EXPECT_EQ(first.header("Authorization"), "Bearer tok-1");
  EXPECT_FALSE(first.header("If-None-Match"));

  const LoggedRequest& second = service.requestLog()[1];
  EXPECT_EQ(second.query, QStringLiteral("x=1"));
  EXPECT_EQ(second.header("If-None-Match"), "W/\"abc\""); // verbatim, no quotes added
  EXPECT_FALSE(second.header("Content-Type"));
  EXPECT_FALSE(second.header("Authorization"));

  // An empty token still sends the scheme (trailing white space is not part of a header value).
  EXPECT_EQ(service.requestLog()[2].header("Authorization").value_or("absent").trimmed(), "Bearer");
}

TEST_F(NativeAPIClientTest, EveryAllowedMethodReachesTheServiceAsItself) {
  auto client = harness.makeClient();
  for (const QByteArray method : {"GET", "POST", "PUT", "PATCH", "DELETE", "HEAD"}) {
    const bool bodiless = method == "GET" || method == "HEAD";
    service.setReply(method, QStringLiteral("/m"), StandInReply::json(200, bodiless ? QByteArray() : method));
    auto outcome = finished(startTask(client->send(QStringLiteral("/m"), QString::fromLatin1(method),
                                                   bodiless ? std::nullopt : std::optional<QByteArray>("{}"),
                                                   std::nullopt, 100, {})));
    EXPECT_EQ(outcome->get().body, bodiless ? QByteArray() : method);
    EXPECT_EQ(service.requestLog().last().method, method);
  }
}

TEST_F(NativeAPIClientTest, PathReplacesTheBaseAddressPath) {
  service.setReply("GET", QStringLiteral("/api/reader/me"), StandInReply::json(200, "{}"));
  QUrl base = service.baseURL();
  base.setPath(QStringLiteral("/mounted/here/"));
  auto client = harness.makeClient(base);
  EXPECT_EQ(finished(get(*client, QStringLiteral("/api/reader/me")))->get().statusCode, 200);
  // Dot segments cannot climb out to another host either.
  EXPECT_EQ(finished(get(*client, QStringLiteral("/../../api/reader/me")))->get().statusCode, 200);
  ASSERT_EQ(service.requestLog().size(), 2);
  EXPECT_EQ(service.requestLog()[0].path, QStringLiteral("/api/reader/me"));
  EXPECT_EQ(service.requestLog()[1].path, QStringLiteral("/api/reader/me"));
}

TEST_F(NativeAPIClientTest, StatusesAreReturnedUnjudgedWithLowerCasedHeaders) {
  for (int status : {200, 304, 401, 404, 407, 409, 418, 429, 500, 503}) {
    const QByteArray body = status == 304 ? QByteArray() : "{\"s\":" + QByteArray::number(status) + "}";
    service.setReply(
        "GET", QStringLiteral("/s"),
        {.status = status, .headers = {{"ETag", "\"v7\""}, {"X-Mixed-Case", "Value"}}, .body = body});
    auto client = harness.makeClient();
    auto outcome = finished(get(*client, QStringLiteral("/s"), 100, QStringLiteral("t")));
    ASSERT_FALSE(outcome->error) << status << " " << errorText(outcome).toStdString();
    const APIResponse response = outcome->get();
    EXPECT_EQ(response.statusCode, status);
    EXPECT_EQ(response.headers.value(QStringLiteral("etag")), QStringLiteral("\"v7\"")) << status;
    EXPECT_EQ(response.headers.value(QStringLiteral("x-mixed-case")), QStringLiteral("Value"));
    EXPECT_EQ(response.body, body);
  }
}

// A redirect comes back as the reply and nothing else is fetched; its cookie is never sent.
TEST_F(NativeAPIClientTest, RedirectIsReturnedAndNothingElseIsFetchedOrRemembered) {
  ReadingService elsewhere(harness.serverIdentity());
  elsewhere.listen();
  const QByteArray target = elsewhere.baseURL().toString().toUtf8() + "/landing";
  service.setReply(
      "GET", QStringLiteral("/moved"),
      {.status = 302, .headers = {{"Location", target}, {"Set-Cookie", "session=abc; Path=/; Secure"}}});
  service.setReply("GET", QStringLiteral("/landing"), StandInReply::json(200, "{}"));

  auto client = harness.makeClient();
  for (int round = 0; round < 2; ++round) {
    const APIResponse response =
        finished(get(*client, QStringLiteral("/moved"), 100, QStringLiteral("t")))->get();
    EXPECT_EQ(response.statusCode, 302);
    EXPECT_EQ(response.headers.value(QStringLiteral("location")), QString::fromUtf8(target));
  }
  ASSERT_EQ(service.requestLog().size(), 2);
  EXPECT_FALSE(service.requestLog()[1].header("Cookie"));
  EXPECT_TRUE(elsewhere.requestLog().isEmpty());
}

// A declared length over the limit fails on the head alone; a body without one fails when the
// byte after the limit arrives; exactly the limit passes.
TEST_F(NativeAPIClientTest, SizeLimits) {
  using Scripted = ScriptedTlsServer;
  const auto declared = [](qint64 length, qint64 sent) {
    return Scripted::head(200, {"Content-Length: " + QByteArray::number(length)}) + QByteArray(sent, 'x');
  };
  const auto chunked = [](qint64 size) {
    return Scripted::head(200, {"Transfer-Encoding: chunked"}) +
           Scripted::chunked(QByteArray(size, 'x'), 1000);
  };
  struct Case {
    const char* name;
    QByteArray reply;
    qint64 limit;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {"declared and sent: the limit", declared(smallLimit, smallLimit), smallLimit, true},
      {"declared and sent: one over", declared(smallLimit + 1, smallLimit + 1), smallLimit, false},
      {"declared 2,000,000, nothing sent", declared(2000000, 0), smallLimit, false},
      {"caller limit above the cap", declared(NativeAPIClient::maximumResponseBytes + 1, 0), 50 << 20, false},
      {"undeclared: the limit", chunked(smallLimit), smallLimit, true},
      {"undeclared: one over", chunked(smallLimit + 1), smallLimit, false},
  };
  for (const Case& c : cases) {
    auto server = scripted({Step::write(c.reply), Step::close()});
    auto client = harness.makeClient(server->baseURL());
    auto outcome = finished(get(*client, QStringLiteral("/size"), c.limit));
    if (c.accepted) {
      EXPECT_EQ(outcome->get().body, QByteArray(smallLimit, 'x')) << c.name;
    } else {
      EXPECT_EQ(serviceError(outcome), ServiceError::responseTooLarge()) << c.name;
    }
    // HTTP/2 would let the server fill Qt's buffers past the read-buffer bound.
    EXPECT_EQ(server->negotiatedProtocols(), QList<QByteArray>{QByteArray()}) << c.name;
  }
}

TEST_F(NativeAPIClientTest, CompressedRepliesAreCountedAfterDecompression) {
  struct Case {
    const char* name;
    QByteArray body;
    std::optional<ServiceError> expected;
  };
  const QByteArray bomb = gzip(QByteArray(4 * 1024 * 1024, '\0'));
  ASSERT_LT(bomb.size(), smallLimit);
  QByteArray corrupt = gzip(QByteArray(1000, 'q'));
  corrupt[20] = char(corrupt[20] ^ 0x5a);
  const std::vector<Case> cases = {
      {"small bomb, large expansion", bomb, ServiceError::responseTooLarge()},
      {"corrupt compressed body", corrupt, ServiceError::unavailable()},
      {"fits once expanded", gzip(QByteArray(smallLimit, 'k')), std::nullopt},
  };
  for (const Case& c : cases) {
    auto server = scripted(
        {Step::write(ScriptedTlsServer::head(200, {"Content-Encoding: gzip",
                                                   "Content-Length: " + QByteArray::number(c.body.size())}) +
                     c.body),
         Step::close()});
    auto client = harness.makeClient(server->baseURL());
    auto outcome = finished(get(*client, QStringLiteral("/compressed")));
    EXPECT_EQ(serviceError(outcome), c.expected) << c.name;
    if (!c.expected && !outcome->error) {
      EXPECT_EQ(outcome->get().body, QByteArray(smallLimit, 'k'));
    }
  }
}

TEST_F(NativeAPIClientTest, BrokenTransfersAreUnavailable) {
  struct Case {
    const char* name;
    QList<Step> script;
  };
  const QByteArray head = ScriptedTlsServer::head(200, {"Content-Length: 1000"});
  const std::vector<Case> cases = {
      {"length promised, connection closed early", {Step::write(head + QByteArray(10, 'z')), Step::close()}},
      {"connection cut mid-body", {Step::write(head + QByteArray(100, 'z')), Step::abort()}},
      {"closed before any reply", {Step::close()}},
      {"not HTTP at all", {Step::write("SSH-2.0-OpenSSH\r\n\r\n"), Step::close()}},
  };
  for (const Case& c : cases) {
    auto server = scripted(c.script);
    auto client = harness.makeClient(server->baseURL());
    auto outcome = finished(get(*client, QStringLiteral("/broken")));
    EXPECT_EQ(serviceError(outcome), ServiceError::unavailable())
        << c.name << ": " << errorText(outcome).toStdString();
  }
}

// A transfer whose server stops sending ends at the whole-transfer deadline as unavailable,
// on cancellation as cancelled (never unavailable), and with its client as unavailable.
TEST_F(NativeAPIClientTest, AStalledTransferEnds) {
  enum Ending { deadline, cancel, destroyClient };
  for (const Ending ending : {deadline, cancel, destroyClient}) {
    SCOPED_TRACE(ending);
    auto server = scripted({Step::write(ScriptedTlsServer::head(200, {"Content-Length: 1000"}) + "partial")});
    auto client = harness.makeClient(server->baseURL());
    CancellationSource source;
    auto outcome = get(*client, QStringLiteral("/stall"), smallLimit, std::nullopt, source.token());
    ASSERT_TRUE(waitUntil([&] { return server->scriptPlayed(); }));
    harness.scheduler().advance(59.9);
    flushEvents();
    EXPECT_FALSE(outcome->finished);
    switch (ending) {
    case deadline: harness.scheduler().advance(0.1); break;
    case cancel: source.cancel(); break;
    case destroyClient: client.reset(); break;
    }
    finished(outcome);
    if (ending == cancel) {
      EXPECT_TRUE(outcome->errorAs<CancelledError>());
    } else {
      EXPECT_EQ(serviceError(outcome), ServiceError::unavailable());
    }
  }
}

TEST_F(NativeAPIClientTest, UntrustedCertificateIsRefused) {
  service.setReply("GET", QStringLiteral("/x"), StandInReply::json(200, "{}"));
  NativeAPIClient::Options options = harness.clientOptions();
  options.additionalCaCertificates = {
      TestCertificateAuthority(QStringLiteral("Some Other Authority")).certificate()};
  NativeAPIClient client(service.baseURL(), options);
  EXPECT_EQ(serviceError(finished(get(client, QStringLiteral("/x")))), ServiceError::unavailable());

  // A certificate that does not name the host is refused even from the trusted authority.
  ReadingService misnamed(harness.authority().issueServerIdentity({QStringLiteral("elsewhere.example")}, {}));
  misnamed.listen();
  auto trusting = harness.makeClient(misnamed.baseURL());
  EXPECT_EQ(serviceError(finished(get(*trusting, QStringLiteral("/x")))), ServiceError::unavailable());

  EXPECT_TRUE(service.requestLog().isEmpty());
  EXPECT_TRUE(misnamed.requestLog().isEmpty());
}

namespace {
QStringList* capturedMessages = nullptr;
void captureMessage(QtMsgType, const QMessageLogContext& context, const QString& message) {
  // The stand-in's own server log shows what it received, as any server's would.
  if (capturedMessages && !QByteArray(context.category ? context.category : "").startsWith("qt.httpserver")) {
    capturedMessages->append(message);
  }
}
} // namespace

TEST_F(NativeAPIClientTest, TokenNeverAppearsInErrorsOrLogs) {
  const QString token = QStringLiteral("reader-secret-7f3a9c");
  QStringList messages;
  capturedMessages = &messages;
  const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
  QLoggingCategory::setFilterRules(QStringLiteral("*.debug=true"));

  service.setReply("GET", QStringLiteral("/denied"), StandInReply::json(401, "{}"));
  service.setReply("GET", QStringLiteral("/big"), StandInReply::json(200, QByteArray(200, 'x')));
  QStringList errors;
  auto client = harness.makeClient();
  errors << errorText(finished(get(*client, QStringLiteral("/big"), 100, token)));
  errors << errorText(finished(get(*client, QStringLiteral("/bad\\path"), 100, token)));
  NativeAPIClient untrusting(service.baseURL(), NativeAPIClient::Options{});
  errors << errorText(finished(get(untrusting, QStringLiteral("/denied"), 100, token)));
  auto stall = scripted({Step::write(ScriptedTlsServer::head(200, {"Content-Length: 10"}))});
  auto stallClient = harness.makeClient(stall->baseURL());
  auto stalled = get(*stallClient, QStringLiteral("/stall"), 100, token);
  ASSERT_TRUE(waitUntil([&] { return stall->scriptPlayed(); }));
  harness.scheduler().advance(60);
  errors << errorText(finished(stalled));
  const APIResponse denied = finished(get(*client, QStringLiteral("/denied"), 100, token))->get();

  QLoggingCategory::setFilterRules(QString());
  qInstallMessageHandler(previous);
  capturedMessages = nullptr;

  EXPECT_EQ(denied.statusCode, 401);
  ASSERT_EQ(errors.size(), 4);
  for (const QString& text : errors) {
    EXPECT_FALSE(text.isEmpty());
    EXPECT_FALSE(text.contains(token)) << text.toStdString();
  }
  for (const QString& message : messages) {
    EXPECT_FALSE(message.contains(token)) << message.toStdString();
  }
}

TEST_F(NativeAPIClientTest, ConcurrentRequestsShareTheClient) {
  service.route("GET", QStringLiteral("/n"),
                [](const LoggedRequest& request) { return StandInReply::json(200, request.query.toUtf8()); });
  auto client = harness.makeClient();
  std::vector<Outcome> outcomes;
  for (int i = 0; i < 5; ++i) {
    outcomes.push_back(get(*client, QStringLiteral("/n?%1").arg(i)));
  }
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(finished(outcomes[i])->get().body, QByteArray::number(i));
  }
}

namespace {
// A transport that implements only the plain send.
class PlainTransport : public APITransport {
public:
  using APITransport::send;
  QCoro::Task<APIResponse> send(QString path, QString, std::optional<QByteArray>, std::optional<QString>,
                                qint64 limit, CancellationToken) override {
    co_return APIResponse{200, {{QStringLiteral("path"), path}}, QByteArray::number(limit)};
  }
};
} // namespace

TEST(APITransportTest, ConditionalSendDefaultsToThePlainSendWithoutTheTag) {
  PlainTransport transport;
  auto outcome = startTask(transport.send(QStringLiteral("/m"), QStringLiteral("GET"), std::nullopt,
                                          std::nullopt, 7, QStringLiteral("\"tag\""), {}));
  ASSERT_TRUE(waitUntilFinished(outcome));
  EXPECT_EQ(outcome->get(), (APIResponse{200, {{QStringLiteral("path"), QStringLiteral("/m")}}, "7"}));

  // The plain send above ignores cancellation: only the default's own check can refuse.
  CancellationSource source;
  source.cancel();
  auto cancelled = startTask(transport.send(QStringLiteral("/m"), QStringLiteral("GET"), std::nullopt,
                                            std::nullopt, 7, QStringLiteral("\"tag\""), source.token()));
  ASSERT_TRUE(waitUntilFinished(cancelled));
  EXPECT_TRUE(cancelled->errorAs<CancelledError>());
}

// An absolute address outside the service: no token, redirects only within the same host and
// port and at most three of them; refused addresses and refused redirects send nothing more.
TEST_F(NativeAPIClientTest, FetchFollowsOnlyShortSameHostRedirects) {
  ReadingService elsewhere(harness.serverIdentity());
  elsewhere.listen();
  elsewhere.setReply("GET", QStringLiteral("/photo"), StandInReply::json(200, "elsewhere"));
  const QString here = service.baseURL().toString();
  const auto hop = [&](const QString& from, const QString& to) {
    service.setReply("GET", from, {.status = 302, .headers = {{"Location", to.toUtf8()}}});
  };
  hop(QStringLiteral("/one"), QStringLiteral("/two"));
  hop(QStringLiteral("/two"), here + QStringLiteral("/three"));
  hop(QStringLiteral("/three"), QStringLiteral("/photo"));
  hop(QStringLiteral("/zero"), QStringLiteral("/one"));
  hop(QStringLiteral("/away"), elsewhere.baseURL().toString() + QStringLiteral("/photo"));
  hop(QStringLiteral("/plain"), QStringLiteral("http://127.0.0.1:%1/photo").arg(service.baseURL().port()));
  service.setReply("GET", QStringLiteral("/photo"), StandInReply::json(200, "here"));

  struct Case {
    QString address;
    std::optional<QByteArray> body; // none: refused
    int requests;
  };
  const std::vector<Case> cases = {
      {here + QStringLiteral("/one"), "here", 4},
      {QString(here).replace(QStringLiteral("https"), QStringLiteral("HTTPS")) + QStringLiteral("/photo"),
       "here", 1},
      {here + QStringLiteral("/zero"), std::nullopt, 4},
      {here + QStringLiteral("/away"), std::nullopt, 1},
      {here + QStringLiteral("/plain"), std::nullopt, 1},
      {QString(here).replace(QStringLiteral("https"), QStringLiteral("http")) + QStringLiteral("/photo"),
       std::nullopt, 0},
      {QStringLiteral("https:///photo"), std::nullopt, 0},
      {QString(here).replace(QStringLiteral("https://"), QStringLiteral("https://a:b@")) +
           QStringLiteral("/photo"),
       std::nullopt, 0},
  };
  auto client = harness.makeClient();
  for (const Case& c : cases) {
    service.clearRequestLog();
    auto outcome = finished(startTask(client->fetch(QUrl(c.address), "image/*", smallLimit, {})));
    if (c.body) {
      EXPECT_EQ(outcome->get().body, *c.body) << c.address.toStdString();
    } else {
      EXPECT_TRUE(outcome->error) << c.address.toStdString();
    }
    EXPECT_EQ(service.requestLog().size(), c.requests) << c.address.toStdString();
    for (const LoggedRequest& request : service.requestLog()) {
      EXPECT_FALSE(request.header("Authorization"));
      EXPECT_EQ(request.header("Accept"), QByteArray("image/*"));
    }
  }
  EXPECT_TRUE(elsewhere.requestLog().isEmpty());
}

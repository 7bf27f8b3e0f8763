#include "SignInRoutes.h"

#include "ReadingService.h"

#include <QUrlQuery>

namespace brindlewick {

using namespace Qt::StringLiterals;

namespace {

const QString clientId = QStringLiteral("brindlewick-macos");
const QString deviceGrantType = QStringLiteral("urn:ietf:params:oauth:grant-type:device_code");
const QString pagePath = QStringLiteral("/device");
const QString approvePath = QStringLiteral("/device/approve");

StandInReply page(int status, const QString& body) {
  return StandInReply::html(
      status,
      QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                     "<title>Brindlewick sign-in</title></head>\n<body>\n<h1>Sign in to Brindlewick</h1>\n") +
          body + QStringLiteral("</body></html>\n"));
}

StandInReply unknownCodePage(const QString& userCode) {
  return page(404,
              QStringLiteral("<p>The code <strong>%1</strong> is unknown, has expired or has already been "
                             "used. Start sign-in again in Brindlewick.</p>\n")
                  .arg(userCode.toHtmlEscaped()));
}

StandInReply verificationPage(ReadingService& service, const LoggedRequest& request) {
  const auto userCode = request.queryItem(u"user_code");
  if (!userCode) {
    return page(
        200, QStringLiteral("<form method=\"get\" action=\"%1\">\n<label>Code shown in Brindlewick "
                            "<input name=\"user_code\"></label>\n<button type=\"submit\">Continue</button>\n"
                            "</form>\n")
                 .arg(pagePath));
  }
  switch (service.grants().standing(*userCode)) {
  case DeviceGrants::Standing::pending:
    return page(200, QStringLiteral("<p>Check that this code matches the one shown in Brindlewick:</p>\n"
                                    "<p><strong>%1</strong></p>\n<form method=\"post\" action=\"%2\">\n"
                                    "<input type=\"hidden\" name=\"user_code\" value=\"%1\">\n"
                                    "<button type=\"submit\">Approve</button>\n</form>\n")
                         .arg(userCode->trimmed().toUpper().toHtmlEscaped(), approvePath));
  case DeviceGrants::Standing::approved:
    return page(200, QStringLiteral("<p>This sign-in is approved. You can return to Brindlewick.</p>\n"));
  default: return unknownCodePage(*userCode);
  }
}

StandInReply approve(ReadingService& service, const LoggedRequest& request) {
  // A form body: "+" stands for a space there.
  const QString form = QString::fromUtf8(request.body).replace(QLatin1Char('+'), QLatin1Char(' '));
  const QString userCode = QUrlQuery(form).queryItemValue(QStringLiteral("user_code"), QUrl::FullyDecoded);
  const auto reader = service.grants().browserReader();
  if (!reader) {
    return page(403, QStringLiteral("<p>No reader is signed in to this browser.</p>\n"));
  }
  if (!service.grants().approve(userCode, *reader)) {
    return unknownCodePage(userCode);
  }
  return page(200, QStringLiteral("<p>Approved. You can return to Brindlewick.</p>\n"));
}

StandInReply deviceCode(ReadingService& service, const LoggedRequest& request) {
  const auto body = StandInWire::object(request.body);
  if (!body) {
    return StandInReply::error(400, "invalid_request"_L1);
  }
  if (body->value(QStringLiteral("client_id")) != clientId) {
    return StandInReply::error(400, "invalid_client"_L1);
  }
  const DeviceGrants::Issued grant = service.grants().issue();
  QUrl address = service.baseURL();
  address.setPath(pagePath);
  QUrl complete = address;
  complete.setQuery(QStringLiteral("user_code=") + grant.userCode);
  return StandInReply::json(200,
                            QJsonObject{{QStringLiteral("device_code"), grant.deviceCode},
                                        {QStringLiteral("user_code"), grant.userCode},
                                        {QStringLiteral("verification_uri"), address.toString()},
                                        {QStringLiteral("verification_uri_complete"), complete.toString()},
                                        {QStringLiteral("expires_in"), grant.expiresIn},
                                        {QStringLiteral("interval"), grant.interval}});
}

StandInReply token(ReadingService& service, const LoggedRequest& request) {
  const auto body = StandInWire::object(request.body);
  if (!body || !body->value(QStringLiteral("device_code")).isString()) {
    return StandInReply::error(400, "invalid_request"_L1);
  }
  if (body->value(QStringLiteral("client_id")) != clientId) {
    return StandInReply::error(400, "invalid_client"_L1);
  }
  if (body->value(QStringLiteral("grant_type")) != deviceGrantType) {
    return StandInReply::error(400, "unsupported_grant_type"_L1);
  }
  const DeviceGrants::Poll poll =
      service.grants().poll(body->value(QStringLiteral("device_code")).toString());
  if (poll.slowDown) {
    return StandInReply::error(400, "slow_down"_L1);
  }
  if (poll.standing == DeviceGrants::Standing::pending) {
    return StandInReply::error(400, "authorization_pending"_L1);
  }
  if (poll.standing == DeviceGrants::Standing::expired) {
    return StandInReply::error(400, "expired_token"_L1);
  }
  if (poll.standing != DeviceGrants::Standing::approved || !service.accounts().reader(poll.readerId)) {
    return StandInReply::error(400, "invalid_grant"_L1);
  }
  return StandInReply::json(
      200, QJsonObject{{QStringLiteral("access_token"), service.accounts().openSession(poll.readerId)},
                       {QStringLiteral("token_type"), QStringLiteral("Bearer")}});
}

StandInReply signOut(ReadingService& service, const LoggedRequest&, const StandInAccounts::Session& session) {
  service.accounts().revokeSession(session.token);
  return StandInReply::empty(204);
}

} // namespace

void installSignInRoutes(ReadingService& service) {
  service.serve("POST", QStringLiteral("/api/reader-auth/device/code"), deviceCode);
  service.serve("POST", QStringLiteral("/api/reader-auth/device/token"), token);
  service.serveSignedIn("POST", QStringLiteral("/api/reader-auth/sign-out"), signOut);
  service.serve("GET", pagePath, verificationPage);
  service.serve("POST", approvePath, approve);
}

} // namespace brindlewick

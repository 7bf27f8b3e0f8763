// Content sync under the reader's session: the manifest, then the release it names, checked
// byte for byte and installed whole by the content repository.
#include "account/AccountController.h"

#include "content/ContentContracts.h"
#include "content/ContentRepository.h"

#include <utility>

namespace brindlewick {

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 manifestLimit = 16384;
constexpr qint64 releaseLimit = ContractValidation::maximumReleaseBytes;
const QString manifestPath = u"/api/reader/content/manifest"_s;
const QString releasePathPrefix = u"/api/reader/content/releases/"_s;

} // namespace

QCoro::Task<> AccountController::syncContent(ContentRepository& repository, CancellationToken cancellation) {
  const Operation operation(*this);
  if (!isSignedIn())
    throw AccountError::notSignedIn();
  // The stored tag stands for the installed release: without one, a 304 would leave nothing
  // to read.
  std::optional<QString> etag = repository.release() ? repository.manifestETag() : std::nullopt;
  bool mayRetry = true;
  for (;;) {
    AccountRequest manifestRequest(u"GET"_s, manifestPath, std::nullopt, manifestLimit, etag);
    const APIResponse manifestReply = co_await sendAccountRequest(
        std::move(manifestRequest), Bearer::heldSession(), operation.epoch, cancellation);
    if (!isSignedIn())
      throw AccountError::notSignedIn();
    if (manifestReply.statusCode == 304) {
      if (!repository.release())
        throw AccountError::http(304);
      break;
    }
    if (manifestReply.statusCode != 200)
      throw AccountError::http(manifestReply.statusCode);
    const ContentManifest manifest = ContractValidation::decodeManifest(manifestReply.body, m_appVersion);
    // Unchanged content: not even the reply's tag is stored.
    if (repository.manifest() == manifest)
      break;

    AccountRequest releaseRequest(u"GET"_s, releasePathPrefix + manifest.releaseId, std::nullopt,
                                  releaseLimit);
    const APIResponse releaseReply = co_await sendAccountRequest(
        std::move(releaseRequest), Bearer::heldSession(), operation.epoch, cancellation);
    const int status = releaseReply.statusCode;
    if ((status == 404 || status == 410) && std::exchange(mayRetry, false)) {
      // A manifest that lags behind may be what the tag keeps coming back: ask afresh, once.
      etag.reset();
      continue;
    }
    if (status != 200)
      throw AccountError::http(status);
    if (!isSignedIn())
      throw AccountError::notSignedIn();
    // The tag of this run's manifest reply; a reply without one removes the stored tag, which
    // described an older manifest.
    const auto tag = manifestReply.headers.constFind(u"etag"_s);
    const std::optional<QString> newTag =
        tag == manifestReply.headers.constEnd() ? std::nullopt : std::optional<QString>(*tag);
    // The installation date is the computer's, not the account's (possibly fixed) clock.
    repository.install(releaseReply.body, manifest, newTag, systemNow());
    break;
  }
}

} // namespace brindlewick

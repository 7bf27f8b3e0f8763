// The reader's synced preferences: saved to the account against the version this computer
// last saw, so that a newer save made on another computer is never overwritten.
#include "account/AccountController.h"

#include "foundation/Json.h"

namespace brindlewick {

namespace {

constexpr qint64 preferencesReplyLimit = 65536;

} // namespace

QCoro::Task<> AccountController::savePreferences(ReaderPreferences preferences,
                                                 CancellationToken cancellation) {
  // Withdrawn consent stops sharing at once, whatever becomes of the save.
  if (!preferences.analyticsConsent) {
    m_activitySuppressed = true;
    cancelActivities();
  }
  const Operation operation(*this);
  // The display belongs to this computer and never reaches the account.
  preferences.preferredDisplayID.reset();
  const PreferencesResponse sent{std::optional(preferences), m_preferenceVersion};
  AccountCoding::validate(sent.preferences);
  AccountRequest request(QStringLiteral("PUT"), QStringLiteral("/api/reader/preferences"),
                         Json::serialize(sent.encode()), preferencesReplyLimit);
  const APIResponse reply =
      co_await sendAccountRequest(std::move(request), Bearer::heldSession(), operation.epoch, cancellation);
  if (!operation.controller)
    throw CancelledError();
  if (reply.statusCode == 409)
    throw AccountError::preferenceConflict();
  if (reply.statusCode != 200)
    throw AccountError::http(reply.statusCode);

  PreferencesResponse settings = PreferencesResponse::fromJson(reply.body);
  if (settings.version < 0)
    throw AccountError::invalidResponse();
  AccountCoding::validate(settings.preferences);
  // The version only moves forward: an equal one is not the answer to this save.
  if (settings.version <= m_preferenceVersion || !settings.preferences || !m_cache)
    throw AccountError::invalidResponse();

  Cache changed = *m_cache;
  if (!settings.preferences->analyticsConsent)
    changed.me.metrics.readCount = 0;
  changed.settings = std::move(settings);
  persist(changed);
  apply(std::move(changed));
  m_activitySuppressed = false;
}

} // namespace brindlewick

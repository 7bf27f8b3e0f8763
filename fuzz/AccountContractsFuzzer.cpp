// Feeds arbitrary bytes to the account's decoders: the reader's summary, a page of items, the
// synced preferences, a device grant, a token reply or its failure (what the reading service
// sends), and the account cache record that start-up reads from disk. The first byte picks
// the decoder. Refusals are expected; anything else (a crash, a sanitizer report, another
// exception, an accepted record that writes other bytes once read back) is a fault.
#include "account/AccountContracts.h"
#include "content/ContractRules.h"
#include "delivery/Scheduling.h"
#include "foundation/Json.h"

#include <cstdint>
#include <cstdlib>
#include <optional>

using namespace brindlewick;

namespace {

// What a hostile document may legitimately cause.
template <typename Call> void attempt(Call call) {
  try {
    call();
  } catch (const JsonDecodingError&) {
  } catch (const AccountError&) {
  } catch (const ContractValidationError&) {
  } catch (const ScheduleValidationError&) {
  }
}

// An accepted record is written, read back and written again: the two texts must agree.
template <typename Record, typename Read> void writesTheSameTwice(const Record& record, Read read) {
  const QByteArray written = Json::serialize(record.encode());
  if (Json::serialize(read(written).encode()) != written)
    std::abort();
}

AccountItem readItem(const QByteArray& text) {
  const Json::Tree tree(text);
  return AccountItem::decode(tree.root(), Json::Path());
}

const Date fuzzNow(794048400.0); // 2026-03-01T09:00:00Z

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  const QByteArray body(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
  switch (data[0] % 6) {
  case 0:
    attempt([&] {
      const AccountSummary me = AccountSummary::fromJson(body);
      writesTheSameTwice(me, AccountSummary::fromJson);
      AccountCoding::validateSummary(me, fuzzNow);
    });
    break;
  case 1:
    attempt([&] {
      const AccountItemsPage page = AccountItemsPage::fromJson(body);
      for (const AccountItem& item : page.items) {
        writesTheSameTwice(item, readItem);
        attempt([&] { AccountCoding::validate(item); });
      }
      if (page.nextCursor)
        AccountCoding::utf8Length(*page.nextCursor);
    });
    break;
  case 2:
    attempt([&] {
      const PreferencesResponse settings = PreferencesResponse::fromJson(body);
      writesTheSameTwice(settings, PreferencesResponse::fromJson);
      AccountCoding::validate(settings.preferences);
    });
    break;
  case 3: attempt([&] { DeviceResponse::fromJson(body); }); break;
  case 4:
    attempt([&] { AccountCoding::validateToken(TokenReply::fromJson(body).accessToken); });
    attempt([&] { TokenFailure::fromJson(body); });
    break;
  case 5:
    attempt([&] {
      const AccountCache cache = AccountCache::fromJson(body);
      const QByteArray written = cache.toJson();
      if (AccountCache::fromJson(written).toJson() != written)
        std::abort();
      AccountCoding::validateCache(cache, cache.me.user.id);
    });
    break;
  }
  return 0;
}

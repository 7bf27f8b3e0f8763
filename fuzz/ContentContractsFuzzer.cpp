// Feeds arbitrary bytes to the content gate as a manifest, as a release, and as a release
// announced by a manifest that matches its bytes, so every stage up to the last is reached.
// Refusals are expected; anything else (a crash, a sanitizer report, another exception, a
// decoded release that does not survive writing and reading again) is a fault.
#include "content/ContentContracts.h"
#include "foundation/Json.h"

#include <cstdint>
#include <cstdlib>
#include <optional>

using namespace brindlewick;

namespace {

template <typename Call> auto attempt(Call call) -> std::optional<decltype(call())> {
  try {
    return call();
  } catch (const ContractValidationError&) {
  } catch (const JsonDecodingError&) {
  }
  return std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
  const QString app = QStringLiteral("1.2.3");

  if (const auto manifest = attempt([&] { return ContractValidation::decodeManifest(body, app); })) {
    if (ContractValidation::decodeManifest(Json::serialize(manifest->encode()), app) != *manifest)
      std::abort();
  }

  const auto release = attempt([&] { return ContractValidation::decodeRelease(body, true, app); });
  if (release) {
    const QByteArray written = Json::serialize(release->encode());
    if (ContractValidation::decodeRelease(written, true, app) != *release)
      std::abort();
  }

  ContentManifest announced;
  announced.releaseId = release ? release->releaseId : QStringLiteral("00000000-0000-0000-0000-000000000000");
  announced.publishedAt = release ? release->publishedAt : QStringLiteral("2026-01-01T00:00:00Z");
  announced.minimumAppVersion = release ? release->minimumAppVersion : QStringLiteral("1.0.0");
  announced.loreCount = release ? release->lore.size() : 0;
  announced.checksumSha256 = ContractRules::sha256Hex(body);
  announced.byteLength = body.size();
  attempt([&] { return ContractValidation::validateRelease(body, announced, app); });
  return 0;
}

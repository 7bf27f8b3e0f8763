// The release gate against its baselines on the largest accepted release and on one of about
// 1 MiB: plain QJsonDocument parsing of the same bytes, and SHA-256 alone (Qt's and
// libcrypto's). ValidateOverParse times both in the same iterations and reports the ratio.
#include "ReleaseGenerator.h"
#include "content/ContentContracts.h"
#include "foundation/Json.h"

#include <QCryptographicHash>
#include <QJsonDocument>

#include <benchmark/benchmark.h>

#include <chrono>

using namespace brindlewick;

namespace {

const GeneratedRelease& release(benchmark::State& state) {
  static const GeneratedRelease large = [] {
    ReleaseShape shape;
    shape.targetBytes = ContractValidation::maximumReleaseBytes;
    return generateRelease(10000, shape);
  }();
  static const GeneratedRelease small = [] {
    ReleaseShape shape;
    shape.targetBytes = 1 << 20;
    return generateRelease(1000, shape);
  }();
  return state.range(0) == 0 ? large : small;
}

void setLabel(benchmark::State& state, const GeneratedRelease& generated) {
  state.SetLabel(QStringLiteral("%1 bytes, %2 drops")
                     .arg(generated.body.size())
                     .arg(generated.release.lore.size())
                     .toStdString());
  state.SetBytesProcessed(state.iterations() * generated.body.size());
}

void PlainParse(benchmark::State& state) {
  const auto& generated = release(state);
  for (auto _ : state)
    benchmark::DoNotOptimize(QJsonDocument::fromJson(generated.body));
  setLabel(state, generated);
}

void ValidateRelease(benchmark::State& state) {
  const auto& generated = release(state);
  for (auto _ : state)
    benchmark::DoNotOptimize(
        ContractValidation::validateRelease(generated.body, generated.manifest, "1.0.0"));
  setLabel(state, generated);
}

void Sha256OpenSsl(benchmark::State& state) {
  const auto& generated = release(state);
  for (auto _ : state)
    benchmark::DoNotOptimize(ContractRules::sha256Hex(generated.body));
  setLabel(state, generated);
}

void Sha256Qt(benchmark::State& state) {
  const auto& generated = release(state);
  for (auto _ : state)
    benchmark::DoNotOptimize(QCryptographicHash::hash(generated.body, QCryptographicHash::Sha256).toHex());
  setLabel(state, generated);
}

// The stages of validation on their own, to see where the time goes.
void StageUtf8Check(benchmark::State& state) {
  const auto& generated = release(state);
  for (auto _ : state)
    benchmark::DoNotOptimize(generated.body.isValidUtf8());
  setLabel(state, generated);
}

void StageStrictScan(benchmark::State& state) {
  const auto& generated = release(state);
  for (auto _ : state)
    benchmark::DoNotOptimize(Json::Tree(generated.body));
  setLabel(state, generated);
}

// Everything but the digest.
void StageDecodeRelease(benchmark::State& state) {
  const auto& generated = release(state);
  for (auto _ : state)
    benchmark::DoNotOptimize(ContractValidation::decodeRelease(generated.body, false, "1.0.0"));
  setLabel(state, generated);
}

void ValidateOverParse(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  const auto& generated = release(state);
  Clock::duration parse{};
  Clock::duration validate{};
  for (auto _ : state) {
    const auto start = Clock::now();
    benchmark::DoNotOptimize(QJsonDocument::fromJson(generated.body));
    const auto parsed = Clock::now();
    benchmark::DoNotOptimize(
        ContractValidation::validateRelease(generated.body, generated.manifest, "1.0.0"));
    validate += Clock::now() - parsed;
    parse += parsed - start;
  }
  state.counters["validate/parse"] = double(validate.count()) / double(parse.count());
  setLabel(state, generated);
}

// Argument 0: the 10 MiB release; 1: the 1 MiB release.
BENCHMARK(PlainParse)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(ValidateRelease)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Sha256OpenSsl)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Sha256Qt)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(StageUtf8Check)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(StageStrictScan)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(StageDecodeRelease)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(ValidateOverParse)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

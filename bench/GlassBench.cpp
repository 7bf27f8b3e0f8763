#include "BenchmarkRunner.h"
#include "PaintBenchmark.h"
#include "ui/design/DropGlass.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdlib>

using namespace brindlewick;

namespace {

// A 40 pt glass capsule (a regular button, 120 pt wide) with its shadows, painted 1,000
// times into a device-pixel-ratio 2 surface: from the caches, made afresh each time, and,
// as the baseline, a plain antialiased capsule fill of the same size.
constexpr int kPaints = 1000;
constexpr qreal kRatio = 2;
const QRectF kCapsule(20, 20, 120, 40);

template <typename Paint> void paintRepeatedly(benchmark::State& state, Paint paint) {
  brindlewick::paintRepeatedly(state, QSize(160, 80), kRatio, kPaints, paint);
}

const DropGlass::Style kStyle{DropGlass::Tone::clear, std::nullopt, ColorScheme::light, false};

void BM_PlainCapsuleFill(benchmark::State& state) {
  const QPainterPath shape = DropGlass::capsule(kCapsule);
  paintRepeatedly(state, [&shape](QPainter& painter) { painter.fillPath(shape, QColor(240, 240, 240)); });
}

void BM_GlassCapsuleCached(benchmark::State& state) {
  const QPainterPath shape = DropGlass::capsule(kCapsule);
  paintRepeatedly(state, [&shape](QPainter& painter) { DropGlass::paint(painter, shape, kStyle); });
}

void BM_GlassCapsuleUncached(benchmark::State& state) {
  const QPainterPath shape = DropGlass::capsule(kCapsule);
  paintRepeatedly(state, [&shape](QPainter& painter) { DropGlass::paintUncached(painter, shape, kStyle); });
}

BENCHMARK(BM_PlainCapsuleFill)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GlassCapsuleCached)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GlassCapsuleUncached)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return brindlewick::runBenchmarks<QGuiApplication>(argc, argv);
}

#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QSize>

#include <benchmark/benchmark.h>

namespace brindlewick {

// Paints `paint` `paints` times per iteration into a fresh white surface of `size` at
// `ratio` (once before timing, so caches are warm) and reports the time of one paint.
template <typename Paint>
void paintRepeatedly(benchmark::State& state, QSize size, qreal ratio, int paints, Paint paint) {
  QImage target(size * ratio, QImage::Format_ARGB32_Premultiplied);
  target.setDevicePixelRatio(ratio);
  target.fill(Qt::white);
  QPainter painter(&target);
  painter.setRenderHint(QPainter::Antialiasing);
  paint(painter);
  for (auto _ : state) {
    for (int round = 0; round < paints; ++round)
      paint(painter);
  }
  benchmark::DoNotOptimize(target.constBits());
  state.counters["seconds_per_paint"] = benchmark::Counter(
      double(state.iterations()) * paints, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace brindlewick

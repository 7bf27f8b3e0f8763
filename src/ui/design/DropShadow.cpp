#include "ui/design/DropShadow.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace brindlewick {

namespace {

// Weights of a Gaussian of deviation `sigma` moved by `shift`, each integrated over one
// pixel, so that a sub-pixel deviation or offset still spreads correctly. out(i) is the sum
// of in(i - k) × weights[k - first].
struct Kernel {
  int first = 0;
  std::vector<float> weights;
};

Kernel kernel(double sigma, double shift) {
  sigma = std::max(sigma, 1e-3);
  const auto cumulative = [sigma](double x) { return 0.5 * std::erfc(-x / (sigma * std::sqrt(2.0))); };
  Kernel result;
  result.first = int(std::floor(shift - 3 * sigma - 1));
  const int last = int(std::ceil(shift + 3 * sigma + 1));
  double total = 0;
  for (int k = result.first; k <= last; ++k) {
    const double weight = cumulative(k - shift + 0.5) - cumulative(k - shift - 0.5);
    result.weights.push_back(float(weight));
    total += weight;
  }
  for (float& weight : result.weights)
    weight = float(weight / total);
  return result;
}

// One pass of the separable blur over `lines` lines of `length` values: value i of a line
// is at i × step, line j starts at j × lineStep. Each line is copied between zeros first, so
// the inner loop has no bounds to check.
void convolve(const std::vector<float>& in, std::vector<float>& out, int lines, int length, int step,
              int lineStep, const Kernel& kernel) {
  const int taps = int(kernel.weights.size());
  // padded[i + before] = in(i); out(i) = sum over w of in(i - first - w) × weights[w].
  const int before = std::max(0, kernel.first + taps - 1);
  const int after = std::max(0, -kernel.first);
  std::vector<float> padded(std::size_t(before + length + after), 0.0f);
  std::vector<float> sums(static_cast<std::size_t>(length));
  for (int line = 0; line < lines; ++line) {
    const float* source = in.data() + std::ptrdiff_t(line) * lineStep;
    float* target = out.data() + std::ptrdiff_t(line) * lineStep;
    for (int i = 0; i < length; ++i)
      padded[std::size_t(before + i)] = source[std::ptrdiff_t(i) * step];
    // Tap by tap over the whole line, eight values at a time, which the compiler turns into
    // vector instructions.
    std::fill(sums.begin(), sums.end(), 0.0f);
    float* accumulated = sums.data();
    for (int w = 0; w < taps; ++w) {
      const float weight = kernel.weights[std::size_t(w)];
      const float* shifted = padded.data() + before - kernel.first - w;
      int i = 0;
      for (; i + 8 <= length; i += 8) {
        float block[8];
        for (int k = 0; k < 8; ++k)
          block[k] = accumulated[i + k] + weight * shifted[i + k];
        for (int k = 0; k < 8; ++k)
          accumulated[i + k] = block[k];
      }
      for (; i < length; ++i)
        accumulated[i] += weight * shifted[i];
    }
    for (int i = 0; i < length; ++i)
      target[std::ptrdiff_t(i) * step] = sums[std::size_t(i)];
  }
}

} // namespace

QImage DropShadow::cast(const QImage& source, qreal radius, QPointF offset, const QColor& color) {
  const QImage input = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const int width = input.width();
  const int height = input.height();
  const double ratio = input.devicePixelRatio();
  const double sigma = radius / 2 * ratio;

  std::vector<float> alpha(std::size_t(width) * std::size_t(height));
  for (int y = 0; y < height; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(input.constScanLine(y));
    for (int x = 0; x < width; ++x)
      alpha[std::size_t(y) * width + x] = float(qAlpha(line[x])) / 255.0f;
  }
  std::vector<float> blurred(alpha.size());
  convolve(alpha, blurred, height, width, 1, width, kernel(sigma, offset.x() * ratio));
  convolve(blurred, alpha, width, height, width, 1, kernel(sigma, offset.y() * ratio));

  QImage shadow(width, height, QImage::Format_ARGB32_Premultiplied);
  shadow.setDevicePixelRatio(ratio);
  const QColor rgb = color.toRgb();
  const int red = rgb.red();
  const int green = rgb.green();
  const int blue = rgb.blue();
  const float opacity = rgb.alphaF() * 255.0f;
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(shadow.scanLine(y));
    const float* coverage = alpha.data() + std::size_t(y) * width;
    for (int x = 0; x < width; ++x)
      line[x] = qPremultiply(qRgba(red, green, blue, qRound(std::clamp(coverage[x], 0.0f, 1.0f) * opacity)));
  }
  return shadow;
}

} // namespace brindlewick

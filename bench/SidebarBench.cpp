#include "BenchmarkRunner.h"
#include "PaintBenchmark.h"
#include "model/ReaderModelFixture.h"
#include "ui/design/DropFonts.h"
#include "ui/window/CachedSidebarSurface.h"
#include "ui/window/ReaderSidebar.h"
#include "ui/window/SidebarNextDrop.h"

#include <QApplication>
#include <QImage>
#include <QLayout>
#include <QPainter>

#include <cstdlib>

using namespace brindlewick;

namespace {

// The reader window's sidebar at its size in a 640-high window (240 × 608), signed in with
// the next drop planned, painted 1,000 times into a device-pixel-ratio 2 surface with the
// rounded surface beneath it; as the baseline, a plain widget of the same size.
constexpr int kPaints = 1000;
constexpr qreal kRatio = 2;
const QSize kSize(ReaderSidebar::columnWidth, 608);

template <typename Paint> void paintRepeatedly(benchmark::State& state, Paint paint) {
  brindlewick::paintRepeatedly(state, kSize, kRatio, kPaints, paint);
}

void BM_PlainWidget(benchmark::State& state) {
  QWidget plain;
  plain.resize(kSize);
  paintRepeatedly(state, [&plain](QPainter& painter) { plain.render(&painter); });
}

void BM_Sidebar(benchmark::State& state) {
  ReaderModelFixture fixture;
  fixture.signIn();
  ReaderModel& model = fixture.open();
  ReaderSidebar sidebar(model);
  sidebar.resize(kSize);
  sidebar.layout()->activate();
  if (!sidebar.nextDrop()->shownStatus()) {
    state.SkipWithError("no next drop is planned");
    return;
  }
  // The surface beneath, as the window places it: its shadow reaches beyond the sidebar.
  CachedSidebarSurface surface;
  surface.setGeometry(QRect(QPoint(), kSize).marginsAdded(DropSidebarSurface::shadowMargins(false)));
  const QPoint surfaceAt(-DropSidebarSurface::shadowMargins(false).left(),
                         -DropSidebarSurface::shadowMargins(false).top());
  paintRepeatedly(state, [&](QPainter& painter) {
    surface.render(&painter, surfaceAt, QRegion(), QWidget::RenderFlags());
    sidebar.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
  });
}

BENCHMARK(BM_PlainWidget)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sidebar)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return brindlewick::runBenchmarks<QApplication>(argc, argv, [] { DropFonts::registerFonts(); });
}

#include "BenchmarkRunner.h"
#include "model/ReaderModelFixture.h"
#include "ui/card/CardPanelContent.h"
#include "ui/card/ReaderCard.h"
#include "ui/design/DropFonts.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <cstdlib>
#include <memory>

namespace brindlewick {

struct ReaderModelTestAccess {
  static void present(ReaderModel& model, const DropSnapshot& snapshot) { model.present(snapshot); }
  static void setMessage(ReaderModel& model, const QString& text) { model.setMessage(text); }
};

} // namespace brindlewick

using namespace brindlewick;

namespace {

// The reading card at its panel size (720 × 420 pt) showing a drop that cites three books,
// with a message under its actions, painted 1,000 times into a surface of device-pixel ratio
// 2; as the baseline, a plain widget of the same size painted the same way. One 60 Hz frame
// (16 ms) is the budget of one card paint.
constexpr int kPaints = 1000;
constexpr qreal kRatio = 2;
const QSize kCardSize(720, 420);

struct CardOnScreen {
  ReaderModelFixture fixture;
  ReaderCard* card = nullptr;

  CardOnScreen() {
    fixture.signIn();
    ReaderModel& model = fixture.open();
    model.setPanelContentFactories(cardPanelContent());
    const ContentRelease& release = fixture.release().release;
    DropSnapshot drop = *model.repository().snapshot(release.lore[0].id);
    drop.lore.explanation = QStringLiteral(
        "Small, well-placed changes in a system's structure can produce large shifts in its behaviour, "
        "while big pushes on the wrong spot do almost nothing.");
    drop.books = release.books.mid(0, 3);
    drop.sources.clear();
    for (const Book& book : drop.books)
      for (const Source& source : release.sources)
        if (source.bookId == book.id) {
          drop.sources.append(source);
          break;
        }
    ReaderModelTestAccess::present(model, drop);
    ReaderModelTestAccess::setMessage(model, QStringLiteral("Your collection could not sync: offline"));
    card = model.panel().panel().findChild<ReaderCard*>();
    card->resize(kCardSize);
    QCoreApplication::sendPostedEvents();
  }
};

void paintRepeatedly(benchmark::State& state, QWidget& widget) {
  QImage target(kCardSize * kRatio, QImage::Format_ARGB32_Premultiplied);
  target.setDevicePixelRatio(kRatio);
  QPainter painter(&target);
  widget.render(&painter); // caches are warm before timing starts
  for (auto _ : state) {
    for (int round = 0; round < kPaints; ++round)
      widget.render(&painter);
  }
  benchmark::DoNotOptimize(target.constBits());
  state.counters["seconds_per_paint"] = benchmark::Counter(
      double(state.iterations()) * kPaints, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_PlainWidget(benchmark::State& state) {
  QWidget plain;
  plain.resize(kCardSize);
  paintRepeatedly(state, plain);
}

void BM_ReaderCard(benchmark::State& state) {
  CardOnScreen shown;
  paintRepeatedly(state, *shown.card);
}

// One measurement of the card's natural height, as the panel asks it at every layout: the
// model unchanged, so the hidden card is only brought up to date and measured again.
void BM_FittingHeight(benchmark::State& state) {
  CardOnScreen shown;
  ReaderModel& model = shown.fixture.model();
  for (auto _ : state)
    benchmark::DoNotOptimize(ReaderCard::fittingHeight(model, kCardSize.width()));
}

// The same at a width that changes every time, so that no layout answer is reused.
void BM_FittingHeightNewWidth(benchmark::State& state) {
  CardOnScreen shown;
  ReaderModel& model = shown.fixture.model();
  int width = kCardSize.width();
  for (auto _ : state)
    benchmark::DoNotOptimize(ReaderCard::fittingHeight(model, width ^= 1));
}

BENCHMARK(BM_PlainWidget)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ReaderCard)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FittingHeight)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FittingHeightNewWidth)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return brindlewick::runBenchmarks<QApplication>(argc, argv, [] { DropFonts::registerFonts(); });
}

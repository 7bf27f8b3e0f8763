#include "BenchmarkRunner.h"
#include "model/ReaderModelFixture.h"
#include "ui/library/LibraryIdeaRow.h"
#include "ui/library/LibraryView.h"
#include "ui/library/LibraryViewModel.h"

#include <QApplication>
#include <QFile>
#include <QScrollArea>
#include <QVBoxLayout>

#include <map>
#include <memory>

#include <cstdlib>

using namespace brindlewick;

namespace {

// One search keystroke over a library of 10,000 ideas: the page's lists filtering again and
// counting, against, as the baseline, a plain substring scan of the same 10,000 texts already
// composed and lower-cased. Each iteration alternates two queries, so each one is a change.
constexpr int kIdeas = 10000;
const QString kQueries[2] = {QStringLiteral("mind"), QStringLiteral("minds")};

LibraryInputs library() {
  static const QString words[] = {"Mind", "habit", "Café", "crowd", "signal", "memory", "risk", "story"};
  LibraryInputs inputs;
  inputs.signedIn = true;
  for (int i = 0; i < kIdeas; ++i) {
    Drop drop;
    drop.id = QStringLiteral("drop-%1").arg(i);
    drop.headline = QStringLiteral("%1 and the %2 of %3").arg(words[i % 8], words[(i / 8) % 8]).arg(i);
    drop.explanation = QStringLiteral("Why %1 shapes %2 more than we think, idea %3")
                           .arg(words[(i / 3) % 8], words[(i / 5) % 8])
                           .arg(i);
    drop.tags = {words[(i / 7) % 8]};
    ContentRelease release;
    Book book;
    book.id = QStringLiteral("book-%1").arg(i % 300);
    book.title = QStringLiteral("The Book of %1 %2").arg(words[i % 8]).arg(i % 300);
    book.authors = {QStringLiteral("Author %1").arg(i % 97)};
    release.books.append(book);
    drop.bookIds = {book.id};
    inputs.saved.append(DropSnapshot(drop, release));
  }
  return inputs;
}

void BM_PlainContainsScan(benchmark::State& state) {
  QStringList texts;
  for (const DropSnapshot& snapshot : library().saved)
    texts.append(LibraryViewModel::searchKey(LibraryViewModel::searchText(snapshot)));
  int turn = 0;
  for (auto _ : state) {
    const QString query = LibraryViewModel::searchKey(kQueries[turn++ % 2]);
    qsizetype count = 0;
    for (const QString& text : texts)
      count += text.contains(query) ? 1 : 0;
    benchmark::DoNotOptimize(count);
  }
}

void BM_LibrarySearchKeystroke(benchmark::State& state) {
  LibraryViewModel lists(ReaderTab::saved);
  lists.setInputs(library());
  lists.update();
  int turn = 0;
  for (auto _ : state) {
    lists.setSearch(kQueries[turn++ % 2]);
    lists.update();
    benchmark::DoNotOptimize(lists.count());
  }
  state.counters["listed"] = double(lists.count());
}

// The resident set of this process, in kilobytes.
double residentKilobytes() {
  QFile statm(QStringLiteral("/proc/self/statm"));
  if (!statm.open(QIODevice::ReadOnly))
    return 0;
  const QList<QByteArray> fields = statm.readAll().split(' ');
  return fields.size() > 1 ? fields[1].toDouble() * 4 : 0;
}

// The Discover page over a release of `range(0)` ideas, signed in, shown offscreen in a
// 1200 x 800 workspace: the time to build and lay it out, the row widgets alive, and what the
// page added to the resident set.
void BM_LibraryPage(benchmark::State& state) {
  ReaderModelFixture fixture(int(state.range(0)));
  fixture.signIn();
  ReaderModel& model = fixture.open();
  fixture.settle();
  double rows = 0;
  double added = 0;
  for (auto _ : state) {
    const double before = residentKilobytes();
    QScrollArea area;
    area.setWidgetResizable(true);
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    auto* page = new LibraryView(model, ReaderTab::discover, {});
    layout->addWidget(page);
    area.setWidget(content);
    area.resize(1200, 800);
    area.show();
    QCoreApplication::processEvents();
    rows = double(page->findChildren<LibraryIdeaRow*>().size());
    added = residentKilobytes() - before;
  }
  state.counters["row_widgets"] = rows;
  state.counters["rss_added_kb"] = added;
}

BENCHMARK(BM_PlainContainsScan)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibrarySearchKeystroke)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibraryPage)->Arg(10)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  return brindlewick::runBenchmarks<QApplication>(argc, argv);
}

// Thirty days of use on virtual time: the sample release from the stand-in, a drop every two
// hours of the working day, every teaser opened and read, a sleep each night, the background
// sync every six hours and on each wake, and a focus every hour. What the model and its store
// hold must stay flat, apart from the ledger and the seen map, which grow by the drops shown.
#include "BenchmarkRunner.h"
#include "model/ReaderModelFixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

using namespace brindlewick;

// Qt's object hooks (exported by Qt Core, declared in its private headers): called for every
// QObject made and destroyed once set, which is the only way to count the live ones.
extern Q_CORE_EXPORT quintptr qtHookData[];

namespace {

// The slots of qtHookData that hold the object hooks.
constexpr int addObjectHook = 3;
constexpr int removeObjectHook = 4;

qint64 liveObjects = 0;

void countObjects() {
  qtHookData[addObjectHook] = reinterpret_cast<quintptr>(+[](QObject*) { ++liveObjects; });
  qtHookData[removeObjectHook] = reinterpret_cast<quintptr>(+[](QObject*) { --liveObjects; });
}

qint64 fileSize(const QString& path) {
  const QFileInfo file(path);
  return file.exists() ? file.size() : 0;
}

void printFigures(int day, ReaderModelFixture& fixture) {
  ReaderModel& model = fixture.model();
  const ContentRepository& repository = model.repository();
  std::printf("day %2d: accountHistory %3lld, ledger %3zu, seen %3lld, repository history %lld, "
              "store %lld B (+ WAL %lld B), widgets %lld, QObjects %lld, pending timers %zu\n",
              day, qint64(model.accountHistory().size()), repository.ledger().automaticPresentations().size(),
              qint64(repository.seen().size()), qint64(repository.history().size()),
              fileSize(fixture.storeFile()), fileSize(fixture.storeFile() + QStringLiteral("-wal")),
              qint64(QApplication::allWidgets().size()), liveObjects,
              fixture.harness().scheduler().pendingCount());
  std::fflush(stdout);
}

// Moves virtual time on, letting any sync the move started come back. Deferred deletions run
// too, as the application's event loop runs them: processing events outside any loop, as the
// fixture does, never does, and every replaced panel view would seem to leak.
void pass(ReaderModelFixture& fixture, double seconds) {
  fixture.advance(seconds);
  fixture.settle();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void BM_ThirtyDays(benchmark::State& state) {
  constexpr int days = 30;
  constexpr int step = 60; // seconds of virtual time between looks at the screen
  for (auto _ : state) {
    state.PauseTiming();
    ReaderModelFixture fixture(0);
    if (!fixture.harness().service().content().publishSampleRelease()) {
      state.SkipWithError("the build has no sample release");
      return;
    }
    fixture.signIn();
    ReaderModel& model = fixture.open();
    if (!model.repository().release()) {
      state.SkipWithError("the first sync did not install the sample release");
      return;
    }
    int teasersRead = 0;
    QElapsedTimer wall;
    wall.start();
    state.ResumeTiming();

    // The day starts at 09:00 with the reader at the computer, which sleeps from 23:00 to 09:00.
    for (int day = 1; day <= days; ++day) {
      for (int minute = 0; minute < 14 * 60; minute += step / 60) {
        if (minute % 60 == 0) {
          Q_EMIT fixture.desktop().events.windowBecameKey();
          fixture.settle();
        }
        pass(fixture, step);
        if (model.teaserPanel().panel().isVisible()) {
          model.openTeaser();
          pass(fixture, 1); // past the reading confirmation
          model.dismiss();
          ++teasersRead;
        }
      }
      Q_EMIT fixture.desktop().events.willSleep();
      pass(fixture, 10 * 3600);
      Q_EMIT fixture.desktop().events.didWake();
      fixture.settle();
      if (day == 1 || day == 10 || day == days) {
        state.PauseTiming();
        printFigures(day, fixture);
        state.ResumeTiming();
      }
    }

    state.PauseTiming();
    state.counters["ms per day"] = double(wall.elapsed()) / days;
    state.counters["teasers read"] = teasersRead;
    state.counters["syncs"] = fixture.requestsTo(QStringLiteral("/api/reader/me"));
    fixture.close();
    state.ResumeTiming();
  }
}

BENCHMARK(BM_ThirtyDays)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  countObjects();
  return runBenchmarks<QApplication>(argc, argv);
}

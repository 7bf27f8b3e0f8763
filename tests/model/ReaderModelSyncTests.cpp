#include "model/ReaderModelFixture.h"

#include "AsyncProbe.h"

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

TEST(ReaderModelSyncTest, Debug) {
  ReaderModelFixture fx;
  fx.setTimeZone(QTimeZone("Pacific/Kiritimati"));
  fx.signIn();
  ReaderModel& model = fx.open();
  QObject::connect(&model, &ReaderModel::scheduleGenerationChanged, [&] {
    qWarning() << "gen" << model.scheduleGeneration() << fx.now().secondsSince(ReaderModelFixture::start)
               << model.refreshing() << model.refreshFailures();
  });
  qWarning() << model.refreshFailures();
  finishTask(model.refresh(true));
  qWarning() << model.syncIssue().value_or(QString());
  fx.advance(60);
  qWarning() << "--";
  fx.advance(3540);
}

} // namespace
} // namespace brindlewick

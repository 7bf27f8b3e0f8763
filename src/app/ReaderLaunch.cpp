#include "app/ReaderLaunch.h"

#include "app/LaunchRequestQueue.h"

#include <QEventLoop>
#include <QTextStream>

#include <QCoroTask>

namespace brindlewick {

namespace {

// Runs the model's construction to its end. QCoro::waitFor would wait forever for a task that
// ends before its loop starts (a store that fails at once does), so the loop runs only while
// the task is still going.
std::unique_ptr<ReaderModel> openModel(ReaderModel::Services services) {
  std::unique_ptr<ReaderModel> model;
  std::exception_ptr failure;
  bool finished = false;
  QEventLoop loop;
  const auto run = [&](ReaderModel::Services given) -> QCoro::Task<> {
    try {
      model = co_await ReaderModel::open(std::move(given));
    } catch (...) {
      failure = std::current_exception();
    }
    finished = true;
    loop.quit();
  };
  const QCoro::Task<> task = run(std::move(services));
  if (!finished)
    loop.exec();
  if (failure)
    std::rethrow_exception(failure);
  return model;
}

} // namespace

ReaderLaunch launchReader(ReaderModel::Services services, ReaderAppDelegate::Options options,
                          LaunchRequestQueue* requests) {
  options.applicationDefaultsFile = services.applicationDefaultsFile;
  ReaderLaunch launch;
  std::optional<QString> startupError;
  try {
    launch.model = openModel(std::move(services));
  } catch (const std::exception& error) {
    const QString description = QString::fromUtf8(error.what());
    QTextStream(stderr) << "Brindlewick initialization failed: " << description << "\n";
    startupError = ReaderAppDelegate::startupErrorText(description);
  }

  launch.delegate = std::make_unique<ReaderAppDelegate>(launch.model.get(), startupError, std::move(options));
  launch.delegate->launch();
  if (requests) {
    ReaderAppDelegate* delegate = launch.delegate.get();
    requests->deliverTo(delegate, [delegate](const LaunchRequest& request) { delegate->handle(request); });
  }
  return launch;
}

} // namespace brindlewick

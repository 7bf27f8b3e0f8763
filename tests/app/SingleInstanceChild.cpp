// A start of the reader reduced to its single-instance part: the runtime folder, then the
// start's own arguments. It starts on a line of standard input (so that a test can release
// several at once), then prints "forwarded", or "running" and a line per request received
// until its standard input closes. Failures: standard error, status 1. With
// SINGLE_INSTANCE_GIVES_WAY set, a running start gives way to the first start that would open the
// reader window: it prints "gave way" and ends.

#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalSocket>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

using namespace brindlewick;

static void print(const QString& line) {
  std::printf("%s\n", qPrintable(line));
  std::fflush(stdout);
}

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  QStringList arguments = QCoreApplication::arguments();
  const QString folder = arguments.takeAt(1);
  LaunchRequest request = LaunchRequest::fromArguments(arguments);
  request.startupId = qEnvironmentVariable("DESKTOP_STARTUP_ID");
  request.activationToken = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
  SingleInstance instance(folder,
                          {64 * 1024, std::chrono::milliseconds(500), std::chrono::milliseconds(3000)});
  const auto report = [](const char* kind) {
    return [kind](const LaunchRequest& r) {
      const QString what =
          r.kind == LaunchRequest::Kind::action ? LaunchRequest::argument(r.action) : r.links.join(' ');
      print(
          QStringList{kind, what, '[' + r.startupId + '|' + r.activationToken + ']'}.join(' ').simplified());
    };
  };
  QObject::connect(&instance, &SingleInstance::reopenRequested, report("reopen"));
  QObject::connect(&instance, &SingleInstance::linksReceived, report("links"));
  QObject::connect(&instance, &SingleInstance::actionRequested, report("action"));
  if (qEnvironmentVariableIsSet("SINGLE_INSTANCE_GIVES_WAY")) {
    instance.giveWayWhen(&instance, [](const LaunchRequest& r) { return r.opensReaderWindow(); });
    QObject::connect(&instance, &SingleInstance::gaveWay, [] {
      print("gave way");
      QCoreApplication::quit();
    });
  }

  // Local sockets set up on first use: done before the release, starts released together
  // reach the socket together.
  QLocalSocket warmUp;
  warmUp.connectToServer(QDir(folder).filePath("nothing-listens-here"));
  char go[16];
  if (std::fgets(go, sizeof go, stdin) == nullptr)
    return 2;
  try {
    if (instance.start(request) == SingleInstance::Role::forwarded) {
      print("forwarded");
      return 0;
    }
  } catch (const SingleInstanceError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  print("running");
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, [&input] {
    char buffer[64];
    if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
      QCoreApplication::quit();
  });
  return QCoreApplication::exec();
}

// Runs the stand-in reading service alone, on real time: it makes a fresh test authority (or,
// with --state, keeps its authority, server identity and accounts in a folder between runs),
// writes that authority's certificate (never a key) where the caller asks, seeds one sample
// reader who is also the one signed in to the stand-in's browser, publishes the built-in
// sample release when there is one, prints its address and serves on the loopback interface
// until stopped.
#include "ReadingService.h"
#include "StandInStateFolder.h"
#include "update/UpdateVersion.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTextStream>

#include <optional>
#include <stdexcept>

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("brindlewick-reading-service-stand-in"));

  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Local stand-in for the Brindlewick reading service."));
  parser.addHelpOption();
  QCommandLineOption portOption(QStringLiteral("port"),
                                QStringLiteral("Port on 127.0.0.1 (0: any free port)."),
                                QStringLiteral("port"), QStringLiteral("0"));
  QCommandLineOption caOption(QStringLiteral("ca-out"),
                              QStringLiteral("File to receive the test authority's certificate (PEM)."),
                              QStringLiteral("file"));
  QCommandLineOption approveOption(
      QStringLiteral("auto-approve-after"),
      QStringLiteral("Approve every browser sign-in this many seconds after it began."),
      QStringLiteral("seconds"));
  QCommandLineOption stateOption(
      QStringLiteral("state"),
      QStringLiteral("Folder that keeps the authority, server identity and accounts between runs."),
      QStringLiteral("folder"));
  QCommandLineOption updateVersionOption(
      QStringLiteral("update-version"),
      QStringLiteral("Version of the update its feed offers (default: the build's, one minor version on)."),
      QStringLiteral("version"));
  QCommandLineOption updateKeyOption(
      QStringLiteral("update-signing-key"),
      QStringLiteral("Ed25519 private key (PEM) that signs the update; a fresh one otherwise."),
      QStringLiteral("file"));
  parser.addOption(portOption);
  parser.addOption(updateVersionOption);
  parser.addOption(updateKeyOption);
  parser.addOption(stateOption);
  parser.addOption(caOption);
  parser.addOption(approveOption);
  parser.process(application);

  bool validDelay = true;
  const double approveAfter =
      parser.isSet(approveOption) ? parser.value(approveOption).toDouble(&validDelay) : 0;
  if (!validDelay || approveAfter < 0) {
    QTextStream(stderr) << "--auto-approve-after needs a number of seconds, 0 or more\n";
    return 1;
  }

  std::optional<brindlewick::StandInStateFolder> state;
  std::optional<brindlewick::TestCertificateAuthority> freshAuthority;
  try {
    if (parser.isSet(stateOption))
      state.emplace(parser.value(stateOption));
    else
      freshAuthority.emplace();
  } catch (const std::exception& error) {
    QTextStream(stderr) << error.what() << '\n';
    return 1;
  }
  brindlewick::TestCertificateAuthority& authority = state ? state->authority() : *freshAuthority;
  brindlewick::ReadingService service(state ? state->serverIdentity() : authority.issueServerIdentity());
  if (state) {
    try {
      state->keep(service.accounts());
    } catch (const std::exception& error) {
      QTextStream(stderr) << error.what() << '\n';
      return 1;
    }
  }
  if (parser.isSet(caOption)) {
    QFile file(parser.value(caOption));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(authority.certificate().toPem()) < 0) {
      QTextStream(stderr) << "cannot write " << file.fileName() << '\n';
      return 1;
    }
  }
  const QString reader = QStringLiteral("sample-reader");
  service.accounts().addReader(
      {reader, QStringLiteral("Sample Reader"), QStringLiteral("reader@example.com"), {}});
  service.grants().setBrowserReader(reader);
  if (parser.isSet(approveOption)) {
    service.grants().setAutoApproveAfter(approveAfter);
  }
  if (parser.isSet(updateVersionOption)) {
    if (!brindlewick::UpdateVersion::parse(parser.value(updateVersionOption))) {
      QTextStream(stderr) << "--update-version needs a version: numbers separated by dots, such as 1.4.0\n";
      return 1;
    }
    service.updates().setVersion(parser.value(updateVersionOption));
  }
  if (parser.isSet(updateKeyOption)) {
    QFile key(parser.value(updateKeyOption));
    try {
      if (!key.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + key.fileName().toStdString());
      service.updates().setSigningKey(key.readAll());
    } catch (const std::exception& error) {
      QTextStream(stderr) << error.what() << '\n';
      return 1;
    }
  }
  try {
    service.content().publishSampleRelease();
    service.listen(static_cast<quint16>(parser.value(portOption).toUInt()));
  } catch (const std::exception& error) {
    QTextStream(stderr) << error.what() << '\n';
    return 1;
  }
  QTextStream(stdout) << service.baseURL().toString() << Qt::endl;
  // Standard output carries the address alone; what it serves and each request (method and
  // path, never a header or body, which can hold secrets) go to standard error.
  QTextStream log(stderr);
  if (const auto* release = service.content().current())
    log << "serving release " << release->release.releaseId << " (" << release->release.lore.size()
        << " drops)" << Qt::endl;
  log << "serving update " << service.updates().version() << " at " << service.baseURL().toString()
      << "/updates/feed.json, signed for SUPublicEDKey " << service.updates().publicKey() << Qt::endl;
  QObject::connect(&service, &brindlewick::ReadingService::requestReceived,
                   [&log](const brindlewick::LoggedRequest& request) {
                     log << QDateTime::currentDateTimeUtc().toString(Qt::ISODate) << ' ' << request.method
                         << ' ' << request.path << Qt::endl;
                   });
  return QCoreApplication::exec();
}

// Runs the stand-in reading service alone, on real time: it makes a fresh test authority,
// writes that authority's certificate (never a key) where the caller asks, seeds one sample
// reader who is also the one signed in to the stand-in's browser, publishes the built-in
// sample release when there is one, prints its address and serves on the loopback interface
// until stopped.
#include "ReadingService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

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
  parser.addOption(portOption);
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

  brindlewick::TestCertificateAuthority authority;
  brindlewick::ReadingService service(authority.issueServerIdentity());
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
  try {
    service.content().publishSampleRelease();
    service.listen(static_cast<quint16>(parser.value(portOption).toUInt()));
  } catch (const std::exception& error) {
    QTextStream(stderr) << error.what() << '\n';
    return 1;
  }
  QTextStream(stdout) << service.baseURL().toString() << Qt::endl;
  return QCoreApplication::exec();
}

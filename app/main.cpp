#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("Brindlewick"));
  QTextStream(stdout) << "Brindlewick " << BRINDLEWICK_VERSION
                      << ": the core library is built; the reader interface is not part of this build yet.\n";
  return 0;
}

// The process that the local store's crash test kills with SIGKILL in the middle of its
// commits. Arguments: the store file and the number of records per batch. It commits ever
// newer generations of one batch and prints "committed N" after each, until it is killed (or
// its parent goes away: the next print then ends it with SIGPIPE).
//
// Every record of generation N, "generation" included, holds the JSON string "N" followed by
// padding; each batch also moves the single "marker/N" key along, so a deletion that landed
// without its batch shows too. A program of its own so that each of the test's many rounds
// starts in a moment.

#include "content/LocalStore.h"

#include <QCoreApplication>

#include <cstdio>

using namespace brindlewick;

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s STORE-FILE RECORDS-PER-BATCH\n", argv[0]);
    return 2;
  }
  LocalStore store(false, QString::fromLocal8Bit(argv[1]));
  const int records = QByteArray(argv[2]).toInt();
  const QString padding(300, QLatin1Char('p'));
  qint64 generation = store.load<QString>(QStringLiteral("generation"))
                          .value_or(QString())
                          .section(QLatin1Char(' '), 0, 0)
                          .toLongLong();
  for (;;) {
    ++generation;
    const QByteArray payload = Json::serialize(QString::number(generation) + QLatin1Char(' ') + padding);
    QMap<QString, QByteArray> updates{{QStringLiteral("generation"), payload},
                                      {QStringLiteral("marker/%1").arg(generation), payload}};
    for (int i = 0; i < records; ++i)
      updates.insert(QStringLiteral("crash/%1").arg(i, 5, 10, QLatin1Char('0')), payload);
    store.commit(updates, {QStringLiteral("marker/%1").arg(generation - 1)});
    std::printf("committed %lld\n", static_cast<long long>(generation));
    std::fflush(stdout);
  }
}

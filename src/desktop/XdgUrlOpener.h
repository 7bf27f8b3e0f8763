#pragma once

#include "desktop/UrlOpener.h"
#include "foundation/DelayScheduler.h"

#include <QObject>
#include <QString>

namespace brindlewick {

// Opens addresses with xdg-open and learns its outcome from its exit status: 0 is opened;
// any other status, or a program that cannot start, is not (xdg-open exits 3 when the
// desktop has no program for the scheme, 4 when that program failed). Some desktops make
// xdg-open wait for the browser it started to end: one still running after `patience`
// seconds has handed the address on, and counts as opened. It is left to finish on its own
// (never killed while it runs for the reader), and ends with the opener at the latest.
// Its input and output go nowhere: a browser it starts must not inherit our pipes.
class XdgUrlOpener final : public QObject, public UrlOpener {
  Q_OBJECT

public:
  static constexpr double defaultPatience = 5;

  explicit XdgUrlOpener(DelayScheduler& scheduler, QString program = QStringLiteral("xdg-open"),
                        double patience = defaultPatience, QObject* parent = nullptr);
  ~XdgUrlOpener() override;

  QCoro::Task<bool> open(QUrl url) override;

private:
  DelayScheduler& m_scheduler;
  QString m_program;
  double m_patience;
};

} // namespace brindlewick

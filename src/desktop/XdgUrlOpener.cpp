#include "desktop/XdgUrlOpener.h"

#include "desktop/DesktopLog.h"
#include "foundation/Completion.h"
#include "foundation/PrivateFiles.h"

#include <QProcess>

namespace brindlewick {

XdgUrlOpener::XdgUrlOpener(DelayScheduler& scheduler, QString program, double patience, QObject* parent)
    : QObject(parent), m_scheduler(scheduler), m_program(std::move(program)), m_patience(patience) {}

XdgUrlOpener::~XdgUrlOpener() {
  // Those still running end with us: their answers are no longer wanted, and the browser they
  // started, a process of its own, stays.
  for (QProcess* process : findChildren<QProcess*>(Qt::FindDirectChildrenOnly)) {
    disconnect(process, &QProcess::finished, nullptr, nullptr);
    disconnect(process, &QProcess::errorOccurred, nullptr, nullptr);
    process->kill();
    process->waitForFinished(1000);
  }
}

// Touches no member after its only suspension: the opener may be gone by then.
QCoro::Task<bool> XdgUrlOpener::open(QUrl url) {
  Completion<bool> opened;
  auto* process = new QProcess(this);
  process->setProgram(m_program);
  process->setArguments({url.toString(QUrl::FullyEncoded)});
  process->setStandardInputFile(QProcess::nullDevice());
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(QProcess::nullDevice());
  // Our own umask keeps the reader's files private; the browser or mail program it starts
  // writes the reader's downloads and drafts with the session's.
  PrivateFiles::giveSessionUmask(*process);
  const QString program = m_program;
  // The scheme only: the address of a sign-in page is the reader's business.
  const QString scheme = url.scheme();
  connect(process, &QProcess::finished, process,
          [opened, process, program, scheme](int status, QProcess::ExitStatus how) mutable {
            const bool handed = how == QProcess::NormalExit && status == 0;
            if (!handed && !opened.isSettled())
              qCWarning(lcDesktop) << program << "could not open a" << scheme << "address: exit status" << status;
            opened.resolve(handed);
            process->deleteLater();
          });
  connect(process, &QProcess::errorOccurred, process,
          [opened, process, program](QProcess::ProcessError error) mutable {
            if (error != QProcess::FailedToStart)
              return;
            qCWarning(lcDesktop) << program << "is not available:" << process->errorString();
            opened.resolve(false);
            process->deleteLater();
          });
  // Ending with the opener, before an answer: nothing was opened that we know of.
  connect(process, &QObject::destroyed, [opened]() mutable { opened.resolve(false); });
  DelayScheduler& scheduler = m_scheduler;
  const DelayScheduler::TimerId patience =
      scheduler.schedule(m_patience, [opened]() mutable { opened.resolve(true); });
  process->start();
  const bool answer = co_await opened;
  scheduler.cancel(patience);
  co_return answer;
}

} // namespace brindlewick

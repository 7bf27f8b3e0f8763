#pragma once

#include "StandInAccounts.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace brindlewick {

class AccessibilityTree;
class ReadingService;

// The program started for a step; ended and checked gone at the end of the test whatever
// happened meanwhile.
struct Program : QProcess {
  ~Program() override;
};

// One of a newcomer's runs of the program: its own home, XDG and runtime folders in the
// test's folder, a stub browser first on PATH that records what it is asked to open, X11 and
// its accessibility tree on the bus.
class Newcomer {
public:
  static constexpr int waitMilliseconds = 20000;

  Newcomer(const QString& program, const QString& home);

  QString path(const char* relative) const;
  QString storeFile() const { return path("data/app.brindlewick/Brindlewick.store"); }
  QString socketFile() const { return path("runtime/app.brindlewick.socket"); }
  QStringList opened() const;

  void start(Program& program, const QStringList& arguments = {}) const;
  // A second launch (a launcher action or a link), which hands itself to the running one
  // and ends; the event loop runs meanwhile, as the stand-in lives in it.
  int launchAgain(const QStringList& arguments) const;

private:
  QString m_program;
  QString m_home;
  QProcessEnvironment m_environment;
};

// Why a run of the program cannot be watched here (no X11 display, no Secret Service, no
// accessibility bus), for the test to skip with; empty when everything is there.
QString missingDesktop(const AccessibilityTree& tree);

// The stand-in as a newcomer finds it: the sample release published, and a browser signed in
// as `reader`, approving every sign-in by itself; then listening.
void approveEverySignIn(ReadingService& service, const StandInAccounts::Reader& reader);

} // namespace brindlewick

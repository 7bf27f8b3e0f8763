#include "app/ApplicationUpdater.h"
#include "app/DevelopmentTrust.h"
#include "app/Diagnostics.h"
#include "app/GraphicalSession.h"
#include "app/KeyringWatch.h"
#include "app/LaunchHelp.h"
#include "app/LaunchMode.h"
#include "app/LaunchRequest.h"
#include "app/LaunchRequestQueue.h"
#include "app/LaunchUsage.h"
#include "app/PanelDiagnosticsDelegate.h"
#include "app/QtCommandLine.h"
#include "app/ReaderLaunch.h"
#include "app/SingleInstance.h"
#include "app/StartCheckMode.h"
#include "app/StartRefusal.h"
#include "desktop/DesktopProbes.h"
#include "desktop/FullScreenProbe.h"
#include "desktop/KeychainStorage.h"
#include "desktop/ScreenSource.h"
#include "desktop/SoundPlayer.h"
#include "desktop/WindowActivation.h"
#include "desktop/X11DesktopWatch.h"
#include "desktop/XdgUrlOpener.h"
#include "foundation/PrivateFiles.h"
#include "model/ReaderModel.h"
#include "ui/card/CardPanelContent.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/ApplicationIcon.h"
#include "ui/design/UiEnvironment.h"
#include "update/StagedUpdate.h"
#include "update/UpdateInstaller.h"
#include "update/UpdateRestart.h"
#include "update/UpdateTrial.h"

#include <QApplication>
#include <QFile>
#include <QTextStream>
#include <QTimer>

#include <optional>
#include <unistd.h>
#include <vector>

using namespace brindlewick;

namespace {

// The panel test modes and the report: no single instance, no model, no reader window.
int runDiagnostic(LaunchMode mode) {
  if (mode == LaunchMode::diagnostics) {
    // The report needs the X server alone. The full probes open the buses on a thread of their
    // own, which a process that ends at once would race at its exit.
    X11DesktopWatch x11;
    const SystemScreenSource screens(&x11);
    X11FullScreenProbe fullScreen(&x11);
    DesktopProbes probes;
    probes.fullScreen = &fullScreen;
    Diagnostics::printJSON(Diagnostics::snapshot(Diagnostics::Sources{screens, probes, &x11}));
    return 0;
  }
  LinuxDesktopProbes desktop;
  const SystemScreenSource screens(desktop.x11());
  const Diagnostics::Sources sources{screens, desktop.probes(), desktop.x11()};
  // The application in front at start, which the smoke test expects to keep its focus.
  const std::optional<qint32> launchPid = desktop.x11() ? desktop.x11()->activeWindowPid() : std::nullopt;
  UiEnvironment::install(desktop.accessibility());
  PanelDiagnosticsDelegate delegate(sources, DelayScheduler::system(), launchPid);
  delegate.launch(mode == LaunchMode::smokePanel);
  return QApplication::exec();
}

// The program file this process runs, before the application object exists.
QString runningExecutable() {
  return QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
}

// Replaces this process with a fresh start of `program` (the version put back after a new one
// did not start, or the one "Restart now" swaps the staged version in with) carrying `request`,
// the arguments the reader started the program with; returns only when that could not be done.
// What the update passes between its starts goes in the environment, never in the arguments,
// and is taken out here.
void startInstead(const QString& program, const QStringList& request = {}) {
  QTextStream(stderr) << "Brindlewick: starting " << program << " again\n";
  qunsetenv(UpdateRestart::wordVariable);
  qunsetenv(UpdateRestart::predecessorVariable);
  QList<QByteArray> words{QFile::encodeName(program)};
  for (const QString& argument : request)
    words.append(argument.toLocal8Bit());
  std::vector<char*> arguments;
  for (QByteArray& word : words)
    arguments.push_back(word.data());
  arguments.push_back(nullptr);
  ::execv(words.front().constData(), arguments.data());
  QTextStream(stderr) << "Brindlewick: " << program << " could not be started\n";
}

} // namespace

int main(int argc, char** argv) {
  // What the program writes is the reader's alone, whichever library writes it.
  PrivateFiles::restrictNewFiles();
  // The mode comes from the command line as given: Qt takes its own options (and whatever
  // follows one that expects a value) out of argv when the application object is made, and a
  // refused switch must end the start before a display is opened.
  QStringList commandLine;
  for (int i = 0; i < argc; ++i)
    commandLine.append(QString::fromLocal8Bit(argv[i]));
  const LaunchMode mode = launchMode(commandLine);
  // Asked what the program is: answered here, before a display or a running copy is touched.
  if (mode == LaunchMode::help || mode == LaunchMode::version) {
    QTextStream(stdout) << (mode == LaunchMode::help
                                ? launchHelpText()
                                : launchVersionText(QStringLiteral(BRINDLEWICK_VERSION)));
    return 0;
  }
  // Qt's own options are Qt's; every other one must be the program's, or nothing starts.
  const QtCommandLine qtCommandLine = QtCommandLine::split(commandLine);
  if (const std::optional<QString> mistake = LaunchUsage::error(qtCommandLine.own)) {
    QTextStream(stderr) << *mistake;
    return LaunchUsage::errorExitStatus;
  }
  // The updater asks whether this program starts: no display, no running copy, no keyring.
  if (mode == LaunchMode::checkStart) {
    QCoreApplication check(argc, argv);
    return StartCheckMode::run(&DevelopmentTrust::clientOptions);
  }
  if (mode == LaunchMode::refused) {
    QTextStream(stderr) << refusedDiagnosticsLine;
    return refusedExitStatus;
  }
  // Without a display the application object would abort the process: say why instead.
  if (const std::optional<QString> reason =
          GraphicalSession::missingDisplay(qtCommandLine, GraphicalSession::processEnvironment)) {
    QTextStream(stderr) << GraphicalSession::refusal(*reason);
    return GraphicalSession::refusalExitStatus;
  }
  // Qt takes the X11 startup id out of the environment when it connects to the display; a
  // start that hands its request on must pass it along.
  const QString startupId = qEnvironmentVariable("DESKTOP_STARTUP_ID");
  const QString activationToken = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");

  // A new version on trial: this start is recorded before anything can crash it, so a start
  // that ends before it comes up puts the previous version back, here at the latest.
  std::optional<UpdateTrial> trial;
  UpdateTrial::AtStart atStart;
  // The copy that restarted into this one waits for its word.
  UpdateRestart::StartWord word = UpdateRestart::StartWord::fromEnvironment();
  if (!isDiagnostic(mode)) {
    trial.emplace(runningExecutable());
    atStart = trial->begin();
    if (atStart.verdict == UpdateTrial::Verdict::earlierStartFailed) {
      const QString reason = QStringLiteral("an earlier start of it ended before it came up");
      if (word.awaited()) {
        word.failed(reason);
        return 1;
      }
      if (const std::optional<QString> back = trial->rollBack(reason))
        startInstead(*back, commandLine.mid(1));
    }
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Brindlewick"));
  QApplication::setApplicationVersion(QStringLiteral(BRINDLEWICK_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral("app.brindlewick"));
  // The icon of every window, the one the desktop entry names.
  QApplication::setWindowIcon(ApplicationIcon::icon());
  if (isDiagnostic(mode))
    return runDiagnostic(mode);

  LaunchRequest request = LaunchRequest::fromArguments(QCoreApplication::arguments());
  request.startupId = startupId;
  request.activationToken = activationToken;
  // Started by an update's restart of a version that quit at once: it is still quitting.
  UpdateRestart::awaitPredecessor();
  // An update staged by "Later" or "Restart now" goes in at this version's start once this is
  // the one running copy: it is swapped in and started with this start's request, and it keeps
  // the command only once it has come up; else this version is put back and says why.
  if (atStart.verdict == UpdateTrial::Verdict::ordinary && !word.awaited() &&
      StagedUpdate::waitingFor(QCoreApplication::applicationFilePath())) {
    try {
      if (SingleInstance().start(request) == SingleInstance::Role::forwarded)
        return 0;
    } catch (const SingleInstanceError& error) {
      StartRefusal::report(error, request);
      return 1;
    }
    // Nothing on screen to act on: the staged version waits for a start that runs the reader.
    if (request.needsRunningCopy()) {
      WindowActivation::endLaunchFeedback(request.startupId);
      return 0;
    }
    UpdateInstaller(QCoreApplication::applicationFilePath(), {}).finishPendingInstall();
    const QStringList given = QCoreApplication::arguments().mid(1);
    const std::optional<QString> instead =
        StagedUpdate::startAndWatch(QCoreApplication::applicationFilePath(), given);
    if (!instead)
      return 0;
    startInstead(*instead, given);
    return 1;
  }
  const bool onTrial = atStart.verdict == UpdateTrial::Verdict::onTrial;
  // The program "Restart now" starts again once this copy has let go.
  std::optional<QString> restartInto;
  // The version to start instead of this one, which did not come up.
  std::optional<QString> putBack;
  int status = 0;
  {
    SingleInstance instance;
    // Later starts are answered as soon as this one listens, long before the reader can act on
    // their requests: they wait here, behind this start's own.
    LaunchRequestQueue requests(&instance);
    try {
      // A desktop shortcut's "dismiss" or "focus" with no copy running has no drop to act on,
      // and must not start the reader for it; its launch is over all the same.
      if (instance.start(request) == SingleInstance::Role::forwarded || request.needsRunningCopy()) {
        if (request.needsRunningCopy())
          WindowActivation::endLaunchFeedback(request.startupId);
        if (trial)
          trial->withdraw();
        word.handedOn();
        return 0;
      }
    } catch (const SingleInstanceError& error) {
      word.failed(error.description());
      StartRefusal::report(error, request);
      return 1;
    }
    // What an interrupted update left beside the program folder goes now.
    UpdateInstaller(QCoreApplication::applicationFilePath(), {}).finishPendingInstall();
    if (request.kind != LaunchRequest::Kind::reopen)
      requests.enqueue(request);
    // The reader lives in the tray; closing its window only hides it.
    QApplication::setQuitOnLastWindowClosed(false);

    LinuxDesktopProbes desktop;
    // The display the reader works on is the one of the active window, whichever application
    // owns it.
    const SystemScreenSource screens(desktop.x11());
    // The typefaces and the appearance the interface follows, and what assistive technology
    // hears of it, before any window exists.
    UiEnvironment::install(desktop.accessibility());
    AccessibleRole::install();
    KeychainStorage storage(QStringLiteral("app.brindlewick.credentials"));
    // Pages and new messages open with the desktop's program for them, which says if it could.
    XdgUrlOpener opener(DelayScheduler::system());
    UrlOpener::install(&opener);
    // A locked keyring keeps the start waiting on its unlock prompt: the reader is told so.
    KeyringWatch keyring(storage, DelayScheduler::system());
    ReaderModel::Services services{
        .scheduler = DelayScheduler::system(),
        .screens = screens,
        .desktop = desktop.probes(),
        .storage = keyring,
        // The service client; a development build also trusts the stand-in's authority.
        .makeTransport = DevelopmentTrust::transportFactory(BuildConfiguration::defaultFilePath()),
        .dropSound = std::make_unique<SoundEffectPlayer>(SoundEffectPlayer::dropSound),
        .chimeSound = std::make_unique<SoundEffectPlayer>(SoundEffectPlayer::chimeSound),
        .arguments = commandLine,
        .executablePath = QCoreApplication::applicationFilePath(),
        .installPrefix = QStringLiteral(BRINDLEWICK_INSTALL_PREFIX),
        .loginItems = nullptr,
        // The teaser and the reading card.
        .factories = cardPanelContent(),
        .urlOpener = &opener,
        // The updater of its own, started when the build names a feed and its key. "Restart now"
        // quits, and this version starts again once this copy has let go (below).
        .updaterBackend = makeApplicationUpdater(desktop.events(), &DevelopmentTrust::clientOptions,
                                                 BuildConfiguration::defaultFilePath(),
                                                 [&restartInto](const QString& executable) {
                                                   restartInto = executable;
                                                   return true;
                                                 }),
    };
    // A new version whose model cannot be built does not stop at the start-up alert: the
    // copy waiting for its word, or this start, puts the previous version back.
    const StartFailureHandler notStarted = [&](const QString& description) {
      if (!onTrial)
        return false;
      if (word.awaited()) {
        word.failed(description);
        status = 1;
        return true;
      }
      putBack = trial->rollBack(description);
      return putBack.has_value();
    };
    {
      // The first-run chime belongs to the onboarding: it plays when that screen comes on.
      // A copy whose start failed gives way to a later start that would open the reader window:
      // that start runs as itself, and this one ends.
      const ReaderLaunch reader = launchReader(std::move(services), {}, &requests, &keyring, notStarted, &instance);
      if (reader.abandoned) {
        status = ReaderLaunch::abandonedExitStatus;
      } else if (reader.delegate) {
        FeedUpdater* updater =
            reader.model ? qobject_cast<FeedUpdater*>(reader.model->updater().backend()) : nullptr;
        // Up once the event loop runs with the shell shown: the word goes out, the folder an
        // update replaced goes, and a version put back says why.
        QTimer::singleShot(0, [&word, &trial, &atStart, updater, started = reader.model != nullptr] {
          if (started) {
            word.started();
            if (trial)
              trial->confirm();
          }
          if (const std::optional<UpdateTrial::NotStarted>& note = atStart.notStarted) {
            QTextStream(stderr) << "Brindlewick " << note->version << " did not start: " << note->reason
                                << "\n";
            if (updater)
              updater->reportNotStarted(note->version, note->reason);
          }
        });
        status = QApplication::exec();
      }
    }
    // The model cancels its waits and requests as it ends, and each of them resumes from a
    // queued call: let them unwind now, or their coroutines would be lost with the event queue.
    QCoreApplication::sendPostedEvents();
  }
  if (putBack)
    startInstead(*putBack, commandLine.mid(1));
  // "Restart now": this version starts again, and that start puts the staged one in place.
  if (restartInto) {
    startInstead(*restartInto);
    return 1;
  }
  return status;
}

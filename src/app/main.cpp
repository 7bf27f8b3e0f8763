#include "app/ApplicationUpdater.h"
#include "app/DevelopmentTrust.h"
#include "app/Diagnostics.h"
#include "app/LaunchHelp.h"
#include "app/KeyringWatch.h"
#include "app/LaunchMode.h"
#include "app/LaunchRequest.h"
#include "app/LaunchRequestQueue.h"
#include "app/PanelDiagnosticsDelegate.h"
#include "app/ReaderLaunch.h"
#include "app/SingleInstance.h"
#include "app/StartRefusal.h"
#include "desktop/DesktopProbes.h"
#include "desktop/FullScreenProbe.h"
#include "desktop/KeychainStorage.h"
#include "desktop/ScreenSource.h"
#include "desktop/SoundPlayer.h"
#include "desktop/X11DesktopWatch.h"
#include "desktop/XdgUrlOpener.h"
#include "foundation/PrivateFiles.h"
#include "model/ReaderModel.h"
#include "update/UpdateInstaller.h"
#include "update/UpdateRestart.h"
#include "ui/card/CardPanelContent.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/ApplicationIcon.h"
#include "ui/design/UiEnvironment.h"

#include <QApplication>
#include <QTextStream>

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
    QTextStream(stdout) << (mode == LaunchMode::help ? launchHelpText()
                                                     : launchVersionText(QStringLiteral(BRINDLEWICK_VERSION)));
    return 0;
  }
  if (mode == LaunchMode::refused) {
    QTextStream(stderr) << refusedDiagnosticsLine;
    return refusedExitStatus;
  }
  // Qt takes the X11 startup id out of the environment when it connects to the display; a
  // start that hands its request on must pass it along.
  const QString startupId = qEnvironmentVariable("DESKTOP_STARTUP_ID");
  const QString activationToken = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");

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
  // Started by an update's restart: the copy that installed it is still quitting.
  UpdateRestart::awaitPredecessor();
  SingleInstance instance;
  // Later starts are answered as soon as this one listens, long before the reader can act on
  // their requests: they wait here, behind this start's own.
  LaunchRequestQueue requests(&instance);
  try {
    if (instance.start(request) == SingleInstance::Role::forwarded)
      return 0;
  } catch (const SingleInstanceError& error) {
    StartRefusal::report(error.description(), request);
    return 1;
  }
  // The program folder an update replaced is no longer needed once this one runs.
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
      // The updater of its own, started when the build names a feed and its key.
      .updaterBackend = makeApplicationUpdater(desktop.events(), &DevelopmentTrust::clientOptions,
                                               BuildConfiguration::defaultFilePath()),
  };
  int status = 0;
  {
    // The first-run chime belongs to the onboarding: it plays when that screen comes on.
    const ReaderLaunch reader = launchReader(std::move(services), {}, &requests, &keyring);
    status = QApplication::exec();
  }
  // The model cancels its waits and requests as it ends, and each of them resumes from a
  // queued call: let them unwind now, or their coroutines would be lost with the event queue.
  QCoreApplication::sendPostedEvents();
  return status;
}

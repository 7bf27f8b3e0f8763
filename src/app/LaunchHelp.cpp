#include "app/LaunchHelp.h"

#include "app/LaunchMode.h"
#include "app/LaunchRequest.h"
#include "ui/window/ReaderSidebar.h"

#include <QTextStream>

namespace brindlewick {

namespace {

// One option and what it does, in two columns.
void option(QTextStream& out, const QString& name, const QString& meaning) {
  out << "  " << qSetFieldWidth(18) << Qt::left << name << qSetFieldWidth(0) << meaning << "\n";
}

} // namespace

QString launchUsageLine() {
  return QStringLiteral("Usage: brindlewick [OPTION | LINK...]\n");
}

QString launchHelpText() {
  QString text;
  QTextStream out(&text);
  // The pages are named as the window's sidebar names them.
  out << launchUsageLine()
      << "\n"
         "Brindlewick, a reading companion: one big idea from a book, in the quiet moments of\n"
         "the day. Only one copy runs per user; a later start hands its request to the running\n"
         "copy and exits.\n"
         "\n"
         "Launcher actions (one at a time):\n";
  option(out, LaunchRequest::argument(LaunchAction::discover),
         QStringLiteral("open the reader window on ") + ReaderSidebar::title(ReaderTab::discover));
  option(out, LaunchRequest::argument(LaunchAction::show),
         QStringLiteral("show a drop now, or the reader window when none can be shown"));
  option(out, LaunchRequest::argument(LaunchAction::library),
         QStringLiteral("open the reader window on ") + ReaderSidebar::title(ReaderTab::saved));
  option(out, LaunchRequest::argument(LaunchAction::focusReader),
         QStringLiteral("give the keyboard to the drop on screen (a teaser opens"));
  option(out, QString(), QStringLiteral("into its card); nothing when no drop is showing"));
  option(out, LaunchRequest::argument(LaunchAction::dismiss),
         QStringLiteral("dismiss the drop on screen; nothing when none is showing"));
  out << "\n"
         "Links:\n";
  option(out, QStringLiteral("brindlewick:..."), QStringLiteral("bring the reader window to the front"));
  out << "\n"
         "Diagnostics (no reader window, no running copy contacted):\n";
  option(out, diagnosticSwitches[0].toString(),
         QStringLiteral("print the screen and panel geometry as JSON and exit"));
  option(out, diagnosticSwitches[1].toString(),
         QStringLiteral("show the drop panel as a delivery would, check that it keeps"));
  option(out, QString(), QStringLiteral("the keyboard where it was, print the verdict and exit"));
  option(out, diagnosticSwitches[2].toString(),
         QStringLiteral("show the drop panel with a test menu in the tray"));
  out << "\n"
         "Other options:\n";
  option(out, helpSwitches[1].toString() + QStringLiteral(", ") + helpSwitches[0].toString(),
         QStringLiteral("print this help and exit"));
  option(out, versionSwitch.toString(), QStringLiteral("print the version and exit"));
  out.flush();
  return text;
}

QString launchVersionText(const QString& version) {
  return QStringLiteral("Brindlewick ") + version + QLatin1Char('\n');
}

} // namespace brindlewick

// What Brindlewick costs while it waits: the real application, signed in to an in-process
// stand-in with the sample release installed and deliveries paused, measured from outside
// through /proc after it has settled: 60 s with the reader window closed (as a window
// manager's close button does it), 60 s with it open behind another window, and 60 s with a
// teaser shown and left alone. Each state prints its memory, CPU and wakeups, and its resident
// memory by kind of mapping; a minimal Qt Widgets program with a tray icon and a shown window,
// measured in the same run, gives the ratios. Run it through scripts/measure-idle, which gives
// it a display and a keyring. With --teaser-only it measures the teaser alone, for a quicker
// turn while working on the panel.
#include "AsyncProbe.h"
#include "DevelopmentCopy.h"
#include "ReadingService.h"
#include "TestCertificateAuthority.h"
#include "account/AccountContracts.h"
#include "desktop/KeychainStorage.h"
#include "desktop/X11Windows.h"
#include "foundation/Json.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <map>
#include <unistd.h>

using namespace brindlewick;
using namespace Qt::StringLiterals;

namespace {

QTextStream out(stdout);

// Serves events (the stand-in answers the application meanwhile) for `seconds`.
void serve(double seconds) {
  QElapsedTimer timer;
  timer.start();
  waitUntil([&] { return timer.elapsed() >= seconds * 1000; }, int(seconds * 1000) + 1000);
}

struct Sample {
  qint64 hwmKb = 0;
  qint64 rssKb = 0;
  qint64 cpuTicks = 0;                        // user plus system time of every thread, in clock ticks
  std::map<QString, qint64> switchesByThread; // voluntary plus involuntary, per task ("id name")
};

qint64 field(const QByteArray& status, const QByteArray& name) {
  for (const QByteArray& line : status.split('\n')) {
    if (line.startsWith(name + ':'))
      return line.mid(name.size() + 1).trimmed().split(' ').first().toLongLong();
  }
  return 0;
}

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Sample sample(qint64 pid) {
  const QString proc = u"/proc/%1"_s.arg(pid);
  const QByteArray status = readAll(proc + u"/status"_s);
  Sample taken{field(status, "VmHWM"), field(status, "VmRSS"), 0, {}};
  // Fields 14 and 15 of stat, counted after the command's closing parenthesis (which may
  // itself hold spaces).
  const QByteArray stat = readAll(proc + u"/stat"_s);
  const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
  if (fields.size() > 12)
    taken.cpuTicks = fields[11].toLongLong() + fields[12].toLongLong();
  // The process's own status counts its main thread only.
  for (const QString& task : QDir(proc + u"/task"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    const QByteArray taskStatus = readAll(proc + u"/task/"_s + task + u"/status"_s);
    const QString name = QString::fromUtf8(readAll(proc + u"/task/"_s + task + u"/comm"_s).trimmed());
    taken.switchesByThread[task + u' ' + name] =
        field(taskStatus, "voluntary_ctxt_switches") + field(taskStatus, "nonvoluntary_ctxt_switches");
  }
  return taken;
}

// Wakeups between two samples: every thread alive at the end, from zero when it is new.
// (A thread that ended meanwhile takes its last few switches with it.)
void report(const QString& what, const Sample& before, const Sample& after, double seconds) {
  qint64 wakeups = 0;
  for (const auto& [thread, count] : after.switchesByThread) {
    const auto earlier = before.switchesByThread.find(thread);
    wakeups += count - (earlier == before.switchesByThread.end() ? 0 : earlier->second);
  }
  const auto megabytes = [](qint64 kilobytes) { return QString::number(kilobytes / 1024.0, 'f', 1); };
  const double cpu = double(after.cpuTicks - before.cpuTicks) / double(sysconf(_SC_CLK_TCK)) / seconds * 100;
  out << what << ": VmHWM " << megabytes(after.hwmKb) << " MB, VmRSS " << megabytes(after.rssKb)
      << " MB, threads " << after.switchesByThread.size() << ", wakeups per minute "
      << qRound(wakeups * 60 / seconds) << ", CPU " << QString::number(cpu, 'f', 2) << " % of one core"
      << Qt::endl;
}

// The libraries besides Qt's, by what they serve.
QString libraryKind(const QString& file) {
  static const std::pair<const char*, QStringList> kinds[] = {
      {"TLS (OpenSSL)", {u"libcrypto"_s, u"libssl"_s}},
      {"keyring (libsecret, GLib, libgcrypt)",
       {u"libsecret"_s, u"libglib"_s, u"libgio"_s, u"libgobject"_s, u"libgmodule"_s, u"libgcrypt"_s,
        u"libgpg-error"_s, u"libffi"_s, u"libmount"_s, u"libblkid"_s, u"libselinux"_s, u"libpcre2-8"_s}},
      {"C and C++ runtime", {u"libc."_s, u"libstdc++"_s, u"libm."_s, u"libgcc_s"_s, u"ld-linux"_s}},
      {"ICU", {u"libicu"_s}},
      {"text (HarfBuzz, FreeType, fontconfig, PCRE)",
       {u"libharfbuzz"_s, u"libfreetype"_s, u"libfontconfig"_s, u"libpcre2-16"_s, u"libgraphite"_s,
        u"libbrotli"_s, u"libpng"_s, u"libexpat"_s, u"libmd4c"_s}},
      {"X11 and xcb", {u"libX"_s, u"libxcb"_s, u"libxkb"_s, u"libSM"_s, u"libICE"_s}},
      {"OpenGL dispatch", {u"libGL"_s, u"libEGL"_s, u"libOpenGL"_s}},
      {"SQLite", {u"libsqlite3"_s}},
      {"D-Bus", {u"libdbus"_s}},
      {"sound (PulseAudio, FFmpeg, GStreamer)", {u"libpulse"_s, u"libav"_s, u"libsw"_s, u"libgst"_s}},
  };
  for (const auto& [kind, prefixes] : kinds)
    for (const QString& prefix : prefixes)
      if (file.startsWith(prefix))
        return QString::fromLatin1(kind);
  return u"other libraries"_s;
}

// Wakeups per minute of each thread that woke at all, busiest first: which thread a state
// keeps awake.
void wakeupsByThread(const Sample& before, const Sample& after, double seconds) {
  std::multimap<qint64, QString, std::greater<>> ordered;
  for (const auto& [thread, count] : after.switchesByThread) {
    const auto earlier = before.switchesByThread.find(thread);
    const qint64 wakeups = count - (earlier == before.switchesByThread.end() ? 0 : earlier->second);
    if (wakeups > 0)
      ordered.emplace(qRound(wakeups * 60 / seconds), thread);
  }
  for (const auto& [perMinute, thread] : ordered)
    out << "  " << QString::number(perMinute).rightJustified(6) << " per minute  " << thread << Qt::endl;
}

// Resident memory by kind of mapping, from /proc/PID/smaps, largest first.
void breakdown(qint64 pid) {
  std::map<QString, qint64> kilobytes;
  QString kind;
  for (const QByteArray& line : readAll(u"/proc/%1/smaps"_s.arg(pid)).split('\n')) {
    const QList<QByteArray> parts = line.simplified().split(' ');
    if (parts.size() >= 5 && parts[0].contains('-') && !parts[0].endsWith(':')) {
      const QString path = parts.size() >= 6 ? QString::fromUtf8(parts.mid(5).join(' ')) : QString();
      if (path.isEmpty())
        kind = u"anonymous (malloc arenas, thread stacks, images)"_s;
      else if (path == "[heap]"_L1)
        kind = u"heap"_s;
      else if (path.startsWith('['))
        kind = path;
      else if (path.contains("libQt6"_L1))
        kind = u"Qt libraries: "_s + path.section('/', -1).section('.', 0, 0);
      else if (path.contains("/fonts/"_L1) || path.endsWith(".ttf"_L1) || path.endsWith(".otf"_L1))
        kind = u"font files"_s;
      else if (path.contains("fontconfig"_L1))
        kind = u"fontconfig caches"_s;
      else if (path.contains("sqlite"_L1))
        kind = u"SQLite"_s;
      else if (path.startsWith("/dev/shm"_L1) || path.startsWith("/memfd:"_L1) || path.startsWith("/SYSV"_L1))
        kind = u"shared memory (window surfaces)"_s;
      else if (path.contains("brindlewick"_L1))
        kind = u"the program"_s;
      else if (path.contains(".so"_L1))
        kind = libraryKind(path.section('/', -1));
      else
        kind = u"other files: "_s + path.section('/', -1);
    } else if (line.startsWith("Rss:")) {
      kilobytes[kind] += line.mid(4).trimmed().split(' ').first().toLongLong();
    }
  }
  std::multimap<qint64, QString, std::greater<>> ordered;
  for (const auto& [name, size] : kilobytes)
    ordered.emplace(size, name);
  for (const auto& [size, name] : ordered) {
    if (size >= 256)
      out << "  " << QString::number(size / 1024.0, 'f', 1).rightJustified(6) << " MB  " << name << Qt::endl;
  }
}

// The resident memory of a minimal Qt Widgets program with a tray icon and a shown window,
// settled for `seconds`, in kilobytes.
qint64 minimalTrayResident(double seconds) {
  QProcess minimal;
  minimal.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  minimal.start(QStringLiteral(BRINDLEWICK_MINIMAL_TRAY), {});
  if (!minimal.waitForStarted())
    return 0;
  serve(seconds);
  const qint64 resident = sample(minimal.processId()).rssKb;
  out << "minimal Qt Widgets program with a tray icon and a shown window: VmRSS "
      << QString::number(resident / 1024.0, 'f', 1) << " MB" << Qt::endl;
  breakdown(minimal.processId());
  minimal.terminate();
  minimal.waitForFinished(5000);
  return resident;
}

} // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  QStringList arguments = QCoreApplication::arguments();
  const bool teaserOnly = arguments.removeAll(u"--teaser-only"_s) > 0;
  if (arguments.size() != 2) {
    QTextStream(stderr) << "usage: brindlewick-measure-idle [--teaser-only] <brindlewick built with a "
                           "development authority>\n";
    return 2;
  }
  X11Windows display;
  if (qEnvironmentVariable("BRINDLEWICK_SECRET_SERVICE") != "running"_L1 || !display.ok()) {
    QTextStream(stderr)
        << "measure-idle: needs an X display and a running Secret Service (scripts/measure-idle)\n";
    return 2;
  }

  // The stand-in: one reader with a session, deliveries paused so no drop falls due.
  TestCertificateAuthority authority;
  ReadingService service(authority.issueServerIdentity());
  const QString reader = u"sample-reader"_s;
  service.accounts().addReader({reader, u"Sample Reader"_s, u"reader@example.com"_s, {}});
  ReaderPreferences preferences;
  preferences.onboardingComplete = true;
  preferences.schedule.setPaused(true);
  service.accounts().setPreferences(reader, preferences);
  service.content().publishSampleRelease();
  service.listen();
  const QUrl base = service.baseURL();
  out << "schedule: " << Json::serialize(preferences.toJson().value("schedule"_L1)) << Qt::endl;

  // The application in a folder of its own, beside a configuration naming the stand-in.
  QTemporaryDir folder;
  const QString program =
      installDevelopmentCopy(arguments[1], folder.path(), base, authority.certificate().toPem());
  if (program.isEmpty()) {
    QTextStream(stderr) << "measure-idle: cannot set up " << folder.path() << '\n';
    return 1;
  }
  KeychainStorage keyring(u"app.brindlewick.credentials"_s);
  const QByteArray credential =
      SessionCredential{service.accounts().openSession(reader), reader, false}.toJson();
  finishTask(keyring.write(credential, AccountKeys::credentialKey(base))).get();

  QProcess app;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
  app.setProcessEnvironment(environment);
  app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  app.start(program, {});
  if (!app.waitForStarted()) {
    QTextStream(stderr) << "measure-idle: " << app.errorString() << '\n';
    return 1;
  }
  const qint64 pid = app.processId();

  // Settled: ten seconds without a request.
  qsizetype seen = -1;
  QElapsedTimer quiet;
  while (seen != service.requestLog().size() || quiet.elapsed() < 10000) {
    if (seen != service.requestLog().size()) {
      seen = service.requestLog().size();
      quiet.start();
    }
    serve(0.5);
  }
  QStringList requests;
  for (const LoggedRequest& request : service.requestLog())
    requests << QString::fromLatin1(request.method) + u' ' + request.path;
  out << "settled after: " << requests.join(", "_L1) << Qt::endl;

  const auto closeWindows = [&] {
    const QList<xcb_window_t> windows = display.mappedWindowsOf(pid, true);
    for (const xcb_window_t window : windows)
      display.requestClose(window);
    return windows.size();
  };
  Sample before;
  Sample after;
  qint64 closedResident = 0;
  qint64 openResident = 0;
  if (!teaserOnly) {
    const qsizetype closed = closeWindows();
    serve(2);
    before = sample(pid);
    serve(60);
    after = sample(pid);
    report(u"reader window closed (%1 closed), 60 s"_s.arg(closed), before, after, 60);
    closedResident = after.rssKb;
    breakdown(pid);

    QProcess::execute(program, {u"--discover"_s});
    serve(3);
    display.openFocusedWindow(QRect(0, 600, 300, 200));
    serve(3);
    before = sample(pid);
    serve(60);
    after = sample(pid);
    report(u"reader window open, not focused, 60 s"_s, before, after, 60);
    openResident = after.rssKb;
    breakdown(pid);
  }

  // A teaser left alone: its rim's glint keeps travelling.
  closeWindows();
  serve(2);
  QProcess::execute(program, {u"--show"_s});
  serve(3);
  before = sample(pid);
  serve(60);
  after = sample(pid);
  report(u"teaser shown and left alone, 60 s"_s, before, after, 60);
  out << "requests while measured: " << service.requestLog().size() - seen << Qt::endl;
  wakeupsByThread(before, after, 60);

  const qint64 minimal = teaserOnly ? 0 : minimalTrayResident(10);
  if (minimal > 0) {
    out << "against the minimal program: " << QString::number(double(closedResident) / minimal, 'f', 2)
        << "x with the window closed (target 1.6x), "
        << QString::number(double(openResident) / minimal, 'f', 2) << "x with it open (target 2x)"
        << Qt::endl;
  }

  app.terminate();
  app.waitForFinished(5000);
  return 0;
}

// What Brindlewick costs while it waits: the real application, signed in to an in-process
// stand-in with the sample release installed and deliveries paused, measured from outside
// through /proc after it has settled: 60 s with the reader window closed (as a window
// manager's close button does it) and 60 s with it open behind another window. Run it through
// scripts/measure-idle, which gives it a display and a keyring.
#include "AsyncProbe.h"
#include "ReadingService.h"
#include "TestCertificateAuthority.h"
#include "account/AccountContracts.h"
#include "desktop/KeychainStorage.h"
#include "foundation/Json.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <xcb/xcb.h>

#include <map>

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
  std::map<QString, qint64> switchesByThread; // voluntary plus involuntary, per task
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
  Sample taken{field(status, "VmHWM"), field(status, "VmRSS"), {}};
  // The process's own status counts its main thread only.
  for (const QString& task : QDir(proc + u"/task"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    const QByteArray taskStatus = readAll(proc + u"/task/"_s + task + u"/status"_s);
    taken.switchesByThread[task] =
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
  out << what << ": VmHWM " << megabytes(after.hwmKb) << " MB, VmRSS " << megabytes(after.rssKb)
      << " MB, threads " << after.switchesByThread.size() << ", wakeups per minute "
      << qRound(wakeups * 60 / seconds) << Qt::endl;
}

// The X server as a window manager sees it: the application's top-level windows, a close
// request, and a window of our own that takes the input focus.
class Display {
public:
  Display() : m_connection(xcb_connect(nullptr, nullptr)) {
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
  }
  ~Display() { xcb_disconnect(m_connection); }
  bool ok() const { return !xcb_connection_has_error(m_connection); }

  xcb_atom_t atom(const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, strlen(name), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
  }

  // Mapped top-level windows that carry `pid` as their _NET_WM_PID and speak WM_DELETE_WINDOW.
  QList<xcb_window_t> closableWindows(qint64 pid) {
    QList<xcb_window_t> found;
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, m_root), nullptr);
    if (!tree)
      return found;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
      xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
          m_connection, xcb_get_window_attributes(m_connection, children[i]), nullptr);
      const bool mapped =
          attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE && !attributes->override_redirect;
      free(attributes);
      if (mapped && cardinal(children[i], atom("_NET_WM_PID")) == pid && speaksDelete(children[i]))
        found << children[i];
    }
    free(tree);
    return found;
  }

  void requestClose(xcb_window_t window) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom("WM_PROTOCOLS");
    event.data.data32[0] = atom("WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_flush(m_connection);
  }

  // Maps a plain window of our own and gives it the input focus.
  void focusOwnWindow() {
    const xcb_window_t window = xcb_generate_id(m_connection);
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, m_root, 0, 600, 300, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_map_window(m_connection, window);
    xcb_aux_sync();
    xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    xcb_flush(m_connection);
  }

private:
  void xcb_aux_sync() {
    free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
  }

  qint64 cardinal(xcb_window_t window, xcb_atom_t property) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, property, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    qint64 value = -1;
    if (reply && xcb_get_property_value_length(reply) >= 4)
      value = *static_cast<const quint32*>(xcb_get_property_value(reply));
    free(reply);
    return value;
  }

  bool speaksDelete(xcb_window_t window) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, atom("WM_PROTOCOLS"), XCB_ATOM_ATOM, 0, 16),
        nullptr);
    bool speaks = false;
    if (reply) {
      const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
      for (int i = 0; i < xcb_get_property_value_length(reply) / 4; ++i)
        speaks = speaks || atoms[i] == atom("WM_DELETE_WINDOW");
    }
    free(reply);
    return speaks;
  }

  xcb_connection_t* m_connection;
  xcb_window_t m_root;
};

bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() != 2) {
    QTextStream(stderr)
        << "usage: brindlewick-measure-idle <brindlewick built with a development authority>\n";
    return 2;
  }
  Display display;
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
  const QString program = folder.filePath(u"brindlewick"_s);
  const QString caFile = folder.filePath(u"ca.pem"_s);
  const QJsonObject configuration{{u"BrindlewickAPIBaseURL"_s, base.toString()},
                                  {u"BrindlewickDevelopmentCA"_s, caFile},
                                  {u"CFBundleShortVersionString"_s, u"0.1.0"_s}};
  if (!QFile::copy(arguments[1], program) || !writeFile(caFile, authority.certificate().toPem()) ||
      !writeFile(folder.filePath(u"brindlewick-configuration.json"_s), Json::serialize(configuration))) {
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

  const QList<xcb_window_t> windows = display.closableWindows(pid);
  for (const xcb_window_t window : windows)
    display.requestClose(window);
  serve(2);
  Sample before = sample(pid);
  serve(60);
  report(u"reader window closed (%1 closed), 60 s"_s.arg(windows.size()), before, sample(pid), 60);

  QProcess::execute(program, {u"--discover"_s});
  serve(3);
  display.focusOwnWindow();
  serve(3);
  before = sample(pid);
  serve(60);
  report(u"reader window open, not focused, 60 s"_s, before, sample(pid), 60);
  out << "requests while measured: " << service.requestLog().size() - seen << Qt::endl;

  app.terminate();
  app.waitForFinished(5000);
  return 0;
}

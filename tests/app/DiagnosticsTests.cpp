#include "VirtualDelayScheduler.h"
#include "app/Diagnostics.h"
#include "app/PanelSmokeTest.h"
#include "desktop/FakeDesktop.h"
#include "desktop/ScreenSource.h"
#include "panel/PanelController.h"

#include "AsyncProbe.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace brindlewick;

namespace {

// The real program with its own home, configuration, data and runtime folders, so that it
// neither finds nor forwards to the developer's running copy.
struct Program {
  QTemporaryDir home;
  QProcess process;

  QString data() const { return home.filePath(QStringLiteral("data")); }

  void start(const QStringList& arguments) {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data());
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral("cache")));
    const QString runtime = home.filePath(QStringLiteral("runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Everything the sanitizer build needs to keep reporting.
    for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS", "PATH"}) {
      if (qEnvironmentVariableIsSet(name))
        environment.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
    }
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(BRINDLEWICK_EXECUTABLE), arguments);
  }

  int finish() {
    if (!process.waitForFinished(30000))
      return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  }
};

// Every object's keys appear in sorted order in the text.
void expectSortedKeys(const QJsonObject& object, const QByteArray& text) {
  qsizetype last = -1;
  for (const QString& key : object.keys()) {
    const qsizetype at = text.indexOf("\"" + key.toUtf8() + "\":", last + 1);
    EXPECT_GT(at, last) << key.toStdString();
    last = at;
  }
}

} // namespace

TEST(Diagnostics, TheReportIsValidSortedJsonWithNeutralValues) {
  Program program;
  program.start({"--diagnostics"});
  ASSERT_EQ(program.finish(), 0) << program.process.readAllStandardError().toStdString();
  const QByteArray text = program.process.readAllStandardOutput();
  QJsonParseError error;
  const QJsonDocument document = QJsonDocument::fromJson(text, &error);
  ASSERT_TRUE(document.isObject()) << error.errorString().toStdString();
  const QJsonObject report = document.object();
  EXPECT_EQ(report.keys(),
            (QStringList{"activeAppReportsFullScreen", "appActive", "automaticProbeAllowed", "frontmostPID",
                         "os", "presentationOptionsRaw", "screens", "separateSpaces"}));
  expectSortedKeys(report, text);
  EXPECT_EQ(report.value("frontmostPID"), QJsonValue(-1));
  EXPECT_EQ(report.value("presentationOptionsRaw"), QJsonValue(0));
  const QJsonArray screens = report.value("screens").toArray();
  ASSERT_FALSE(screens.isEmpty());
  const QJsonObject screen = screens[0].toObject();
  EXPECT_EQ(screen.value("anchorMode"), QJsonValue("fallbackHUD"));
  EXPECT_EQ(screen.value("auxiliaryLeft").toObject(),
            (QJsonObject{{"x", 0}, {"y", 0}, {"width", 0}, {"height", 0}}));
  expectSortedKeys(screen, text.mid(text.indexOf("\"screens\"")));
  EXPECT_TRUE(text.endsWith("}\n"));
}

TEST(Diagnostics, ANumberJsonCannotCarryIsReportedOnStandardErrorOnly) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ASSERT_TRUE(out && err);
  EXPECT_FALSE(Diagnostics::printJSON(QJsonObject{{"safeTop", std::nan("")}}, out, err));
  EXPECT_EQ(std::ftell(out), 0);
  std::rewind(err);
  char line[256] = {};
  ASSERT_NE(std::fgets(line, sizeof line, err), nullptr);
  EXPECT_TRUE(QByteArray(line).startsWith("Cannot encode diagnostics: ")) << line;
  EXPECT_TRUE(QByteArray(line).endsWith("\n"));
  std::fclose(out);
  std::fclose(err);
}

TEST(Diagnostics, AStoreThatIsNotADatabaseStopsTheStartWithItsLineAndIsLeftAsItWas) {
  Program program;
  const QString store = program.data() + QStringLiteral("/app.brindlewick/Brindlewick.store");
  ASSERT_TRUE(QDir().mkpath(QFileInfo(store).absolutePath()));
  const QByteArray garbage = QByteArray("this is not a database\n").repeated(200);
  {
    QFile file(store);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(garbage);
  }
  program.start({});
  // The start-up alert then waits for the reader; the line is what a script sees (Qt may
  // log lines of its own around it).
  const QByteArray prefix = "Brindlewick initialization failed: ";
  QByteArray errors;
  const auto failureLine = [&]() -> QByteArray {
    const qsizetype start = errors.indexOf(prefix);
    const qsizetype end = start < 0 ? -1 : errors.indexOf('\n', start);
    return end < 0 ? QByteArray() : errors.mid(start, end - start);
  };
  for (int i = 0; i < 300 && failureLine().isEmpty(); ++i) {
    program.process.waitForReadyRead(100);
    errors += program.process.readAllStandardError();
  }
  program.process.kill();
  program.process.waitForFinished(10000);
  EXPECT_GT(failureLine().size(), prefix.size()) << errors.toStdString();
  EXPECT_EQ(program.process.readAllStandardOutput(), "");
  QFile file(store);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), garbage);
}

TEST(PanelSmokeTest, WithoutATrayTheRealModeFails) {
  Program program;
  program.start({"--smoke-panel"});
  const int status = program.finish();
  EXPECT_TRUE(status == 1 || status == 2) << status;
  const QJsonObject verdict = QJsonDocument::fromJson(program.process.readAllStandardOutput()).object();
  EXPECT_EQ(verdict.value("statusMenuItemCount"), QJsonValue(0));
  EXPECT_EQ(verdict.value("statusItemCreated"), QJsonValue(false));
  EXPECT_NE(verdict.value("outcome"), QJsonValue("passed sampled smoke checks"));
}

TEST(PanelSmokeTest, TheVerdictFollowsTheProbes) {
  struct Row {
    const char* name;
    std::optional<qint32> initialPid;
    qsizetype menuItems;
    bool fullScreen;
    int activeAtSample; // the application comes to the front at this sample (-1 never)
    int coveredAtSample;
    int status;
    const char* outcome;
  };
  const Row rows[] = {
      {"passes", 4242, 5, false, -1, -1, 0, "passed sampled smoke checks"},
      {"no front application at start", std::nullopt, 5, false, -1, -1, 1, "inconclusive or checks failed"},
      {"four menu items", 4242, 4, false, -1, -1, 1, "inconclusive or checks failed"},
      {"activated at the third sample", 4242, 5, false, 2, -1, 1, "inconclusive or checks failed"},
      {"covered at the last sample", 4242, 5, false, -1, 3, 1, "inconclusive or checks failed"},
      {"front application in full screen", 4242, 5, true, -1, -1, 2, "skipped"},
  };
  for (const Row& row : rows) {
    const SimulatedScreenSource screens(
        {ScreenDescription{QStringLiteral("DP-1"), 1,
                           ScreenGeometry({0, 0, 1920, 1080}, {0, 0, 1920, 1050}, 0, {}, {}, false)}},
        0);
    FakeDesktop desktop;
    desktop.fullScreen.fullScreen = row.fullScreen;
    PanelController controller(screens, desktop.probes());
    VirtualDelayScheduler scheduler;
    int sample = 0;
    PanelSmokeProbes probes{
        .frontmostPid = [] { return std::optional<qint32>(4242); },
        .applicationActive = [&] { return sample == row.activeAtSample; },
        .panelIsKey = [] { return false; },
        .panelSeen = [&] { return sample != row.coveredAtSample; },
        .snapshot =
            [&] {
              return QJsonObject{{"sample", sample}};
            },
    };
    const auto outcome =
        startTask(runPanelSmokeTest(controller, scheduler, probes, row.initialPid, true, row.menuItems));
    for (; sample < 4 && !outcome->finished; ++sample)
      scheduler.advance(0.25);
    ASSERT_TRUE(outcome->finished) << row.name;
    const PanelSmokeResult& result = outcome->result();
    EXPECT_EQ(result.exitStatus, row.status) << row.name;
    EXPECT_EQ(result.verdict.value("outcome"), QJsonValue(row.outcome)) << row.name;
    EXPECT_EQ(result.verdict.value("initialFrontmostPID"), QJsonValue(row.initialPid ? *row.initialPid : -1));
    if (row.status == 2) {
      EXPECT_EQ(result.verdict.value("reason"), QJsonValue("suppressed: active app reports fullScreen"));
      EXPECT_FALSE(result.verdict.contains("samples"));
    } else {
      EXPECT_EQ(result.verdict.value("samples").toArray().size(), 4) << row.name;
      EXPECT_TRUE(result.verdict.contains("afterDismiss"));
      EXPECT_FALSE(controller.panel().isVisible()) << row.name;
    }
  }
}

// The style is what the panel is made as; taking the keyboard for a reading card changes
// whether it can become key, never that style.
TEST(Diagnostics, ThePanelsStyleStaysNonActivatingWhileItTakesTheKeyboard) {
  const SimulatedScreenSource screens(
      {ScreenDescription{QStringLiteral("DP-1"), 1,
                         ScreenGeometry({0, 0, 1920, 1080}, {0, 0, 1920, 1050}, 0, {}, {}, false)}},
      0);
  FakeDesktop desktop;
  PanelController controller(screens, desktop.probes());
  const Diagnostics::Sources sources{screens, desktop.probes()};
  for (const bool accepts : {false, true, false}) {
    controller.panel().setAcceptsKeyboardFocus(accepts);
    const QJsonObject panel = Diagnostics::snapshot(sources, &controller).value("panel").toObject();
    EXPECT_EQ(panel.value("canBecomeKey"), QJsonValue(accepts));
    EXPECT_EQ(panel.value("nonactivatingStyle"), QJsonValue(true)) << "accepting focus: " << accepts;
  }
}

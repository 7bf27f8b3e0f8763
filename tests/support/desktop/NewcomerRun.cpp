#include "desktop/NewcomerRun.h"

#include "ReadingService.h"
#include "desktop/AccessibilityTree.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace brindlewick {

Program::~Program() {
  if (state() == QProcess::NotRunning)
    return;
  terminate();
  if (!waitForFinished(5000)) {
    kill();
    waitForFinished();
  }
  EXPECT_EQ(state(), QProcess::NotRunning) << "a started program outlived the test";
}

Newcomer::Newcomer(const QString& program, const QString& home) : m_program(program), m_home(home) {
  for (const char* folder : {"config", "data", "cache", "runtime", "bin"})
    QDir(home).mkpath(QString::fromLatin1(folder));
  QFile::setPermissions(path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QFile stub(path("bin/xdg-open"));
  stub.open(QIODevice::WriteOnly);
  stub.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"" + path("opened").toUtf8() + "\"\n");
  stub.close();
  stub.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

  m_environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"BROWSER", "DEFAULT_BROWSER", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"})
    m_environment.remove(QString::fromLatin1(name));
  m_environment.insert(QStringLiteral("HOME"), home);
  m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path("config"));
  m_environment.insert(QStringLiteral("XDG_DATA_HOME"), path("data"));
  m_environment.insert(QStringLiteral("XDG_CACHE_HOME"), path("cache"));
  m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("runtime"));
  m_environment.insert(QStringLiteral("PATH"),
                       path("bin") + u':' + m_environment.value(QStringLiteral("PATH")));
  m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  m_environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
}

QString Newcomer::path(const char* relative) const {
  return QDir(m_home).filePath(QString::fromLatin1(relative));
}

QStringList Newcomer::opened() const {
  QFile file(path("opened"));
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)
                                        : QStringList();
}

void Newcomer::start(Program& program, const QStringList& arguments) const {
  program.setProcessEnvironment(m_environment);
  program.setProcessChannelMode(QProcess::ForwardedChannels);
  program.start(m_program, arguments);
}

int Newcomer::launchAgain(const QStringList& arguments) const {
  Program second;
  start(second, arguments);
  if (!QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, waitMilliseconds))
    return -1;
  return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
}

QString missingDesktop(const AccessibilityTree& tree) {
  if (QGuiApplication::platformName() != QLatin1String("xcb"))
    return QStringLiteral(
        "needs an X11 display: install xvfb so that CTest runs this inside a private Xvfb server");
  if (qEnvironmentVariable("BRINDLEWICK_SECRET_SERVICE") != QLatin1String("running"))
    return QStringLiteral("needs gnome-keyring in a private session (scripts/install-deps installs it)");
  if (!tree.ok())
    return QStringLiteral(
        "the session offers no accessibility bus (scripts/install-deps installs at-spi2-core)");
  return {};
}

void approveEverySignIn(ReadingService& service, const StandInAccounts::Reader& reader) {
  service.accounts().addReader(reader);
  service.grants().setBrowserReader(reader.id);
  service.grants().setAutoApproveAfter(1);
  service.grants().setTiming(DeviceGrants::defaultExpiresIn, 1);
  service.content().publishSampleRelease();
  service.listen();
}

} // namespace brindlewick

// What a screen reader meets in the real program, read over the accessibility bus: the
// onboarding, each page reached through its sidebar row's own action, the library's rows,
// the reading page, and the window beneath the account dropdown while it is open and after.
#include "DevelopmentCopy.h"
#include "ReadingService.h"
#include "TestCertificateAuthority.h"
#include "TestOutput.h"
#include "desktop/AccessibilityEvents.h"
#include "desktop/AccessibilityTree.h"
#include "desktop/NewcomerRun.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace brindlewick {
namespace {

#if defined(BRINDLEWICK_HAVE_XCB) && defined(BRINDLEWICK_DEVELOPMENT_EXECUTABLE)

using Element = AccessibilityTree::Element;
using Elements = QList<Element>;
using Role = AccessibilityTree::Role;
using State = AccessibilityTree::State;

constexpr int kWaitMilliseconds = Newcomer::waitMilliseconds;
constexpr AccessibilityTree::Filter everything{.showing = false, .enabled = false};

// What the reader walks once `ready` holds for it, or when the wait runs out (the caller
// checks what it needs).
Elements walkWhen(AccessibilityTree& tree, qint64 pid, const std::function<bool(const Elements&)>& ready) {
  Elements elements;
  static_cast<void>(QTest::qWaitFor(
      [&] {
        elements = tree.elements(pid);
        return ready(elements);
      },
      kWaitMilliseconds));
  return elements;
}

const Element* first(const Elements& elements, Role role, const std::function<bool(const QString&)>& name) {
  for (const Element& element : elements)
    if (element.is(role) && name(element.name))
      return &element;
  return nullptr;
}

const Element* named(const Elements& elements, Role role, const QString& name) {
  return first(elements, role, [&](const QString& candidate) { return candidate == name; });
}

int countOf(const Elements& elements, Role role, const QString& name) {
  return int(std::count_if(elements.begin(), elements.end(),
                           [&](const Element& element) { return element.is(role) && element.name == name; }));
}

// What a reader hears as an unlabelled something: an object with no name and nothing inside
// (a scroll bar is read by its position).
QStringList unlabelled(const Elements& elements) {
  QStringList found;
  for (const Element& element : elements)
    if (element.name.isEmpty() && element.children == 0 && element.roleName != QLatin1String("scroll bar"))
      found.append(element.roleName);
  return found;
}

void keep(const QString& name, const Elements& elements) {
  QFile file(testing::testOutputPath(name));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(AccessibilityTree::dump(elements).toUtf8() + '\n');
}

TEST(ScreenReader, HearsHeadingsNotDecorationsAndOnlyWhatIsInFront) {
  AccessibilityTree tree;
  if (const QString missing = missingDesktop(tree); !missing.isEmpty())
    GTEST_SKIP() << missing.toStdString();

  TestCertificateAuthority authority;
  ReadingService service(authority.issueServerIdentity());
  approveEverySignIn(
      service,
      {QStringLiteral("listener"), QStringLiteral("Lee Listener"), QStringLiteral("lee@example.com"), {}});
  const QJsonArray lore = QJsonDocument::fromJson(service.content().current()->body)
                              .object()
                              .value(QStringLiteral("lore"))
                              .toArray();
  ASSERT_FALSE(lore.isEmpty());

  QTemporaryDir folder;
  ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("program")));
  const QString copy = installDevelopmentCopy(QStringLiteral(BRINDLEWICK_DEVELOPMENT_EXECUTABLE),
                                              folder.filePath(QStringLiteral("program")), service.baseURL(),
                                              authority.certificate().toPem());
  ASSERT_FALSE(copy.isEmpty());
  const Newcomer newcomer(copy, folder.filePath(QStringLiteral("home")));
  Program program;
  newcomer.start(program);
  ASSERT_TRUE(program.waitForStarted());
  const qint64 pid = program.processId();

  // 1. The onboarding over the empty window: its title is a heading, its icon and sky are
  //    not read, and nothing of the window beneath is in the tree.
  Elements seen = walkWhen(tree, pid, [](const Elements& e) {
    return named(e, Role::pushButton, QStringLiteral("Get started")) != nullptr;
  });
  EXPECT_NE(named(seen, Role::heading, QStringLiteral("Brindlewick")), nullptr)
      << AccessibilityTree::dump(seen).toStdString();
  EXPECT_EQ(unlabelled(seen), QStringList()) << AccessibilityTree::dump(seen).toStdString();
  ASSERT_TRUE(tree.pressSettled(pid, Role::pushButton, QStringLiteral("Get started"), kWaitMilliseconds));
  seen = walkWhen(tree, pid, [](const Elements& e) {
    return named(e, Role::heading, QStringLiteral("Sign in to receive your drops.")) != nullptr;
  });
  EXPECT_NE(named(seen, Role::heading, QStringLiteral("Sign in to receive your drops.")), nullptr);
  EXPECT_EQ(named(seen, Role::heading, QStringLiteral("Brindlewick")), nullptr)
      << "the page that left is read";
  EXPECT_EQ(countOf(tree.elements(pid, everything), Role::pushButton, QStringLiteral("Continue with Google")),
            1)
      << "the covered window's own sign-in is still in the tree";
  keep(QStringLiteral("screen-reader-onboarding.txt"), seen);

  // 2. Signed in, the window opens on the dashboard: its greeting is a heading.
  ASSERT_TRUE(
      tree.pressSettled(pid, Role::pushButton, QStringLiteral("Continue with Google"), kWaitMilliseconds));
  seen = walkWhen(tree, pid, [](const Elements& e) {
    return named(e, Role::pageTab, QStringLiteral("Home")) != nullptr &&
           named(e, Role::heading, QStringLiteral("Sign in to receive your drops.")) == nullptr &&
           first(e, Role::heading,
                 [](const QString& name) { return name.startsWith(QStringLiteral("Good ")); });
  });
  ASSERT_NE(named(seen, Role::pageTab, QStringLiteral("Home")), nullptr)
      << AccessibilityTree::dump(seen).toStdString();
  EXPECT_TRUE(named(seen, Role::pageTab, QStringLiteral("Home"))->has(State::selected));
  EXPECT_EQ(unlabelled(seen), QStringList()) << AccessibilityTree::dump(seen).toStdString();
  keep(QStringLiteral("screen-reader-dashboard.txt"), seen);

  // 3. Each page through its row's own action: the row is then the selected tab, and the
  //    page's title is a heading.
  const struct {
    const char* row;
    QStringList headings;
  } pages[] = {
      {"Saved", {"Saved", "No saved ideas yet"}},
      {"Settings", {"Settings"}},
      {"Library", {"Library"}},
  };
  for (const auto& page : pages) {
    const QString row = QString::fromLatin1(page.row);
    const std::optional<AccessibilityTree::Node> tab = tree.find(pid, Role::pageTab, row);
    ASSERT_TRUE(tab.has_value()) << page.row;
    ASSERT_TRUE(tree.press(*tab)) << page.row;
    seen = walkWhen(tree, pid, [&](const Elements& e) {
      const Element* lit = named(e, Role::pageTab, row);
      if (lit == nullptr || !lit->has(State::selected))
        return false;
      for (const QString& heading : page.headings)
        if (named(e, Role::heading, heading) == nullptr)
          return false;
      return true;
    });
    for (const QString& heading : page.headings)
      EXPECT_NE(named(seen, Role::heading, heading), nullptr) << page.row << ": " << heading.toStdString();
    EXPECT_TRUE(named(seen, Role::pageTab, row) != nullptr &&
                named(seen, Role::pageTab, row)->has(State::selected))
        << page.row;
    EXPECT_EQ(unlabelled(seen), QStringList()) << page.row << "\n"
                                               << AccessibilityTree::dump(seen).toStdString();
  }

  // 4. A library row reads what it shows (the explanation and the books), never the
  //    headline it does not show; its action opens the reading page, whose explanation is
  //    its heading.
  const Element* row = nullptr;
  QJsonObject idea;
  const auto findRow = [&](const Elements& e) {
    for (const QJsonValue& value : lore) {
      idea = value.toObject();
      const QString explanation = idea.value(QStringLiteral("explanation")).toString();
      row = first(e, Role::pushButton, [&](const QString& name) { return name.contains(explanation); });
      if (row != nullptr)
        return true;
    }
    return false;
  };
  seen = walkWhen(tree, pid, findRow); // the release arrives after the sign-in
  ASSERT_TRUE(findRow(seen)) << AccessibilityTree::dump(seen).toStdString();
  EXPECT_FALSE(row->name.contains(idea.value(QStringLiteral("headline")).toString()))
      << row->name.toStdString();
  const QString explanation = idea.value(QStringLiteral("explanation")).toString();
  ASSERT_TRUE(tree.press(row->node));
  seen =
      walkWhen(tree, pid, [&](const Elements& e) { return named(e, Role::heading, explanation) != nullptr; });
  EXPECT_NE(named(seen, Role::heading, explanation), nullptr) << AccessibilityTree::dump(seen).toStdString();

  // 5. The account dropdown is modal: while it is open only it and the toolbar are in the
  //    tree, its header is one element, and closing it brings the window back.
  const std::optional<QString> application = tree.applicationOf(pid);
  ASSERT_TRUE(application.has_value());
  AccessibilityEvents events(tree.connection());
  ASSERT_TRUE(events.ok()) << "the registry took no listener";
  QTest::qWait(500); // the program hears of the listener
  events.take(*application);
  ASSERT_TRUE(tree.pressSettled(pid, Role::pushButton, QStringLiteral("Your account"), kWaitMilliseconds));
  seen = walkWhen(tree, pid, [](const Elements& e) {
    return first(e, Role::pageTab, [](const QString&) { return true; }) == nullptr &&
           named(e, Role::pushButton, QStringLiteral("Sign out")) != nullptr;
  });
  const Element* dropdown = nullptr;
  for (const Element& element : seen)
    if (element.name == QLatin1String("Your account") && element.has(State::modal))
      dropdown = &element;
  EXPECT_NE(dropdown, nullptr) << AccessibilityTree::dump(seen).toStdString();
  EXPECT_EQ(first(seen, Role::pageTab, [](const QString&) { return true; }), nullptr)
      << "the sidebar is read beneath the dropdown";
  EXPECT_EQ(first(seen, Role::heading, [&](const QString& name) { return name == explanation; }), nullptr)
      << "the page is read beneath the dropdown";
  EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](const Element& element) {
    return element.name == QLatin1String("Lee Listener, lee@example.com") && element.children == 0;
  })) << AccessibilityTree::dump(seen).toStdString();
  EXPECT_EQ(unlabelled(seen), QStringList()) << AccessibilityTree::dump(seen).toStdString();
  keep(QStringLiteral("screen-reader-dropdown.txt"), seen);
  // The window beneath stopped showing, and the tree was told its children changed.
  QTest::qWait(300); // the walk above held the events back
  QStringList heard = events.take(*application);
  EXPECT_TRUE(heard.contains(QStringLiteral("StateChanged showing 0"))) << heard.join(u'|').toStdString();
  EXPECT_TRUE(heard.contains(QStringLiteral("ChildrenChanged add"))) << heard.join(u'|').toStdString();

  ASSERT_TRUE(tree.pressSettled(pid, Role::pushButton, QStringLiteral("Your account"), kWaitMilliseconds));
  seen = walkWhen(tree, pid, [&](const Elements& e) {
    return named(e, Role::pageTab, QStringLiteral("Library")) != nullptr &&
           named(e, Role::heading, explanation);
  });
  EXPECT_NE(named(seen, Role::pageTab, QStringLiteral("Library")), nullptr) << "the sidebar never came back";
  EXPECT_NE(named(seen, Role::heading, explanation), nullptr) << "the page never came back";
  QTest::qWait(300);
  heard = events.take(*application);
  EXPECT_TRUE(heard.contains(QStringLiteral("StateChanged showing 1"))) << heard.join(u'|').toStdString();
  EXPECT_TRUE(heard.contains(QStringLiteral("ChildrenChanged add"))) << heard.join(u'|').toStdString();
}

#else

TEST(ScreenReader, HearsHeadingsNotDecorationsAndOnlyWhatIsInFront) {
  GTEST_SKIP() << "needs libxcb and the program built with the development trust (BRINDLEWICK_BENCH=ON)";
}

#endif

} // namespace
} // namespace brindlewick

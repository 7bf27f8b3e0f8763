#include "app/QtCommandLine.h"

#include <array>

namespace brindlewick {

namespace {

// Qt's own options, as the application object, the platform integration and the X11 plugin
// take them out of argv.
constexpr std::array<QStringView, 17> optionsWithValue = {
    u"-platform", u"-platformpluginpath", u"-platformtheme", u"-plugin",      u"-qwindowgeometry",
    u"-geometry", u"-qwindowtitle",       u"-title",         u"-qwindowicon", u"-icon",
    u"-style",    u"-stylesheet",         u"-session",       u"-display",     u"-name",
    u"-visual",   u"-qmljsdebugger"};
constexpr std::array<QStringView, 6> flags = {u"-reverse", u"-widgetcount", u"-testability",
                                              u"-sync",    u"-qdevel",      u"-qdebug"};
// Options that carry their value after "=".
constexpr std::array<QStringView, 3> optionsWithAttachedValue = {u"-style=", u"-stylesheet=",
                                                                 u"-qmljsdebugger="};

bool contains(const auto& list, QStringView option) {
  for (QStringView known : list) {
    if (known == option)
      return true;
  }
  return false;
}

} // namespace

QtCommandLine QtCommandLine::split(const QStringList& arguments) {
  QtCommandLine result;
  for (qsizetype index = 0; index < arguments.size(); ++index) {
    const QString& argument = arguments[index];
    if (index == 0 || !argument.startsWith(u'-')) {
      result.own.append(argument);
      continue;
    }
    // Qt reads "--platform" as "-platform".
    QStringView option(argument);
    if (option.startsWith(u"--"))
      option = option.mid(1);
    if (contains(flags, option))
      continue;
    bool attached = false;
    for (QStringView prefix : optionsWithAttachedValue)
      attached = attached || option.startsWith(prefix);
    if (attached)
      continue;
    if (!contains(optionsWithValue, option)) {
      result.own.append(argument);
      continue;
    }
    if (index + 1 >= arguments.size())
      continue;
    const QString& value = arguments[++index];
    if (option == u"-platform")
      result.platform = value;
    else if (option == u"-display")
      result.display = value;
  }
  return result;
}

} // namespace brindlewick

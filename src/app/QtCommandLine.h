#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace brindlewick {

// A command line split into the options Qt takes for itself (-platform, -display, -style, …,
// with one dash or two) and the rest, the program's own. Qt takes its options out of argv only
// once the application object exists, which needs a display; the program reads its own
// options, and says whether it can reach a display at all, before that.
struct QtCommandLine {
  // The program path and the program's own arguments, in order.
  QStringList own;
  // The values Qt would use: "-platform NAME" and X11's "-display NAME".
  std::optional<QString> platform;
  std::optional<QString> display;

  // Splits `arguments` (the program path first) as Qt 6 does: an option that expects a value
  // takes the next argument whatever it is ("-style --show" names a style); a value-taking
  // option at the end takes nothing and is Qt's all the same.
  static QtCommandLine split(const QStringList& arguments);
};

} // namespace brindlewick

#pragma once

#include "content/ContentContracts.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace brindlewick {

// The launcher's actions on Brindlewick (the desktop file's actions, which stand where a
// Dock menu would). Each is one exact argument: "--" and the action's raw value.
enum class LaunchAction {
  discover, // "Open Brindlewick": the reader window on the discover page
  show,     // "Show Drop": a drop now, or the window when no drop can be shown
  library,  // "Saved ideas": the reader window on the saved page
  // The status menu's two entries for the drop on screen, so that a desktop shortcut reaches
  // them: "Focus reader for keyboard" and "Dismiss reader".
  focusReader,
  dismiss,
};

template <> struct ContractEnum<LaunchAction> {
  static constexpr std::string_view name = "LaunchAction";
  static constexpr std::array<std::string_view, 5> wireValues = {"discover", "show", "library",
                                                                 "focus-reader", "dismiss"};
};

// What one start of the reader asks of the running reader: bring its window back, open
// links (the brindlewick: scheme), or perform a launcher action. A second start hands its
// request to the first (SingleInstance); the first start's own request is for the
// application to act on once it has launched.
struct LaunchRequest {
  enum class Kind { reopen, openLinks, action };

  Kind kind = Kind::reopen;
  QStringList links;                            // openLinks: every argument, as written
  LaunchAction action = LaunchAction::discover; // action only
  // The desktop's startup notification for this start: the X11 startup id and the Wayland
  // activation token. The window that answers the request must be activated with them, or
  // the desktop's focus-stealing prevention keeps it behind the window in front.
  QString startupId;
  QString activationToken;

  // The arguments that start the reader, the program path first and Qt's own options already
  // removed (QCoreApplication::arguments()). None: reopen. Exactly one that names an action:
  // that action. Anything else is a list of links; which of them the application acts on is
  // its own decision (only the brindlewick: scheme counts).
  static LaunchRequest fromArguments(const QStringList& arguments);

  // Whether the request acts only on what a running copy shows (the drop on screen): a start
  // that finds no copy running has nothing to do, and must not start the reader for it.
  bool needsRunningCopy() const;
  // Whether carrying the request out opens the reader window: a plain start, a brindlewick: link,
  // or an action other than the drop's two shortcuts.
  bool opensReaderWindow() const;

  // Whether the application acts on `link`: the brindlewick: scheme, as written.
  static bool isReaderLink(QStringView link);

  // The exact argument of each action, and the action an argument names.
  static QString argument(LaunchAction action);
  static std::optional<LaunchAction> actionForArgument(QStringView argument);

  // The compact JSON form that one start sends to another. fromJson refuses anything but
  // exactly that form (unknown kinds, actions and keys, wrong types) with std::nullopt.
  QByteArray toJson() const;
  static std::optional<LaunchRequest> fromJson(const QByteArray& json);

  friend bool operator==(const LaunchRequest&, const LaunchRequest&) = default;
};

template <> struct ContractEnum<LaunchRequest::Kind> {
  static constexpr std::string_view name = "LaunchRequest.Kind";
  static constexpr std::array<std::string_view, 3> wireValues = {"reopen", "openLinks", "action"};
};

} // namespace brindlewick

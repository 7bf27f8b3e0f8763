#pragma once

#include "app/IdleMemoryRelease.h"
#include "app/LaunchRequest.h"
#include "app/ReaderMenus.h"
#include "content/ContentSnapshots.h"
#include "model/ApplicationDefaults.h"
#include "model/ReaderTab.h"
#include "panel/ReadingWindow.h"
#include "ui/update/UpdateWindow.h"
#include "ui/window/ReaderHome.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QAbstractButton;
class QIcon;
class QMessageBox;
class QMenu;
class QSystemTrayIcon;

namespace brindlewick {

class ReaderModel;

// The shell of a normal start: the tray icon and its menu, the reader window with its menu
// bar, and the translation of menu commands, window events, later starts and brindlewick:
// links into calls on the model. Without a model (its construction failed) the shell still
// runs: whatever would open the window shows the start-up alert instead, and whatever needs
// the model does nothing.
//
// Main thread only. The model, when given, must outlive the delegate.
class ReaderAppDelegate final : public QObject {
  Q_OBJECT

public:
  // Shows a modal alert (title, informative text). Tests put their own in.
  using AlertPresenter = std::function<void(const QString& title, const QString& text)>;

  struct Options {
    // Where the reader window's frame is kept.
    QString applicationDefaultsFile = ApplicationDefaults::defaultFilePath();
    AlertPresenter alert = presentAlert;
    // Opens a web address in the default browser (telling the reader when none took it).
    std::function<void(const QUrl&)> openUrl;
    // False leaves the tray icon out (tests that look only at the window).
    bool statusItem = true;
    // How long after the reader looked away memory goes back to the system.
    IdleMemoryRelease::Delays memoryRelease;
  };

  static inline const QString startupAlertTitle = QStringLiteral("Brindlewick could not start");
  static inline const QString unknownStartupFailure = QStringLiteral("Unknown startup failure.");
  static constexpr QSize windowContentSize{960, 680};
  static constexpr QSize minimumReadingSize{960, 640};
  // A window being dragged or resized moves many times a second: its frame is written once it
  // has rested this long (milliseconds), and at once when it hides or closes.
  static constexpr int frameSaveDelay = 250;

  // The tray's monochrome mark, drawn from the logo at the tray's usual sizes.
  static QIcon menuIcon();
  // The text the alert shows when the model could not be built.
  static QString startupErrorText(const QString& description);
  // The alert of a failed start, as a message box (for the default presenter and renders).
  static std::unique_ptr<QMessageBox> makeAlert(const QString& title, const QString& text);
  static void presentAlert(const QString& title, const QString& text);

  // `model` null means its construction failed with `startupError` (already written to
  // standard error by the caller).
  ReaderAppDelegate(ReaderModel* model, std::optional<QString> startupError, Options options);
  ~ReaderAppDelegate() override;

  // The tray icon and its menu, then the reader window on the welcome page (the start-up
  // alert without a model).
  void launch();

  // Opens the reader window (created on first use, then reused) on `tab`, or on the read page
  // with `snapshot`, and brings it forward.
  void open(ReaderTab tab, const std::optional<DropSnapshot>& snapshot = std::nullopt);
  // Hides the window without closing it and re-plans delivery.
  void hideMainWindow();

  // A later start's request, or the first start's own once launched. A window it brings
  // forward is activated with the request's startup notification, which then ends.
  void handle(const LaunchRequest& request);
  // Acts on the first link whose text starts with "brindlewick:" exactly; the rest are ignored.
  void openLinks(const QStringList& links);
  void reopen();
  // While the start-up alert is on screen, a later start that would open the window raises and
  // activates that alert, with the start's own startup notification, rather than leave it under
  // whatever covers it. False when no alert shows or the request would not open the window.
  bool bringStartupAlertForward(const LaunchRequest& request);
  // Whether the start-up alert is on screen, waiting for its answer.
  bool startupAlertShowing() const { return m_startupAlertShowing; }
  // The start-up alert was answered with no tray icon on screen: without a model nothing could
  // reach the shell or quit it any more, so the program is to end (see launchReader).
  bool abandoned() const { return m_abandoned; }

  // The menus' state now, and a command from any menu or shortcut (checked again here).
  MenuState menuState() const;
  void perform(MenuCommand command);

  ReadingWindow* window() const { return m_window; }
  QSystemTrayIcon* statusItem() const { return m_statusItem.get(); }
  // Whether the tray icon is on screen: a tray is there to show it and it was shown.
  bool statusItemShown() const;
  QMenu* statusMenu() const { return m_statusMenu.get(); }
  // The window's content, once the window exists.
  ReaderHome* home() const { return m_home; }
  IdleMemoryRelease& memoryRelease() { return m_memoryRelease; }

Q_SIGNALS:
  // The start-up alert is on screen, from inside its own event loop: what waits to be brought
  // forward can be now.
  void startupAlertShown();
  void abandonedChanged();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  // The update window, and scheduled offers held while the first-run screens show.
  void setUpUpdates(FeedUpdater& updater);
  void createStatusItem();
  void populateStatusMenu();
  void createWindow();
  void carryOut(const LaunchRequest& request);
  void bringForward();
  void endLaunchFeedback();
  void saveFrame();
  void windowHidden();
  void setWindowOpen(bool open);
  void showStartupAlert();
  void showAbout();
  void raiseStartupAlert(const QString& startupId, const QString& activationToken);
  std::optional<DropSnapshot> selectedIdea() const;
  // The reading page's love button, when the menu's love acts on that page's idea.
  QAbstractButton* pageLoveButton() const;
  void forwardToFocusWidget(const char* slot);
  void focusPanelForLaunch();

  ReaderModel* m_model;
  std::optional<QString> m_startupError;
  Options m_options;
  ApplicationDefaults m_defaults;
  std::unique_ptr<QMenu> m_statusMenu;
  std::unique_ptr<QSystemTrayIcon> m_statusItem;
  QPointer<ReadingWindow> m_window;
  QPointer<ReaderHome> m_home;
  bool m_minimized = false;
  // The menu bar's love entry as it reads now: kept while no idea is selected.
  QString m_loveTitle = ReaderMenus::initialLoveTitle;
  // The start whose request is being carried out; its window activation must name it.
  std::optional<LaunchRequest> m_launch;
  // Whether the start-up alert is being answered (it waits in an event loop of its own).
  bool m_startupAlertShowing = false;
  bool m_abandoned = false;
  QTimer m_frameSave;
  IdleMemoryRelease m_memoryRelease;
  // The updater's window, made once when the build runs its own updater.
  std::unique_ptr<UpdateWindow> m_updateWindow;
};

} // namespace brindlewick

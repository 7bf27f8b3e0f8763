#include "app/ReaderAppDelegate.h"

#include "app/ActivationReturn.h"
#include "desktop/WindowActivation.h"
#include "model/ReaderModel.h"
#include "panel/DropPanel.h"
#include "panel/ReadingWindow.h"
#include "ui/design/ButtonShortcut.h"
#include "ui/design/DropMark.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/LinkOpener.h"
#include "ui/window/ReaderHome.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTextDocument>
#include <QTextStream>
#include <QToolBar>
#include <QWindowStateChangeEvent>

#include <algorithm>

#include "app/MenuActions.h"

namespace brindlewick {

namespace {

const QString applicationName = QStringLiteral("Brindlewick");

} // namespace

QIcon ReaderAppDelegate::menuIcon() {
  QIcon icon;
  for (const int side : {16, 22, 24, 32, 48, 64}) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal inset = side / 16.0;
    DropMark::paint(painter, QRectF(inset, inset, side - 2 * inset, side - 2 * inset), Qt::black);
    painter.end();
    icon.addPixmap(pixmap);
  }
  // A mask: the desktop colours it for its panel, light or dark.
  icon.setIsMask(true);
  return icon;
}

QString ReaderAppDelegate::startupErrorText(const QString& description) {
  return QStringLiteral(
             "Brindlewick could not open its local storage or configuration. No data was reset.\n") +
         description;
}

std::unique_ptr<QMessageBox> ReaderAppDelegate::makeAlert(const QString& title, const QString& text) {
  auto box = std::make_unique<QMessageBox>();
  box->setIcon(QMessageBox::Critical);
  box->setWindowTitle(applicationName);
  // The headline in bold above the explanation. The informative label guesses its format and
  // the explanation carries an error from the layers below: it goes in escaped, so that
  // whatever it holds reads as the characters it is.
  box->setTextFormat(Qt::RichText);
  box->setText(QStringLiteral("<b>%1</b>").arg(title.toHtmlEscaped()));
  box->setInformativeText(Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal));
  box->setStandardButtons(QMessageBox::Ok);
  box->setDefaultButton(QMessageBox::Ok);
  // Wide enough that the store's path and the error read as sentences, not a column.
  if (auto* layout = qobject_cast<QGridLayout*>(box->layout()))
    layout->addItem(new QSpacerItem(440, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), layout->rowCount(),
                    0, 1, layout->columnCount());
  return box;
}

void ReaderAppDelegate::presentAlert(const QString& title, const QString& text) {
  makeAlert(title, text)->exec();
}

ReaderAppDelegate::ReaderAppDelegate(ReaderModel* model, std::optional<QString> startupError, Options options)
    : m_model(model), m_startupError(std::move(startupError)), m_options(std::move(options)),
      m_defaults(m_options.applicationDefaultsFile), m_memoryRelease(m_options.memoryRelease) {
  if (!m_options.openUrl)
    m_options.openUrl = [this](const QUrl& url) { LinkOpener::open(m_window, url); };
  m_frameSave.setSingleShot(true);
  m_frameSave.setInterval(frameSaveDelay);
  connect(&m_frameSave, &QTimer::timeout, this, &ReaderAppDelegate::saveFrame);
  if (!m_model)
    return;
  const QPointer<ReaderAppDelegate> self(this);
  m_model->setOpenWindow([self](ReaderTab tab, const std::optional<DropSnapshot>& snapshot) {
    if (self)
      self->open(tab, snapshot);
  });
  m_model->setHideWindow([self] {
    if (self)
      self->hideMainWindow();
  });
  if (auto* updater = qobject_cast<FeedUpdater*>(m_model->updater().backend()))
    setUpUpdates(*updater);
  // Coming to the front asks again whether the session still holds.
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
    if (state == Qt::ApplicationActive)
      m_model->account().recheckAccess();
  });
}

ReaderAppDelegate::~ReaderAppDelegate() {
  if (m_model) {
    m_model->setOpenWindow({});
    m_model->setHideWindow({});
  }
  // The window's own destruction must not reach the filter, which reads this object's state.
  if (m_window) {
    if (m_frameSave.isActive())
      saveFrame();
    m_window->removeEventFilter(this);
    delete m_window.data();
  }
}

void ReaderAppDelegate::setUpUpdates(FeedUpdater& updater) {
  m_updateWindow = std::make_unique<UpdateWindow>(
      updater,
      UpdateWindow::Surroundings{.readerWindow = [this] { return static_cast<const QWidget*>(m_window); },
                                 .screens = &m_model->screens()});
  // Closed, the answer leaves the reader where they asked (on "Check for updates").
  new ActivationReturn(m_updateWindow.get());
  // The first-run screens lie over the reader window while no session is stored: a scheduled
  // offer waits until they are gone (signed in, or the window closed), so that it never covers
  // them before the reader has begun.
  const auto holdWhileOnboarding = [this, &updater] {
    updater.holdScheduledOffers(m_model->windowOpen() && !m_model->account().hasStoredSession());
  };
  holdWhileOnboarding();
  connect(m_model, &ReaderModel::windowOpenChanged, this, holdWhileOnboarding);
  connect(&m_model->account(), &AccountController::hasStoredSessionChanged, this, holdWhileOnboarding);
}

void ReaderAppDelegate::launch() {
  if (m_options.statusItem)
    createStatusItem();
  open(ReaderTab::welcome);
  // Loading the release and the account freed much of what it read.
  m_memoryRelease.launched();
}

// MARK: Status item

void ReaderAppDelegate::createStatusItem() {
  m_statusMenu = std::make_unique<QMenu>();
  // Drawn by us where the tray leaves it to the application: in the scheme of the desktop.
  DropStandardWidgets::adopt(m_statusMenu.get());
  m_statusItem = std::make_unique<QSystemTrayIcon>(menuIcon());
  m_statusItem->setToolTip(applicationName);
  m_statusItem->setContextMenu(m_statusMenu.get());
  populateStatusMenu();
  connect(m_statusMenu.get(), &QMenu::aboutToShow, this, &ReaderAppDelegate::populateStatusMenu);
  // A left click opens the menu too.
  connect(m_statusItem.get(), &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger)
              m_statusMenu->popup(QCursor::pos());
          });
  // Without a tray (no status notifier host, an XEmbed tray not yet running) Qt docks the icon
  // as soon as one appears.
  m_statusItem->show();
}

bool ReaderAppDelegate::statusItemShown() const {
  return m_statusItem && m_statusItem->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void ReaderAppDelegate::populateStatusMenu() {
  MenuActions::fill(*m_statusMenu, ReaderMenus::statusMenu(menuState()),
                    [this](MenuCommand command) { perform(command); });
}

// MARK: Window

void ReaderAppDelegate::open(ReaderTab tab, const std::optional<DropSnapshot>& snapshot) {
  if (!m_model) {
    showStartupAlert();
    return;
  }
  m_model->setWindowOpen(true);
  m_model->panel().dismiss(false);
  if (snapshot)
    m_model->read(*snapshot);
  else
    m_model->setNavigationTab(tab);
  if (!m_window)
    createWindow();
  m_model->reschedule();
  m_minimized = false;
  m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
  m_window->show();
  m_window->raise();
  bringForward();
  // An update offer standing on its own stays above the window from now on.
  if (m_updateWindow)
    m_updateWindow->followReaderWindow();
}

void ReaderAppDelegate::bringForward() {
  // A window manager that prevents focus stealing lets a window forward when the request
  // carries the time of the reader's own action: the one of the launch being carried out.
  QWindow* handle = m_window->windowHandle();
  if (handle && m_launch && (!m_launch->startupId.isEmpty() || !m_launch->activationToken.isEmpty()))
    WindowActivation::activate(*handle, m_launch->startupId, m_launch->activationToken);
  else
    m_window->activateWindow();
}

void ReaderAppDelegate::createWindow() {
  const QRect initial(QPoint(0, 0), windowContentSize);
  m_window = new ReadingWindow(initial, minimumReadingSize);
  m_window->setWindowTitle(applicationName);
  m_window->setAttribute(Qt::WA_DeleteOnClose, false);
  // The toolbar comes before the content, which fills it once.
  auto* toolbar = new QToolBar(m_window);
  m_window->addToolBar(Qt::TopToolBarArea, toolbar);
  m_home = new ReaderHome(*m_model);
  m_home->setToolBar(toolbar);
  m_window->setCentralWidget(m_home);
  MenuActions::install(
      *m_window->menuBar(),
      [this] {
        const MenuState state = menuState();
        // The love entry keeps its title while there is no idea to name.
        m_loveTitle = ReaderMenus::loveTitle(state, m_loveTitle);
        return ReaderMenus::mainMenu(state, m_loveTitle);
      },
      [this](MenuCommand command) { perform(command); });
  m_window->setContentMinimumSize(minimumReadingSize);
  if (const std::optional<QRect> saved = m_defaults.frame(ApplicationDefaults::mainWindowFrameKey)) {
    // A frame below the minimum reading size grows to it.
    m_window->setFrame(*saved);
  } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect centred(QPoint(0, 0), m_window->size());
    centred.moveCenter(screen->availableGeometry().center());
    m_window->setFrame(centred);
  }
  m_window->installEventFilter(this);
}

void ReaderAppDelegate::hideMainWindow() {
  if (m_window)
    m_window->hide();
  setWindowOpen(false);
}

void ReaderAppDelegate::setWindowOpen(bool open) {
  if (!m_model)
    return;
  m_model->setWindowOpen(open);
  if (open)
    m_model->panel().dismiss(false);
  m_model->reschedule();
}

void ReaderAppDelegate::saveFrame() {
  // Saved after every change rather than at quit: the session's end ends the process by signal.
  m_frameSave.stop();
  if (m_window && !m_minimized && !(m_window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
    m_defaults.setFrame(ApplicationDefaults::mainWindowFrameKey, m_window->geometry());
}

bool ReaderAppDelegate::eventFilter(QObject* watched, QEvent* event) {
  if (watched != m_window)
    return false;
  switch (event->type()) {
  case QEvent::Move:
  case QEvent::Resize:
    if (m_window->isVisible())
      m_frameSave.start();
    break;
  case QEvent::Close:
    saveFrame();
    setWindowOpen(false);
    break;
  case QEvent::WindowStateChange: {
    const bool minimized = m_window->windowState() & Qt::WindowMinimized;
    if (minimized != m_minimized) {
      m_minimized = minimized;
      setWindowOpen(!minimized);
    }
    break;
  }
  case QEvent::Hide:
    saveFrame();
    m_memoryRelease.windowHidden();
    // The About box goes with its window when the program hides it (a drop shown on request
    // does), rather than stand alone on screen over nothing; minimized, both stay.
    if (!event->spontaneous())
      for (QMessageBox* box : m_window->findChildren<QMessageBox*>(Qt::FindDirectChildrenOnly))
        box->close();
    break;
  case QEvent::WindowDeactivate: m_memoryRelease.windowDeactivated(); break;
  case QEvent::WindowActivate: m_memoryRelease.windowActivated(); break;
  default: break;
  }
  return false;
}

void ReaderAppDelegate::showStartupAlert() {
  // One alert at a time: whatever opens the window while it shows brings it forward instead.
  if (m_startupAlertShowing) {
    raiseStartupAlert({}, {});
    return;
  }
  m_startupAlertShowing = true;
  // Posted now, delivered by the alert's own loop once the alert is on screen.
  QTimer::singleShot(0, this, [this] {
    if (m_startupAlertShowing)
      Q_EMIT startupAlertShown();
  });
  // Anything may go in the alert's loop, this delegate too.
  const QPointer<ReaderAppDelegate> self(this);
  m_options.alert(startupAlertTitle, m_startupError.value_or(unknownStartupFailure));
  if (!self)
    return;
  m_startupAlertShowing = false;
  // The tray may have gone since the start (its panel ended): whenever the alert is answered
  // with no icon on screen, nothing is left to reach the shell with.
  if (!statusItemShown() && !m_abandoned) {
    m_abandoned = true;
    Q_EMIT abandonedChanged();
  }
}

void ReaderAppDelegate::showAbout() {
  // Opened without waiting for its answer, so that no event loop of its own runs under the menu
  // entry that asked for it. The window, and its menu with it, waits for the answer.
  auto* about = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("About Brindlewick"),
                                applicationName + QLatin1Char(' ') + QCoreApplication::applicationVersion(),
                                QMessageBox::Ok, m_window);
  about->setAttribute(Qt::WA_DeleteOnClose);
  const QIcon icon = QApplication::windowIcon();
  about->setIconPixmap(icon.pixmap(icon.actualSize(QSize(64, 64))));
  about->open();
}

bool ReaderAppDelegate::bringStartupAlertForward(const LaunchRequest& request) {
  if (!m_startupAlertShowing || !request.opensReaderWindow())
    return false;
  raiseStartupAlert(request.startupId, request.activationToken);
  WindowActivation::endLaunchFeedback(request.startupId);
  return true;
}

void ReaderAppDelegate::raiseStartupAlert(const QString& startupId, const QString& activationToken) {
  // The alert is the modal window while it is being answered.
  QWidget* alert = QApplication::activeModalWidget();
  if (!alert || !alert->windowHandle())
    return;
  alert->raise();
  WindowActivation::activate(*alert->windowHandle(), startupId, activationToken);
}

// MARK: Requests and links

void ReaderAppDelegate::handle(const LaunchRequest& request) {
  m_launch = request;
  carryOut(request);
  endLaunchFeedback();
}

void ReaderAppDelegate::endLaunchFeedback() {
  // Whatever the request led to (the window, a drop, nothing), the launch is over: the
  // desktop stops its busy cursor.
  if (m_launch)
    WindowActivation::endLaunchFeedback(m_launch->startupId);
  m_launch.reset();
}

void ReaderAppDelegate::carryOut(const LaunchRequest& request) {
  switch (request.kind) {
  case LaunchRequest::Kind::reopen: reopen(); break;
  case LaunchRequest::Kind::openLinks: openLinks(request.links); break;
  case LaunchRequest::Kind::action:
    switch (request.action) {
    case LaunchAction::discover: perform(MenuCommand::discover); break;
    case LaunchAction::show: perform(MenuCommand::show); break;
    case LaunchAction::library: perform(MenuCommand::library); break;
    // Checked as the menu entries are: nothing unless a teaser or a card is on screen.
    case LaunchAction::focusReader:
      perform(MenuCommand::focusReader);
      focusPanelForLaunch();
      break;
    case LaunchAction::dismiss: perform(MenuCommand::dismiss); break;
    }
    break;
  }
}

void ReaderAppDelegate::focusPanelForLaunch() {
  // The card took the keyboard at the reader's own request (a shortcut that started us): a
  // window manager that prevents focus stealing lets it have it with that request's time.
  if (!m_model || !m_launch || (m_launch->startupId.isEmpty() && m_launch->activationToken.isEmpty()))
    return;
  DropPanel& panel = m_model->panel().panel();
  if (panel.isVisible() && panel.windowHandle() && panel.acceptsKeyboardFocus())
    WindowActivation::activate(*panel.windowHandle(), m_launch->startupId, m_launch->activationToken);
}

void ReaderAppDelegate::reopen() {
  open(m_model ? m_model->navigationTab() : ReaderTab::welcome);
}

void ReaderAppDelegate::openLinks(const QStringList& links) {
  if (std::any_of(links.begin(), links.end(), &LaunchRequest::isReaderLink))
    reopen();
}

// MARK: Menus

std::optional<DropSnapshot> ReaderAppDelegate::selectedIdea() const {
  if (!m_model)
    return std::nullopt;
  if (m_model->panel().panel().isVisible())
    return m_model->current();
  if (m_model->navigationTab() == ReaderTab::read)
    return m_model->detail();
  return std::nullopt;
}

QAbstractButton* ReaderAppDelegate::pageLoveButton() const {
  if (!m_window || !m_window->isVisible() || m_model->panel().panel().isVisible() ||
      m_model->navigationTab() != ReaderTab::read)
    return nullptr;
  return ButtonShortcut::shownButton(m_window, ReaderMenus::commandKey(u'L'));
}

MenuState ReaderAppDelegate::menuState() const {
  MenuState state;
  if (!m_model)
    return state;
  state.hasModel = true;
  state.storageHealthy = m_model->storageHealthy();
  state.signedIn = m_model->account().isSignedIn();
  state.hasStoredSession = m_model->account().hasStoredSession();
  state.paused = m_model->preferences().value().schedule.paused();
  state.panelVisible = m_model->panel().panel().isVisible() || m_model->teaserPanel().panel().isVisible();
  state.collectionBusy = m_model->collectionBusy();
  state.hasSupportURL = m_model->configuration().supportURL().has_value();
  if (const std::optional<DropSnapshot> idea = selectedIdea())
    state.selectedIdea = SelectedIdea{m_model->isLoved(*idea), m_model->canRead(*idea)};
  return state;
}

void ReaderAppDelegate::perform(MenuCommand command) {
  const MenuState state = menuState();
  if (!ReaderMenus::isEnabled(command, state))
    return;
  switch (command) {
  case MenuCommand::none: break;
  case MenuCommand::discover: open(ReaderTab::discover); break;
  case MenuCommand::library: open(ReaderTab::saved); break;
  case MenuCommand::settings: open(ReaderTab::settings); break;
  case MenuCommand::show:
    if (ReaderMenus::canRequestDrop(state))
      m_model->requestDrop();
    else
      open(ReaderTab::welcome);
    break;
  case MenuCommand::focusReader: m_model->focusReader(); break;
  case MenuCommand::dismiss: m_model->dismiss(); break;
  case MenuCommand::pause: m_model->togglePause(); break;
  case MenuCommand::sync:
    // The reader's own request, so a failure is shown.
    if (m_model)
      m_model->refresh(true);
    break;
  case MenuCommand::love:
    // On the reading page the page's own button takes the key, as the page's other keys do.
    if (QAbstractButton* button = pageLoveButton())
      button->click();
    else if (const std::optional<DropSnapshot> idea = selectedIdea())
      m_model->changeCollection(*idea, true);
    break;
  case MenuCommand::openSupport: m_options.openUrl(*m_model->configuration().supportURL()); break;
  case MenuCommand::quit: QApplication::quit(); break;
  case MenuCommand::about: showAbout(); break;
  case MenuCommand::hide: hideMainWindow(); break;
  case MenuCommand::undo: forwardToFocusWidget("undo"); break;
  case MenuCommand::redo: forwardToFocusWidget("redo"); break;
  case MenuCommand::cut: forwardToFocusWidget("cut"); break;
  case MenuCommand::copy: forwardToFocusWidget("copy"); break;
  case MenuCommand::paste: forwardToFocusWidget("paste"); break;
  case MenuCommand::selectAll: forwardToFocusWidget("selectAll"); break;
  case MenuCommand::minimize:
    if (QWidget* active = QApplication::activeWindow())
      active->showMinimized();
    break;
  case MenuCommand::zoom:
    if (QWidget* active = QApplication::activeWindow())
      active->isMaximized() ? active->showNormal() : active->showMaximized();
    break;
  case MenuCommand::close:
    if (QWidget* active = QApplication::activeWindow())
      active->close();
    break;
  }
}

void ReaderAppDelegate::forwardToFocusWidget(const char* slot) {
  // The text widgets' own slots; a widget without the slot ignores the command.
  QWidget* focus = QApplication::focusWidget();
  if (focus && focus->metaObject()->indexOfMethod(QByteArray(slot) + "()") >= 0)
    QMetaObject::invokeMethod(focus, slot);
}

} // namespace brindlewick

// Compiled here rather than in the library's shared moc unit, so that a program that links only
// SingleInstance from this library does not pull the whole shell in with it.
#include "moc_ReaderAppDelegate.cpp"

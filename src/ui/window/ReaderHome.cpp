#include "ui/window/ReaderHome.h"

#include "model/ReaderModel.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/DropFocusRing.h"
#include "ui/design/DropPageEntrance.h"
#include "ui/design/DropReveal.h"
#include "ui/design/DropSearchField.h"
#include "ui/design/DropSidebarSurface.h"
#include "ui/window/AccountDropdown.h"
#include "ui/window/CachedSidebarSurface.h"
#include "ui/window/ReaderPageFactories.h"
#include "ui/window/ReaderSidebar.h"
#include "ui/window/ReaderToolbar.h"
#include "ui/window/ReaderWorkspace.h"
#include "ui/window/WorkspaceBackdrop.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QToolBar>

namespace brindlewick {

ReaderHome::PageIdentity ReaderHome::pageIdentity(const ReaderModel& model) {
  const ReaderTab tab = model.navigationTab();
  if (tab == ReaderTab::read) {
    const std::optional<DropSnapshot>& detail = model.detail();
    if (!detail)
      return {tab};
    return {tab, detail->lore.id + QLatin1Char(':') + QString::number(detail->lore.revision)};
  }
  if (tab == ReaderTab::settings) {
    const std::optional<ReaderAccountUser>& user = model.account().user();
    return {tab, user ? std::optional<QString>(user->id) : std::nullopt};
  }
  return {tab};
}

ReaderHome::ReaderHome(ReaderModel& model, QWidget* parent)
    : QWidget(parent), m_model(model), m_sidebarSurface(new CachedSidebarSurface(this)),
      m_sidebar(new ReaderSidebar(model, this)), m_workspace(new ReaderWorkspace(model, this, this)) {
  setMinimumSize(minimumWidth, minimumHeight);
  UiEnvironment::repaintOnChange(this);
  // The sidebar was made first, so the keyboard visits it before the workspace; the
  // workspace lies beneath it, yet assistive technology, too, meets the sidebar first.
  m_workspace->lower();
  AccessibleRole::setSortPriority(m_sidebar, 1);

  connect(&model, &ReaderModel::navigationTabChanged, this, &ReaderHome::tabChanged);
  connect(&model, &ReaderModel::detailChanged, this, &ReaderHome::updatePage);
  connect(&model.account(), &AccountController::userChanged, this, &ReaderHome::updatePage);
  connect(&model, &ReaderModel::librarySearchChanged, this, &ReaderHome::searchChanged);
  connect(&model.account(), &AccountController::hasStoredSessionChanged, this, &ReaderHome::sessionChanged);
  // Another application coming to the front closes the dropdown.
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
    if (state != Qt::ApplicationActive)
      setProfilePresented(false);
  });
  updatePage();
  sessionChanged();
}

ReaderHome::~ReaderHome() = default;

QWidget* ReaderHome::page() const {
  return m_workspace->page();
}

void ReaderHome::setToolBar(QToolBar* bar) {
  if (m_bar || bar == nullptr)
    return;
  m_bar = bar;
  m_toolbar = new ReaderToolbar(m_model);
  m_toolbar->install(bar);
  connect(m_toolbar->accountButton(), &QAbstractButton::clicked, this,
          [this] { setProfilePresented(!profilePresented()); });
  // The onboarding hides the bar while it covers the window (full bleed), keeping its room.
  updateReachable();
}

// MARK: Pages

void ReaderHome::updatePage() {
  const PageIdentity identity = pageIdentity(m_model);
  if (identity != m_identity)
    showPage(identity);
}

void ReaderHome::showPage(const PageIdentity& identity) {
  m_identity = identity;
  QWidget* page = nullptr;
  switch (identity.tab) {
  case ReaderTab::discover:
  case ReaderTab::saved:
  case ReaderTab::history:
    page = ReaderPageFactories::libraryView(m_model, identity.tab,
                                            [this](const DropSnapshot& snapshot) { m_model.read(snapshot); });
    break;
  case ReaderTab::read: page = ReaderPageFactories::detailView(m_model, m_model.detail()); break;
  case ReaderTab::welcome:
    page = ReaderPageFactories::dashboardView(m_model, width() - dashboardInset);
    break;
  case ReaderTab::settings: page = ReaderPageFactories::settingsView(m_model); break;
  }
  // Before it is shown: a page fades in on its first appearance.
  dropPageEntrance(page);
  m_workspace->setPage(page);
  // A new page starts at its top, also one on the same tab (another idea to read).
  m_workspace->scrollToTop();
}

void ReaderHome::tabChanged() {
  updatePage();
  m_workspace->scrollToTop();
}

void ReaderHome::tellDashboardItsWidth() {
  if (m_identity && m_identity->tab == ReaderTab::welcome && page() != nullptr)
    page()->setProperty("availableWidth", qreal(width() - dashboardInset));
}

void ReaderHome::searchChanged() {
  const ReaderTab tab = m_model.navigationTab();
  const bool onLibrary = tab == ReaderTab::discover || tab == ReaderTab::saved || tab == ReaderTab::history;
  if (!m_model.librarySearch().isEmpty() && !onLibrary)
    m_model.setNavigationTab(ReaderTab::discover);
}

// MARK: Session and dropdown

void ReaderHome::sessionChanged() {
  const bool stored = m_model.account().hasStoredSession();
  if (!stored) {
    // A reader signed out from the keyboard (on the settings page, in the account menu) goes on
    // from the screen that covers the window, rather than from nowhere once what they were on
    // is out of reach.
    const QWidget* focus = window()->focusWidget();
    const bool focusInside =
        focus != nullptr && (isAncestorOf(focus) || (m_toolbar != nullptr && m_toolbar->isAncestorOf(focus)));
    setProfilePresented(false);
    if (!m_onboarding) {
      // Each appearance starts the flow again on its welcome page.
      m_onboarding = ReaderPageFactories::onboardingView(m_model);
      m_onboarding->setParent(this);
      m_onboarding->setGeometry(rect());
      m_onboarding->raise();
      DropReveal::setShown(m_onboarding, true);
      updateReachable();
      if (focusInside) {
        if (QWidget* first = ReaderWorkspace::firstControl(m_onboarding))
          first->setFocus(DropFocusRing::keyboardInUse() ? Qt::TabFocusReason : Qt::OtherFocusReason);
      }
      return;
    }
  } else if (m_onboarding) {
    const bool focusInside = m_onboarding->isAncestorOf(QApplication::focusWidget());
    // Gone for assistive technology at once; only its picture fades.
    AccessibleRole::setHidden(m_onboarding);
    DropReveal::removeLater(m_onboarding);
    m_onboarding = nullptr;
    updateReachable();
    // A reader signed in from the keyboard starts from the search field, as the window does
    // when it opens, rather than from a control fading away.
    if (focusInside && m_toolbar)
      m_toolbar->searchField()->setFocus(DropFocusRing::keyboardInUse() ? Qt::TabFocusReason
                                                                        : Qt::OtherFocusReason);
    return;
  }
  updateReachable();
}

void ReaderHome::setProfilePresented(bool presented) {
  if (presented == profilePresented())
    return;
  if (presented) {
    const QPointer<ReaderHome> self(this);
    m_dropdown = new AccountDropdownLayer(
        m_model,
        [self] {
          if (!self)
            return;
          self->setProfilePresented(false);
          self->m_model.setNavigationTab(ReaderTab::settings);
        },
        this);
    m_dropdown->setGeometry(rect());
    if (m_onboarding)
      m_dropdown->stackUnder(m_onboarding);
    else
      m_dropdown->raise();
    connect(m_dropdown, &AccountDropdownLayer::closeRequested, this, [this] { setProfilePresented(false); });
    DropReveal::setShown(m_dropdown, true);
    m_dropdown->dropdown()->takeFocus();
  } else {
    AccessibleRole::setHidden(m_dropdown);
    DropReveal::removeLater(m_dropdown);
    m_dropdown = nullptr;
  }
  updateReachable();
  // Keyboard users land where they started.
  if (!presented && m_toolbar && m_toolbar->accountButton()->isVisibleTo(this->window()))
    m_toolbar->accountButton()->setFocus(Qt::OtherFocusReason);
}

void ReaderHome::updateReachable() {
  // Under the dropdown or the onboarding screen nothing of the window can be used, nor is
  // it read.
  const bool reachable = !m_dropdown && !m_onboarding;
  m_workspace->setEnabled(reachable);
  m_sidebar->setEnabled(reachable);
  AccessibleRole::setHidden(m_workspace, !reachable);
  AccessibleRole::setHidden(m_sidebar, !reachable);
  if (m_toolbar)
    m_toolbar->searchField()->setEnabled(!m_dropdown);
}

// MARK: Layout and backdrop

void ReaderHome::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  placeLayers();
  tellDashboardItsWidth();
}

void ReaderHome::placeLayers() {
  m_workspace->setGeometry(rect());
  const QRect sidebar(sidebarInset, sidebarInset, ReaderSidebar::columnWidth,
                      std::max(0, height() - 2 * sidebarInset));
  m_sidebar->setGeometry(sidebar);
  m_sidebarSurface->setGeometry(sidebar.marginsAdded(DropSidebarSurface::shadowMargins(false)));
  if (m_dropdown)
    m_dropdown->setGeometry(rect());
  if (m_onboarding)
    m_onboarding->setGeometry(rect());
}

void ReaderHome::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QPixmap backdrop =
      WorkspaceBackdrop::picture(size(), UiEnvironment::instance().schemeOf(this), devicePixelRatioF());
  const QRect exposed = event->rect();
  painter.drawPixmap(exposed, backdrop,
                     QRectF(QPointF(exposed.topLeft()) * backdrop.devicePixelRatio(),
                            QSizeF(exposed.size()) * backdrop.devicePixelRatio()));
}

} // namespace brindlewick

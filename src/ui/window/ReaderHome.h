#pragma once

#include "model/ReaderTab.h"
#include "ui/window/AccountDropdown.h"

#include <QPointer>
#include <QString>
#include <QToolBar>
#include <QWidget>

#include <optional>

namespace brindlewick {

class CachedSidebarSurface;
class ReaderModel;
class ReaderSidebar;
class ReaderToolbar;
class ReaderWorkspace;

// The root of the reader window. It lays its layers out by hand, bottom to top: the scrolling
// workspace with the page of the model's navigationTab, the floating sidebar (its surface and
// shadow on a layer of their own beneath it), the account dropdown while it is open, and,
// while no session is stored, the onboarding screen over everything.
//
// A page is built anew exactly when its identity changes (pageIdentity()): otherwise it is
// kept, with its filters, selection or settings draft. Every change of the page on show
// scrolls the workspace back to the top. The window that hosts the root hands it its toolbar
// once (setToolBar()); the toolbar shows only while a session is stored.
class ReaderHome : public QWidget {
  Q_OBJECT

public:
  static constexpr int minimumWidth = 960;
  static constexpr int minimumHeight = 640;
  static constexpr int sidebarInset = 16;
  // The dashboard lays out in the window's width less the sidebar (240), its inset (16) and
  // the workspace's margins (32).
  static constexpr int dashboardInset = 240 + 16 + 32;

  // What a page is rebuilt for: its tab, and for the reading page the idea and its revision
  // ("id:revision"), for settings the account's user id.
  struct PageIdentity {
    ReaderTab tab = ReaderTab::welcome;
    std::optional<QString> key = std::nullopt;

    friend bool operator==(const PageIdentity&, const PageIdentity&) = default;
  };
  static PageIdentity pageIdentity(const ReaderModel& model);

  explicit ReaderHome(ReaderModel& model, QWidget* parent = nullptr);
  ~ReaderHome() override;

  // Takes the window's toolbar and fills it; later calls are ignored.
  void setToolBar(QToolBar* bar);

  bool profilePresented() const { return m_dropdown != nullptr; }
  void setProfilePresented(bool presented);

  ReaderWorkspace* workspace() const { return m_workspace; }
  ReaderSidebar* sidebar() const { return m_sidebar; }
  ReaderToolbar* toolbar() const { return m_toolbar; }
  QToolBar* toolBar() const { return m_bar; }
  QWidget* page() const;
  AccountDropdownLayer* dropdownLayer() const { return m_dropdown; }
  QWidget* onboarding() const { return m_onboarding; }

protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

private:
  void updatePage();
  void showPage(const PageIdentity& identity);
  void tabChanged();
  void searchChanged();
  void sessionChanged();
  void updateReachable();
  void placeLayers();
  void tellDashboardItsWidth();

  ReaderModel& m_model;
  CachedSidebarSurface* m_sidebarSurface;
  ReaderSidebar* m_sidebar;
  ReaderWorkspace* m_workspace;
  QPointer<QToolBar> m_bar;
  ReaderToolbar* m_toolbar = nullptr;
  QPointer<AccountDropdownLayer> m_dropdown;
  QPointer<QWidget> m_onboarding;
  std::optional<PageIdentity> m_identity;
};

} // namespace brindlewick

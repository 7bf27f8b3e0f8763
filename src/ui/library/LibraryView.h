#pragma once

#include "content/ContentSnapshots.h"
#include "model/ReaderTab.h"
#include "ui/library/LibraryViewModel.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QActionGroup;
class QMenu;
class QVBoxLayout;

namespace brindlewick {

class DropButton;
class DropFilterMenu;
class DropScreenHeader;
class FitLayout;
class LibraryList;
class LibraryPageModel;
class ReaderModel;

// The page of the reader window's Library, Saved and Recently Seen tabs: a heading with the
// number of ideas listed, a filter bar (Recent on Discover, a book menu and a topic menu) laid
// out in a row when it fits and in a column otherwise, then the list or an empty state. It
// lives inside the window's scrolling workspace and scrolls as a whole with it. A new page is
// made for every tab, so its filters and selection start afresh; the search text is the
// model's librarySearch, shared by the three tabs.
class LibraryView : public QWidget {
  Q_OBJECT

public:
  static constexpr int bookMenuWidth = 190;
  static constexpr int topicMenuWidth = 150;

  // `select` opens an idea (the window passes ReaderModel::read).
  LibraryView(ReaderModel& model, ReaderTab tab, std::function<void(const DropSnapshot&)> select,
              QWidget* parent = nullptr);

  static QString title(ReaderTab tab);

  LibraryPageModel& page() const { return *m_page; }
  LibraryList* list() const { return m_list; }
  DropScreenHeader* header() const { return m_header; }
  QWidget* filterBar() const { return m_filterBar; }
  FitLayout* filterLayout() const { return m_filterLayout; }
  DropButton* recentToggle() const { return m_recent; }
  DropFilterMenu* bookMenu() const { return m_bookMenu; }
  DropFilterMenu* topicMenu() const { return m_topicMenu; }
  // The empty state on show (a DropEmptyState or the account card); none while rows are listed.
  QWidget* emptyState() const { return m_empty; }
  std::optional<LibraryEmptyState> emptyStateKind() const { return m_emptyKind; }

private:
  void refresh();
  void refreshMenus();
  void showEmptyState(std::optional<LibraryEmptyState> kind);
  void emptyAction();

  ReaderModel& m_model;
  ReaderTab m_tab;
  LibraryPageModel* m_page;
  DropScreenHeader* m_header;
  QWidget* m_filterBar;
  FitLayout* m_filterLayout;
  DropButton* m_recent = nullptr;
  DropFilterMenu* m_bookMenu;
  DropFilterMenu* m_topicMenu;
  QMenu* m_books;
  QMenu* m_topics;
  LibraryList* m_list;
  QVBoxLayout* m_layout;
  QVBoxLayout* m_headingLayout;
  // The room the filters' glass takes beyond their shapes.
  QMargins m_glass;
  QPointer<QWidget> m_empty;
  std::optional<LibraryEmptyState> m_emptyKind;
  QList<Book> m_menuBooks;
  QStringList m_menuTopics;
};

} // namespace brindlewick

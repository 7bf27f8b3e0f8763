#include "ui/library/LibraryView.h"

#include "model/ReaderModel.h"
#include "ui/account/AccountView.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropEmptyState.h"
#include "ui/design/DropFilterMenu.h"
#include "ui/design/DropReveal.h"
#include "ui/design/DropScreenHeader.h"
#include "ui/design/FitLayout.h"
#include "ui/library/LibraryList.h"
#include "ui/library/LibraryPageModel.h"

#include <QActionGroup>
#include <QMenu>
#include <QVBoxLayout>

namespace brindlewick {

namespace {

struct EmptyText {
  const char* symbol;
  const char* title;
  const char* message;
  const char* action;
};

EmptyText emptyText(LibraryEmptyState kind) {
  switch (kind) {
  case LibraryEmptyState::noMatches:
    return {"line.3.horizontal.decrease", "No matching ideas", "Try another search, book, or topic.",
            "Clear filters"};
  case LibraryEmptyState::noSaved:
    return {"bookmark", "No saved ideas yet", "Save an idea you want to come back to.", "Discover ideas"};
  case LibraryEmptyState::noHistory:
    return {"clock", "Your reading starts here", "The ideas you read will appear here.", "Discover ideas"};
  default:
    return {"square.stack", "No ideas available yet", "Check your interests and sync content in Settings.",
            "Open Settings"};
  }
}

// The heading's distance from the page's edges.
constexpr int headingEdge = 24;
constexpr int headingSpacing = 16;

// A menu of exclusive choices: `choices` as (shown text, value); the one whose value is
// `current` is checked. Content text doubles its "&", which a menu would read as a mnemonic.
void fillChoices(QMenu* menu, const QList<std::pair<QString, QString>>& choices, const QString& current,
                 const std::function<void(const QString&)>& choose) {
  menu->clear();
  // One group per menu for as long as the menu lives: the cleared actions left it as they went.
  auto* group = menu->findChild<QActionGroup*>(QString(), Qt::FindDirectChildrenOnly);
  if (group == nullptr)
    group = new QActionGroup(menu);
  group->setExclusive(true);
  for (const auto& [text, value] : choices) {
    QAction* action = menu->addAction(DropFilterMenu::actionText(text));
    action->setCheckable(true);
    action->setChecked(value == current);
    action->setData(value);
    group->addAction(action);
    QObject::connect(action, &QAction::triggered, menu, [choose, value] { choose(value); });
  }
}

} // namespace

LibraryView::LibraryView(ReaderModel& model, ReaderTab tab, std::function<void(const DropSnapshot&)> select,
                         QWidget* parent)
    : QWidget(parent), m_model(model), m_tab(tab), m_page(new LibraryPageModel(model, tab, this)) {
  setObjectName(QStringLiteral("library.") + id(tab));
  m_layout = new QVBoxLayout(this);
  m_layout->setContentsMargins(0, 0, 0, 0);
  m_layout->setSpacing(0);

  auto* heading = new QWidget(this);
  m_headingLayout = new QVBoxLayout(heading);
  QVBoxLayout* headingLayout = m_headingLayout;
  m_header = new DropScreenHeader(QStringLiteral("Your reading"), title(tab), QString(), heading);
  auto* headerRow = new QVBoxLayout;
  headerRow->addWidget(m_header);
  headingLayout->addLayout(headerRow);

  m_filterBar = new QWidget(heading);
  m_filterBar->setObjectName(QStringLiteral("library.filters"));
  m_filterLayout = new FitLayout(m_filterBar);

  if (tab == ReaderTab::discover) {
    m_recent = new DropButton(QStringLiteral("Recent"), dropControl({}), m_filterBar);
    m_recent->setSymbol(QStringLiteral("clock"));
    m_recent->setObjectName(QStringLiteral("library.recent"));
    m_recent->setAccessibleName(QStringLiteral("Recently read"));
    // A toggle: a button that is on or off, told as its check.
    m_recent->setCheckable(true);
    AccessibleRole::set(m_recent, QAccessible::Button);
    DropAccessibility::setHelp(m_recent, QStringLiteral("Only show recently read ideas"));
    connect(m_recent, &QAbstractButton::clicked, this,
            [this] { m_page->setRecentOnly(!m_page->lists().recentOnly()); });
    m_filterLayout->addWidget(m_recent);
  }
  m_books = new QMenu(this);
  m_topics = new QMenu(this);
  m_bookMenu =
      new DropFilterMenu(QStringLiteral("Filter by book"), QStringLiteral("All books"), m_books, m_filterBar);
  m_bookMenu->setObjectName(QStringLiteral("library.bookMenu"));
  m_bookMenu->setFixedShapeWidth(bookMenuWidth);
  m_topicMenu = new DropFilterMenu(QStringLiteral("Filter by topic"), QStringLiteral("All topics"), m_topics,
                                   m_filterBar);
  m_topicMenu->setObjectName(QStringLiteral("library.topicMenu"));
  m_topicMenu->setFixedShapeWidth(topicMenuWidth);
  // The buttons' glass (their shadows and focus rings) reaches past their shapes; the bar leaves
  // it room at its leading, top and bottom edges, where it would be cut off and squeeze the
  // buttons, and starts that much before the header and stands that much nearer the header and
  // the list, so that the shapes keep the page's spacing: the first lines up with the header's
  // leading edge, 16 below it and 24 above the list.
  m_glass = m_bookMenu->shapeMargins();
  headingLayout->setSpacing(headingSpacing - m_glass.top());
  headingLayout->setContentsMargins(headingEdge - m_glass.left(), headingEdge, headingEdge, headingEdge);
  headerRow->setContentsMargins(m_glass.left(), 0, 0, 0);
  m_filterLayout->setContentsMargins(m_glass.left(), m_glass.top(), 0, m_glass.bottom());
  m_filterLayout->addWidget(m_bookMenu);
  m_filterLayout->addWidget(m_topicMenu);
  headingLayout->addWidget(m_filterBar);
  m_layout->addWidget(heading);

  m_list = new LibraryList(*m_page, std::move(select), this);
  m_list->setObjectName(QStringLiteral("library.list"));
  m_layout->addWidget(m_list);
  m_layout->addStretch(1);

  connect(m_page, &LibraryPageModel::changed, this, &LibraryView::refresh);
  refresh();
}

QString LibraryView::title(ReaderTab tab) {
  switch (tab) {
  case ReaderTab::saved: return QStringLiteral("Saved");
  case ReaderTab::history: return QStringLiteral("Recently Seen");
  default: return QStringLiteral("Library");
  }
}

void LibraryView::refresh() {
  const LibraryViewModel& lists = m_page->lists();
  m_header->setTrailing(LibraryViewModel::countText(lists.count()));
  const bool any = !lists.all().isEmpty();
  const bool filters = m_tab == ReaderTab::discover || any;
  m_filterBar->setVisible(filters);
  // Without the bar the header keeps the whole edge below it.
  QMargins edges = m_headingLayout->contentsMargins();
  edges.setBottom(filters ? headingEdge - m_glass.bottom() : headingEdge);
  m_headingLayout->setContentsMargins(edges);
  m_bookMenu->setVisible(any);
  m_topicMenu->setVisible(any);
  if (m_recent) {
    const bool on = lists.recentOnly();
    m_recent->setButtonStyle(dropControl({.prominent = on}));
    m_recent->setChecked(on);
  }
  refreshMenus();
  m_list->setVisible(lists.count() > 0);
  showEmptyState(lists.count() > 0 ? std::nullopt : std::optional(lists.emptyState()));
}

void LibraryView::refreshMenus() {
  const LibraryViewModel& lists = m_page->lists();
  m_bookMenu->setSelection(lists.bookLabel());
  m_topicMenu->setSelection(lists.topicLabel());
  const bool booksChanged = lists.books() != m_menuBooks;
  if (booksChanged || m_books->isEmpty()) {
    m_menuBooks = lists.books();
    QList<std::pair<QString, QString>> choices{{QStringLiteral("All books"), QString()}};
    for (const Book& book : m_menuBooks)
      choices.append({book.title, book.id});
    fillChoices(m_books, choices, lists.book(), [this](const QString& book) { m_page->setBook(book); });
  }
  if (lists.topics() != m_menuTopics || m_topics->isEmpty()) {
    m_menuTopics = lists.topics();
    QList<std::pair<QString, QString>> choices{{QStringLiteral("All topics"), QString()}};
    for (const QString& topic : m_menuTopics)
      choices.append({LibraryViewModel::capitalized(topic), topic});
    fillChoices(m_topics, choices, lists.topic(), [this](const QString& topic) { m_page->setTopic(topic); });
  }
  // The checked choice follows the filter, also when it was reset or cleared.
  for (QMenu* menu : {m_books, m_topics}) {
    const QString current = menu == m_books ? lists.book() : lists.topic();
    for (QAction* action : menu->actions())
      action->setChecked(action->data().toString() == current);
  }
}

void LibraryView::showEmptyState(std::optional<LibraryEmptyState> kind) {
  if (kind == m_emptyKind)
    return;
  m_emptyKind = kind;
  // The old state leaves the layout and fades out where it stands, over what replaces it; it
  // may be the sender of the click being handled, so it is deleted later.
  if (m_empty)
    m_layout->removeWidget(m_empty);
  DropReveal::removeLater(m_empty);
  m_empty = nullptr;
  if (!kind)
    return;
  const int at = m_layout->indexOf(m_list) + 1;
  if (*kind == LibraryEmptyState::accountCard) {
    auto* holder = new QWidget(this);
    auto* padded = new QVBoxLayout(holder);
    padded->setContentsMargins(24, 0, 24, 24);
    padded->addWidget(new AccountView(m_model, true, holder));
    m_empty = holder;
  } else {
    const EmptyText text = emptyText(*kind);
    auto* empty =
        new DropEmptyState(QString::fromLatin1(text.symbol), QString::fromLatin1(text.title),
                           QString::fromLatin1(text.message), QString::fromLatin1(text.action), this);
    connect(empty, &DropEmptyState::actionTriggered, this, &LibraryView::emptyAction);
    m_empty = empty;
  }
  m_empty->setObjectName(QStringLiteral("library.empty"));
  m_layout->insertWidget(at, m_empty);
  DropReveal::setShown(m_empty, true);
}

void LibraryView::emptyAction() {
  if (m_page->lists().filtering())
    m_page->clearFilters();
  else
    m_model.setNavigationTab(m_tab == ReaderTab::discover ? ReaderTab::settings : ReaderTab::discover);
}

} // namespace brindlewick

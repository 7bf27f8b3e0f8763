#include "ui/library/LibraryList.h"

#include "model/ReaderModel.h"
#include "ui/design/DropContextMenu.h"
#include "ui/design/DropFocusRing.h"
#include "ui/design/DropSymbols.h"
#include "ui/design/FocusInView.h"
#include "ui/design/UiEnvironment.h"
#include "ui/library/InstalledRevisions.h"
#include "ui/library/LibraryIdeaRow.h"
#include "ui/library/LibraryPageModel.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QScrollBar>

#include <algorithm>

namespace brindlewick {

namespace {

QIcon symbolIcon(const QString& name, const QColor& color) {
  QPixmap pixmap(QSize(32, 32));
  pixmap.setDevicePixelRatio(2);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  DropSymbols::paint(painter, name, QRectF(0, 0, 16, 16), 13, QFont::Normal, color);
  return QIcon(pixmap);
}

// A row's controls in the order Tab visits them.
constexpr LibraryIdeaRow::Control kTabOrder[] = {LibraryIdeaRow::Control::read, LibraryIdeaRow::Control::love,
                                                 LibraryIdeaRow::Control::save,
                                                 LibraryIdeaRow::Control::share};
constexpr int kStopsPerRow = int(std::size(kTabOrder));
// Room kept between a row brought into view by Tab and the edge of the page's viewport: the
// room the page keeps around any control the keyboard lands on.
constexpr int kFocusMargin = FocusInView::room;

// Sees every key pressed in the application before its receiver does, for the list.
class LibraryKeyWatch : public QObject {
public:
  LibraryKeyWatch(QObject* owner, std::function<bool(QWidget*, const QKeyEvent*)> pressed)
      : QObject(owner), m_pressed(std::move(pressed)) {
    qApp->installEventFilter(this);
  }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    return event->type() == QEvent::KeyPress && watched == QApplication::focusWidget() &&
           m_pressed(static_cast<QWidget*>(watched), static_cast<QKeyEvent*>(event));
  }

private:
  std::function<bool(QWidget*, const QKeyEvent*)> m_pressed;
};

bool takesTabFocus(const QWidget* widget) {
  return widget != nullptr && (widget->focusPolicy() & Qt::TabFocus) != 0 && widget->isEnabled() &&
         widget->isVisibleTo(widget->window());
}

} // namespace

LibraryList::LibraryList(LibraryPageModel& page, std::function<void(const DropSnapshot&)> select,
                         QWidget* parent)
    : QWidget(parent), m_page(page), m_select(std::move(select)) {
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  connect(&page, &LibraryPageModel::changed, this, &LibraryList::rebuild);
  // A withdrawal or a newer revision adds or changes a row's badge under the same identity.
  const ContentRepository& repository = page.model().repository();
  InstalledRevisions::of(repository); // follows a new release before the rows are measured
  connect(&repository, &ContentRepository::withdrawalsChanged, this, &LibraryList::remeasure);
  connect(&repository, &ContentRepository::releaseChanged, this, &LibraryList::remeasure);
  connect(&UiEnvironment::instance(), &UiEnvironment::changed, this, &LibraryList::remeasure);
  // Sees Tab pressed outside the list before the window acts on it, and Return pressed on a
  // row's control before the control does.
  m_keyWatch = new LibraryKeyWatch(this, [this](QWidget* focus, const QKeyEvent* key) {
    return tabInto(focus, key) || openFromRow(focus, key);
  });
  // Told after each focus change, so that while one arrives the flag still says where the
  // focus came from.
  m_focusWatch = connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    m_focusInside = now != nullptr && (now == this || isAncestorOf(now));
    m_focusAround = now != nullptr && now != this && now->isAncestorOf(this);
  });
  rebuild();
}

LibraryList::~LibraryList() {
  // The rows go after this part of the list, and focus changes as they do.
  disconnect(m_focusWatch);
  delete m_keyWatch;
}

QSize LibraryList::sizeHint() const {
  return QSize(2 * padding + 200, m_offsets.isEmpty() ? 0 : m_offsets.last() + padding);
}

int LibraryList::rowWidth() const {
  return std::max(1, width() - 2 * padding);
}

std::optional<int> LibraryList::cachedHeight(const QString& identity) const {
  const auto byWidth = m_heights.constFind(identity);
  if (byWidth == m_heights.constEnd())
    return std::nullopt;
  const auto height = byWidth->constFind(rowWidth());
  if (height == byWidth->constEnd())
    return std::nullopt;
  return *height;
}

int LibraryList::heightOf(const QString& identity, const DropSnapshot& snapshot) {
  if (const auto cached = cachedHeight(identity))
    return *cached;
  if (!m_measuringRow) {
    m_measuringRow = std::make_unique<LibraryIdeaRow>(m_page.model(), snapshot);
    m_measuringRow->setMeasuring();
  } else {
    m_measuringRow->setSnapshot(snapshot);
  }
  const int height = m_measuringRow->neededHeight(rowWidth());
  m_heights[identity].insert(rowWidth(), height);
  ++m_measurements;
  ++m_measured;
  m_measuredTotal += height;
  return height;
}

void LibraryList::remeasure() {
  m_heights.clear();
  rebuild();
}

void LibraryList::rebuild() {
  m_rebuildQueued = false;
  const QScopedValueRollback updating(m_updating, true);
  const LibraryViewModel& lists = m_page.lists();
  m_identities = lists.filteredIdentities();
  m_rowHeights.resize(m_identities.size());
  // The estimate: what rows of this width measured on average so far.
  m_measured = 0;
  m_measuredTotal = 0;
  for (const auto& byWidth : std::as_const(m_heights)) {
    if (const auto height = byWidth.constFind(rowWidth()); height != byWidth.constEnd()) {
      ++m_measured;
      m_measuredTotal += *height;
    }
  }
  const int estimate = m_measured > 0 ? int(m_measuredTotal / m_measured) : estimatedHeight;
  m_isMeasured.resize(m_identities.size());
  for (qsizetype i = 0; i < m_identities.size(); ++i) {
    const auto cached = cachedHeight(m_identities[i]);
    m_isMeasured[i] = cached.has_value();
    m_rowHeights[i] = cached.value_or(estimate);
  }
  recomputeOffsets();
  // Rows whose identity left the list go back to the spares.
  retireUnless([this](const QString& identity) { return m_identities.contains(identity); });
  placeRows();
}

void LibraryList::retireUnless(const std::function<bool(const QString&)>& keep) {
  QList<QPointer<LibraryIdeaRow>> hiding;
  for (auto it = m_live.begin(); it != m_live.end();) {
    if (keep(it.key())) {
      ++it;
      continue;
    }
    hiding.append(it.value());
    m_spare.append(it.value());
    it = m_live.erase(it);
  }
  // Hiding a row that holds the focus moves the focus on, and the scroll area may scroll to
  // it, which places rows again: the books are straight before any row is hidden.
  for (const QPointer<LibraryIdeaRow>& row : hiding) {
    if (row)
      row->hide();
  }
}

bool LibraryList::measure(qsizetype index) {
  if (m_isMeasured[index])
    return false;
  m_rowHeights[index] = heightOf(m_identities[index], m_page.lists().row(index));
  m_isMeasured[index] = true;
  return true;
}

void LibraryList::recomputeOffsets() {
  m_offsets.resize(m_identities.size() + 1);
  int y = 0;
  for (qsizetype i = 0; i < m_identities.size(); ++i) {
    m_offsets[i] = y;
    y += m_rowHeights[i] + spacing;
  }
  m_offsets.last() = m_identities.isEmpty() ? 0 : y - spacing;
  const int height = m_offsets.last() + padding;
  if (height != this->height() || minimumHeight() != height) {
    setFixedHeight(height);
    updateGeometry();
  }
}

QRect LibraryList::rowRect(qsizetype index) const {
  if (index < 0 || index >= m_identities.size())
    return {};
  return QRect(padding, m_offsets[index], rowWidth(), m_rowHeights[index]);
}

qsizetype LibraryList::indexAt(int y) const {
  // The last row whose top is at or above y.
  const auto it = std::upper_bound(m_offsets.begin(), m_offsets.end() - 1, y);
  return std::max<qsizetype>(0, (it - m_offsets.begin()) - 1);
}

void LibraryList::findScrollArea() {
  if (m_viewport)
    return;
  for (QWidget* level = parentWidget(); level != nullptr; level = level->parentWidget()) {
    if (auto* area = qobject_cast<QAbstractScrollArea*>(level)) {
      m_area = area;
      m_viewport = area->viewport();
      m_bar = area->verticalScrollBar();
      m_viewport->installEventFilter(this);
      connect(m_bar, &QScrollBar::valueChanged, this, &LibraryList::placeRows);
      return;
    }
  }
}

QRect LibraryList::visibleRect() const {
  if (inScrollArea()) {
    const QWidget* viewport = m_viewport;
    return QRect(mapFrom(viewport, QPoint(0, 0)), viewport->size()).intersected(rect());
  }
  const QWidget* top = window();
  return QRect(mapFrom(top, QPoint(0, 0)), top->size()).intersected(rect());
}

bool LibraryList::inScrollArea() const {
  return m_viewport && m_bar && m_area && m_viewport->isAncestorOf(this);
}

void LibraryList::syncScrollArea() {
  // The scroll area learns the list's new height now rather than when the posted layout
  // requests have climbed to it, so that positions computed next are in its range.
  if (!inScrollArea())
    return;
  for (QWidget* level = parentWidget(); level && level != m_viewport; level = level->parentWidget()) {
    if (QLayout* layout = level->layout())
      layout->activate();
  }
  QEvent request(QEvent::LayoutRequest);
  QCoreApplication::sendEvent(m_area, &request);
}

void LibraryList::placeRows() {
  if (m_placing) {
    m_placeAgain = true;
    return;
  }
  const QScopedValueRollback placing(m_placing, true);
  for (int pass = 0; pass < 3; ++pass) {
    m_placeAgain = false;
    placeRowsOnce();
    if (!m_placeAgain)
      break;
  }
}

void LibraryList::placeRowsOnce() {
  findScrollArea();
  // Measure what comes into view; rows above the first on screen that turn out taller or
  // shorter than their estimate move the scroll position by as much, so nothing on screen jumps.
  for (int round = 0; round < 3 && !m_identities.isEmpty(); ++round) {
    const QRect visible = visibleRect();
    const QRect window = visible.adjusted(0, -overscan, 0, overscan);
    const qsizetype anchor = indexAt(visible.top());
    const int anchorTop = m_offsets[anchor];
    bool changed = false;
    for (qsizetype i = indexAt(std::max(0, window.top()));
         i < m_identities.size() && m_offsets[i] <= window.bottom(); ++i) {
      changed = measure(i) || changed;
    }
    if (!changed)
      break;
    {
      const QScopedValueRollback updating(m_updating, true);
      recomputeOffsets();
    }
    const int shift = m_offsets[anchor] - anchorTop;
    syncScrollArea();
    if (shift != 0 && inScrollArea()) {
      // The scroll area moves the page on the signal; this pass is not entered again.
      m_bar->setValue(m_bar->value() + shift);
    }
  }
  // Bind the rows in the window to widgets, reusing the widget an identity already has.
  QHash<QString, qsizetype> wanted;
  if (!m_identities.isEmpty()) {
    const QRect window = visibleRect().adjusted(0, -overscan, 0, overscan);
    if (!window.isEmpty()) {
      qsizetype i = indexAt(std::max(0, window.top()));
      // The last row starting above the window may end in the gap before it.
      if (m_offsets[i] + m_rowHeights[i] <= window.top())
        ++i;
      for (; i < m_identities.size() && m_offsets[i] <= window.bottom(); ++i)
        wanted.insert(m_identities[i], i);
    }
  }
  // The row with keyboard focus stays alive, so the focus is not lost off screen.
  if (m_focused && !wanted.contains(*m_focused)) {
    if (const qsizetype index = m_identities.indexOf(*m_focused); index >= 0)
      wanted.insert(*m_focused, index);
  }
  retireUnless([&wanted](const QString& identity) { return wanted.contains(identity); });
  for (auto it = wanted.cbegin(); it != wanted.cend(); ++it) {
    LibraryIdeaRow* row = m_live.value(it.key());
    if (!row) {
      row = takeRow(it.value());
      m_live.insert(it.key(), row);
    }
    bind(row, it.value());
  }
  // Spares beyond a screenful are not worth keeping.
  // Later, not now: a row being hidden further up the stack may be among them.
  while (m_spare.size() > 8)
    m_spare.takeLast()->deleteLater();
}

LibraryIdeaRow* LibraryList::takeRow(qsizetype index) {
  const DropSnapshot& snapshot = m_page.lists().row(index);
  if (!m_spare.isEmpty()) {
    LibraryIdeaRow* row = m_spare.takeLast();
    row->setSnapshot(snapshot);
    return row;
  }
  auto* row = new LibraryIdeaRow(m_page.model(), snapshot, this);
  connect(row, &LibraryIdeaRow::tabbedInto, this, &LibraryList::tabbedInto);
  connect(row, &LibraryIdeaRow::opened, this, [this, row] {
    if (m_select)
      m_select(row->snapshot());
  });
  connect(row, &LibraryIdeaRow::hoverChanged, this, [this, row](bool hovered) {
    const QString identity = LibraryViewModel::identity(row->snapshot());
    if (hovered)
      m_hovered = identity;
    else if (m_hovered == identity)
      m_hovered.reset();
  });
  connect(row, &LibraryIdeaRow::focusChanged, this, [this, row] {
    const QString identity = LibraryViewModel::identity(row->snapshot());
    if (row->focusedControl())
      m_focused = identity;
    else if (m_focused == identity)
      m_focused.reset();
  });
  return row;
}

void LibraryList::bind(LibraryIdeaRow* row, qsizetype index) {
  const DropSnapshot& snapshot = m_page.lists().row(index);
  const QString& identity = m_identities[index];
  if (!(row->snapshot() == snapshot))
    row->setSnapshot(snapshot);
  row->setSelected(m_page.lists().selection() == identity);
  row->setHovered(m_hovered == identity);
  row->setGeometry(rowRect(index));
  row->show();
}

QList<LibraryIdeaRow*> LibraryList::rows() const {
  return m_live.values();
}

LibraryIdeaRow* LibraryList::rowFor(const QString& identity) const {
  return m_live.value(identity);
}

void LibraryList::scrollTo(const QString& identity) {
  const qsizetype index = m_identities.indexOf(identity);
  findScrollArea();
  if (index < 0 || !inScrollArea())
    return;
  measureAround(index);
  const QRect rect = rowRect(index);
  const QWidget* content = m_viewport;
  QScrollBar* bar = m_bar;
  const int middle = mapTo(content, rect.center()).y() + bar->value();
  bar->setValue(std::clamp(middle - content->height() / 2, bar->minimum(), bar->maximum()));
  placeRows();
}

void LibraryList::measureAround(qsizetype index) {
  // The rows around the target first, so that its place is known, not estimated.
  const int reach = m_viewport->height();
  for (qsizetype i = index; i >= 0 && m_offsets[index] - m_offsets[i] <= reach; --i)
    measure(i);
  for (qsizetype i = index + 1; i < m_identities.size() && m_offsets[i] - m_offsets[index] <= reach; ++i)
    measure(i);
  {
    const QScopedValueRollback updating(m_updating, true);
    recomputeOffsets();
  }
  syncScrollArea();
}

void LibraryList::bringIntoView(qsizetype index) {
  findScrollArea();
  if (!inScrollArea()) {
    placeRows();
    return;
  }
  // Rows measured as they come into view may move the target: a second look settles it.
  for (int round = 0; round < 3; ++round) {
    measureAround(index);
    const QRect rect = rowRect(index);
    QScrollBar* bar = m_bar;
    const int top = mapTo(m_viewport, rect.topLeft()).y() + bar->value();
    const int bottom = top + rect.height();
    const int page = m_viewport->height();
    int value = bar->value();
    if (top - kFocusMargin < value || rect.height() + 2 * kFocusMargin > page)
      value = top - kFocusMargin;
    else if (bottom + kFocusMargin > value + page)
      value = bottom + kFocusMargin - page;
    value = std::clamp(value, bar->minimum(), bar->maximum());
    if (value == bar->value())
      break;
    bar->setValue(value);
  }
  placeRows();
}

std::optional<LibraryList::FocusStop> LibraryList::focusedStop() const {
  const QWidget* focus = QApplication::focusWidget();
  if (focus == nullptr)
    return std::nullopt;
  for (auto it = m_live.cbegin(); it != m_live.cend(); ++it) {
    if (!it.value()->isAncestorOf(focus))
      continue;
    const qsizetype row = m_identities.indexOf(it.key());
    for (int stop = 0; stop < kStopsPerRow && row >= 0; ++stop) {
      if (it.value()->control(kTabOrder[stop]) == focus)
        return FocusStop{row, stop};
    }
    return std::nullopt;
  }
  return std::nullopt;
}

bool LibraryList::focusFrom(FocusStop from, bool forward) {
  const QScopedValueRollback moving(m_movingFocus, true);
  const QPointer<LibraryList> alive(this);
  for (FocusStop at = from; at.row >= 0 && at.row < m_identities.size();) {
    bringIntoView(at.row);
    if (!alive)
      return true;
    if (LibraryIdeaRow* row = rowFor(m_identities[at.row])) {
      QWidget* control = row->control(kTabOrder[at.control]);
      if (takesTabFocus(control)) {
        control->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        return true;
      }
    }
    at.control += forward ? 1 : -1;
    if (at.control < 0 || at.control >= kStopsPerRow) {
      at.row += forward ? 1 : -1;
      at.control = forward ? 0 : kStopsPerRow - 1;
    }
  }
  return leave(forward);
}

bool LibraryList::leave(bool forward) {
  // The nearest widget outside the list, in the window's order, that Tab may give focus to.
  QWidget* target = nullptr;
  for (QWidget* next = forward ? nextInFocusChain() : previousInFocusChain(); next != this && next != nullptr;
       next = forward ? next->nextInFocusChain() : next->previousInFocusChain()) {
    if (!isAncestorOf(next) && !next->isWindow() && next->window() == window() && takesTabFocus(next)) {
      target = next;
      break;
    }
  }
  if (target == nullptr)
    return false;
  // The page's scroll area shows it, as it shows any control the keyboard lands on.
  target->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
  return true;
}

void LibraryList::tabbedInto(bool backwards) {
  // Only what came from outside the list, by a key; the page around it, holding the keyboard
  // itself, gives it to a row in view.
  if (m_focusInside || m_focusAround || DropFocusRing::handedOn())
    return;
  enter(backwards);
}

void LibraryList::enter(bool backwards) {
  if (m_movingFocus || m_identities.isEmpty())
    return;
  if (backwards)
    focusFrom(FocusStop{m_identities.size() - 1, kStopsPerRow - 1}, false);
  else
    focusFrom(FocusStop{0, 0}, true);
}

bool LibraryList::focusNextPrevChild(bool next) {
  // A row that the list retires while it moves the focus hands it on: the list is about to
  // give it where it goes.
  if (m_movingFocus)
    return true;
  if (const std::optional<FocusStop> from = focusedStop()) {
    FocusStop at = *from;
    at.control += next ? 1 : -1;
    if (at.control < 0 || at.control >= kStopsPerRow) {
      at.row += next ? 1 : -1;
      at.control = next ? 0 : kStopsPerRow - 1;
    }
    return focusFrom(at, next);
  }
  if (QApplication::focusWidget() == this && !m_identities.isEmpty()) {
    // From the list itself (a click beside the rows): on to the selected row, or the first
    // one on screen; back to what comes before the list.
    if (!next)
      return leave(false);
    qsizetype start = m_identities.indexOf(m_page.lists().selection().value_or(QString()));
    if (start < 0)
      start = std::min(indexAt(visibleRect().top()), m_identities.size() - 1);
    return focusFrom(FocusStop{start, 0}, true);
  }
  return QWidget::focusNextPrevChild(next);
}

void LibraryList::focusInEvent(QFocusEvent* event) {
  const Qt::FocusReason reason = event->reason();
  if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) {
    // The list is a stop of the window's order only to let Tab into its rows.
    tabbedInto(reason == Qt::BacktabFocusReason);
    if (!hasFocus())
      return;
  }
  QWidget::focusInEvent(event);
}

QMenu* LibraryList::contextMenu(const DropSnapshot& snapshot, QWidget* parent) {
  ReaderModel& model = m_page.model();
  QMenu* menu = DropContextMenu::create(parent);
  const QColor color = palette().color(QPalette::WindowText);
  menu->addAction(symbolIcon(QStringLiteral("book"), color), QStringLiteral("Open idea"), this,
                  [this, snapshot] {
                    if (m_select)
                      m_select(snapshot);
                  });
  const QPointer<ReaderModel> owner(&model);
  menu->addAction(symbolIcon(QStringLiteral("heart"), color),
                  model.isLoved(snapshot) ? QStringLiteral("Unlove this idea")
                                          : QStringLiteral("Love this idea"),
                  this, [owner, snapshot] {
                    if (owner)
                      owner->changeCollection(snapshot, true);
                  });
  menu->addAction(symbolIcon(QStringLiteral("bookmark"), color),
                  model.isSaved(snapshot) ? QStringLiteral("Remove from Saved")
                                          : QStringLiteral("Save this idea"),
                  this, [owner, snapshot] {
                    if (owner)
                      owner->changeCollection(snapshot, false);
                  });
  return menu;
}

void LibraryList::contextMenuEvent(QContextMenuEvent* event) {
  if (m_identities.isEmpty())
    return;
  const qsizetype index = indexAt(event->pos().y());
  if (!rowRect(index).contains(event->pos()))
    return;
  DropContextMenu::popUp(contextMenu(m_page.lists().row(index), this), event->globalPos());
  event->accept();
}

void LibraryList::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
  case Qt::Key_Up:
  case Qt::Key_Down: {
    // Accepted even with nothing to move: the workspace must not scroll instead.
    event->accept();
    const auto next = m_page.lists().moved(event->key() == Qt::Key_Down ? LibraryViewModel::Move::down
                                                                        : LibraryViewModel::Move::up);
    if (!next)
      return;
    m_page.setSelection(next);
    scrollTo(*next);
    return;
  }
  case Qt::Key_Return:
  case Qt::Key_Enter:
    // Without a selection the key travels on, to the page and the window.
    event->setAccepted(openSelection());
    return;
  default: QWidget::keyPressEvent(event);
  }
}

void LibraryList::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // The list sets its own height while it lays out; only another width asks for new heights.
  // That height can bring the scroll bar and so change the width: the heights measured for
  // the old one are then measured again once this pass is over.
  const bool otherWidth = event->oldSize().width() != width();
  if (m_updating) {
    if (otherWidth && !m_rebuildQueued) {
      m_rebuildQueued = true;
      QMetaObject::invokeMethod(this, &LibraryList::rebuild, Qt::QueuedConnection);
    }
    return;
  }
  if (otherWidth)
    rebuild();
  else
    placeRows();
}

void LibraryList::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  placeRows();
}

void LibraryList::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
    remeasure();
}

bool LibraryList::event(QEvent* event) {
  if (event->type() == QEvent::ParentChange)
    m_viewport.clear();
  return QWidget::event(event);
}

bool LibraryList::eventFilter(QObject* watched, QEvent* event) {
  // Compared by address only: the scroll area may be half destroyed when its viewport reports.
  if (watched == m_viewport.data() && event->type() == QEvent::Resize && inScrollArea())
    placeRows();
  return QWidget::eventFilter(watched, event);
}

bool LibraryList::openSelection() {
  const std::optional<DropSnapshot> target = m_page.lists().returnTarget();
  if (!target)
    return false;
  if (m_select)
    m_select(*target);
  return true;
}

bool LibraryList::openFromRow(QWidget* focus, const QKeyEvent* key) {
  // The list's own Return comes to keyPressEvent(). Inside a row the list takes it before the
  // focused control, which would press itself with it.
  if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
    return false;
  return focus != this && isAncestorOf(focus) && openSelection();
}

bool LibraryList::tabInto(QWidget* focus, const QKeyEvent* key) {
  // The page around the list, holding the keyboard itself, goes on from what is in view.
  if ((key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) != 0 || !isVisible() || focus == this ||
      isAncestorOf(focus) || focus->isAncestorOf(this) || focus->window() != window())
    return false;
  const bool backwards =
      key->key() == Qt::Key_Backtab || (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier));
  if (!backwards && key->key() != Qt::Key_Tab)
    return false;
  // The widget the window's own order would give the focus to, as Qt picks it.
  QWidget* next = focus;
  for (;;) {
    next = backwards ? next->previousInFocusChain() : next->nextInFocusChain();
    if (next == nullptr || next == focus)
      return false;
    QWidget* proxy = next;
    while (proxy->focusProxy() != nullptr)
      proxy = proxy->focusProxy();
    const bool compound =
        proxy != next && (backwards ? next->isAncestorOf(proxy) : proxy->isAncestorOf(next));
    if (!compound && proxy != focus && takesTabFocus(proxy) && next->isVisibleTo(window()) &&
        next->isEnabled())
      break;
  }
  if (next != this && !isAncestorOf(next))
    return false;
  // It lies in the list: the list takes the focus in at its start, or its end, itself.
  enter(backwards);
  return hasFocus() || isAncestorOf(QApplication::focusWidget());
}

} // namespace brindlewick

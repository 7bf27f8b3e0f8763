#include "ui/window/ReaderSidebar.h"

#include "model/ReaderModel.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropMark.h"
#include "ui/design/DropSelectionStyle.h"
#include "ui/design/DropSymbolView.h"
#include "ui/design/DropSymbols.h"
#include "ui/design/DropTextBlock.h"
#include "ui/window/ReaderTabTint.h"
#include "ui/window/SidebarNextDrop.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace brindlewick {

namespace {

constexpr int kColumnPadding = 16;
constexpr int kColumnSpacing = 8;
constexpr char kTabProperty[] = "brindlewick.tab";

// The logo in the window's strongest colour; decoration only.
class SidebarMark : public QWidget {
public:
  explicit SidebarMark(QWidget* parent = nullptr) : QWidget(parent) {
    setFixedSize(30, 30);
    AccessibleRole::setHidden(this);
    UiEnvironment::repaintOnChange(this);
  }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    DropMark::paint(painter, QRectF(rect()),
                    DropDesign::foreground(UiEnvironment::instance().schemeOf(this)));
  }
};

} // namespace

ReaderSidebar::ReaderSidebar(ReaderModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
  setObjectName(QStringLiteral("reader.sidebar"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(kColumnPadding, kColumnPadding, kColumnPadding, kColumnPadding);
  column->setSpacing(kColumnSpacing);

  auto* header = new QHBoxLayout;
  header->setContentsMargins(8, 0, 8, 24 - kColumnSpacing);
  header->setSpacing(8);
  header->addWidget(new SidebarMark);
  auto* name = new DropTextBlock(QStringLiteral("Brindlewick"));
  name->setTextStyle(DropTextBlock::Style{DropFonts::rounded(15, QFont::DemiBold)});
  name->setColor([](const UiTraits& traits) { return DropDesign::primaryLabel(traits.scheme); });
  header->addWidget(name, 1, Qt::AlignVCenter);
  column->addLayout(header);

  for (const ReaderTab tab : listedTabs) {
    DropSelectionItem* row = makeRow(tab);
    m_rows.append(row);
    column->addWidget(row);
  }
  column->addSpacerItem(new QSpacerItem(0, 24, QSizePolicy::Minimum, QSizePolicy::Expanding));

  m_nextDrop = new SidebarNextDrop(model);
  column->addWidget(m_nextDrop);

  m_showDrop = new DropButton(QStringLiteral("Show Drop"), dropControl({.prominent = true}));
  m_showDrop->setSymbol(QStringLiteral("drop"));
  m_showDrop->setSizePolicy(QSizePolicy::Expanding, m_showDrop->sizePolicy().verticalPolicy());
  DropAccessibility::describe(m_showDrop, QStringLiteral("sidebar.show"), QStringLiteral("Show Drop"));
  column->addWidget(m_showDrop);
  connect(m_showDrop, &QPushButton::clicked, &model, &ReaderModel::requestDrop);

  connect(&model, &ReaderModel::navigationTabChanged, this, &ReaderSidebar::refreshRows);
  connect(&UiEnvironment::instance(), &UiEnvironment::changed, this, &ReaderSidebar::refreshRows);
  connect(&model, &ReaderModel::storageHealthyChanged, this, &ReaderSidebar::refreshShowDrop);
  connect(&model, &ReaderModel::busyChanged, this, &ReaderSidebar::refreshShowDrop);
  connect(&model.account(), &AccountController::isSignedInChanged, this, &ReaderSidebar::refreshShowDrop);
  refreshRows();
  refreshShowDrop();
  setFixedWidth(columnWidth);
}

ReaderTab ReaderSidebar::selectedTab(ReaderTab tab) {
  return tab == ReaderTab::history || tab == ReaderTab::read ? ReaderTab::discover : tab;
}

QString ReaderSidebar::title(ReaderTab tab) {
  switch (tab) {
  case ReaderTab::welcome: return QStringLiteral("Home");
  case ReaderTab::discover: return QStringLiteral("Library");
  case ReaderTab::saved: return QStringLiteral("Saved");
  case ReaderTab::settings: return QStringLiteral("Settings");
  case ReaderTab::history: return QStringLiteral("Recently Seen");
  case ReaderTab::read: return QStringLiteral("Reading");
  }
  return {};
}

QString ReaderSidebar::symbol(ReaderTab tab) {
  switch (tab) {
  case ReaderTab::welcome: return QStringLiteral("square.grid.2x2");
  case ReaderTab::discover: return QStringLiteral("square.stack");
  case ReaderTab::saved: return QStringLiteral("bookmark");
  case ReaderTab::settings: return QStringLiteral("slider.horizontal.3");
  case ReaderTab::history: return QStringLiteral("clock");
  case ReaderTab::read: return QStringLiteral("book");
  }
  return {};
}

DropSelectionItem* ReaderSidebar::row(ReaderTab tab) const {
  for (DropSelectionItem* row : m_rows)
    if (row->property(kTabProperty).toInt() == int(tab))
      return row;
  return nullptr;
}

QWidget* ReaderSidebar::lastControl() const {
  return m_showDrop;
}

DropSelectionItem* ReaderSidebar::makeRow(ReaderTab tab) {
  auto* row = new DropSelectionItem({false, std::nullopt, true});
  // Checked is how the row paints as lit, and how assistive technology hears the selected
  // page; the model decides it.
  row->setCheckable(true);
  AccessibleRole::set(row, QAccessible::PageTab);
  row->setProperty(kTabProperty, int(tab));
  DropAccessibility::describe(row, QStringLiteral("navigation.") + id(tab), title(tab));
  DropAccessibility::recordLayout(row, QStringLiteral("layout.navigation.") + id(tab));
  row->setFixedHeight(rowHeight + row->shapeMargins().top() + row->shapeMargins().bottom());

  auto* icon = new DropSymbolView(symbol(tab), 17);
  icon->setColor([tab](const UiTraits& traits) { return tint(tab, traits.scheme); });
  icon->setFixedWidth(20);
  auto* label = new DropTextBlock(title(tab));
  label->setWrapping(false);
  label->setColor([row](const UiTraits& traits) {
    return row->selectionStyle().selected ? DropDesign::foreground(traits.scheme)
                                          : DropDesign::primaryLabel(traits.scheme);
  });
  auto* content = new QHBoxLayout(row);
  content->setContentsMargins(12, 0, 12, 0);
  content->setSpacing(12);
  content->addWidget(icon);
  content->addWidget(label, 1, Qt::AlignVCenter);

  connect(row, &QPushButton::clicked, this, [this, tab] {
    m_model.setLibrarySearch(QString());
    m_model.setNavigationTab(tab);
    refreshRows(); // a click on the lit row toggled its check
  });
  return row;
}

void ReaderSidebar::refreshRows() {
  const ReaderTab selected = selectedTab(m_model.navigationTab());
  const ColorScheme scheme = UiEnvironment::instance().schemeOf(this);
  for (DropSelectionItem* row : m_rows) {
    const auto tab = ReaderTab(row->property(kTabProperty).toInt());
    const bool isSelected = tab == selected;
    row->setSelectionStyle({isSelected, tint(tab, scheme), true});
    // The filled symbol marks the lit row, where the symbol has a filled form.
    auto* icon = row->findChild<DropSymbolView*>();
    icon->setName(isSelected && DropSymbols::hasFilledForm(symbol(tab))
                      ? symbol(tab) + QStringLiteral(".fill")
                      : symbol(tab));
    auto* label = row->findChild<DropTextBlock*>();
    label->setTextStyle(
        DropTextBlock::Style{DropFonts::rounded(13, isSelected ? QFont::DemiBold : QFont::Normal)});
    label->update();
    row->setChecked(isSelected);
    AccessibleRole::setSelected(row, isSelected);
  }
}

void ReaderSidebar::refreshShowDrop() {
  m_showDrop->setEnabled(m_model.storageHealthy() && m_model.account().isSignedIn() && !m_model.busy());
}

} // namespace brindlewick

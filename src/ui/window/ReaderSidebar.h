#pragma once

#include "model/ReaderTab.h"

#include <QList>
#include <QWidget>

#include <array>

namespace brindlewick {

class DropButton;
class DropSelectionItem;
class ReaderModel;
class SidebarNextDrop;

// The reader window's floating column: the mark and name, a row for each of four pages, the
// next-drop status and "Show Drop". It draws no surface of its own: the window puts the
// rounded sidebar surface, with its shadow, on a layer beneath it. It holds no state: every
// row and button follows the model and calls it.
class ReaderSidebar : public QWidget {
  Q_OBJECT

public:
  static constexpr int columnWidth = 240;
  static constexpr int rowHeight = 40;
  // The pages with a row, in this order.
  static constexpr std::array<ReaderTab, 4> listedTabs{ReaderTab::welcome, ReaderTab::discover,
                                                       ReaderTab::saved, ReaderTab::settings};

  explicit ReaderSidebar(ReaderModel& model, QWidget* parent = nullptr);

  // The page whose row is lit: the library's row stands for the history and reading pages.
  static ReaderTab selectedTab(ReaderTab tab);
  static QString title(ReaderTab tab);
  static QString symbol(ReaderTab tab);

  DropSelectionItem* row(ReaderTab tab) const;
  DropButton* showDropButton() const { return m_showDrop; }
  SidebarNextDrop* nextDrop() const { return m_nextDrop; }
  // The last control in the sidebar, for the keyboard order that follows it.
  QWidget* lastControl() const;

private:
  DropSelectionItem* makeRow(ReaderTab tab);
  void refreshRows();
  void refreshShowDrop();

  ReaderModel& m_model;
  QList<DropSelectionItem*> m_rows;
  SidebarNextDrop* m_nextDrop;
  DropButton* m_showDrop;
};

} // namespace brindlewick

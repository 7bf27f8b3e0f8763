#pragma once

#include "content/ContentSnapshots.h"
#include "ui/design/DropFeedback.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QPointer>
#include <QWidget>

namespace brindlewick {

class CollectionButton;
class IdeaShareButton;
class LibraryRow;
class ReaderModel;

// One row of the library list: the idea's summary as one button that opens it, and beside it
// love, save and share. The row is lit with the selection fill while it is the list's
// keyboard selection or while one of its four controls has keyboard focus (they take focus
// by Tab only, so a click leaves nothing lit), else with the hover fill while the pointer is
// over it. The list recycles rows: setSnapshot() shows another idea in the same widget.
class LibraryIdeaRow : public QWidget {
  Q_OBJECT

public:
  enum class Control { read, love, save, share };

  static constexpr int margin = 14;
  static constexpr int radius = 16;

  LibraryIdeaRow(ReaderModel& model, const DropSnapshot& snapshot, QWidget* parent = nullptr);
  ~LibraryIdeaRow() override;

  void setSnapshot(const DropSnapshot& snapshot);
  // A row that is only measured, never shown: another idea keeps the same controls.
  void setMeasuring();
  const DropSnapshot& snapshot() const { return m_snapshot; }
  void setSelected(bool selected);
  bool isSelected() const { return m_selected; }
  void setHovered(bool hovered);
  bool isHovered() const { return m_hovered; }
  // The control that has keyboard focus (by Tab or a shortcut, not by a click or a window's
  // first focus), if any.
  std::optional<Control> focusedControl() const;
  // Whether the row shows the selection fill, else the hover fill.
  bool showsSelectionFill() const { return m_selected || focusedControl().has_value(); }
  bool showsHoverFill() const { return !showsSelectionFill() && m_hovered; }

  QAbstractButton* readButton() const { return m_read; }
  CollectionButton* loveButton() const { return m_love; }
  CollectionButton* saveButton() const { return m_save; }
  IdeaShareButton* shareButton() const { return m_share; }
  LibraryRow* summary() const { return m_summary; }
  QWidget* control(Control control) const;

  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  // The height the row needs at `width` for what it shows now. Unlike heightForWidth(), it
  // asks every size inside the row again: a text changed deep inside reaches the row's own
  // layout only once the event loop has run, and until then the layouts answer from their
  // caches with the height of what the row showed before.
  int neededHeight(int width);

Q_SIGNALS:
  // The read button was pressed.
  void opened();
  // The pointer entered or left; a control gained or lost keyboard focus.
  void hoverChanged(bool hovered);
  void focusChanged();
  // Tab (or Shift+Tab, `backwards`) is bringing focus to one of the controls, before the
  // control takes it: the list may send it to another row instead.
  void tabbedInto(bool backwards);

protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void buildControls();
  void refreshFill();
  std::optional<Control> controlOf(const QObject* widget) const;

  QPointer<ReaderModel> m_model;
  DropSnapshot m_snapshot;
  bool m_selected = false;
  bool m_hovered = false;
  bool m_measuring = false;
  // The control that the keyboard gave focus to, while it keeps it.
  std::optional<Control> m_keyboardFocus;
  QAbstractButton* m_read;
  LibraryRow* m_summary;
  QHBoxLayout* m_controls;
  CollectionButton* m_love = nullptr;
  CollectionButton* m_save = nullptr;
  IdeaShareButton* m_share = nullptr;
  DropFeedback m_lit{this};
  DropFeedback m_hover{this};
};

} // namespace brindlewick

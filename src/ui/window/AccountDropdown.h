#pragma once

#include "ui/design/DropNotice.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QScrollArea;
class QVBoxLayout;

namespace brindlewick {

class DropMenuRow;

class ReaderModel;

// The account dropdown: the account menu over the model's message, 296 points wide, as tall
// as its content up to a maximum, beyond which it scrolls. It takes the keyboard as soon as
// it is shown (on its first entry when it was opened from the keyboard); Escape asks to close
// it (closeRequested()). Its rounded surface and shadow are painted by the layer beneath it.
class AccountDropdown : public QWidget {
  Q_OBJECT

public:
  static constexpr int dropdownWidth = 296;

  AccountDropdown(ReaderModel& model, std::function<void()> openSettings, QWidget* parent = nullptr);

  // The height for at most `maximum` points.
  int heightFor(int maximum) const;
  // Gives the keyboard to the dropdown as it opens: to its first entry, ringed, when the
  // reader opened it with a key; to the dropdown itself, with no ring, after a click.
  void takeFocus();
  DropNotice* messageNotice() const { return m_notice; }

Q_SIGNALS:
  void closeRequested();
  void contentChanged();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void showEvent(QShowEvent* event) override;

private:
  void refreshMessage();
  // The first (or last) row of the menu that takes focus.
  DropMenuRow* edgeRow(bool first) const;

  ReaderModel& m_model;
  QScrollArea* m_scroll;
  QWidget* m_content;
  QVBoxLayout* m_column;
  QPointer<DropNotice> m_notice;
};

// The layer that holds the dropdown over the whole window: it dims everything beneath, takes
// every click outside the dropdown (each one asks to close it) and paints the dropdown's
// raised surface and shadow.
class AccountDropdownLayer : public QWidget {
  Q_OBJECT

public:
  // Between the dropdown and the window's edges.
  static constexpr int topInset = 4;
  static constexpr int trailingInset = 8;
  static constexpr int bottomInset = 16;

  AccountDropdownLayer(ReaderModel& model, std::function<void()> openSettings, QWidget* parent = nullptr);

  AccountDropdown* dropdown() const { return m_dropdown; }
  // The dropdown's place in a layer of the window's size.
  QRect dropdownGeometry() const;

Q_SIGNALS:
  void closeRequested();

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

private:
  void place();

  AccountDropdown* m_dropdown;
};

} // namespace brindlewick

#pragma once

#include "ui/design/UiEnvironment.h"

#include <QAbstractButton>
#include <QColor>
#include <QPointer>
#include <QWidget>

class QToolBar;

namespace brindlewick {

class DropSearchField;
class ReaderModel;

// The toolbar's account button: the reader's 28-point avatar, which takes the pointer only
// inside its circle. Its tooltip is the account's e-mail, or an invitation without a user. Its
// focus ring shows for the keyboard only: a click that opens the dropdown, and the focus
// that the closing dropdown gives back, leave none.
class AccountButton : public QAbstractButton {
  Q_OBJECT

public:
  static constexpr int avatarSize = 28;

  explicit AccountButton(ReaderModel& model, QWidget* parent = nullptr);

  QWidget* avatar() const { return m_avatar; }
  bool showsFocusRing() const { return hasFocus() && m_focusVisible; }
  QSize sizeHint() const override;

protected:
  bool hitButton(const QPoint& pos) const override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void refresh();
  QRectF circle() const;

  ReaderModel& m_model;
  QPointer<QWidget> m_avatar;
  // The ring: shown while the button has focus the keyboard brought.
  bool m_focusVisible = false;
  // Focus left for the dropdown or another window, and comes back as it was.
  bool m_returning = false;
};

// What the reader window's toolbar holds: the library search, 480 points wide and centred in
// the window, and the account button at the trailing end. The search edits the model's
// librarySearch and follows it.
class ReaderToolbar : public QWidget {
  Q_OBJECT

public:
  static constexpr int searchWidth = 480;
  static constexpr int barHeight = 48;
  static constexpr int trailingMargin = 14;

  explicit ReaderToolbar(ReaderModel& model, QWidget* parent = nullptr);

  // Puts this content in `bar` and makes the bar fixed: not movable, not floatable, without
  // the context menu that would let the reader hide it, painted in the toolbar's colour.
  void install(QToolBar* bar);
  static QColor background(ColorScheme scheme);

  DropSearchField* searchField() const { return m_search; }
  AccountButton* accountButton() const { return m_account; }

  QSize sizeHint() const override;

protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void place();

  ReaderModel& m_model;
  DropSearchField* m_search;
  AccountButton* m_account;
};

} // namespace brindlewick

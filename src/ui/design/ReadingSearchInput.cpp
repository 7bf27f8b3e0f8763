#include "ui/design/ReadingSearchInput.h"

#include "ui/design/DropFonts.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/UiEnvironment.h"

#include <QKeyEvent>

namespace brindlewick {

ReadingSearchInput::ReadingSearchInput(const QString& prompt, QWidget* parent) : QLineEdit(parent) {
  setFrame(false);
  setCompleter(nullptr);
  setInputMethodHints(Qt::ImhNoPredictiveText); // nor completion from an input method
  setClearButtonEnabled(false);
  setFont(DropFonts::rounded(13).font());
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setStyle(DropStandardWidgets::style());
  setPrompt(prompt);
  DropStandardWidgets::keep(this, [this] { applyPalette(); });
  connect(this, &QLineEdit::textEdited, this, &ReadingSearchInput::searchEdited);
}

void ReadingSearchInput::setPrompt(const QString& prompt) {
  setPlaceholderText(prompt);
  setAccessibleName(prompt);
}

void ReadingSearchInput::setSearchText(const QString& text) {
  if (text != this->text())
    setText(text);
}

// The standard widgets' colours, on no background of its own: the search field draws it.
void ReadingSearchInput::applyPalette() {
  const UiEnvironment& environment = UiEnvironment::instance();
  QPalette colours =
      DropStandardWidgets::palette(environment.schemeOf(this), environment.increasedContrast());
  for (const QPalette::ColorRole role : {QPalette::Base, QPalette::Window})
    colours.setColor(role, Qt::transparent);
  setPalette(colours);
}

void ReadingSearchInput::setEditing(bool editing) {
  if (editing == m_editing)
    return;
  m_editing = editing;
  Q_EMIT editingChanged(editing);
}

bool ReadingSearchInput::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
      static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
    // Claimed here, or a window shortcut on Escape would run first and take it.
    event->accept();
    return true;
  }
  return QLineEdit::event(event);
}

void ReadingSearchInput::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  setSearchText(QString());
  Q_EMIT searchEdited(QString());
  clearFocus();
  setEditing(false);
  event->accept();
}

void ReadingSearchInput::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  setEditing(true);
}

void ReadingSearchInput::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  setEditing(false);
}

} // namespace brindlewick

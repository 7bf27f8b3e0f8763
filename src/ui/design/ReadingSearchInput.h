#pragma once

#include <QLineEdit>

namespace brindlewick {

// The text-entry core of the search field: a frameless, transparent, single-line field with
// no completion, in the rounded face. The search text belongs to its owner: every edit of
// the reader's reaches the owner through searchEdited() (once per keystroke, nothing
// debounced), and the owner writes its text back with setSearchText(), which touches the
// field only when the texts differ, so the reader's caret, selection and undo survive the
// echo of their own typing. Escape empties the field, tells the owner "", ends editing and
// goes no further: the field claims Escape before window shortcuts see it.
class ReadingSearchInput : public QLineEdit {
  Q_OBJECT

public:
  explicit ReadingSearchInput(const QString& prompt, QWidget* parent = nullptr);

  // The placeholder and the accessible name.
  void setPrompt(const QString& prompt);
  void setSearchText(const QString& text);
  bool isEditing() const { return m_editing; }

Q_SIGNALS:
  void searchEdited(const QString& text);
  void editingChanged(bool editing);

protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

private:
  void applyPalette();
  void setEditing(bool editing);

  bool m_editing = false;
};

} // namespace brindlewick

#pragma once

#include <QLabel>

namespace brindlewick {

// One line of plain text elided in the middle when short of room (an e-mail address keeps
// its start and its domain), selectable with the mouse. Copying while the text is elided, or
// with nothing selected, gives the whole text, never the shortened one.
class ElidedEmailLabel : public QLabel {
  Q_OBJECT

public:
  explicit ElidedEmailLabel(QWidget* parent = nullptr);

  const QString& fullText() const { return m_fullText; }
  void setFullText(const QString& text);
  bool isElided() const { return text() != m_fullText; }
  // What a copy puts on the clipboard now.
  QString copiedText() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

private:
  void elide();

  QString m_fullText;
};

} // namespace brindlewick

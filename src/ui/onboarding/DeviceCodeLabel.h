#pragma once

#include <QLabel>

namespace brindlewick {

// The sign-in code as the reader sees it (an eight-character code in two groups joined by an
// en dash), selectable; every copy (Ctrl+C, the context menu, the X11 selection) gives the
// code without the dash, since the service's page may refuse a pasted one.
class DeviceCodeLabel : public QLabel {
  Q_OBJECT

public:
  explicit DeviceCodeLabel(QWidget* parent = nullptr);

  // Shows `code` grouped; an empty code shows nothing.
  void setCode(const QString& code);
  const QString& code() const { return m_code; }
  // What a copy of the current selection (all of it when nothing is selected) gives.
  QString copiedText() const;

  // As tall as a line of the code, with a code or without: the room it keeps while none shows
  // is the room it takes when one comes.
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

private:
  QSize withLineHeight(QSize hint) const;

  QString m_code;
};

} // namespace brindlewick

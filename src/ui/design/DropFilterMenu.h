#pragma once

#include "ui/design/DropButton.h"

#include <QMenu>
#include <QPointer>

namespace brindlewick {

// A pop-up filter (a topic, a book): a secondary button showing the current choice, elided
// at its end, with a chevron that always stays in view. A press pops the caller's menu up
// below the capsule without waiting for it (the menu runs in the application's own event
// loop); a menu of more choices than a list shows at once opens as a scrolling list of them
// (DropChoiceList) instead. `title` names what is filtered: the accessible name, and with the choice the
// tooltip ("Filter by topic: Psychology"); the choice is also the accessible description.
class DropFilterMenu : public DropButton {
  Q_OBJECT

public:
  DropFilterMenu(const QString& title, const QString& selection, QMenu* menu, QWidget* parent = nullptr);

  const QString& title() const { return m_title; }
  const QString& selection() const { return m_selection; }
  void setSelection(const QString& selection);
  QMenu* menu() const { return m_menu; }

  // Content (a book's title, say) as the text of a menu action: Qt reads one "&" as the
  // mark of a keyboard shortcut, so each is doubled.
  static QString actionText(const QString& content);

  struct LabelLayout {
    QString text; // the choice, elided to fit
    QRectF textRect;
    QRectF chevronRect;
  };
  static LabelLayout layOutLabel(const QRectF& content, const QString& selection, const QFont& font);

protected:
  qreal naturalLabelWidth(const QFont& font) const override;
  void paintLabel(QPainter& painter, const QRectF& content, const QColor& color, const QFont& font) override;

private:
  void describe();

  QString m_title;
  QString m_selection;
  QPointer<QMenu> m_menu;
};

} // namespace brindlewick

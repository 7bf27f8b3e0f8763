#pragma once

#include "ui/design/DropDesign.h"

#include <QFont>
#include <QWidget>

namespace brindlewick {

// One symbol as a widget: `size` is the font size it is set at, centred in a box of that
// side (or in whatever the layout gives). Its colour is asked when it paints; without one it
// takes the palette's foreground, so a control that sets its label's palette colours it.
// Decoration: it takes no focus and says nothing to assistive technology.
class DropSymbolView : public QWidget {
  Q_OBJECT

public:
  DropSymbolView(const QString& name, qreal size, QFont::Weight weight = QFont::Normal,
                 QWidget* parent = nullptr);

  const QString& name() const { return m_name; }
  void setName(const QString& name);
  void setColor(DropDesign::ColorFor color);

  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QString m_name;
  qreal m_size;
  QFont::Weight m_weight;
  DropDesign::ColorFor m_color;
};

} // namespace brindlewick

#pragma once

#include "ui/design/UiEnvironment.h"

#include <QColor>
#include <QWidget>

class QLabel;

namespace brindlewick {

class DropButton;
class DropSymbolView;

// The one inline banner of the interface: a symbol and a message on a tinted rounded
// surface and, when it is given an action, the action's button at the trailing side (a
// press is actionTriggered()). The message is plain text, selectable with the
// mouse, and wraps over as many lines as it needs (the notice grows in height). A warning
// sits on a translucent backing so that it reads the same over any backdrop; the backing is
// flat (nothing here blurs what lies behind) and goes under Reduce Transparency.
class DropNotice : public QWidget {
  Q_OBJECT

public:
  enum class Tone { info, warning };

  DropNotice(const QString& text, const QString& symbol, Tone tone, QWidget* parent = nullptr);

  QString text() const;
  void setText(const QString& text);
  // Gives the notice an action titled `title`; an empty title takes the action away.
  void setAction(const QString& title);
  bool showsAction() const;

  static QColor tint(Tone tone, ColorScheme scheme);
  static qreal fillOpacity(Tone tone, bool increasedContrast);
  static qreal borderOpacity(Tone tone);
  // The warning's backing, or a clear colour where there is none.
  static QColor backing(Tone tone, const UiTraits& traits);
  // The notice's surface (backing, fill and border) over `rect`.
  static void paintSurface(QPainter& painter, const QRectF& rect, Tone tone, const UiTraits& traits);

Q_SIGNALS:
  void actionTriggered();

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  void describe();

  Tone m_tone;
  DropSymbolView* m_symbol;
  QLabel* m_text;
  DropButton* m_action;
};

} // namespace brindlewick

#pragma once

#include "ui/design/UiEnvironment.h"

#include <QPixmap>
#include <QWidget>

class QVBoxLayout;

namespace brindlewick {

class DayGreetingLabel;
class DropButton;
class DropTextBlock;
class ReaderModel;
struct DashboardState;

// The dashboard's hero: the greeting, the tagline, the next drop and the delivery status
// over a deep-blue card, and the one button that leads to the settings. It is always drawn
// dark. Its card is painted by the page behind it (picture()), since the card's shadow
// reaches beyond the hero's own rectangle.
class DashboardHero : public QWidget {
  Q_OBJECT

public:
  static constexpr qreal cornerRadius = 16;
  static constexpr qreal shadowRadius = 22;
  static constexpr qreal shadowOffset = 12;

  explicit DashboardHero(ReaderModel& model, QWidget* parent = nullptr);

  void show(const DashboardState& state);
  void setArtwork(bool shown, qreal trailingPadding);
  bool showsArtwork() const { return m_artwork; }

  DayGreetingLabel* greeting() const { return m_greeting; }
  DropTextBlock* status() const { return m_status; }
  QWidget* nextDrop() const { return m_nextDrop; }
  DropButton* deliveryButton() const { return m_button; }

  // How far the card's picture reaches beyond the hero on each side.
  static QMargins pictureMargins();
  // The card of a hero `size` large, its shadow in the page's `scheme`, made once per size,
  // art, scheme and pixel ratio.
  static QPixmap picture(QSize size, bool artwork, ColorScheme pageScheme, qreal devicePixelRatio);

private:
  ReaderModel& m_model;
  QVBoxLayout* m_column;
  DayGreetingLabel* m_greeting;
  QWidget* m_nextDrop;
  DropTextBlock* m_nextDropText;
  DropTextBlock* m_status;
  DropButton* m_button;
  bool m_artwork = false;
};

} // namespace brindlewick

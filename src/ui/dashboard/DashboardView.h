#pragma once

#include "ui/dashboard/DashboardState.h"

#include <QWidget>

class QHBoxLayout;

namespace brindlewick {

class AccountView;
class DashboardCard;
class DashboardHero;
class DashboardIcon;
class DropTextBlock;
class ReaderModel;

// The welcome page: the hero with the greeting and the delivery status, the account card
// while nobody is signed in, the Library and Saved tiles and the card that reopens the idea
// read last. It lays out for the width its host grants it (availableWidth, a fraction of a
// point counts) and follows the model on every change of what it reads; the greeting alone
// follows the clock.
class DashboardView : public QWidget {
  Q_OBJECT
  Q_PROPERTY(qreal availableWidth READ availableWidth WRITE setAvailableWidth)

public:
  DashboardView(ReaderModel& model, qreal availableWidth, QWidget* parent = nullptr);

  qreal availableWidth() const { return m_availableWidth; }
  void setAvailableWidth(qreal width);
  DashboardLayout metrics() const { return DashboardLayout::forWidth(m_availableWidth); }
  const DashboardState& state() const { return m_state; }
  // How often the page read the model again: a tick of the greeting is not one.
  int rebuilds() const { return m_rebuilds; }

  DashboardHero* hero() const { return m_hero; }
  AccountView* accountCard() const { return m_account; }
  DashboardCard* continueCard() const { return m_continue; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  struct Tile {
    DashboardCard* card;
    QHBoxLayout* row;
    DashboardIcon* icon;
    DropTextBlock* value;
    DropTextBlock* caption;
  };
  Tile makeTile(const DashboardState::Tile& tile);
  DashboardCard* makeContinueCard();
  void rebuild();
  void applyMetrics();

  ReaderModel& m_model;
  qreal m_availableWidth;
  DashboardState m_state;
  int m_rebuilds = 0;
  DashboardHero* m_hero;
  AccountView* m_account;
  QList<Tile> m_tiles;
  DashboardCard* m_continue;
  DropTextBlock* m_headline = nullptr;
  DropTextBlock* m_explanation = nullptr;
};

} // namespace brindlewick

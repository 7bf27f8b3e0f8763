#pragma once

#include "content/ContentSnapshots.h"
#include "delivery/Preferences.h"
#include "model/ReaderTab.h"
#include "ui/design/DropDesign.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QObject;

namespace brindlewick {

class ReaderModel;

// What the welcome page shows, read from the model as a whole: the delivery status in its
// order of precedence, the hero's button, the two tiles and the idea to continue with.
struct DashboardState {
  bool signedIn = false;
  bool storageHealthy = true;
  bool onboardingComplete = false;
  ScheduleSettings schedule = ReaderPreferences{}.schedule;
  std::optional<QString> nextDropLabel;
  // The drops of the installed release; none without a release.
  std::optional<qsizetype> releaseDrops;
  qsizetype savedCount = 0;
  // The idea read last, when the reader is signed in and may open it.
  std::optional<DropSnapshot> continueReading;

  static DashboardState read(const ReaderModel& model);
  // Runs `changed` (in `receiver`'s lifetime) whenever one of the inputs above may have changed.
  static void watch(ReaderModel& model, QObject* receiver, std::function<void()> changed);

  // Signed in with healthy storage.
  bool ready() const { return signedIn && storageHealthy; }
  bool showsAccountCard() const { return !signedIn; }
  QString status() const;
  // "Every 2 hours, 08:30–22:00."
  static QString scheduleLine(const ScheduleSettings& schedule);

  struct HeroButton {
    QString title;
    QString symbol;
    bool prominent;
  };
  HeroButton heroButton() const;

  struct Tile {
    QString title;
    QString caption;
    QString symbol;
    qsizetype value;
    ReaderTab tab;
    DropDesign::Highlight highlight;
    QString identifier;
    // "Saved, 3. Keep the good ones"
    QString accessibleName() const;
  };
  QList<Tile> tiles() const;
};

// The page's measures for the width its host grants it: the art from 640 points, the large
// tiles from 760.
struct DashboardLayout {
  // The hero's content keeps this much room at its trailing side for the art.
  static constexpr qreal artworkRoom = 190;

  bool showsArtwork;
  bool compact;
  qreal heroTrailingPadding;
  qreal tileIconSize;
  qreal tileSpacing;
  qreal tilePadding;
  qreal tileMinimumHeight;
  qreal tileValueSize;
  bool showsCaptions;

  static DashboardLayout forWidth(qreal availableWidth);
};

} // namespace brindlewick

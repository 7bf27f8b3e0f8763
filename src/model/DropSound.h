#pragma once

#include "desktop/SoundPlayer.h"
#include "model/ApplicationDefaults.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace brindlewick {

// The soft sound of a drop arriving in the teaser, and the settings page's preview of it.
// Muted for the whole run when the application was started for a smoke test or a render;
// silent, without a word, when there is no sound to play. Main thread only.
class DropSound {
public:
  static constexpr double volume = 0.55;

  // `player` may be null (no sound for this run); `defaults` must outlive the sound.
  DropSound(std::unique_ptr<SoundPlayer> player, const QStringList& arguments,
            const ApplicationDefaults& defaults);

  // True when an argument begins with "--smoke" or is "--render-design" or "--feasibility".
  static bool mutedBy(const QStringList& arguments);

  bool muted() const { return m_muted; }
  // Whether a sound is there to play; the preview button is disabled without one.
  bool hasSound() const { return m_player && m_player->isAvailable(); }
  // The reader's switch, read at every call.
  bool isEnabled() const { return m_defaults.dropSoundEnabled(); }

  // Plays the sound from its start unless muted or absent. Arrivals ask isEnabled() first;
  // the preview does not.
  void play();

private:
  std::unique_ptr<SoundPlayer> m_player;
  bool m_muted;
  const ApplicationDefaults& m_defaults;
};

// Whether the running executable is the installed copy: its canonical path lies inside the
// installation's program folder (`prefix` + "/lib/brindlewick/") or its bin folder. A copy in
// a build tree, in a user's own folder or in a folder that only begins with the same letters
// is not.
bool runsFromInstalledLocation(const QString& executablePath, const QString& installPrefix);

} // namespace brindlewick

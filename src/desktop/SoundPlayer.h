#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QSoundEffect;

namespace brindlewick {

// One short sound, loaded once, that can be played again and again. Main thread only.
class SoundPlayer {
public:
  SoundPlayer() = default;
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;
  virtual ~SoundPlayer();

  // Whether there is a sound to play at all: false when it could not be loaded or nothing
  // could ever play it.
  virtual bool isAvailable() const = 0;
  // Stops the sound if it still plays, sets its volume (0 to 1) and plays it from the start.
  // Does nothing while unavailable.
  virtual void play(double volume) = 0;
};

// A sound of the application's resources played through Qt Multimedia. Without a sound server
// or an audio output (a server without sound, a test run) it is unavailable and stays silent:
// no effect object is made, so nothing tries to open a device and nothing is reported. The
// media stack (Qt Multimedia's backend, the device list, the decoded sound) is made at the
// first play, not before: most of a day a waiting application plays nothing.
class SoundEffectPlayer final : public SoundPlayer {
public:
  // `resource` names a WAV file of the compiled-in sounds, such as ":/sounds/Drop.wav".
  explicit SoundEffectPlayer(const QString& resource);
  ~SoundEffectPlayer() override;

  bool isAvailable() const override;
  void play(double volume) override;

  // The drop's arrival and the first-run chime, both of our own making.
  static inline const QString dropSound = QStringLiteral(":/sounds/Drop.wav");
  static inline const QString chimeSound = QStringLiteral(":/sounds/Chime.wav");

private:
  // Makes the effect on first use; false when there is no output to play it on.
  bool prepare();

  QString m_resource;
  bool m_prepared = false;
  std::unique_ptr<QSoundEffect> m_effect;
};

} // namespace brindlewick

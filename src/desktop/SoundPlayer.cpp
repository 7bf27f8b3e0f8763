#include "desktop/SoundPlayer.h"

#include <QAudioDevice>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

// The sounds live in a static library; naming their initialiser keeps the linker from
// dropping them.
static void initialiseSoundResources() {
  Q_INIT_RESOURCE(sounds);
}

namespace brindlewick {

namespace {

// Qt Multimedia plays through a PulseAudio server (PipeWire offers one too). Asking it for
// devices where none runs logs a connection failure, so the server's socket is looked for
// first.
bool soundServerRuns() {
  if (qEnvironmentVariableIsSet("PULSE_SERVER"))
    return true;
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/pulse/native"));
}

} // namespace

SoundPlayer::~SoundPlayer() = default;

SoundEffectPlayer::SoundEffectPlayer(const QString& resource) {
  initialiseSoundResources();
  if (QFile::exists(resource) && soundServerRuns())
    m_resource = resource;
  else
    m_prepared = true; // nothing will ever play
}

SoundEffectPlayer::~SoundEffectPlayer() = default;

bool SoundEffectPlayer::prepare() {
  if (!m_prepared) {
    m_prepared = true;
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (!output.isNull()) {
      m_effect = std::make_unique<QSoundEffect>(output);
      // Played as soon as it is loaded when play() comes first.
      m_effect->setSource(QUrl(QStringLiteral("qrc") + m_resource));
    }
  }
  return m_effect && m_effect->status() != QSoundEffect::Error;
}

bool SoundEffectPlayer::isAvailable() const {
  // Before the first play, a sound server and the sound are all there is to know.
  if (!m_prepared)
    return true;
  return m_effect && m_effect->status() != QSoundEffect::Error;
}

void SoundEffectPlayer::play(double volume) {
  if (!prepare())
    return;
  m_effect->stop();
  m_effect->setVolume(static_cast<float>(volume));
  m_effect->play();
}

} // namespace brindlewick

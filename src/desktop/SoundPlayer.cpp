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
  if (!QFile::exists(resource) || !soundServerRuns())
    return;
  const QAudioDevice output = QMediaDevices::defaultAudioOutput();
  if (output.isNull())
    return;
  m_effect = std::make_unique<QSoundEffect>(output);
  m_effect->setSource(QUrl(QStringLiteral("qrc") + resource));
}

SoundEffectPlayer::~SoundEffectPlayer() = default;

bool SoundEffectPlayer::isAvailable() const {
  return m_effect && m_effect->status() != QSoundEffect::Error;
}

void SoundEffectPlayer::play(double volume) {
  if (!isAvailable())
    return;
  m_effect->stop();
  m_effect->setVolume(static_cast<float>(volume));
  m_effect->play();
}

} // namespace brindlewick

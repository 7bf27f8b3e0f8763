#include "desktop/SoundPlayer.h"

#include <QAudioDevice>
#include <QFile>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

// The sounds live in a static library; naming their initialiser keeps the linker from
// dropping them.
static void initialiseSoundResources() {
  Q_INIT_RESOURCE(sounds);
}

namespace brindlewick {

SoundPlayer::~SoundPlayer() = default;

SoundEffectPlayer::SoundEffectPlayer(const QString& resource) {
  initialiseSoundResources();
  if (!QFile::exists(resource))
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

#include "model/DropSound.h"

#include <QDir>
#include <QFileInfo>

namespace brindlewick {

DropSound::DropSound(std::unique_ptr<SoundPlayer> player, const QStringList& arguments,
                     const ApplicationDefaults& defaults)
    : m_player(std::move(player)), m_muted(mutedBy(arguments)), m_defaults(defaults) {}

bool DropSound::mutedBy(const QStringList& arguments) {
  return std::any_of(arguments.cbegin(), arguments.cend(), [](const QString& argument) {
    return argument.startsWith(QLatin1String("--smoke")) || argument == QLatin1String("--render-design") ||
           argument == QLatin1String("--feasibility");
  });
}

void DropSound::play() {
  if (m_muted || !hasSound())
    return;
  m_player->play(volume);
}

bool runsFromInstalledLocation(const QString& executablePath, const QString& installPrefix) {
  const QString executable = QFileInfo(executablePath).canonicalFilePath();
  if (executable.isEmpty())
    return false;
  // The install keeps the program in its program folder, with a link to it in bin/.
  for (const QString& folder : {QStringLiteral("lib/brindlewick"), QStringLiteral("bin")}) {
    const QString installed = QFileInfo(QDir(installPrefix).filePath(folder)).canonicalFilePath();
    if (!installed.isEmpty() && executable.startsWith(installed + QLatin1Char('/')))
      return true;
  }
  return false;
}

} // namespace brindlewick

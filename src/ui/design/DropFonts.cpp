#include "ui/design/DropFonts.h"

#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QResource>

#include <algorithm>

// The compiled-in typefaces live in a static library; naming their initialiser keeps the
// linker from dropping them.
static void initialiseFontResources() {
  Q_INIT_RESOURCE(fonts);
}

namespace brindlewick {

namespace {

Q_LOGGING_CATEGORY(lcFonts, "app.brindlewick.Fonts")

struct Face {
  const char* file;
  const char* style;
  QFont::Weight weight;
};

// Empty: the desktop's.
QString& chosenMonospacedFamily() {
  static QString family;
  return family;
}

constexpr Face kDisplayFaces[] = {
    {"eb-garamond/EBGaramond-Regular.ttf", "Regular", QFont::Normal},
    {"eb-garamond/EBGaramond-Medium.ttf", "Medium", QFont::Medium},
    {"eb-garamond/EBGaramond-SemiBold.ttf", "SemiBold", QFont::DemiBold},
    {"eb-garamond/EBGaramond-Bold.ttf", "Bold", QFont::Bold},
};

constexpr Face kRoundedFaces[] = {
    {"nunito/Nunito-Light.ttf", "Light", QFont::Light},
    {"nunito/Nunito-Regular.ttf", "Regular", QFont::Normal},
    {"nunito/Nunito-Medium.ttf", "Medium", QFont::Medium},
    {"nunito/Nunito-SemiBold.ttf", "SemiBold", QFont::DemiBold},
    {"nunito/Nunito-Bold.ttf", "Bold", QFont::Bold},
};

// A compiled-in face is handed to Qt as the program's own bytes: read through its path, Qt
// would keep a second copy of every face on the heap for the whole run.
int addFace(const QString& path) {
  const QResource resource(path);
  if (!path.startsWith(QLatin1Char(':')) || !resource.isValid())
    return QFontDatabase::addApplicationFont(path);
  if (resource.compressionAlgorithm() != QResource::NoCompression)
    return QFontDatabase::addApplicationFontFromData(resource.uncompressedData());
  return QFontDatabase::addApplicationFontFromData(
      QByteArray::fromRawData(reinterpret_cast<const char*>(resource.data()), qsizetype(resource.size())));
}

// Registers each file once per process (again after the application fonts were removed,
// which frees their ids for other files).
template <std::size_t N>
bool registerFaces(const QDir& directory, const QString& family, const Face (&faces)[N]) {
  static QHash<QString, int> registered;
  bool complete = true;
  for (const Face& face : faces) {
    const QString path = directory.filePath(QLatin1String(face.file));
    const auto known = registered.constFind(path);
    if (known != registered.cend() && QFontDatabase::applicationFontFamilies(*known).contains(family))
      continue;
    const int id = addFace(path);
    if (id < 0) {
      complete = false;
      continue;
    }
    registered.insert(path, id);
  }
  return complete;
}

} // namespace

QFont DropFont::font() const {
  QFont result(family);
  result.setPixelSize(std::max(1, qRound(size)));
  result.setWeight(weight);
  // Hinting follows each machine's font configuration; without it text lays out alike
  // everywhere.
  result.setHintingPreference(QFont::PreferNoHinting);
  return result;
}

QString DropFonts::displayFamily() {
  return QStringLiteral("EB Garamond");
}

QString DropFonts::roundedFamily() {
  return QStringLiteral("Nunito");
}

bool DropFonts::registerFonts(const QString& directory) {
  initialiseFontResources();
  const QDir folder(directory);
  const bool display = registerFaces(folder, DropFonts::displayFamily(), kDisplayFaces);
  if (!display)
    qCCritical(lcFonts, "Garamond could not be registered: %s", "missing resource");
  const bool rounded = registerFaces(folder, DropFonts::roundedFamily(), kRoundedFaces);
  if (!rounded)
    qCCritical(lcFonts, "Nunito could not be registered: %s", "missing resource");
  return display && rounded;
}

QFont::Weight DropFonts::displayFaceWeight(QFont::Weight requested) {
  switch (requested) {
  case QFont::Normal:
  case QFont::Medium: return requested;
  case QFont::Bold:
  case QFont::ExtraBold:
  case QFont::Black: return QFont::Bold;
  default: return QFont::DemiBold;
  }
}

DropFont DropFonts::display(qreal size, QFont::Weight weight) {
  const QFont::Weight face = displayFaceWeight(weight);
  const qreal scaled = size * displayScale;
  const auto known = std::find_if(std::begin(kDisplayFaces), std::end(kDisplayFaces),
                                  [face](const Face& candidate) { return candidate.weight == face; });
  if (!QFontDatabase::styles(displayFamily()).contains(QLatin1String(known->style)))
    return rounded(scaled, face);
  return DropFont{displayFamily(), face, scaled};
}

DropFont DropFonts::rounded(qreal size, QFont::Weight weight) {
  return DropFont{roundedFamily(), std::clamp(weight, QFont::Light, QFont::Bold), size};
}

QString DropFonts::monospacedFamily() {
  if (!chosenMonospacedFamily().isEmpty())
    return chosenMonospacedFamily();
  // The resolved name, not the alias: what is measured and what is drawn are one named family.
  return QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family();
}

void DropFonts::setMonospacedFamily(const QString& family) {
  chosenMonospacedFamily() = family;
}

DropFont DropFonts::monospaced(qreal size, QFont::Weight weight) {
  return DropFont{monospacedFamily(), weight, size};
}

} // namespace brindlewick

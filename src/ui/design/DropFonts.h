#pragma once

#include <QFont>
#include <QString>

namespace brindlewick {

// A font as the design asks for it. `size` is in device-independent pixels (the design's
// points), before Qt rounds it: Qt 6.4 loads every face at a whole pixel size, so text lays
// out at the nearest whole pixel, less than half a pixel from the request (22.4 lays out as
// 22). Text is never painted scaled to make up the difference.
struct DropFont {
  QString family;
  QFont::Weight weight = QFont::Normal;
  qreal size = 0;

  QFont font() const;
  friend bool operator==(const DropFont&, const DropFont&) = default;
};

// The two typefaces, compiled into the application so that every machine draws the same
// text: EB Garamond, the display serif of headlines, and Nunito, the rounded face of labels
// and controls, which is also the application font. Every font of the interface comes from
// display() or rounded(), but for the sign-in code, which is set in the desktop's monospaced
// family (monospaced()): its size differs from machine to machine, so whatever makes room
// for it measures the font it was given.
namespace DropFonts {

inline constexpr qreal bodySize = 13;
// Display text is set 1.12 times the size asked for.
inline constexpr qreal displayScale = 1.12;

QString displayFamily();
QString roundedFamily();

// Registers both typefaces from `directory` (the compiled-in resources unless a test says
// otherwise) for this process. A display face that cannot be registered leaves one
// critical record, "Garamond could not be registered: missing resource", in the category
// "app.brindlewick.Fonts" (Qt reports no reason); the program goes on with the rounded
// face. Returns whether every face registered.
bool registerFonts(const QString& directory = QStringLiteral(":/fonts"));

// The display face for a requested weight: regular and medium as asked, bold, extra bold
// and black as bold, every other weight (light, thin, semibold…) as semibold.
QFont::Weight displayFaceWeight(QFont::Weight requested);
// The display serif at `size` × 1.12, in the face of displayFaceWeight(); the rounded face
// at the same size when that face is not registered.
DropFont display(qreal size, QFont::Weight weight);
// The rounded face at `size`; its faces run from light to bold, and other weights take the
// nearest.
DropFont rounded(qreal size, QFont::Weight weight = QFont::Normal);

// The family the desktop's monospaced font really is (fontconfig resolves the alias
// "monospace" to one of the installed families), or the one set by setMonospacedFamily().
QString monospacedFamily();
// Makes monospaced() take `family` in place of the desktop's; an empty one follows the desktop
// again. Fonts made before keep the family they were made with.
void setMonospacedFamily(const QString& family);
// The monospaced family at `size`, in its face nearest to `weight`.
DropFont monospaced(qreal size, QFont::Weight weight = QFont::Normal);

} // namespace DropFonts

} // namespace brindlewick

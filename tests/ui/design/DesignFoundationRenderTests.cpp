#include "TestOutput.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropGlass.h"
#include "ui/design/DropMark.h"
#include "ui/design/DropSymbols.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using Tone = DropGlass::Tone;

constexpr qreal kRatio = 2;
constexpr ColorScheme kSchemes[] = {ColorScheme::light, ColorScheme::dark};

void text(QPainter& painter, QPointF at, const QString& words, const DropFont& font, const QColor& color) {
  painter.setPen(color);
  painter.setFont(font.font());
  painter.drawText(at, words);
}

void caption(QPainter& painter, QPointF at, const QString& words) {
  text(painter, at, words, DropFonts::rounded(11, QFont::Medium), QColor(90, 90, 90));
}

void heading(QPainter& painter, qreal y, const QString& words) {
  text(painter, QPointF(24, y), words, DropFonts::display(17, QFont::DemiBold), DropDesign::ink());
}

// Each section returns where the next one starts.
qreal paintBackgrounds(QPainter& painter, qreal top) {
  heading(painter, top + 20, QStringLiteral("Card backgrounds, hero, workspaces with accents and fills"));
  for (std::size_t index = 0; index < 12; ++index) {
    const QRectF card(24 + int(index) * 98, top + 32, 90, 130);
    painter.fillRect(card, DropDesign::panelBackground(Category(index), card));
    caption(painter, card.bottomLeft() + QPointF(0, 14),
            QString::fromLatin1(ContractEnum<Category>::wireValues[index].data()));
  }
  const QRectF hero(24, top + 190, 240, 130);
  painter.fillRect(hero, DropDesign::heroGradient(hero));
  for (const ColorScheme scheme : kSchemes) {
    const QRectF workspace(scheme == ColorScheme::dark ? 528 : 276, hero.top(), 240, 130);
    painter.save();
    painter.setClipRect(workspace);
    DropDesign::paintWorkspaceBackground(painter, workspace, scheme);
    painter.restore();
    const QColor swatches[] = {DropDesign::highlight(DropDesign::Highlight::teal, scheme),
                               DropDesign::highlight(DropDesign::Highlight::amber, scheme),
                               DropDesign::highlight(DropDesign::Highlight::violet, scheme),
                               DropDesign::selection(scheme),
                               DropDesign::hover(scheme),
                               DropDesign::primaryLabel(scheme),
                               DropDesign::secondaryLabel(scheme),
                               DropDesign::systemRed(scheme),
                               DropDesign::windowBackground(scheme)};
    for (int index = 0; index < 9; ++index) {
      painter.setPen(Qt::NoPen);
      painter.setBrush(swatches[index]);
      painter.drawRoundedRect(
          QRectF(workspace.left() + 12 + (index % 5) * 44, workspace.top() + 14 + (index / 5) * 52, 34, 34),
          9, 9);
    }
  }
  return hero.bottom() + 20;
}

qreal paintGlass(QPainter& painter, qreal y) {
  constexpr Tone tones[] = {Tone::clear, Tone::ink, Tone::paper, Tone::onDark};
  const char* toneNames[] = {"clear", "ink", "paper", "onDark"};
  for (const ColorScheme scheme : kSchemes) {
    const bool dark = scheme == ColorScheme::dark;
    heading(painter, y + 20,
            dark ? QStringLiteral("Glass, dark scheme") : QStringLiteral("Glass, light scheme"));
    caption(painter, QPointF(120, y + 42),
            QStringLiteral(
                "standard contrast, then increased; each untinted, then tinted; each resting, then lifted"));
    y += 52;
    for (int row = 0; row < 4; ++row) {
      const QRectF band(100, y, 8 * 136, 72);
      if (DropGlass::flags(tones[row], scheme).darkBackdrop && !dark)
        painter.fillRect(band, DropDesign::heroGradient(band));
      else
        DropDesign::paintWorkspaceBackground(painter, band, scheme);
      caption(painter, QPointF(24, y + 40), QString::fromLatin1(toneNames[row]));
      for (int column = 0; column < 8; ++column) {
        const std::optional<QColor> tint =
            column & 2 ? std::optional(DropDesign::highlight(DropDesign::Highlight::amber, scheme))
                       : std::nullopt;
        const DropGlass::Style style{tones[row], tint, scheme, (column & 4) != 0};
        DropGlass::paint(painter, DropGlass::capsule(QRectF(band.left() + column * 136 + 20, y + 14, 96, 40)),
                         style, column & 1);
      }
      y += 72;
    }
    y += 12;
  }
  return y;
}

qreal paintMarksAndFaces(QPainter& painter, qreal top) {
  heading(painter, top + 20, QStringLiteral("Mark, 16 to 64, and the faces"));
  // A checkerboard behind the first row shows that the drop is a hole.
  for (int x = 0; x < 560; x += 8) {
    for (int y = 0; y < 84; y += 8)
      painter.fillRect(QRectF(24 + x, top + 32 + y, 8, 8),
                       ((x + y) / 8) % 2 ? Qt::white : QColor(150, 150, 150));
  }
  painter.fillRect(QRectF(24, top + 124, 560, 84), DropDesign::ink());
  for (const qreal row : {top + 42, top + 134}) {
    qreal x = 32;
    for (const int size : {16, 20, 24, 32, 48, 64}) {
      DropMark::paint(painter, QRectF(x, row, size, size),
                      row < top + 100 ? DropDesign::cardColor(Category::creativity) : DropDesign::paper());
      x += size + 14;
    }
  }
  qreal y = top + 48;
  for (const QFont::Weight weight : {QFont::Normal, QFont::Medium, QFont::DemiBold, QFont::Bold}) {
    text(painter, QPointF(620, y), QStringLiteral("A drop of an idea, %1").arg(int(weight)),
         DropFonts::display(20, weight), DropDesign::ink());
    y += 30;
  }
  for (const QFont::Weight weight :
       {QFont::Light, QFont::Normal, QFont::Medium, QFont::DemiBold, QFont::Bold}) {
    text(painter, QPointF(620, y), QStringLiteral("Show Drop · Save · Next drop 10:30 · %1").arg(int(weight)),
         DropFonts::rounded(14, weight), DropDesign::ink());
    y += 20;
  }
  return std::max(y, top + 220);
}

qreal paintSymbols(QPainter& painter, qreal top) {
  heading(painter, top + 20, QStringLiteral("Symbols: plain and filled at 13, 17 and 32"));
  const QStringList names = DropSymbols::names();
  const qsizetype perColumn = (names.size() + 1) / 2;
  for (qsizetype index = 0; index < names.size(); ++index) {
    const qreal left = 24 + (index / perColumn) * 600;
    const qreal y = top + 36 + (index % perColumn) * 42;
    text(painter, QPointF(left, y + 24), names[index], DropFonts::rounded(11, QFont::Medium),
         DropDesign::ink());
    qreal x = left + 230;
    for (const QString& form : {names[index], names[index] + QStringLiteral(".fill")}) {
      for (const qreal size : {13.0, 17.0, 32.0}) {
        DropSymbols::paint(painter, form, QRectF(x, y, 40, 36), size, QFont::Normal, DropDesign::ink());
        x += 44;
      }
      x += 10;
    }
  }
  return top + 36 + perColumn * 42;
}

TEST(DesignFoundationRender, DrawsTheSheetOfTokensSurfacesMarksFacesAndSymbols) {
  ASSERT_TRUE(DropFonts::registerFonts());
  const QSize size(1240, 1990);
  QImage sheet(size * kRatio, QImage::Format_ARGB32_Premultiplied);
  sheet.setDevicePixelRatio(kRatio);
  sheet.fill(Qt::white);
  QPainter painter(&sheet);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal bottom =
      paintSymbols(painter, paintMarksAndFaces(painter, paintGlass(painter, paintBackgrounds(painter, 0))));
  painter.end();
  EXPECT_LE(bottom, size.height());
  EXPECT_TRUE(sheet.save(testing::testOutputPath(QStringLiteral("design-foundation.png"))));
}

} // namespace
} // namespace brindlewick

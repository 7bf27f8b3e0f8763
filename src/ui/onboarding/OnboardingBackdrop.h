#pragma once

#include <QString>
#include <QWidget>

namespace brindlewick {

// The first-run screen's backdrop: the deep-blue hero gradient, the sky (our own artwork,
// scaled to fill and cropped), and a dark radial shade from the centre that keeps the text
// readable. Without the sky, gradient and shade alone.
class OnboardingBackdrop : public QWidget {
  Q_OBJECT

public:
  static constexpr qreal shadeRadius = 700;

  // `sky` names the artwork (DropArtwork); the project's sky unless told otherwise.
  explicit OnboardingBackdrop(QWidget* parent = nullptr);
  OnboardingBackdrop(const QString& sky, QWidget* parent = nullptr);

  // The whole backdrop at `size`, made once per size and pixel ratio.
  static QPixmap picture(const QString& sky, QSize size, qreal devicePixelRatio);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QString m_sky;
};

} // namespace brindlewick

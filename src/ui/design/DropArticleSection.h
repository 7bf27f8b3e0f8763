#pragma once

#include <QColor>
#include <QMargins>
#include <QWidget>

#include <optional>

namespace brindlewick {

class DropTextBlock;

// A titled block of the reading page ("The idea in full", "Sources"): a tracked caption in
// the accent (the secondary label colour without one), then the caller's content in the
// primary label colour, passed down through the palette. It takes the whole width and is
// named "layout.detail.section" for the layout diagnostics.
class DropArticleSection : public QWidget {
  Q_OBJECT

public:
  DropArticleSection(const QString& title, const std::optional<QColor>& accent, QWidget* parent = nullptr);

  // Takes `content` into the section, below the caption. `room`: what `content` keeps free at
  // its edges for the shadows of the painted controls it holds, which then line up with the
  // caption and reach over the section's surroundings (ShapeLayoutItem).
  void setContent(QWidget* content, const QMargins& room = {});
  QWidget* content() const { return m_content; }
  DropTextBlock* caption() const { return m_caption; }

private:
  DropTextBlock* m_caption;
  QWidget* m_content = nullptr;
};

} // namespace brindlewick

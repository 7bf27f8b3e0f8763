#pragma once

#include "ui/design/DropDesign.h"
#include "ui/design/DropFonts.h"

#include <QTextBrowser>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace brindlewick {

// Text of the reading page: plain text the reader can select, wrapped over as many lines as
// it needs (never elided), with extra space between lines. Pieces of it may be links (opened
// through LinkOpener, never by the text itself) and may end in a small symbol. Nothing is
// ever read as markup. Font, colour and spacing follow the environment (Bold Text, scheme):
// the text is set again whenever it changes. It scrolls nothing itself: a wheel goes on to
// the page.
class ReadingText : public QTextBrowser {
  Q_OBJECT

public:
  struct Run {
    QString text;
    std::optional<QUrl> link = std::nullopt;
    // A symbol drawn after the text, in its colour, as part of the line.
    QString trailingSymbol = {};
  };
  struct Style {
    DropFont font;
    qreal lineSpacing = 0;  // extra space between two lines, in pixels
    bool secondary = false; // the secondary label colour rather than the primary
  };
  using StyleFor = std::function<Style(const UiTraits&)>;

  explicit ReadingText(const QString& text = {}, QWidget* parent = nullptr);
  ~ReadingText() override;

  void setRuns(QList<Run> runs);
  void setTextStyle(StyleFor style);
  // A symbol drawn before the text (the book of a book line).
  void setLeadingSymbol(const QString& symbol);

  const QList<Run>& runs() const { return m_runs; }
  QString text() const;
  // The style as it is drawn now.
  Style textStyle() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

protected:
  void wheelEvent(QWheelEvent* event) override;
  // The keys that scroll go on to the page too.
  void keyPressEvent(QKeyEvent* event) override;
  // Tab into a text with links lands on its first link (Backtab on its last), not on the
  // text itself, which would show nothing.
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  // The link the keyboard is on shows the design's ring around its words, and nothing else
  // marks it.
  void paintEvent(QPaintEvent* event) override;

private:
  // The span of the link the keyboard is on, while it is ringed.
  std::optional<std::pair<int, int>> ringedLink() const;
  // The boxes of the text from `start` to `end`, one per line, in the viewport.
  QList<QRectF> linkRects(int start, int end) const;
  // Sets the document again from the runs and the current style.
  void rebuild();
  void fill(QTextDocument& document) const;

  QList<Run> m_runs;
  StyleFor m_style;
  QString m_leadingSymbol;
  // A copy of the document that is only measured.
  std::unique_ptr<QTextDocument> m_measure;
};

} // namespace brindlewick

#pragma once

#include "content/ContentSnapshots.h"

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <optional>

class QAbstractButton;
class QLayout;
class QVBoxLayout;

namespace brindlewick {

class CollectionButton;
class DropButton;
class DropEmptyState;
class ReaderModel;
class ReadingText;

// The full reading page of one idea: a back bar with the love and save buttons, the
// withdrawal and correction notices, the topic and kind, the explanation set large, the books
// and how the claim is grounded, then the common belief, the idea in full, why it is
// surprising, the sources and related ideas to keep exploring. An idea the reader may not
// open (or none) shows an empty state instead. Every action goes to the model; the page
// keeps nothing of its own and builds itself again when the reader's text size, access or
// the installed release changes. Ctrl+[, Ctrl+Shift+L and Ctrl+S press the back, love and
// save buttons (a disabled button ignores its key); the keys belong to the page and go with it.
class DetailView : public QWidget {
  Q_OBJECT

public:
  static constexpr qreal bodySize = 17;
  static constexpr qreal explanationSize = 32;
  static constexpr qreal detailSize = 15;
  static constexpr int padding = 24;

  DetailView(ReaderModel& model, std::optional<DropSnapshot> snapshot, QWidget* parent = nullptr);
  ~DetailView() override;

  // Extra space between lines of the article text and of the explanation, in whole points
  // (halves away from zero).
  static qreal articleLineSpacing(double textScale);
  static qreal explanationLineSpacing(double textScale);
  // "research_finding" reads "Research Finding".
  static QString groundingLabel(EpistemicStatus status);

  // How a book is named: its title, linked to the address of the first of its sources that
  // has one when that address may be opened (a later source never stands in for a refused
  // one), then " · " and its authors.
  struct Attribution {
    QString title;
    std::optional<QUrl> link;
    QString authors; // joined with ", "
    QString text() const { return title + QStringLiteral(" \u00B7 ") + authors; }
  };
  static Attribution bookAttribution(const Book& book, const DropSnapshot& snapshot);

  // What is on show: an empty state or the idea's article.
  DropEmptyState* emptyState() const { return m_empty; }
  QWidget* article() const { return m_article; }
  DropButton* backButton() const { return m_back; }
  CollectionButton* loveButton() const { return m_love; }
  CollectionButton* saveButton() const { return m_save; }
  ReadingText* explanation() const { return m_explanation; }
  // The related ideas' buttons, in order.
  const QList<DropButton*>& relatedButtons() const { return m_related; }

private:
  // What the page is built from besides the snapshot; a change of any rebuilds it.
  struct Shape {
    bool readable = false;
    bool fullLibrary = false;
    double textScale = 1.0;
    friend bool operator==(const Shape&, const Shape&) = default;
  };
  Shape currentShape() const;
  void refresh(bool force);
  QWidget* buildArticle(const DropSnapshot& snapshot, const Shape& shape);
  QLayout* backBar(const DropSnapshot& snapshot, const Shape& shape);
  QWidget* header(const DropSnapshot& snapshot, double textScale);
  QWidget* related(const DropSnapshot& snapshot, const Shape& shape);
  void openRelated(const DropSnapshot& related);

  QPointer<ReaderModel> m_model;
  std::optional<DropSnapshot> m_snapshot;
  std::optional<Shape> m_shape;
  QVBoxLayout* m_root;
  QWidget* m_shown = nullptr;
  DropEmptyState* m_empty = nullptr;
  QWidget* m_article = nullptr;
  DropButton* m_back = nullptr;
  CollectionButton* m_love = nullptr;
  CollectionButton* m_save = nullptr;
  ReadingText* m_explanation = nullptr;
  QList<DropButton*> m_related;
};

} // namespace brindlewick

#pragma once

#include "content/ContentSnapshots.h"

#include <QPointer>
#include <QWidget>

namespace brindlewick {

class DropSymbolView;
class DropTextBlock;
class ReaderModel;

// The summary of one kept idea in the library: its topic and kind, its explanation (at most
// three lines), the books it cites (at most two) and, when the content has moved on, one
// status badge: withdrawn, else a corrected revision. The badge follows the repository's
// withdrawals and release. Every text is plain; a cut text ends in an ellipsis.
class LibraryRow : public QWidget {
  Q_OBJECT

public:
  LibraryRow(ReaderModel& model, const DropSnapshot& snapshot, QWidget* parent = nullptr);

  void setSnapshot(const DropSnapshot& snapshot);
  const DropSnapshot& snapshot() const { return m_snapshot; }

  // "Title — Author, Author · Title — Author".
  static QString booksText(const DropSnapshot& snapshot);
  // The badge's text for `snapshot` in the model now; empty for none.
  static QString badgeText(const ReaderModel& model, const DropSnapshot& snapshot);

  DropTextBlock* explanationLabel() const { return m_explanation; }
  DropTextBlock* booksLabel() const { return m_books; }
  DropTextBlock* badgeLabel() const { return m_badge; }

private:
  void refreshBadge();
  void describe();

  QPointer<ReaderModel> m_model;
  DropSnapshot m_snapshot;
  DropTextBlock* m_eyebrow;
  DropTextBlock* m_explanation;
  DropTextBlock* m_books;
  QWidget* m_badgeLine;
  DropSymbolView* m_badgeSymbol;
  DropTextBlock* m_badge;
};

} // namespace brindlewick

#pragma once

#include "model/ReaderModel.h"
#include "ui/library/LibraryViewModel.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <memory>

namespace brindlewick {

// The library page's lists kept in step with the application model. Every change signal the
// lists depend on, and every edit of the shared search text, only marks the page dirty; one
// queued recompute per turn of the event loop then derives what the marks ask for, so a burst
// of signals costs one derivation and a keystroke never rebuilds the collection. Views read
// lists() and follow changed().
class LibraryPageModel : public QObject {
  Q_OBJECT

public:
  LibraryPageModel(ReaderModel& model, ReaderTab tab, QObject* parent = nullptr);

  ReaderModel& model() const { return *m_model; }
  const LibraryViewModel& lists() const { return m_lists; }

  // Page state: each derives again at once, since the reader is looking at the result.
  void setBook(const QString& book);
  void setTopic(const QString& topic);
  void setRecentOnly(bool recentOnly);
  void setSelection(const std::optional<QString>& selection);
  // Writes the shared search text, the book and the topic back to empty.
  void clearFilters();

Q_SIGNALS:
  // The lists were derived again.
  void changed();

private:
  void inputsChanged();
  void searchChanged();
  void schedule();
  void recompute();
  LibraryInputs gather();

  QPointer<ReaderModel> m_model;
  LibraryViewModel m_lists;
  bool m_inputsDirty = true;
  bool m_searchDirty = true;
  bool m_scheduled = false;
  // The installed release's snapshots by drop id, made once per release and withdrawals.
  std::shared_ptr<QHash<QString, std::optional<DropSnapshot>>> m_resolved;
};

} // namespace brindlewick

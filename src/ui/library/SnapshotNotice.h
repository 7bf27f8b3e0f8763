#pragma once

#include "content/ContentSnapshots.h"

#include <QObject>
#include <QPointer>

class QBoxLayout;

namespace brindlewick {

class DropButton;
class DropNotice;
class ReaderModel;

// The notices over a kept snapshot on the reading page: that its drop was withdrawn from
// delivery, and that a corrected revision is installed, with a button that opens it while the
// reader may read (storage healthy and signed in). It has no container of its own: its two
// blocks go straight into the caller's layout, each shown only while it applies, and follow
// the repository, the storage health and the sign-in.
class SnapshotNotice : public QObject {
  Q_OBJECT

public:
  SnapshotNotice(ReaderModel& model, const DropSnapshot& snapshot, QBoxLayout* into);

  static QString withdrawnText(const QString& reason);
  static QString correctedText(qint64 keptRevision);
  static QString openTitle(qint64 currentRevision);

  DropNotice* withdrawalNotice() const { return m_withdrawal; }
  QWidget* correctionBlock() const { return m_correction; }
  DropNotice* correctionNotice() const { return m_correctionNotice; }
  DropButton* openButton() const { return m_open; }

private:
  void refresh();

  QPointer<ReaderModel> m_model;
  DropSnapshot m_snapshot;
  std::optional<DropSnapshot> m_current;
  DropNotice* m_withdrawal;
  QWidget* m_correction;
  DropNotice* m_correctionNotice;
  DropButton* m_open;
};

} // namespace brindlewick

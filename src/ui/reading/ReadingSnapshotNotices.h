#pragma once

#include "content/ContentSnapshots.h"

#include <QList>

class QBoxLayout;
class QWidget;

namespace brindlewick {

class ReaderModel;

// The notices over a kept snapshot on the reading page, added straight into the page's
// stack: that its drop was withdrawn from delivery, and that a corrected revision is
// installed, with a button that opens it while the reader may read the whole library. They
// show the model as it is when added; the page adds them again when it changes.
namespace ReadingSnapshotNotices {

QString withdrawnText(const QString& reason);
QString correctedText(qint64 keptRevision);
QString openTitle(qint64 currentRevision);

// Adds what applies to `snapshot` to `into` and returns the widgets added, in order.
QList<QWidget*> add(ReaderModel& model, const DropSnapshot& snapshot, QBoxLayout* into);

} // namespace ReadingSnapshotNotices

} // namespace brindlewick

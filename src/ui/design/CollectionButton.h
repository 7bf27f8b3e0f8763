#pragma once

#include "content/ContentSnapshots.h"
#include "ui/design/DropButton.h"

#include <QPointer>

namespace brindlewick {

class ReaderModel;

// The per-idea toggle of one of the account's two collections: the saved list or the loved
// ideas. It keeps no state of its own: it asks the model whether the idea is in the
// collection, follows the model's saved, loved and busy signals, and hands a press to
// ReaderModel::changeCollection(), which does the account work and reports failures. While
// any collection request runs, every such button of every idea is disabled. Between off and
// on the outline and filled symbols cross-fade (at once under Reduce Motion).
class CollectionButton : public DropButton {
  Q_OBJECT

public:
  enum class Action { save, love };

  // `reader`: on the dark reading card, in its appearance and never tinted. `context` begins
  // the accessibility identifier ("reader" gives "reader.save").
  CollectionButton(ReaderModel& model, const DropSnapshot& snapshot, Action action, bool reader,
                   bool iconOnly, const QString& context, QWidget* parent = nullptr);

  void setSnapshot(const DropSnapshot& snapshot);
  const DropSnapshot& snapshot() const { return m_snapshot; }
  Action action() const { return m_action; }
  // Whether the model has the idea in this button's collection.
  bool isOn() const;

  // The colour of an idea in the collection, off the reading card.
  static QColor tint(Action action, ColorScheme scheme);
  // The symbol and the texts for a state.
  static QString symbolFor(Action action, bool on);
  static QString title(Action action, bool on);
  static QString accessibleLabel(Action action, bool on);
  static QString help(Action action, bool on);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  // Reads the model again: state, texts, enablement.
  void refresh(bool animated);

  QPointer<ReaderModel> m_model;
  DropSnapshot m_snapshot;
  Action m_action;
  bool m_reader;
  QString m_context;
  // 0 shows the off look, 1 the on look; between, the two cross-fade.
  DropFeedback m_on{this};
};

} // namespace brindlewick

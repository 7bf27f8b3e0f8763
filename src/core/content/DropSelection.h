#pragma once

#include "content/ContentContracts.h"
#include "content/ContentSnapshots.h"
#include "foundation/Date.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace brindlewick {

// Where a draw gets its randomness: each call returns a value meant to lie in [0, 1).
// Injected so that tests can script the draw.
using RandomSource = std::function<double()>;

// A uniform value in [0, 1) from the system's generator.
double systemRandom();

// What a choice needs to know of the installed release's drops that changes only when a
// release is installed: where each drop sits in the release, whether it is withdrawn, and when
// it arrived. Built once per installation, so that a choice reads the per-drop facts by
// position instead of hashing every drop id on every call.
class SelectionIndex {
public:
  SelectionIndex() = default;
  SelectionIndex(const QList<Drop>& lore, const QHash<QString, QString>& withdrawals,
                 const QHash<QString, Date>& arrivals);

  // The position of the first drop with this id; none when the release has no such drop.
  std::optional<qsizetype> position(const QString& dropId) const;
  bool isWithdrawn(qsizetype position) const { return m_withdrawn[static_cast<std::size_t>(position)]; }
  // The distant past for a drop without an arrival date.
  Date arrival(qsizetype position) const { return m_arrivals[static_cast<std::size_t>(position)]; }

private:
  QHash<QString, qsizetype> m_positions;
  std::vector<bool> m_withdrawn;
  std::vector<Date> m_arrivals;
};

// The state one choice reads, borrowed from the repository for the length of the call.
struct SelectionState {
  // The installed release's drops, in release order.
  const QList<Drop>& lore;
  // Built from `lore` and the repository's withdrawals and arrivals.
  const SelectionIndex& index;
  // Drop id → when it was last delivered.
  const QHash<QString, Date>& seen;
  // Newest first.
  const QList<HistoryEntry>& history;
};

// Which categories the reader wants to see, indexed by Category.
using CategoryMask = std::array<bool, caseCount<Category>()>;

struct SelectionRequest {
  CategoryMask categories{};
  // The drop being replaced: never returned, and its category counts as just seen.
  std::optional<QString> excluding;
  // Asks for a neighbour of this drop; it is never returned itself.
  const Drop* relatedTo = nullptr;
};

// The choice of the next drop, as pure functions of the repository's state: eligible drops
// of the wanted categories, never-shown ones first (the newest arrivals among them),
// otherwise the least recently shown, away from the categories just seen, then a weighted
// draw that favours useful, clear, well-sourced drops unlike the previous one.
namespace DropSelection {

// Every category when surprise-me is on, otherwise the topics that name a category (a topic
// that names none matches nothing).
CategoryMask wantedCategories(const QSet<QString>& topics, bool surpriseMe);

// The position in `lore` of the chosen drop; none when no drop is eligible.
// `random` is called exactly once when a draw is reached.
std::optional<qsizetype> choose(const SelectionState& state, const SelectionRequest& request,
                                const RandomSource& random);

// True when the two drops are neighbours: one names the other as related, or they share the
// category, a book or a tag.
bool isRelated(const Drop& candidate, const Drop& to);

// The draw weight of a candidate after `previous` (none before the first show): between 1
// and 32.
double weight(const Drop& candidate, const Drop* previous);

// Maps whatever a random source returns into [0, 0.999999999]: NaN, infinities, zero and
// negative values become 0.
double clampDraw(double value);

// The index chosen by a clamped draw over the weights (at least one): the first whose
// cumulative weight passes draw × total; a run-off through rounding chooses the last.
qsizetype drawIndex(const std::vector<double>& weights, double clampedDraw);

} // namespace DropSelection

} // namespace brindlewick

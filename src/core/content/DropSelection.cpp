#include "content/DropSelection.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace brindlewick {

double systemRandom() {
  return QRandomGenerator::global()->generateDouble();
}

namespace {

constexpr double largestDraw = 0.999999999;

// Exact equality of the UTF-16 text, as ids and tags compare; cheaper than QString's
// operator==, which goes through the general comparison. Ids of one length mostly differ in
// their last characters, so those are compared first.
bool sameText(const QString& a, const QString& b) {
  const qsizetype size = a.size();
  if (size != b.size())
    return false;
  if (size == 0)
    return true;
  return a.at(size - 1) == b.at(size - 1) &&
         std::memcmp(a.constData(), b.constData(), std::size_t(size) * sizeof(QChar)) == 0;
}

bool sharesAny(const QStringList& a, const QStringList& b) {
  // Both lists are short (at most 30 books, 12 tags): a nested scan beats building a set.
  for (const QString& x : a) {
    for (const QString& y : b) {
      if (sameText(x, y))
        return true;
    }
  }
  return false;
}

bool listsId(const QStringList& ids, const QString& id) {
  return std::any_of(ids.begin(), ids.end(), [&](const QString& x) { return sameText(x, id); });
}

std::size_t indexOf(Category category) {
  return static_cast<std::size_t>(category);
}

struct Candidate {
  qsizetype index;
  std::optional<Date> lastShown;
};

} // namespace

SelectionIndex::SelectionIndex(const QList<Drop>& lore, const QHash<QString, QString>& withdrawals,
                               const QHash<QString, Date>& arrivals) {
  m_positions.reserve(lore.size());
  m_withdrawn.reserve(static_cast<std::size_t>(lore.size()));
  m_arrivals.reserve(static_cast<std::size_t>(lore.size()));
  for (qsizetype i = 0; i < lore.size(); ++i) {
    const QString& id = lore[i].id;
    if (!m_positions.contains(id))
      m_positions.insert(id, i);
    m_withdrawn.push_back(withdrawals.contains(id));
    m_arrivals.push_back(arrivals.value(id, Date::distantPast()));
  }
}

std::optional<qsizetype> SelectionIndex::position(const QString& dropId) const {
  const auto it = m_positions.constFind(dropId);
  return it == m_positions.constEnd() ? std::nullopt : std::optional<qsizetype>(it.value());
}

namespace DropSelection {

CategoryMask wantedCategories(const QSet<QString>& topics, bool surpriseMe) {
  CategoryMask mask{};
  for (const Category category : allCases<Category>())
    mask[indexOf(category)] = surpriseMe || topics.contains(rawValue(category));
  return mask;
}

bool isRelated(const Drop& candidate, const Drop& to) {
  return listsId(to.relatedLoreIds, candidate.id) || listsId(candidate.relatedLoreIds, to.id) ||
         candidate.category == to.category || sharesAny(candidate.bookIds, to.bookIds) ||
         sharesAny(candidate.tags, to.tags);
}

double weight(const Drop& candidate, const Drop* previous) {
  double base = 2.0;
  if (previous) {
    if (candidate.category == previous->category)
      base = 1.0;
    else
      base = sharesAny(candidate.bookIds, previous->bookIds) ? 1.0 : 2.0;
  }
  const qint64 sum =
      candidate.scores.usefulness + candidate.scores.clarity + candidate.scores.sourceConfidence + 1;
  return base * static_cast<double>(sum);
}

double clampDraw(double value) {
  if (!std::isfinite(value) || value <= 0.0)
    return 0.0;
  return std::min(value, largestDraw);
}

qsizetype drawIndex(const std::vector<double>& weights, double clampedDraw) {
  double total = 0.0;
  for (const double w : weights)
    total += w;
  double target = clampedDraw * total;
  for (std::size_t i = 0; i < weights.size(); ++i) {
    target -= weights[i];
    if (target < 0.0)
      return static_cast<qsizetype>(i);
  }
  return static_cast<qsizetype>(weights.size()) - 1;
}

std::optional<qsizetype> choose(const SelectionState& state, const SelectionRequest& request,
                                const RandomSource& random) {
  const QList<Drop>& lore = state.lore;
  const SelectionIndex& index = state.index;
  const Drop* related = request.relatedTo;
  // Ids are unique within a release, so excluding a drop is excluding its position (-1 for
  // a drop the release lacks).
  constexpr qsizetype nowhere = -1;
  const qsizetype excluded =
      request.excluding ? index.position(*request.excluding).value_or(nowhere) : nowhere;
  const qsizetype relatedPosition = related ? index.position(related->id).value_or(nowhere) : nowhere;

  // Last shown, by position: the later of `seen` and the newest history entry of each drop.
  // Drops that this release lacks play no part.
  std::vector<std::optional<Date>> lastShown(static_cast<std::size_t>(lore.size()));
  const auto mark = [&](const QString& dropId, Date at) {
    if (const std::optional<qsizetype> position = index.position(dropId)) {
      std::optional<Date>& shown = lastShown[static_cast<std::size_t>(*position)];
      if (!shown || at > *shown)
        shown = at;
    }
  };
  for (auto it = state.seen.begin(); it != state.seen.end(); ++it)
    mark(it.key(), it.value());
  for (const HistoryEntry& entry : state.history)
    mark(entry.snapshot.id(), entry.shownAt);

  // Eligibility, exclusion and relatedness in one pass, remembering who was never shown.
  std::vector<Candidate> candidates;
  candidates.reserve(static_cast<std::size_t>(lore.size()));
  bool anyNeverShown = false;
  for (qsizetype i = 0; i < lore.size(); ++i) {
    const Drop& drop = lore[i];
    if (!request.categories[indexOf(drop.category)] || index.isWithdrawn(i) || i == excluded ||
        i == relatedPosition)
      continue;
    if (related && !isRelated(drop, *related))
      continue;
    const std::optional<Date>& shown = lastShown[static_cast<std::size_t>(i)];
    anyNeverShown = anyNeverShown || !shown;
    candidates.push_back({i, shown});
  }
  if (candidates.empty())
    return std::nullopt;

  // Never-shown drops beat every drop shown before.
  if (anyNeverShown)
    std::erase_if(candidates, [](const Candidate& c) { return c.lastShown.has_value(); });

  // Category variety: avoid as many of the categories just seen as still leaves a candidate.
  if (!related) {
    std::vector<Category> recent;
    if (excluded != nowhere)
      recent.push_back(lore[excluded].category);
    for (qsizetype i = 0; i < std::min<qsizetype>(3, state.history.size()); ++i)
      recent.push_back(state.history[i].snapshot.lore.category);
    for (std::size_t k = recent.size(); k >= 1; --k) {
      CategoryMask avoided{};
      for (std::size_t j = 0; j < k; ++j)
        avoided[indexOf(recent[j])] = true;
      const auto outside = [&](const Candidate& c) { return !avoided[indexOf(lore[c.index].category)]; };
      if (std::any_of(candidates.begin(), candidates.end(), outside)) {
        std::erase_if(candidates, [&](const Candidate& c) { return !outside(c); });
        break;
      }
    }
  }

  // Freshness: the newest arrival batch among never-shown drops, otherwise the least
  // recently shown. Dates compare exactly, so a whole batch or a shared instant stays.
  std::vector<Date> dates;
  dates.reserve(candidates.size());
  for (const Candidate& c : candidates)
    dates.push_back(anyNeverShown ? index.arrival(c.index) : c.lastShown.value_or(Date::distantPast()));
  const Date kept = anyNeverShown ? *std::max_element(dates.begin(), dates.end())
                                  : *std::min_element(dates.begin(), dates.end());
  std::vector<qsizetype> finalists;
  finalists.reserve(candidates.size());
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (dates[i] == kept)
      finalists.push_back(candidates[i].index);
  }

  const Drop* previous = state.history.isEmpty() ? nullptr : &state.history.first().snapshot.lore;
  std::vector<double> weights;
  weights.reserve(finalists.size());
  for (const qsizetype position : finalists)
    weights.push_back(weight(lore[position], previous));

  return finalists[static_cast<std::size_t>(drawIndex(weights, clampDraw(random())))];
}

} // namespace DropSelection

} // namespace brindlewick

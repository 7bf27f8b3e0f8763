#include "DropSelection.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

namespace brindlewick {

double systemRandom() { return QRandomGenerator::global()->generateDouble(); }

namespace DropSelection {

namespace {

constexpr double largestDraw = 0.999999999;

bool sharesAny(const QStringList& a, const QStringList& b) {
  // Both lists are short (at most 30 books, 12 tags): a nested scan beats building a set.
  return std::any_of(a.begin(), a.end(), [&](const QString& value) { return b.contains(value); });
}

std::size_t indexOf(Category category) { return static_cast<std::size_t>(category); }

// The later of a drop's last delivery and its newest history entry. Built without copying
// `seen`: the history's own dates go into a small map, and `seen` is read by key.
class LastShown {
public:
  LastShown(const QHash<QString, Date>& seen, const QList<HistoryEntry>& history) : m_seen(seen) {
    m_fromHistory.reserve(history.size());
    for (const HistoryEntry& entry : history) {
      const auto it = m_fromHistory.find(entry.snapshot.id());
      if (it == m_fromHistory.end())
        m_fromHistory.insert(entry.snapshot.id(), entry.shownAt);
      else if (entry.shownAt > it.value())
        it.value() = entry.shownAt;
    }
  }

  std::optional<Date> operator()(const QString& dropId) const {
    std::optional<Date> result;
    if (const auto it = m_seen.constFind(dropId); it != m_seen.constEnd())
      result = it.value();
    if (const auto it = m_fromHistory.constFind(dropId); it != m_fromHistory.constEnd()) {
      if (!result || it.value() > *result)
        result = it.value();
    }
    return result;
  }

private:
  const QHash<QString, Date>& m_seen;
  QHash<QString, Date> m_fromHistory;
};

struct Candidate {
  qsizetype index;
  std::optional<Date> lastShown;
};

} // namespace

CategoryMask wantedCategories(const QSet<QString>& topics, bool surpriseMe) {
  CategoryMask mask{};
  for (const Category category : allCases<Category>())
    mask[indexOf(category)] = surpriseMe || topics.contains(rawValue(category));
  return mask;
}

bool isRelated(const Drop& candidate, const Drop& to) {
  return to.relatedLoreIds.contains(candidate.id) || candidate.relatedLoreIds.contains(to.id) ||
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
  const qint64 sum = candidate.scores.usefulness + candidate.scores.clarity + candidate.scores.sourceConfidence + 1;
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
  const Drop* related = request.relatedTo;
  const LastShown lastShown(state.seen, state.history);

  // Eligibility, exclusion and relatedness in one pass, remembering who was never shown.
  std::vector<Candidate> candidates;
  candidates.reserve(static_cast<std::size_t>(lore.size()));
  bool anyNeverShown = false;
  for (qsizetype i = 0; i < lore.size(); ++i) {
    const Drop& drop = lore[i];
    if (!request.categories[indexOf(drop.category)])
      continue;
    if (!state.withdrawals.isEmpty() && state.withdrawals.contains(drop.id))
      continue;
    if ((request.excluding && drop.id == *request.excluding) || (related && drop.id == related->id))
      continue;
    if (related && !isRelated(drop, *related))
      continue;
    const std::optional<Date> shown = lastShown(drop.id);
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
    if (request.excluding) {
      const auto it = std::find_if(lore.begin(), lore.end(),
                                   [&](const Drop& drop) { return drop.id == *request.excluding; });
      if (it != lore.end())
        recent.push_back(it->category);
    }
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
  const auto freshness = [&](const Candidate& c) {
    if (anyNeverShown) {
      const auto it = state.arrivals.constFind(lore[c.index].id);
      return it == state.arrivals.constEnd() ? Date::distantPast() : it.value();
    }
    return c.lastShown.value_or(Date::distantPast());
  };
  std::vector<Date> dates;
  dates.reserve(candidates.size());
  for (const Candidate& c : candidates)
    dates.push_back(freshness(c));
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
  for (const qsizetype index : finalists)
    weights.push_back(weight(lore[index], previous));

  return finalists[static_cast<std::size_t>(drawIndex(weights, clampDraw(random())))];
}

} // namespace DropSelection

} // namespace brindlewick

#pragma once

#include "content/ContractRules.h"
#include "foundation/Json.h"

#include <QByteArray>
#include <QHashFunctions>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <exception>
#include <optional>
#include <string_view>
#include <utility>

namespace brindlewick {

// ---------------------------------------------------------------------------------------------
// Enumerations. Each travels as its wire value, a JSON string; the declaration order is the
// order of allCases and the index used for tables.

enum class Category {
  psychology,
  science,
  technology,
  business,
  philosophy,
  history,
  creativity,
  design,
  economics,
  productivity,
  society,
  biography
};

enum class DropKind { surprisingIdea, beliefVsReality, mentalModel, story, question, crossBookConnection };

enum class SourceType { book, interview, essay, research, review, publicDomain };

enum class RightsBasis { publicDomain, permission, referenceOnly };

enum class EpistemicStatus { authorArgument, researchFinding, anecdote, editorialSynthesis };

// Wire values of each enumeration, in declaration order.
template <typename E> struct ContractEnum;

template <> struct ContractEnum<Category> {
  static constexpr std::string_view name = "Category";
  static constexpr std::array<std::string_view, 12> wireValues = {
      "psychology", "science", "technology", "business",     "philosophy", "history",
      "creativity", "design",  "economics",  "productivity", "society",    "biography"};
};

template <> struct ContractEnum<DropKind> {
  static constexpr std::string_view name = "DropKind";
  static constexpr std::array<std::string_view, 6> wireValues = {
      "surprising_idea", "belief_vs_reality", "mental_model", "story", "question", "cross_book_connection"};
};

template <> struct ContractEnum<SourceType> {
  static constexpr std::string_view name = "SourceType";
  static constexpr std::array<std::string_view, 6> wireValues = {"book",     "interview", "essay",
                                                                 "research", "review",    "public_domain"};
};

template <> struct ContractEnum<RightsBasis> {
  static constexpr std::string_view name = "RightsBasis";
  static constexpr std::array<std::string_view, 3> wireValues = {"public_domain", "permission",
                                                                 "reference_only"};
};

template <> struct ContractEnum<EpistemicStatus> {
  static constexpr std::string_view name = "EpistemicStatus";
  static constexpr std::array<std::string_view, 4> wireValues = {"author_argument", "research_finding",
                                                                 "anecdote", "editorial_synthesis"};
};

template <typename E> constexpr std::size_t caseCount() {
  return ContractEnum<E>::wireValues.size();
}

// Every case in declaration order.
template <typename E> constexpr std::array<E, caseCount<E>()> allCases() {
  std::array<E, caseCount<E>()> cases{};
  for (std::size_t i = 0; i < cases.size(); ++i)
    cases[i] = static_cast<E>(i);
  return cases;
}

template <typename E> QString rawValue(E value) {
  const std::string_view wire = ContractEnum<E>::wireValues[static_cast<std::size_t>(value)];
  return QString::fromLatin1(wire.data(), static_cast<qsizetype>(wire.size()));
}

// The case whose wire value is exactly `text` (case-sensitive, nothing trimmed), or none.
template <typename E> std::optional<E> fromRawValue(QStringView text) {
  const auto& wires = ContractEnum<E>::wireValues;
  for (std::size_t i = 0; i < wires.size(); ++i) {
    if (text == QLatin1StringView(wires[i].data(), static_cast<qsizetype>(wires[i].size())))
      return static_cast<E>(i);
  }
  return std::nullopt;
}

// Lets the enumerations key a QSet or QHash (std::hash covers them already).
template <typename E>
requires requires {
  ContractEnum<E>::wireValues;
}
size_t qHash(E value, size_t seed = 0) noexcept {
  return ::qHash(static_cast<int>(value), seed);
}

// The hue and saturation (each 0...1) of a category's colour; brightness is the design
// system's choice.
struct CategoryPalette {
  double hue;
  double saturation;
  friend bool operator==(const CategoryPalette&, const CategoryPalette&) = default;
};
CategoryPalette palette(Category category);

// ---------------------------------------------------------------------------------------------
// Records. Plain values; a record obtained from decode() satisfies every reading rule of the
// contract. encode() writes every key, an absent optional value as an explicit null. Text
// compares as Unicode text: canonically equivalent spellings are equal.

struct Book {
  QString id;
  QString title;
  QStringList authors;
  std::optional<qint64> publicationYear;
  std::optional<QString> publisher;
  QString description;
  QList<Category> topics;

  // Strict reading; `path` names the object in JSON decoding errors.
  static Book decode(const QJsonValue& value, const QString& path = {});
  // The same rules on a value of a parsed document, for readers of larger documents that
  // embed the record (a stored snapshot, the account's items).
  static Book decode(const Json::Tree::Value& value, const Json::Path& path);
  QJsonObject encode() const;
  friend bool operator==(const Book& a, const Book& b);
};

struct Source {
  QString id;
  QString bookId;
  QString title;
  std::optional<QString> url;
  QString locator;
  SourceType sourceType = SourceType::book;
  RightsBasis rightsBasis = RightsBasis::publicDomain;
  QString rightsNotes;
  QString accessedAt;

  static Source decode(const QJsonValue& value, const QString& path = {});
  static Source decode(const Json::Tree::Value& value, const Json::Path& path);
  QJsonObject encode() const;
  friend bool operator==(const Source& a, const Source& b);
};

struct Scores {
  qint64 surprise = 0;
  qint64 counterintuitiveness = 0;
  qint64 usefulness = 0;
  qint64 clarity = 0;
  qint64 memorability = 0;
  qint64 novelty = 0;
  qint64 sourceConfidence = 0;
  qint64 conversationWorthiness = 0;

  static Scores decode(const QJsonValue& value, const QString& path = {});
  QJsonObject encode() const;
  friend bool operator==(const Scores&, const Scores&) = default;
};

// One idea of a release; on the wire an item of the release's "lore" array.
struct Drop {
  QString id;
  qint64 revision = 1;
  DropKind kind = DropKind::surprisingIdea;
  QString headline;
  QString explanation;
  QString longExplanation;
  QString whySurprising;
  Category category = Category::psychology;
  QStringList tags;
  QString conceptKey;
  QStringList bookIds;
  QStringList sourceIds;
  QStringList relatedLoreIds;
  EpistemicStatus epistemicStatus = EpistemicStatus::authorArgument;
  Scores scores;
  std::optional<QString> commonBelief;
  std::optional<QString> question;

  static Drop decode(const QJsonValue& value, const QString& path = {});
  static Drop decode(const Json::Tree::Value& value, const Json::Path& path);
  QJsonObject encode() const;
  friend bool operator==(const Drop& a, const Drop& b);
};

struct Withdrawal {
  QString loreId;
  QString reason;
  QString withdrawnAt;

  static Withdrawal decode(const QJsonValue& value, const QString& path = {});
  QJsonObject encode() const;
  friend bool operator==(const Withdrawal& a, const Withdrawal& b);
};

// ---------------------------------------------------------------------------------------------
// The two documents of a content release: the small manifest that announces a release, and
// the release itself. "lore" is the wire name of the release's drops.

struct ContentManifest {
  qint64 schemaVersion = 1;
  QString releaseId;
  QString publishedAt;
  QString minimumAppVersion;
  qint64 loreCount = 0;
  QString checksumSha256;
  qint64 byteLength = 0;

  // Strict reading of a document's top-level object.
  static ContentManifest decode(const QJsonValue& value);
  QJsonObject encode() const;
  friend bool operator==(const ContentManifest& a, const ContentManifest& b);
};

struct ContentRelease {
  qint64 schemaVersion = 1;
  QString releaseId;
  QString publishedAt;
  QString minimumAppVersion;
  bool developmentOnly = false;
  QList<Book> books;
  QList<Source> sources;
  QList<Drop> lore;
  QList<Withdrawal> withdrawals;

  // Strict reading, then the rules that tie the records of one release together.
  static ContentRelease decode(const QJsonValue& value);
  QJsonObject encode() const;
  friend bool operator==(const ContentRelease& a, const ContentRelease& b);
};

// The single gate between downloaded or stored bytes and content records. Refusals are
// ContractValidationErrors; text that is not JSON, or JSON of the wrong shape, is a
// JsonDecodingError. Pure functions: safe on any thread.
namespace ContractValidation {

inline constexpr qsizetype maximumReleaseBytes = 10485760;

ContentManifest decodeManifest(const QByteArray& body, const QString& appVersion);
ContentRelease decodeRelease(const QByteArray& body, bool allowDevelopment, const QString& appVersion);
// Checks the body against its manifest (version, length, digest) before decoding any of it.
ContentRelease validateRelease(const QByteArray& body, const ContentManifest& manifest,
                               const QString& appVersion);

} // namespace ContractValidation

// ---------------------------------------------------------------------------------------------
// The reading rules shared by every record and document.

// A list of records as a JSON array, each written with its encode(), in stored order.
template <typename Record> QJsonArray encodeRecords(const QList<Record>& records) {
  QJsonArray array;
  for (const Record& record : records)
    array.append(record.encode());
  return array;
}

} // namespace brindlewick

#include "content/ContentContracts.h"

#include "foundation/Json.h"

#include <QHash>
#include <QJsonArray>
#include <QSet>

#include <algorithm>
#include <span>
#include <stdexcept>

namespace brindlewick {

CategoryPalette palette(Category category) {
  static constexpr std::array<double, 12> hues = {0.72, 0.48, 0.56, 0.07, 0.2,  0.08,
                                                  0.84, 0.02, 0.12, 0.36, 0.62, 0.93};
  static constexpr std::array<double, 12> saturations = {0.9, 1.0, 1.0, 1.0, 0.8, 0.55,
                                                         1.0, 1.0, 1.0, 0.9, 0.9, 0.85};
  const auto index = static_cast<std::size_t>(category);
  return {hues[index], saturations[index]};
}

namespace {

[[noreturn]] void refuse(const QString& message) {
  throw ContractValidationError(message);
}

// Documents are read from a Json::Tree: values stay spans of the text until a rule reads
// them, so a 10 MiB release goes from bytes to records in one scan and one pass.
using Value = Json::Tree::Value;
using Json::Path;
using Json::readBool;
using Json::readInteger;
using Json::readString;

template <typename E> E readEnum(const Value& value, const Path& path) {
  const QString text = readString(value, path);
  if (const auto result = fromRawValue<E>(text))
    return *result;
  QString name = QString::fromLatin1(ContractEnum<E>::name.data(), qsizetype(ContractEnum<E>::name.size()));
  throw JsonDecodingError(path.toString(),
                          QStringLiteral("\"%1\" is not a %2 value").arg(text.left(200), name));
}

// An object whose key set must be exactly the record's keys (null values count as present).
// Nothing is read before the key set is known to be right, so a wrong key set wins over
// every field error.
class StrictObject {
public:
  static constexpr std::size_t maximumKeys = 17;

  StrictObject(const Value& value, const Path& path, std::span<const QLatin1StringView> keys)
      : m_path(path), m_keys(keys) {
    Q_ASSERT(keys.size() <= maximumKeys);
    Json::expectObject(value, path);
    // Keys are unique within an object (the parser refuses repeats), so as many members as
    // expected keys, each one of them, means the two sets are equal; only a mismatch pays
    // for building the lists.
    bool complete = value.size() == qsizetype(keys.size());
    std::size_t found = 0;
    Value key = value.firstChild();
    for (qsizetype member = 0; complete && member < value.size(); ++member) {
      const Value field = key.nextSibling();
      // Members usually come in declaration order: try the next expected key first.
      std::size_t slot = found < keys.size() && key.equals(keys[found]) ? found : keys.size();
      for (std::size_t i = 0; slot == keys.size() && i < keys.size(); ++i) {
        if (key.equals(keys[i]))
          slot = i;
      }
      if (slot == keys.size() || m_values[slot]) {
        complete = false;
        break;
      }
      m_values[slot] = field;
      found = slot + 1;
      key = field.nextSibling();
    }
    if (!complete)
      refuse(ContractRules::keySetMessage(expectedKeys(), presentKeys(value)));
  }

  const Value& operator[](std::size_t index) const { return *m_values[index]; }
  Path path(std::size_t index) const { return Path(m_path, m_keys[index]); }
  QLatin1StringView key(std::size_t index) const { return m_keys[index]; }

private:
  QStringList expectedKeys() const {
    QStringList list;
    for (const auto& key : m_keys)
      list.append(QString(key));
    return list;
  }

  static QStringList presentKeys(const Value& object) {
    QStringList list;
    Value key = object.firstChild();
    for (qsizetype member = 0; member < object.size(); ++member) {
      list.append(key.toString());
      key = key.nextSibling().nextSibling();
    }
    return list;
  }

  const Path& m_path;
  std::span<const QLatin1StringView> m_keys;
  std::array<std::optional<Value>, maximumKeys> m_values;
};

// Field rules. Each takes the object and the field's index, so it can name the key.
QString uuidField(const StrictObject& object, std::size_t index) {
  QString text = readString(object[index], object.path(index));
  if (!ContractRules::isUuid(text))
    refuse(QStringLiteral("Invalid UUID: ") + object.key(index));
  return text;
}

QString timestampField(const StrictObject& object, std::size_t index) {
  QString text = readString(object[index], object.path(index));
  if (!ContractRules::isTimestamp(text))
    refuse(QStringLiteral("Invalid timestamp: ") + object.key(index));
  return text;
}

qint64 integerField(const StrictObject& object, std::size_t index, qint64 minimum, qint64 maximum) {
  const qint64 value = readInteger(object[index], object.path(index));
  if (value < minimum || value > maximum)
    refuse(QStringLiteral("Integer outside permitted range: ") + object.key(index));
  return value;
}

QString textField(const StrictObject& object, std::size_t index, qsizetype maximum) {
  return ContractRules::text(readString(object[index], object.path(index)), maximum);
}

std::optional<QString> optionalTextField(const StrictObject& object, std::size_t index, qsizetype maximum) {
  if (object[index].isNull())
    return std::nullopt;
  return ContractRules::text(readString(object[index], object.path(index)), maximum);
}

void checkCount(const StrictObject& object, std::size_t index, qsizetype count, qsizetype minimum,
                qsizetype maximum) {
  if (count < minimum || count > maximum)
    refuse(QStringLiteral("Invalid array count: ") + object.key(index));
}

// Reads the whole array with `element` first (an element's error wins over the count), then
// checks the count.
template <typename Element>
auto arrayField(const StrictObject& object, std::size_t index, qsizetype minimum, qsizetype maximum,
                Element element) {
  auto list = Json::readArray(object[index], object.path(index), element);
  checkCount(object, index, list.size(), minimum, maximum);
  return list;
}

QStringList textArrayField(const StrictObject& object, std::size_t index, qsizetype minimum,
                           qsizetype maximum, qsizetype textMaximum) {
  QStringList list = arrayField(object, index, minimum, maximum, readString);
  for (QString& entry : list)
    entry = ContractRules::text(entry, textMaximum);
  return list;
}

QStringList idsField(const StrictObject& object, std::size_t index, qsizetype minimum, qsizetype maximum) {
  QStringList list = arrayField(object, index, minimum, maximum, readString);
  for (const QString& entry : list) {
    if (!ContractRules::isUuid(entry))
      refuse(QStringLiteral("Invalid reference UUID"));
  }
  // At most 30 entries: pairwise comparison beats building a set.
  for (qsizetype i = 0; i < list.size(); ++i) {
    for (qsizetype j = i + 1; j < list.size(); ++j) {
      if (list[i] == list[j])
        refuse(QStringLiteral("IDs must be unique"));
    }
  }
  return list;
}

template <typename E> E enumField(const StrictObject& object, std::size_t index) {
  return readEnum<E>(object[index], object.path(index));
}

// ---------------------------------------------------------------------------------------------
// Equality: text compares as Unicode text, so canonically equivalent spellings are equal.

bool sameText(const QString& a, const QString& b) {
  return a == b || a.normalized(QString::NormalizationForm_D) == b.normalized(QString::NormalizationForm_D);
}

bool sameText(const std::optional<QString>& a, const std::optional<QString>& b) {
  if (a.has_value() != b.has_value())
    return false;
  return !a || sameText(*a, *b);
}

bool sameText(const QStringList& a, const QStringList& b) {
  if (a.size() != b.size())
    return false;
  for (qsizetype i = 0; i < a.size(); ++i) {
    if (!sameText(a[i], b[i]))
      return false;
  }
  return true;
}

QJsonValue optionalValue(const std::optional<QString>& value) {
  return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

template <typename E> QJsonArray enumArray(const QList<E>& values) {
  QJsonArray array;
  for (E value : values)
    array.append(rawValue(value));
  return array;
}

// ---------------------------------------------------------------------------------------------
// Records.

using namespace Qt::StringLiterals;

constexpr std::array<QLatin1StringView, 7> bookKeys = {
    "id"_L1, "title"_L1, "authors"_L1, "publicationYear"_L1, "publisher"_L1, "description"_L1, "topics"_L1};

constexpr std::array<QLatin1StringView, 9> sourceKeys = {"id"_L1,          "bookId"_L1,      "title"_L1,
                                                         "url"_L1,         "locator"_L1,     "sourceType"_L1,
                                                         "rightsBasis"_L1, "rightsNotes"_L1, "accessedAt"_L1};

constexpr std::array<QLatin1StringView, 8> scoresKeys = {"surprise"_L1,         "counterintuitiveness"_L1,
                                                         "usefulness"_L1,       "clarity"_L1,
                                                         "memorability"_L1,     "novelty"_L1,
                                                         "sourceConfidence"_L1, "conversationWorthiness"_L1};

constexpr std::array<QLatin1StringView, 17> dropKeys = {"id"_L1,
                                                        "revision"_L1,
                                                        "kind"_L1,
                                                        "headline"_L1,
                                                        "explanation"_L1,
                                                        "longExplanation"_L1,
                                                        "whySurprising"_L1,
                                                        "category"_L1,
                                                        "tags"_L1,
                                                        "conceptKey"_L1,
                                                        "bookIds"_L1,
                                                        "sourceIds"_L1,
                                                        "relatedLoreIds"_L1,
                                                        "epistemicStatus"_L1,
                                                        "scores"_L1,
                                                        "commonBelief"_L1,
                                                        "question"_L1};

constexpr std::array<QLatin1StringView, 3> withdrawalKeys = {"loreId"_L1, "reason"_L1, "withdrawnAt"_L1};

Book decodeBook(const Value& value, const Path& path) {
  const StrictObject object(value, path, bookKeys);
  Book book;
  book.id = uuidField(object, 0);
  book.title = textField(object, 1, 200);
  book.authors = textArrayField(object, 2, 1, 20, 120);
  if (!object[3].isNull()) {
    book.publicationYear = readInteger(object[3], object.path(3));
    if (*book.publicationYear < -3000 || *book.publicationYear > 2200)
      refuse(QStringLiteral("Invalid publication year"));
  }
  book.publisher = optionalTextField(object, 4, 200);
  book.description = textField(object, 5, 2000);
  book.topics = arrayField(object, 6, 1, 12, readEnum<Category>);
  return book;
}

Source decodeSource(const Value& value, const Path& path) {
  const StrictObject object(value, path, sourceKeys);
  Source source;
  source.id = uuidField(object, 0);
  source.bookId = uuidField(object, 1);
  source.title = textField(object, 2, 300);
  if (!object[3].isNull())
    source.url = ContractRules::sourceURL(readString(object[3], object.path(3)));
  source.locator = textField(object, 4, 500);
  source.sourceType = enumField<SourceType>(object, 5);
  source.rightsBasis = enumField<RightsBasis>(object, 6);
  source.rightsNotes = textField(object, 7, 1000);
  source.accessedAt = timestampField(object, 8);
  return source;
}

Scores decodeScores(const Value& value, const Path& path) {
  const StrictObject object(value, path, scoresKeys);
  Scores scores;
  scores.surprise = integerField(object, 0, 0, 5);
  scores.counterintuitiveness = integerField(object, 1, 0, 5);
  scores.usefulness = integerField(object, 2, 0, 5);
  scores.clarity = integerField(object, 3, 0, 5);
  scores.memorability = integerField(object, 4, 0, 5);
  scores.novelty = integerField(object, 5, 0, 5);
  scores.sourceConfidence = integerField(object, 6, 0, 5);
  scores.conversationWorthiness = integerField(object, 7, 0, 5);
  return scores;
}

// The largest integer a double holds exactly: revisions stay exact in every JSON reader.
constexpr qint64 maximumRevision = 9007199254740991;

Drop decodeDrop(const Value& value, const Path& path) {
  const StrictObject object(value, path, dropKeys);
  Drop drop;
  drop.id = uuidField(object, 0);
  drop.revision = integerField(object, 1, 1, maximumRevision);
  drop.kind = enumField<DropKind>(object, 2);
  drop.headline = textField(object, 3, 120);
  drop.explanation = textField(object, 4, 800);
  drop.longExplanation = textField(object, 5, 5000);
  drop.whySurprising = textField(object, 6, 1200);
  drop.category = enumField<Category>(object, 7);
  drop.tags = textArrayField(object, 8, 0, 12, 60);
  drop.conceptKey = readString(object[9], object.path(9));
  if (drop.conceptKey.size() > 120 || !ContractRules::isConceptKey(drop.conceptKey))
    refuse(QStringLiteral("Invalid concept key"));
  drop.bookIds = idsField(object, 10, 1, 30);
  drop.sourceIds = idsField(object, 11, 1, 30);
  drop.relatedLoreIds = idsField(object, 12, 0, 12);
  drop.epistemicStatus = enumField<EpistemicStatus>(object, 13);
  drop.scores = decodeScores(object[14], object.path(14));
  drop.commonBelief = optionalTextField(object, 15, 500);
  drop.question = optionalTextField(object, 16, 500);

  if (drop.relatedLoreIds.contains(drop.id))
    refuse(QStringLiteral("A drop cannot be related to itself"));
  if (drop.kind == DropKind::beliefVsReality && !drop.commonBelief)
    refuse(QStringLiteral("Belief format requires a common belief"));
  if (drop.kind == DropKind::question && !drop.question)
    refuse(QStringLiteral("Question format requires a question"));
  if (drop.kind == DropKind::crossBookConnection && drop.bookIds.size() < 2)
    refuse(QStringLiteral("Connections require at least two books"));
  return drop;
}

Withdrawal decodeWithdrawal(const Value& value, const Path& path) {
  const StrictObject object(value, path, withdrawalKeys);
  Withdrawal withdrawal;
  withdrawal.loreId = uuidField(object, 0);
  withdrawal.reason = textField(object, 1, 1000);
  withdrawal.withdrawnAt = timestampField(object, 2);
  return withdrawal;
}

constexpr std::array<QLatin1StringView, 7> manifestKeys = {
    "schemaVersion"_L1, "releaseId"_L1,      "publishedAt"_L1, "minimumAppVersion"_L1,
    "loreCount"_L1,     "checksumSha256"_L1, "byteLength"_L1};

constexpr std::array<QLatin1StringView, 9> releaseKeys = {
    "schemaVersion"_L1, "releaseId"_L1, "publishedAt"_L1, "minimumAppVersion"_L1, "developmentOnly"_L1,
    "books"_L1,         "sources"_L1,   "lore"_L1,        "withdrawals"_L1};

QString versionField(const StrictObject& object, std::size_t index) {
  QString version = readString(object[index], object.path(index));
  if (!ContractRules::matches(version, ContractRules::versionPattern))
    refuse(QStringLiteral("Invalid version"));
  return version;
}

ContentManifest decodeManifestObject(const Value& value, const Path& path) {
  const StrictObject object(value, path, manifestKeys);
  ContentManifest manifest;
  manifest.schemaVersion = integerField(object, 0, 1, 1);
  manifest.releaseId = uuidField(object, 1);
  manifest.publishedAt = timestampField(object, 2);
  manifest.minimumAppVersion = versionField(object, 3);
  manifest.loreCount = integerField(object, 4, 0, 10000);
  manifest.checksumSha256 = readString(object[5], object.path(5));
  if (!ContractRules::matches(manifest.checksumSha256, ContractRules::checksumPattern))
    refuse(QStringLiteral("Invalid SHA-256 checksum"));
  manifest.byteLength = integerField(object, 6, 1, ContractValidation::maximumReleaseBytes);
  return manifest;
}

// The rules that tie the records of one release together, in their fixed order. Ids are
// compared as exact text; the lookups borrow the release's own strings.
void checkReferences(const ContentRelease& release) {
  const QString unique = QStringLiteral("IDs must be unique");
  QSet<QStringView> books;
  books.reserve(release.books.size());
  for (const Book& book : release.books)
    books.insert(book.id);
  if (books.size() != release.books.size())
    refuse(unique);
  QHash<QStringView, QStringView> sourceBooks;
  sourceBooks.reserve(release.sources.size());
  for (const Source& source : release.sources)
    sourceBooks.insert(source.id, source.bookId);
  if (sourceBooks.size() != release.sources.size())
    refuse(unique);
  QSet<QStringView> drops;
  drops.reserve(release.lore.size());
  for (const Drop& drop : release.lore)
    drops.insert(drop.id);
  if (drops.size() != release.lore.size())
    refuse(unique);
  QSet<QStringView> withdrawn;
  withdrawn.reserve(release.withdrawals.size());
  for (const Withdrawal& withdrawal : release.withdrawals)
    withdrawn.insert(withdrawal.loreId);
  if (withdrawn.size() != release.withdrawals.size())
    refuse(unique);

  for (const Source& source : release.sources) {
    if (!books.contains(source.bookId))
      refuse(QStringLiteral("Unknown source book"));
  }
  for (const Drop& drop : release.lore) {
    for (const QString& id : drop.bookIds) {
      if (!books.contains(id))
        refuse(QStringLiteral("Unknown book"));
    }
    for (const QString& id : drop.sourceIds) {
      if (!sourceBooks.contains(id))
        refuse(QStringLiteral("Unknown source"));
    }
    // The books of the cited sources, as a set, must be the drop's books (which hold no
    // repeats): every cited book is named, and every named book is cited.
    bool covered = true;
    for (const QString& id : drop.sourceIds)
      covered = covered && drop.bookIds.contains(sourceBooks.value(id));
    for (const QString& book : drop.bookIds) {
      covered = covered && std::any_of(drop.sourceIds.begin(), drop.sourceIds.end(),
                                       [&](const QString& id) { return sourceBooks.value(id) == book; });
    }
    if (!covered)
      refuse(QStringLiteral("Sources must cover exactly the attributed books"));
    for (const QString& id : drop.relatedLoreIds) {
      if (!drops.contains(id))
        refuse(QStringLiteral("Unknown related drop"));
    }
  }
  for (const Withdrawal& withdrawal : release.withdrawals) {
    if (drops.contains(withdrawal.loreId))
      refuse(QStringLiteral("Withdrawn drops cannot be delivered"));
  }
}

ContentRelease decodeReleaseObject(const Value& value, const Path& path) {
  const StrictObject object(value, path, releaseKeys);
  ContentRelease release;
  release.schemaVersion = integerField(object, 0, 1, 1);
  release.releaseId = uuidField(object, 1);
  release.publishedAt = timestampField(object, 2);
  release.minimumAppVersion = versionField(object, 3);
  release.developmentOnly = readBool(object[4], object.path(4));
  release.books = arrayField(object, 5, 0, 2000, decodeBook);
  release.sources = arrayField(object, 6, 0, 10000, decodeSource);
  release.lore = arrayField(object, 7, 0, 10000, decodeDrop);
  release.withdrawals = arrayField(object, 8, 0, 10000, decodeWithdrawal);
  checkReferences(release);
  return release;
}

// Before any parsing: bounded size, and UTF-8 throughout.
void checkBody(const QByteArray& body) {
  if (body.isEmpty() || body.size() > ContractValidation::maximumReleaseBytes)
    refuse(QStringLiteral("Body must be between 1 byte and 10 MiB"));
  if (!body.isValidUtf8())
    refuse(QStringLiteral("Body must be UTF-8"));
}

const QString documentPath;

// Records held as Qt values (a drop kept in the local store, say) are read by the same rules
// through their text: one reader, one set of answers.
template <typename Decode> auto decodeJsonValue(const QJsonValue& value, const QString& path, Decode decode) {
  const Json::Tree tree(Json::serialize(value));
  return decode(tree.root(), Path(path));
}

} // namespace

ContentManifest ContentManifest::decode(const QJsonValue& value) {
  return decodeJsonValue(value, documentPath, decodeManifestObject);
}

QJsonObject ContentManifest::encode() const {
  QJsonObject object;
  object.insert("schemaVersion"_L1, schemaVersion);
  object.insert("releaseId"_L1, releaseId);
  object.insert("publishedAt"_L1, publishedAt);
  object.insert("minimumAppVersion"_L1, minimumAppVersion);
  object.insert("loreCount"_L1, loreCount);
  object.insert("checksumSha256"_L1, checksumSha256);
  object.insert("byteLength"_L1, byteLength);
  return object;
}

bool operator==(const ContentManifest& a, const ContentManifest& b) {
  return a.schemaVersion == b.schemaVersion && sameText(a.releaseId, b.releaseId) &&
         sameText(a.publishedAt, b.publishedAt) && sameText(a.minimumAppVersion, b.minimumAppVersion) &&
         a.loreCount == b.loreCount && sameText(a.checksumSha256, b.checksumSha256) &&
         a.byteLength == b.byteLength;
}

ContentRelease ContentRelease::decode(const QJsonValue& value) {
  return decodeJsonValue(value, documentPath, decodeReleaseObject);
}

QJsonObject ContentRelease::encode() const {
  QJsonObject object;
  object.insert("schemaVersion"_L1, schemaVersion);
  object.insert("releaseId"_L1, releaseId);
  object.insert("publishedAt"_L1, publishedAt);
  object.insert("minimumAppVersion"_L1, minimumAppVersion);
  object.insert("developmentOnly"_L1, developmentOnly);
  object.insert("books"_L1, encodeRecords(books));
  object.insert("sources"_L1, encodeRecords(sources));
  object.insert("lore"_L1, encodeRecords(lore));
  object.insert("withdrawals"_L1, encodeRecords(withdrawals));
  return object;
}

bool operator==(const ContentRelease& a, const ContentRelease& b) {
  return a.schemaVersion == b.schemaVersion && sameText(a.releaseId, b.releaseId) &&
         sameText(a.publishedAt, b.publishedAt) && sameText(a.minimumAppVersion, b.minimumAppVersion) &&
         a.developmentOnly == b.developmentOnly && a.books == b.books && a.sources == b.sources &&
         a.lore == b.lore && a.withdrawals == b.withdrawals;
}

namespace ContractValidation {

ContentManifest decodeManifest(const QByteArray& body, const QString& appVersion) {
  checkBody(body);
  const Json::Tree tree(body);
  ContentManifest manifest = decodeManifestObject(tree.root(), Path(documentPath));
  ContractRules::compatibility(manifest.minimumAppVersion, appVersion);
  return manifest;
}

ContentRelease decodeRelease(const QByteArray& body, bool allowDevelopment, const QString& appVersion) {
  checkBody(body);
  const Json::Tree tree(body);
  ContentRelease release = decodeReleaseObject(tree.root(), Path(documentPath));
  if (release.developmentOnly && !allowDevelopment)
    refuse(QStringLiteral("Development fixtures cannot be used in production"));
  ContractRules::compatibility(release.minimumAppVersion, appVersion);
  return release;
}

ContentRelease validateRelease(const QByteArray& body, const ContentManifest& manifest,
                               const QString& appVersion) {
  checkBody(body);
  ContractRules::compatibility(manifest.minimumAppVersion, appVersion);
  // A body that is not the announced one costs at most one pass of hashing, never a parse.
  if (body.size() != manifest.byteLength)
    refuse(QStringLiteral("Release byte length mismatch"));
  if (ContractRules::sha256Hex(body) != manifest.checksumSha256)
    refuse(QStringLiteral("Release checksum mismatch"));
  ContentRelease release = decodeRelease(body, false, appVersion);
  if (release.schemaVersion != manifest.schemaVersion || release.releaseId != manifest.releaseId ||
      release.publishedAt != manifest.publishedAt ||
      release.minimumAppVersion != manifest.minimumAppVersion || release.lore.size() != manifest.loreCount)
    refuse(QStringLiteral("Release manifest metadata mismatch"));
  return release;
}

} // namespace ContractValidation

Book Book::decode(const QJsonValue& value, const QString& path) {
  return decodeJsonValue(value, path, decodeBook);
}

Book Book::decode(const Json::Tree::Value& value, const Json::Path& path) {
  return decodeBook(value, path);
}

QJsonObject Book::encode() const {
  QJsonObject object;
  object.insert("id"_L1, id);
  object.insert("title"_L1, title);
  object.insert("authors"_L1, QJsonArray::fromStringList(authors));
  object.insert("publicationYear"_L1, publicationYear ? QJsonValue(*publicationYear) : QJsonValue());
  object.insert("publisher"_L1, optionalValue(publisher));
  object.insert("description"_L1, description);
  object.insert("topics"_L1, enumArray(topics));
  return object;
}

bool operator==(const Book& a, const Book& b) {
  return sameText(a.id, b.id) && sameText(a.title, b.title) && sameText(a.authors, b.authors) &&
         a.publicationYear == b.publicationYear && sameText(a.publisher, b.publisher) &&
         sameText(a.description, b.description) && a.topics == b.topics;
}

Source Source::decode(const QJsonValue& value, const QString& path) {
  return decodeJsonValue(value, path, decodeSource);
}

Source Source::decode(const Json::Tree::Value& value, const Json::Path& path) {
  return decodeSource(value, path);
}

QJsonObject Source::encode() const {
  QJsonObject object;
  object.insert("id"_L1, id);
  object.insert("bookId"_L1, bookId);
  object.insert("title"_L1, title);
  object.insert("url"_L1, optionalValue(url));
  object.insert("locator"_L1, locator);
  object.insert("sourceType"_L1, rawValue(sourceType));
  object.insert("rightsBasis"_L1, rawValue(rightsBasis));
  object.insert("rightsNotes"_L1, rightsNotes);
  object.insert("accessedAt"_L1, accessedAt);
  return object;
}

bool operator==(const Source& a, const Source& b) {
  return sameText(a.id, b.id) && sameText(a.bookId, b.bookId) && sameText(a.title, b.title) &&
         sameText(a.url, b.url) && sameText(a.locator, b.locator) && a.sourceType == b.sourceType &&
         a.rightsBasis == b.rightsBasis && sameText(a.rightsNotes, b.rightsNotes) &&
         sameText(a.accessedAt, b.accessedAt);
}

Scores Scores::decode(const QJsonValue& value, const QString& path) {
  return decodeJsonValue(value, path, decodeScores);
}

QJsonObject Scores::encode() const {
  QJsonObject object;
  object.insert("surprise"_L1, surprise);
  object.insert("counterintuitiveness"_L1, counterintuitiveness);
  object.insert("usefulness"_L1, usefulness);
  object.insert("clarity"_L1, clarity);
  object.insert("memorability"_L1, memorability);
  object.insert("novelty"_L1, novelty);
  object.insert("sourceConfidence"_L1, sourceConfidence);
  object.insert("conversationWorthiness"_L1, conversationWorthiness);
  return object;
}

Drop Drop::decode(const QJsonValue& value, const QString& path) {
  return decodeJsonValue(value, path, decodeDrop);
}

Drop Drop::decode(const Json::Tree::Value& value, const Json::Path& path) {
  return decodeDrop(value, path);
}

QJsonObject Drop::encode() const {
  QJsonObject object;
  object.insert("id"_L1, id);
  object.insert("revision"_L1, revision);
  object.insert("kind"_L1, rawValue(kind));
  object.insert("headline"_L1, headline);
  object.insert("explanation"_L1, explanation);
  object.insert("longExplanation"_L1, longExplanation);
  object.insert("whySurprising"_L1, whySurprising);
  object.insert("category"_L1, rawValue(category));
  object.insert("tags"_L1, QJsonArray::fromStringList(tags));
  object.insert("conceptKey"_L1, conceptKey);
  object.insert("bookIds"_L1, QJsonArray::fromStringList(bookIds));
  object.insert("sourceIds"_L1, QJsonArray::fromStringList(sourceIds));
  object.insert("relatedLoreIds"_L1, QJsonArray::fromStringList(relatedLoreIds));
  object.insert("epistemicStatus"_L1, rawValue(epistemicStatus));
  object.insert("scores"_L1, scores.encode());
  object.insert("commonBelief"_L1, optionalValue(commonBelief));
  object.insert("question"_L1, optionalValue(question));
  return object;
}

bool operator==(const Drop& a, const Drop& b) {
  return sameText(a.id, b.id) && a.revision == b.revision && a.kind == b.kind &&
         sameText(a.headline, b.headline) && sameText(a.explanation, b.explanation) &&
         sameText(a.longExplanation, b.longExplanation) && sameText(a.whySurprising, b.whySurprising) &&
         a.category == b.category && sameText(a.tags, b.tags) && sameText(a.conceptKey, b.conceptKey) &&
         sameText(a.bookIds, b.bookIds) && sameText(a.sourceIds, b.sourceIds) &&
         sameText(a.relatedLoreIds, b.relatedLoreIds) && a.epistemicStatus == b.epistemicStatus &&
         a.scores == b.scores && sameText(a.commonBelief, b.commonBelief) && sameText(a.question, b.question);
}

Withdrawal Withdrawal::decode(const QJsonValue& value, const QString& path) {
  return decodeJsonValue(value, path, decodeWithdrawal);
}

QJsonObject Withdrawal::encode() const {
  QJsonObject object;
  object.insert("loreId"_L1, loreId);
  object.insert("reason"_L1, reason);
  object.insert("withdrawnAt"_L1, withdrawnAt);
  return object;
}

bool operator==(const Withdrawal& a, const Withdrawal& b) {
  return sameText(a.loreId, b.loreId) && sameText(a.reason, b.reason) &&
         sameText(a.withdrawnAt, b.withdrawnAt);
}

} // namespace brindlewick

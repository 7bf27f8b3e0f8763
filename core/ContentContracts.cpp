#include "ContentContracts.h"

#include "Json.h"

#include <QHash>
#include <QJsonArray>
#include <QSet>
#include <QUrl>

#include <openssl/evp.h>

#include <algorithm>
#include <span>
#include <stdexcept>

namespace brindlewick {

ContractValidationError::ContractValidationError(QString message)
    : m_message(std::move(message)), m_what(m_message.toUtf8()) {}

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

// ---------------------------------------------------------------------------------------------
// Where a value sits in the document, for JSON decoding errors. Built on the stack as the
// reader descends and turned into text only when an error is thrown, so a successful read of
// a large release allocates no path text at all.
class Path {
public:
  explicit Path(const QString& root) : m_root(&root) {}
  Path(const Path& parent, QLatin1StringView key) : m_parent(&parent), m_key(key) {}
  Path(const Path& parent, qsizetype index) : m_parent(&parent), m_index(index) {}

  QString toString() const {
    if (!m_parent)
      return *m_root;
    const QString parent = m_parent->toString();
    return m_index >= 0 ? Json::element(parent, m_index) : Json::child(parent, QString(m_key));
  }

private:
  const Path* m_parent = nullptr;
  const QString* m_root = nullptr;
  QLatin1StringView m_key;
  qsizetype m_index = -1;
};

// Documents are read from a Json::Tree: values stay spans of the text until a rule reads
// them, so a 10 MiB release goes from bytes to records in one scan and one pass.
using Value = Json::Tree::Value;

// The value as the JSON layer's typed reads see it, for the wording of their error. Of a
// container only its type matters there: converting a hostile 10 MiB subtree just to name
// its type would cost far more than reading a valid release.
QJsonValue forError(const Value& value) {
  if (value.isArray())
    return QJsonArray();
  if (value.isObject())
    return QJsonObject();
  return value.toJsonValue();
}

// Typed reads that defer to the JSON layer for the error (and its wording) only on failure.
QString readString(const Value& value, const Path& path) {
  if (!value.isString())
    Json::toString(forError(value), path.toString());
  return value.toString();
}

qint64 readInteger(const Value& value, const Path& path) {
  // toInteger() gives its default unless the number is integral and fits in 64 bits: two
  // different defaults tell the cases apart.
  const qint64 integer = value.toInteger(0);
  if (value.isDouble() && (integer != 0 || value.toInteger(1) == 0))
    return integer;
  Json::toInt64(forError(value), path.toString());
  throw JsonDecodingError(path.toString(), QStringLiteral("the number is not a 64-bit integer"));
}

bool readBool(const Value& value, const Path& path) {
  if (!value.isBool())
    Json::toBool(forError(value), path.toString());
  return value.toBool();
}

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
    if (!value.isObject())
      Json::toObject(forError(value), path.toString());
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
  const Path path = object.path(index);
  const Value& array = object[index];
  if (!array.isArray())
    Json::toArray(forError(array), path.toString());
  QList<decltype(element(array, path))> list;
  list.reserve(array.size());
  Value item = array.firstChild();
  for (qsizetype position = 0; position < array.size(); ++position) {
    list.append(element(item, Path(path, position)));
    item = item.nextSibling();
  }
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

template <typename Record> QJsonArray encodeAll(const QList<Record>& records) {
  QJsonArray array;
  for (const Record& record : records)
    array.append(record.encode());
  return array;
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
  object.insert("books"_L1, encodeAll(books));
  object.insert("sources"_L1, encodeAll(sources));
  object.insert("lore"_L1, encodeAll(lore));
  object.insert("withdrawals"_L1, encodeAll(withdrawals));
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

// ---------------------------------------------------------------------------------------------

namespace ContractRules {

namespace {

bool isDigit(QChar c) {
  return c >= u'0' && c <= u'9';
}
bool isHex(QChar c) {
  return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
int digitValue(QChar c) {
  return c.unicode() - u'0';
}

// Two digits at `at` forming a number no greater than `maximum`.
bool twoDigits(QStringView text, qsizetype at, int maximum) {
  return isDigit(text[at]) && isDigit(text[at + 1]) &&
         digitValue(text[at]) * 10 + digitValue(text[at + 1]) <= maximum;
}

const QRegularExpression& anchored(QStringView pattern) {
  // One expression per known pattern, compiled on first use (function-local statics are
  // initialised once even when first used from several threads).
  static const QRegularExpression uuid(QStringLiteral("\\A(?:%1)\\z").arg(uuidPattern));
  static const QRegularExpression conceptKey(QStringLiteral("\\A(?:%1)\\z").arg(conceptKeyPattern));
  static const QRegularExpression version(QStringLiteral("\\A(?:%1)\\z").arg(versionPattern));
  static const QRegularExpression checksum(QStringLiteral("\\A(?:%1)\\z").arg(checksumPattern));
  static const QRegularExpression timestamp(QStringLiteral("\\A(?:%1)\\z").arg(timestampPattern()));
  if (pattern == uuidPattern)
    return uuid;
  if (pattern == conceptKeyPattern)
    return conceptKey;
  if (pattern == versionPattern)
    return version;
  if (pattern == checksumPattern)
    return checksum;
  if (pattern == timestampPattern())
    return timestamp;
  thread_local QRegularExpression other;
  other.setPattern(QStringLiteral("\\A(?:%1)\\z").arg(pattern));
  return other;
}

// Code-point order of UTF-16 text: units of surrogate pairs (supplementary planes) sort
// after every unit of the basic plane, which plain UTF-16 comparison gets wrong.
bool codePointLess(const QString& a, const QString& b) {
  auto fixup = [](char16_t unit) -> unsigned {
    if (unit >= 0xE000)
      return unit - 0x800u;
    if (unit >= 0xD800)
      return unit + 0x2000u;
    return unit;
  };
  const qsizetype common = std::min(a.size(), b.size());
  for (qsizetype i = 0; i < common; ++i) {
    if (a[i] != b[i])
      return fixup(a[i].unicode()) < fixup(b[i].unicode());
  }
  return a.size() < b.size();
}

// Keys come from untrusted documents and the message is shown on screen: list at most this
// many keys, each at most this long.
constexpr qsizetype listedKeysLimit = 20;
constexpr qsizetype listedKeyLength = 200;

void appendQuoted(QString& out, const QString& key) {
  out += u'"';
  qsizetype end = key.size();
  const bool shortened = end > listedKeyLength;
  if (shortened) {
    end = listedKeyLength;
    if (key[end - 1].isHighSurrogate())
      --end;
  }
  for (qsizetype i = 0; i < end; ++i) {
    const char16_t c = key[i].unicode();
    switch (c) {
    case u'"': out += QLatin1StringView("\\\""); break;
    case u'\'': out += QLatin1StringView("\\'"); break;
    case u'\\': out += QLatin1StringView("\\\\"); break;
    case u'\t': out += QLatin1StringView("\\t"); break;
    case u'\n': out += QLatin1StringView("\\n"); break;
    case u'\r': out += QLatin1StringView("\\r"); break;
    case u'\0': out += QLatin1StringView("\\0"); break;
    default:
      if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
        out += QStringLiteral("\\u{%1}").arg(QString::number(c, 16).toUpper().rightJustified(2, u'0'));
      else
        out += QChar(c);
    }
  }
  if (shortened)
    out += u'\u2026';
  out += u'"';
}

QString bracketed(QStringList keys) {
  // Only the listed keys need their order: a hostile object may hold a million keys.
  const qsizetype listed = std::min(keys.size(), listedKeysLimit);
  std::partial_sort(keys.begin(), keys.begin() + listed, keys.end(), codePointLess);
  QString out = QStringLiteral("[");
  for (qsizetype i = 0; i < listed; ++i) {
    if (i > 0)
      out += QLatin1StringView(", ");
    appendQuoted(out, keys[i]);
  }
  if (keys.size() > listed)
    out += QStringLiteral(", and %1 more").arg(keys.size() - listed);
  out += u']';
  return out;
}

} // namespace

bool isWhitespace(char16_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
         c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

const std::array<char16_t, 25>& whitespace() {
  static constexpr std::array<char16_t, 25> set = {
      0x0009, 0x000A, 0x000B, 0x000C, 0x000D, 0x0020, 0x00A0, 0x1680, 0x2000, 0x2001, 0x2002, 0x2003, 0x2004,
      0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000, 0xFEFF};
  return set;
}

const QString& timestampPattern() {
  static const QString pattern =
      QStringLiteral("(?:") +
      QStringLiteral(
          "(?:[0-9]{2}[2468][048]|[0-9]{2}[13579][26]|[0-9]{2}0[48]|[02468][048]00|[13579][26]00)"
          "-02-29|[0-9]{4}-(?:(?:0[13578]|1[02])-(?:0[1-9]|[12][0-9]|3[01])|(?:0[469]|11)-(?:0[1-9]|"
          "[12][0-9]|30)|02-(?:0[1-9]|1[0-9]|2[0-8]))") +
      QStringLiteral(
          ")T(?:[01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9](?:\\.[0-9]+)?(?:Z|[+-](?:[01][0-9]|2[0-3]):"
          "[0-5][0-9])");
  return pattern;
}

bool matches(const QString& text, QStringView pattern) {
  return anchored(pattern).match(text).hasMatch();
}

bool isUuid(QStringView text) {
  if (text.size() != 36)
    return false;
  for (qsizetype i = 0; i < 36; ++i) {
    const char16_t c = text[i].unicode();
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != u'-')
        return false;
    } else if (!isHex(c)) {
      return false;
    }
  }
  const char16_t version = text[14].unicode();
  const char16_t variant = text[19].unicode();
  if (version >= u'1' && version <= u'8' &&
      (variant == u'8' || variant == u'9' || variant == u'a' || variant == u'b' || variant == u'A' ||
       variant == u'B'))
    return true;
  return text == u"00000000-0000-0000-0000-000000000000" || text == u"ffffffff-ffff-ffff-ffff-ffffffffffff";
}

bool isTimestamp(QStringView text) {
  // YYYY-MM-DDThh:mm:ss, then an optional fraction and a zone: at least 20 units.
  if (text.size() < 20)
    return false;
  for (qsizetype i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (!isDigit(text[i]))
      return false;
  }
  if (text[4] != u'-' || text[7] != u'-' || text[10] != u'T')
    return false;
  const int month = digitValue(text[5]) * 10 + digitValue(text[6]);
  const int day = digitValue(text[8]) * 10 + digitValue(text[9]);
  int days;
  switch (month) {
  case 1:
  case 3:
  case 5:
  case 7:
  case 8:
  case 10:
  case 12: days = 31; break;
  case 4:
  case 6:
  case 9:
  case 11: days = 30; break;
  case 2: {
    // Gregorian leap years; year 0000 counts as one.
    const int century = digitValue(text[0]) * 10 + digitValue(text[1]);
    const int yearOfCentury = digitValue(text[2]) * 10 + digitValue(text[3]);
    const bool leap = yearOfCentury != 0 ? yearOfCentury % 4 == 0 : century % 4 == 0;
    days = leap ? 29 : 28;
    break;
  }
  default: return false;
  }
  if (day < 1 || day > days)
    return false;
  if (!twoDigits(text, 11, 23) || text[13] != u':' || !twoDigits(text, 14, 59) || text[16] != u':' ||
      !twoDigits(text, 17, 59))
    return false;
  qsizetype at = 19;
  if (text[at] == u'.') {
    const qsizetype digitsStart = ++at;
    while (at < text.size() && isDigit(text[at]))
      ++at;
    if (at == digitsStart)
      return false;
  }
  const QStringView zone = text.sliced(at);
  if (zone == u"Z")
    return true;
  return zone.size() == 6 && (zone[0] == u'+' || zone[0] == u'-') && twoDigits(zone, 1, 23) &&
         zone[3] == u':' && twoDigits(zone, 4, 59);
}

bool isConceptKey(QStringView text) {
  if (text.isEmpty() || text.front() == u'-' || text.back() == u'-')
    return false;
  char16_t previous = 0;
  for (const QChar ch : text) {
    const char16_t c = ch.unicode();
    const bool alphanumeric = isDigit(c) || (c >= u'a' && c <= u'z');
    if (!alphanumeric && !(c == u'-' && previous != u'-'))
      return false;
    previous = c;
  }
  return true;
}

QString text(const QString& value, qsizetype maximum) {
  qsizetype begin = 0;
  qsizetype end = value.size();
  while (begin < end && isWhitespace(value[begin].unicode()))
    ++begin;
  while (end > begin && isWhitespace(value[end - 1].unicode()))
    --end;
  const qsizetype length = end - begin;
  if (length == 0 || length > maximum)
    refuse(QStringLiteral("Text must contain 1...%1 UTF-16 units").arg(maximum));
  // Untrimmed text (the usual case) is shared, not copied.
  return length == value.size() ? value : value.sliced(begin, length);
}

namespace {

// The port text of a link's authority ("" when there is none), located without a parser: the
// URL parser refuses ports above 65535 outright, which must be reported as a bad port, not as
// a bad link. `start` is where the authority begins (after "://").
std::pair<qsizetype, qsizetype> portSpan(const QString& link, qsizetype start) {
  qsizetype end = start;
  while (end < link.size() && link[end] != u'/' && link[end] != u'?' && link[end] != u'#')
    ++end;
  const qsizetype at = link.lastIndexOf(u'@', end - 1);
  qsizetype host = at >= start ? at + 1 : start;
  if (host < end && link[host] == u'[') {
    const qsizetype close = link.indexOf(u']', host);
    if (close < 0 || close >= end)
      return {end, end};
    host = close;
  }
  const qsizetype colon = link.indexOf(u':', host);
  if (colon < 0 || colon >= end)
    return {end, end};
  return {colon + 1, end};
}

// True when `digits` (ASCII digits only) names a number above 65535, however long it is.
bool above65535(QStringView digits) {
  while (!digits.isEmpty() && digits.front() == u'0')
    digits = digits.sliced(1);
  return digits.size() > 5 || (digits.size() == 5 && digits > u"65535");
}

bool startsWithAsciiCaseless(const QString& text, QLatin1StringView prefix) {
  if (text.size() < prefix.size())
    return false;
  for (qsizetype i = 0; i < prefix.size(); ++i) {
    char16_t c = text[i].unicode();
    if (c >= u'A' && c <= u'Z')
      c = c - u'A' + u'a';
    if (c != char16_t(prefix[i].unicode()))
      return false;
  }
  return true;
}

} // namespace

QString sourceURL(const QString& value) {
  const QString schemeMessage = QStringLiteral("Source URL must use HTTP or HTTPS");
  qsizetype begin = 0;
  qsizetype end = value.size();
  while (begin < end && isWhitespace(value[begin].unicode()))
    ++begin;
  while (end > begin && isWhitespace(value[end - 1].unicode()))
    --end;
  QString link = value.sliced(begin, end - begin);
  const bool secure = startsWithAsciiCaseless(link, "https://"_L1);
  if (!secure && !startsWithAsciiCaseless(link, "http://"_L1))
    refuse(schemeMessage);
  link.remove(u'\t');
  link.remove(u'\n');
  link.remove(u'\r');
  if (link.size() > 2048)
    refuse(QStringLiteral("Source URL exceeds 2048 UTF-16 units"));

  // A port beyond 65535 is parsed as port 0 so the link's other faults are still found first.
  QString parsed = link;
  bool portTooLarge = false;
  const auto [portBegin, portEnd] = portSpan(link, secure ? 8 : 7);
  const QStringView port = QStringView(link).sliced(portBegin, portEnd - portBegin);
  if (!port.isEmpty() &&
      std::all_of(port.begin(), port.end(), [](QChar c) { return isDigit(c.unicode()); }) &&
      above65535(port)) {
    portTooLarge = true;
    parsed.replace(portBegin, portEnd - portBegin, QStringLiteral("0"));
  }
  const QUrl url(parsed, QUrl::StrictMode);
  if (!url.isValid() || url.scheme().isEmpty())
    refuse(schemeMessage);
  const QString scheme = url.scheme().toLower();
  if (scheme != u"http" && scheme != u"https")
    refuse(schemeMessage);
  const QString host = url.host(QUrl::FullyDecoded);
  if (host.isEmpty() ||
      std::any_of(host.begin(), host.end(), [](QChar c) { return c < u'!' || c == u'\x7F'; }))
    refuse(schemeMessage);
  if (portTooLarge)
    refuse(QStringLiteral("Invalid source URL port"));
  return link;
}

QString keySetMessage(const QStringList& expected, const QStringList& present) {
  QStringList missing;
  for (const QString& key : expected) {
    if (!present.contains(key))
      missing.append(key);
  }
  QStringList unknown;
  for (const QString& key : present) {
    if (!expected.contains(key))
      unknown.append(key);
  }
  return QStringLiteral("Invalid fields: missing ") + bracketed(missing) + QStringLiteral(", unknown ") +
         bracketed(unknown);
}

void compatibility(const QString& minimum, const QString& current) {
  if (!matches(current, versionPattern))
    refuse(QStringLiteral("Invalid app version"));
  const auto pieces = [](const QString& version) {
    QList<QStringView> list;
    for (QStringView piece : QStringView(version).split(u'.', Qt::SkipEmptyParts)) {
      while (!piece.isEmpty() && piece.front() == u'0')
        piece = piece.sliced(1);
      list.append(piece);
    }
    return list;
  };
  const QList<QStringView> required = pieces(minimum);
  const QList<QStringView> running = pieces(current);
  for (qsizetype i = 0; i < std::min(required.size(), running.size()); ++i) {
    const QStringView need = required[i];
    const QStringView have = running[i];
    if (need == have)
      continue;
    // Without leading zeros, a shorter digit run is the smaller number, and runs of one
    // length compare as text.
    const bool compatible = need.size() == have.size() ? need < have : need.size() < have.size();
    if (!compatible)
      refuse(QStringLiteral("Release requires app version ") + minimum);
    return;
  }
}

QString sha256Hex(QByteArrayView bytes) {
  // libcrypto uses the processor's SHA extensions where present, several times faster than
  // Qt's portable implementation on a 10 MiB body.
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), std::size_t(bytes.size()), digest, &length, EVP_sha256(), nullptr) != 1 ||
      length != 32)
    throw std::runtime_error("SHA-256 is unavailable");
  return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), 32).toHex());
}

} // namespace ContractRules

} // namespace brindlewick

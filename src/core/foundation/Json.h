#pragma once

#include "foundation/Date.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <array>
#include <cstring>
#include <exception>
#include <optional>
#include <string_view>
#include <type_traits>
#include <vector>

namespace brindlewick {

// The JSON layer's own error: text that is not JSON, a value of the wrong JSON type, a null
// where a value is required, a missing key, a number that is not a 64-bit integer, a string
// that names no enumeration case. It carries the path of the value concerned
// ("drops[3].scores.surprise") so a reader of the message can find it.
class JsonDecodingError : public std::exception {
public:
  JsonDecodingError(QString path, QString problem);

  const QString& path() const { return m_path; }
  const QString& problem() const { return m_problem; }
  // "path: problem", or the problem alone for the document itself.
  QString description() const;
  const char* what() const noexcept override { return m_what.constData(); }

private:
  QString m_path;
  QString m_problem;
  QByteArray m_what;
};

// A value that JSON cannot carry faithfully: Qt would write a NaN or an infinity as null,
// which reads back as something else (or not at all), so writing one is refused instead.
class JsonEncodingError : public std::exception {
public:
  explicit JsonEncodingError(QString problem) : m_problem(std::move(problem)), m_what(m_problem.toUtf8()) {}
  const QString& description() const { return m_problem; }
  const char* what() const noexcept override { return m_what.constData(); }

private:
  QString m_problem;
  QByteArray m_what;
};

namespace Json {

// Nesting deeper than this is refused before Qt's parser sees the text.
inline constexpr int maximumDepth = 256;

// Parses any JSON value, a bare string or number at the top level included. Strict beyond
// RFC 8259's minimum: invalid UTF-8 (overlong forms, encoded surrogates), unpaired
// surrogate escapes, a key that occurs twice in one object, nesting beyond maximumDepth and
// anything after the value are refused with JsonDecodingError.
QJsonValue parse(const QByteArray& text);
// As parse, and the top-level value must be an object.
QJsonObject parseObject(const QByteArray& text);

// Compact text of any value, bare scalars included. A number that is not finite anywhere in
// the value throws JsonEncodingError.
QByteArray serialize(const QJsonValue& value);

// Paths for error messages: child("drops", "scores") = "drops.scores", element("drops", 3) = "drops[3]".
QString child(const QString& parent, QStringView key);
QString element(const QString& parent, qsizetype index);

// Typed reads of one value; `path` names it in the error.
QString toString(const QJsonValue& value, const QString& path);
// An integral value that fits in 64 bits. Qt keeps no trace of how a number was written, so
// 1.0 and 1e0 read as 1, as with the decoders the stored formats come from; 0.5 and 2^63 are refused.
qint64 toInt64(const QJsonValue& value, const QString& path);
double toDouble(const QJsonValue& value, const QString& path);
bool toBool(const QJsonValue& value, const QString& path);
Date toDate(const QJsonValue& value, const QString& path);
QJsonObject toObject(const QJsonValue& value, const QString& path);
QJsonArray toArray(const QJsonValue& value, const QString& path);

// True when the value is a number with an integral value that fits in 64 bits.
bool isInteger(const QJsonValue& value);

namespace detail {
struct TreeNode {
  enum class Type : quint8 { Null, False, True, Number, String, Array, Object };
  Type type = Type::Null;
  bool escaped = false; // a string that holds escapes
  quint32 begin = 0;    // the value's text; a string's without its quotes
  quint32 length = 0;
  quint32 next = 0;  // the node after this one's subtree
  quint32 count = 0; // elements of an array, members of an object
};
// True for a number literal that a double cannot hold.
bool numberOutOfRange(std::string_view literal);
} // namespace detail

// A strictly parsed document (the same refusals as parse()) whose values stay spans of the
// text until they are read. Reading a large document straight into records this way costs
// one pass over the text and no QJsonDocument.
class Tree {
public:
  class Value;
  explicit Tree(const QByteArray& text);
  Value root() const;

private:
  QByteArray m_text;
  std::vector<detail::TreeNode> m_nodes;
  friend class Value;
};

// One value of a Tree; the tree must outlive it. Reads answer as QJsonValue's do.
class Tree::Value {
public:
  Value(const Tree* tree, quint32 index) : m_tree(tree), m_index(index) {}

  QJsonValue::Type type() const;
  bool isNull() const { return node().type == detail::TreeNode::Type::Null; }
  bool isBool() const { return type() == QJsonValue::Bool; }
  bool isDouble() const { return node().type == detail::TreeNode::Type::Number; }
  bool isString() const { return node().type == detail::TreeNode::Type::String; }
  bool isArray() const { return node().type == detail::TreeNode::Type::Array; }
  bool isObject() const { return node().type == detail::TreeNode::Type::Object; }

  bool toBool() const { return node().type == detail::TreeNode::Type::True; }
  // Empty unless a string.
  QString toString() const;
  // An integral number within 64 bits (1.0 and 1e0 included), else the default.
  qint64 toInteger(qint64 defaultValue = 0) const;
  double toDouble(double defaultValue = 0) const;

  // The elements of an array or members of an object.
  qsizetype size() const { return node().count; }
  // Children in order: an array's elements; an object's keys, each followed by its value.
  Value firstChild() const { return Value(m_tree, m_index + 1); }
  Value nextSibling() const { return Value(m_tree, node().next); }
  // For a key (or any string): whether its text is exactly `text`. Inline: matching keys
  // against a record's field names is the innermost loop of reading a large document.
  bool equals(QLatin1StringView other) const {
    const detail::TreeNode& n = node();
    if (n.type != detail::TreeNode::Type::String)
      return false;
    if (n.escaped)
      return toString() == other;
    return n.length == static_cast<quint32>(other.size()) &&
           std::memcmp(m_tree->m_text.constData() + n.begin, other.data(), n.length) == 0;
  }

  // The same value as a QJsonValue.
  QJsonValue toJsonValue() const;

  // The value's text as it stands in the document (a string's with its quotes).
  QByteArray sourceText() const;
  // Whether serialize(toJsonValue()) gives back exactly sourceText(): no white space, object
  // keys in the order Qt writes them, strings escaped and numbers spelled as Qt writes them.
  // Lets a reader keep text it received instead of writing the same text again.
  bool isSerializedForm() const;

private:
  const detail::TreeNode& node() const { return m_tree->m_nodes[m_index]; }
  std::string_view text() const;

  const Tree* m_tree;
  quint32 m_index;
};

// Where a value sits in a document, for error messages ("drops[3].scores"). Built on the stack
// as a reader descends and turned into text only when an error is thrown, so reading a large
// document allocates no path text at all. A path refers to its parent and root: both must
// outlive it.
class Path {
public:
  Path() = default;
  explicit Path(const QString& root) : m_root(&root) {}
  Path(const Path& parent, QLatin1StringView key) : m_parent(&parent), m_key(key) {}
  Path(const Path& parent, qsizetype index) : m_parent(&parent), m_index(index) {}

  QString toString() const;

private:
  const Path* m_parent = nullptr;
  const QString* m_root = nullptr;
  QLatin1StringView m_key;
  qsizetype m_index = -1;
};

// Typed reads of a tree value. A value of the wrong type throws the JsonDecodingError (and
// wording) of the QJsonValue reads above.
QString readString(const Tree::Value& value, const Path& path);
// An integral number within 64 bits, as toInt64.
qint64 readInteger(const Tree::Value& value, const Path& path);
bool readBool(const Tree::Value& value, const Path& path);
void expectObject(const Tree::Value& value, const Path& path);
void expectArray(const Tree::Value& value, const Path& path);

// The elements of an array, each read by `element(value, path)`, in order.
template <typename Element> auto readArray(const Tree::Value& array, const Path& path, Element element) {
  expectArray(array, path);
  QList<std::invoke_result_t<Element&, const Tree::Value&, const Path&>> list;
  list.reserve(array.size());
  Tree::Value item = array.firstChild();
  for (qsizetype i = 0; i < array.size(); ++i) {
    list.append(element(item, Path(path, i)));
    item = item.nextSibling();
  }
  return list;
}

// The members of an object that a reader asks for, found in one pass over the object; members
// it does not name are ignored (the parser has refused repeated keys already). The object, the
// path and the key list must outlive it.
template <std::size_t N> class Members {
public:
  Members(const Tree::Value& object, const Path& path, const std::array<QLatin1StringView, N>& keys)
      : m_path(path), m_keys(keys) {
    expectObject(object, path);
    Tree::Value key = object.firstChild();
    for (qsizetype member = 0; member < object.size(); ++member) {
      const Tree::Value value = key.nextSibling();
      for (std::size_t i = 0; i < N; ++i) {
        if (!m_values[i] && key.equals(m_keys[i])) {
          m_values[i] = value;
          break;
        }
      }
      key = value.nextSibling();
    }
  }

  // The member, null included; a missing one throws JsonDecodingError.
  Tree::Value required(std::size_t index) const {
    if (!m_values[index])
      throw JsonDecodingError(path(index).toString(), QStringLiteral("the key is missing"));
    return *m_values[index];
  }
  // Absent or null gives none.
  std::optional<Tree::Value> optional(std::size_t index) const {
    if (!m_values[index] || m_values[index]->isNull())
      return std::nullopt;
    return m_values[index];
  }
  Path path(std::size_t index) const { return Path(m_path, m_keys[index]); }

private:
  const Path& m_path;
  const std::array<QLatin1StringView, N>& m_keys;
  std::array<std::optional<Tree::Value>, N> m_values;
};

} // namespace Json

// Reads the fields of one JSON object, naming each failing value by its path.
// Missing required keys and nulls where a value is required are JsonDecodingErrors.
class JsonObjectReader {
public:
  explicit JsonObjectReader(QJsonObject object, QString path = {});

  const QJsonObject& object() const { return m_object; }
  const QString& path() const { return m_path; }
  QString pathOf(QStringView key) const { return Json::child(m_path, key); }

  bool contains(QStringView key) const { return m_object.contains(key); }
  // Present and not null.
  bool hasValue(QStringView key) const;

  QJsonValue required(QStringView key) const;
  QString string(QStringView key) const;
  qint64 int64(QStringView key) const;
  double number(QStringView key) const;
  bool boolean(QStringView key) const;
  Date date(QStringView key) const;
  JsonObjectReader object(QStringView key) const;
  QJsonArray array(QStringView key) const;

  // Absent or null gives no value; anything else must have the right type.
  std::optional<QString> optionalString(QStringView key) const;
  std::optional<qint64> optionalInt64(QStringView key) const;
  std::optional<double> optionalNumber(QStringView key) const;
  std::optional<bool> optionalBoolean(QStringView key) const;
  std::optional<Date> optionalDate(QStringView key) const;

private:
  QJsonObject m_object;
  QString m_path;
};

} // namespace brindlewick

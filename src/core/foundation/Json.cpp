#include "foundation/Json.h"

#include <QCborValue>
#include <QJsonDocument>
#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brindlewick {

JsonDecodingError::JsonDecodingError(QString path, QString problem)
    : m_path(std::move(path)), m_problem(std::move(problem)), m_what(description().toUtf8()) {}

QString JsonDecodingError::description() const {
  return m_path.isEmpty() ? m_problem : m_path + QStringLiteral(": ") + m_problem;
}

namespace {

// A single pass over the text that enforces what QJsonDocument lets through or resolves
// silently (duplicate keys, bad UTF-8, lone surrogates) and bounds the nesting, so the Qt
// parser afterwards only ever sees well-formed, unambiguous input.
class StrictScanner {
public:
  // With `nodes`, the scanner also records every value as a node of a Json::Tree.
  explicit StrictScanner(const QByteArray& text, std::vector<Json::detail::TreeNode>* nodes = nullptr)
      : m_begin(reinterpret_cast<const unsigned char*>(text.constData())), m_pos(m_begin),
        m_end(m_begin + text.size()), m_nodes(nodes) {}

  // Returns the first byte of the top-level value ('{', '[' or another), after checking the whole text.
  char scan() {
    skipSpace();
    if (m_pos == m_end)
      fail(QStringLiteral("the text holds no JSON value"));
    const char first = static_cast<char>(*m_pos);
    value(0);
    skipSpace();
    if (m_pos != m_end)
      fail(QStringLiteral("unexpected text after the JSON value"));
    return first;
  }

private:
  [[noreturn]] void fail(const QString& problem) const {
    throw JsonDecodingError(
        QString(), QStringLiteral("not valid JSON at byte %1: %2").arg(m_pos - m_begin).arg(problem));
  }

  void skipSpace() {
    while (m_pos != m_end && (*m_pos == ' ' || *m_pos == '\t' || *m_pos == '\n' || *m_pos == '\r'))
      ++m_pos;
  }

  void expectLiteral(std::string_view literal) {
    if (static_cast<size_t>(m_end - m_pos) < literal.size() ||
        std::string_view(reinterpret_cast<const char*>(m_pos), literal.size()) != literal)
      fail(QStringLiteral("unexpected character"));
    m_pos += literal.size();
  }

  using NodeType = Json::detail::TreeNode::Type;

  // Starts a node at the current position; returns its index.
  quint32 open(NodeType type) {
    if (!m_nodes)
      return 0;
    Json::detail::TreeNode node;
    node.type = type;
    node.begin = static_cast<quint32>(m_pos - m_begin);
    m_nodes->push_back(node);
    return static_cast<quint32>(m_nodes->size() - 1);
  }

  // Ends a node: its text ends at `end`, its subtree before the next node.
  void close(quint32 index, const unsigned char* end, quint32 count = 0, bool escaped = false) {
    if (!m_nodes)
      return;
    Json::detail::TreeNode& node = (*m_nodes)[index];
    node.length = static_cast<quint32>(end - m_begin) - node.begin;
    node.next = static_cast<quint32>(m_nodes->size());
    node.count = count;
    node.escaped = escaped;
  }

  void value(int depth) {
    if (m_pos == m_end)
      fail(QStringLiteral("unexpected end of text"));
    switch (*m_pos) {
    case '{': object(depth + 1); return;
    case '[': array(depth + 1); return;
    case '"': {
      ++m_pos;
      const quint32 node = open(NodeType::String);
      --m_pos;
      const bool escaped = string(nullptr);
      close(node, m_pos - 1, 0, escaped);
      return;
    }
    case 't': literal(NodeType::True, "true"); return;
    case 'f': literal(NodeType::False, "false"); return;
    case 'n': literal(NodeType::Null, "null"); return;
    default: {
      const quint32 node = open(NodeType::Number);
      const unsigned char* start = m_pos;
      number();
      close(node, m_pos);
      // QJsonDocument refuses a number a double cannot hold (too large, or too small to tell
      // from zero); so does the tree.
      if (m_nodes && Json::detail::numberOutOfRange(std::string_view(reinterpret_cast<const char*>(start),
                                                                     static_cast<size_t>(m_pos - start)))) {
        m_pos = start;
        fail(QStringLiteral("number out of range"));
      }
    }
    }
  }

  void literal(NodeType type, std::string_view text) {
    const quint32 node = open(type);
    expectLiteral(text);
    close(node, m_pos);
  }

  struct KeyList {
    std::vector<std::pair<std::string_view, const unsigned char*>> keys; // key and where it starts
    std::list<std::string> unescaped; // stable storage for keys written with escapes
    std::string scratch;
  };

  KeyList& keysAt(int depth) {
    while (m_keyStack.size() <= static_cast<size_t>(depth))
      m_keyStack.emplace_back(); // a deque: the lists of outer objects stay where they are
    KeyList& keys = m_keyStack[static_cast<size_t>(depth)];
    keys.keys.clear();
    keys.unescaped.clear();
    return keys;
  }

  void checkRepeatedKeys(KeyList& list) {
    auto& keys = list.keys;
    const auto repeated = [&](const std::pair<std::string_view, const unsigned char*>& key) {
      m_pos = key.second;
      // The key comes from untrusted text: name at most its start in the message.
      fail(QStringLiteral("the key \"%1\" occurs twice in one object")
               .arg(QString::fromUtf8(key.first.data(), static_cast<qsizetype>(key.first.size())).left(200)));
    };
    // Records have a handful of keys: comparing pairs beats sorting or hashing.
    if (keys.size() <= 24) {
      for (size_t i = 1; i < keys.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
          if (keys[i].first == keys[j].first)
            repeated(keys[i]);
        }
      }
      return;
    }
    std::sort(keys.begin(), keys.end());
    for (size_t i = 1; i < keys.size(); ++i) {
      if (keys[i].first == keys[i - 1].first)
        repeated(keys[i]);
    }
  }

  void checkDepth(int depth) const {
    if (depth > Json::maximumDepth)
      fail(QStringLiteral("nesting deeper than %1 levels").arg(Json::maximumDepth));
  }

  void object(int depth) {
    checkDepth(depth);
    const quint32 node = open(NodeType::Object);
    quint32 members = 0;
    ++m_pos; // '{'
    skipSpace();
    if (m_pos != m_end && *m_pos == '}') {
      ++m_pos;
      close(node, m_pos);
      return;
    }
    // The keys of this object as spans of the text (escaped keys decoded into owned
    // strings), checked for repeats once the object is complete. The vectors are kept per
    // depth and reused, so scanning allocates nothing once warmed up.
    KeyList& keys = keysAt(depth);
    for (;;) {
      skipSpace();
      if (m_pos == m_end || *m_pos != '"')
        fail(QStringLiteral("expected a key"));
      const unsigned char* keyStart = m_pos;
      ++m_pos;
      const quint32 keyNode = open(NodeType::String);
      --m_pos;
      string(&keys.scratch);
      // Every escape is longer than what it stands for, so an unchanged length means the
      // key is its own text.
      const auto raw = static_cast<std::size_t>(m_pos - keyStart - 2);
      close(keyNode, m_pos - 1, 0, raw != keys.scratch.size());
      ++members;
      const std::string_view key = raw == keys.scratch.size()
                                       ? std::string_view(reinterpret_cast<const char*>(keyStart) + 1, raw)
                                       : std::string_view(keys.unescaped.emplace_back(keys.scratch));
      keys.keys.emplace_back(key, keyStart);
      skipSpace();
      if (m_pos == m_end || *m_pos != ':')
        fail(QStringLiteral("expected ':'"));
      ++m_pos;
      skipSpace();
      value(depth);
      skipSpace();
      if (m_pos == m_end)
        fail(QStringLiteral("unexpected end of text"));
      if (*m_pos == ',') {
        ++m_pos;
        continue;
      }
      if (*m_pos == '}') {
        checkRepeatedKeys(keys);
        ++m_pos;
        close(node, m_pos, members);
        return;
      }
      fail(QStringLiteral("expected ',' or '}'"));
    }
  }

  void array(int depth) {
    checkDepth(depth);
    const quint32 node = open(NodeType::Array);
    quint32 elements = 0;
    ++m_pos; // '['
    skipSpace();
    if (m_pos != m_end && *m_pos == ']') {
      ++m_pos;
      close(node, m_pos);
      return;
    }
    for (;;) {
      skipSpace();
      value(depth);
      ++elements;
      skipSpace();
      if (m_pos == m_end)
        fail(QStringLiteral("unexpected end of text"));
      if (*m_pos == ',') {
        ++m_pos;
        continue;
      }
      if (*m_pos == ']') {
        ++m_pos;
        close(node, m_pos, elements);
        return;
      }
      fail(QStringLiteral("expected ',' or ']'"));
    }
  }

public:
  static int hexValue(unsigned char c) {
    if (c >= '0' && c <= '9')
      return c - '0';
    if (c >= 'a' && c <= 'f')
      return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
      return c - 'A' + 10;
    return -1;
  }

  unsigned readHex4() {
    if (m_end - m_pos < 4)
      fail(QStringLiteral("incomplete \\u escape"));
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = hexValue(m_pos[i]);
      if (digit < 0)
        fail(QStringLiteral("invalid \\u escape"));
      value = value * 16 + static_cast<unsigned>(digit);
    }
    m_pos += 4;
    return value;
  }

  static void appendUtf8(std::string& out, unsigned codePoint) {
    if (codePoint < 0x80) {
      out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
      out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
      out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
      out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
  }

private:
  // Checks one UTF-8 sequence starting at m_pos (a byte >= 0x80) and steps over it.
  void utf8Sequence() {
    const unsigned char lead = *m_pos;
    int length;
    unsigned minimum;
    unsigned codePoint;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, minimum = 0x80, codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, minimum = 0x800, codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, minimum = 0x10000, codePoint = lead & 0x07;
    } else {
      fail(QStringLiteral("invalid UTF-8"));
    }
    if (m_end - m_pos < length)
      fail(QStringLiteral("invalid UTF-8"));
    for (int i = 1; i < length; ++i) {
      const unsigned char next = m_pos[i];
      if ((next & 0xC0) != 0x80)
        fail(QStringLiteral("invalid UTF-8"));
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
      fail(QStringLiteral("invalid UTF-8"));
    m_pos += length;
  }

  // Scans a string; when `decoded` is given, it receives the string's UTF-8 content with
  // escapes resolved (object keys, so "a" and "\u0061" are recognised as the same key).
  // Returns whether the string holds an escape.
  bool string(std::string* decoded) {
    ++m_pos; // opening quote
    bool escaped = false;
    if (decoded)
      decoded->clear();
    const unsigned char* runStart = m_pos;
    auto flush = [&] {
      if (decoded)
        decoded->append(reinterpret_cast<const char*>(runStart), static_cast<size_t>(m_pos - runStart));
    };
    for (;;) {
      if (m_pos == m_end)
        fail(QStringLiteral("unterminated string"));
      const unsigned char c = *m_pos;
      if (c == '"') {
        flush();
        ++m_pos;
        return escaped;
      }
      if (c < 0x20)
        fail(QStringLiteral("control character in a string"));
      if (c < 0x80 && c != '\\') {
        ++m_pos;
        continue;
      }
      if (c >= 0x80) {
        utf8Sequence();
        continue;
      }
      flush();
      escaped = true;
      ++m_pos; // backslash
      if (m_pos == m_end)
        fail(QStringLiteral("unterminated string"));
      const unsigned char escape = *m_pos++;
      unsigned codePoint = 0;
      switch (escape) {
      case '"': codePoint = '"'; break;
      case '\\': codePoint = '\\'; break;
      case '/': codePoint = '/'; break;
      case 'b': codePoint = '\b'; break;
      case 'f': codePoint = '\f'; break;
      case 'n': codePoint = '\n'; break;
      case 'r': codePoint = '\r'; break;
      case 't': codePoint = '\t'; break;
      case 'u': {
        codePoint = readHex4();
        if (codePoint >= 0xDC00 && codePoint <= 0xDFFF)
          fail(QStringLiteral("unpaired surrogate escape"));
        if (codePoint >= 0xD800 && codePoint <= 0xDBFF) {
          if (m_end - m_pos < 2 || m_pos[0] != '\\' || m_pos[1] != 'u')
            fail(QStringLiteral("unpaired surrogate escape"));
          m_pos += 2;
          const unsigned low = readHex4();
          if (low < 0xDC00 || low > 0xDFFF)
            fail(QStringLiteral("unpaired surrogate escape"));
          codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (low - 0xDC00);
        }
        break;
      }
      default: fail(QStringLiteral("invalid escape"));
      }
      if (decoded)
        appendUtf8(*decoded, codePoint);
      runStart = m_pos;
    }
  }

  void digits() {
    if (m_pos == m_end || *m_pos < '0' || *m_pos > '9')
      fail(QStringLiteral("invalid number"));
    while (m_pos != m_end && *m_pos >= '0' && *m_pos <= '9')
      ++m_pos;
  }

  void number() {
    if (*m_pos == '-')
      ++m_pos;
    if (m_pos != m_end && *m_pos == '0') {
      ++m_pos;
    } else {
      digits();
    }
    if (m_pos != m_end && *m_pos == '.') {
      ++m_pos;
      digits();
    }
    if (m_pos != m_end && (*m_pos == 'e' || *m_pos == 'E')) {
      ++m_pos;
      if (m_pos != m_end && (*m_pos == '+' || *m_pos == '-'))
        ++m_pos;
      digits();
    }
  }

  const unsigned char* m_begin;
  const unsigned char* m_pos;
  const unsigned char* m_end;
  std::vector<Json::detail::TreeNode>* m_nodes;
  std::deque<KeyList> m_keyStack;
};

QJsonValue parseChecked(const QByteArray& text, char first) {
  QJsonParseError error;
  if (first == '{' || first == '[') {
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError)
      throw JsonDecodingError(QString(), QStringLiteral("not valid JSON: %1").arg(error.errorString()));
    return document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array());
  }
  // QJsonDocument only takes objects and arrays; read a bare scalar as the one element of an array.
  const QJsonDocument wrapped = QJsonDocument::fromJson('[' + text + ']', &error);
  if (error.error != QJsonParseError::NoError || !wrapped.isArray() || wrapped.array().size() != 1)
    throw JsonDecodingError(QString(), QStringLiteral("not valid JSON: %1").arg(error.errorString()));
  return wrapped.array().at(0);
}

QString typeName(const QJsonValue& value) {
  switch (value.type()) {
  case QJsonValue::Null: return QStringLiteral("null");
  case QJsonValue::Bool: return QStringLiteral("a boolean");
  case QJsonValue::Double: return QStringLiteral("a number");
  case QJsonValue::String: return QStringLiteral("a string");
  case QJsonValue::Array: return QStringLiteral("an array");
  case QJsonValue::Object: return QStringLiteral("an object");
  case QJsonValue::Undefined: break;
  }
  return QStringLiteral("nothing");
}

[[noreturn]] void wrongType(const QJsonValue& value, const QString& path, const char* expected) {
  if (value.isNull())
    throw JsonDecodingError(path, QStringLiteral("expected %1 but found null").arg(QLatin1String(expected)));
  throw JsonDecodingError(
      path, QStringLiteral("expected %1 but found %2").arg(QLatin1String(expected), typeName(value)));
}

} // namespace

namespace Json {

QJsonValue parse(const QByteArray& text) {
  StrictScanner scanner(text);
  const char first = scanner.scan();
  return parseChecked(text, first);
}

QJsonObject parseObject(const QByteArray& text) {
  const QJsonValue value = parse(text);
  return toObject(value, QString());
}

namespace {

bool allNumbersFinite(const QJsonValue& value) {
  if (value.isDouble())
    return std::isfinite(value.toDouble());
  if (value.isArray())
    return std::ranges::all_of(value.toArray(), allNumbersFinite);
  if (value.isObject())
    return std::ranges::all_of(value.toObject(), allNumbersFinite);
  return true;
}

} // namespace

QByteArray serialize(const QJsonValue& value) {
  if (!allNumbersFinite(value))
    throw JsonEncodingError(QStringLiteral("the value holds a number that is not finite"));
  if (value.isObject())
    return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
  if (value.isArray())
    return QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
  // A scalar: write it as the one element of an array and take the brackets off.
  QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
  return wrapped.mid(1, wrapped.size() - 2);
}

QString child(const QString& parent, QStringView key) {
  QString path = parent;
  if (!path.isEmpty())
    path += QLatin1Char('.');
  path += key;
  return path;
}

QString element(const QString& parent, qsizetype index) {
  return parent + QLatin1Char('[') + QString::number(index) + QLatin1Char(']');
}

bool isInteger(const QJsonValue& value) {
  // QJsonValue reports every number as Double; its CBOR form says whether the value is an
  // integer that fits in 64 bits.
  return value.isDouble() && QCborValue::fromJsonValue(value).isInteger();
}

QString toString(const QJsonValue& value, const QString& path) {
  if (!value.isString())
    wrongType(value, path, "a string");
  return value.toString();
}

qint64 toInt64(const QJsonValue& value, const QString& path) {
  if (!value.isDouble())
    wrongType(value, path, "an integer");
  if (!isInteger(value))
    throw JsonDecodingError(path, QStringLiteral("the number is not a 64-bit integer"));
  return value.toInteger();
}

double toDouble(const QJsonValue& value, const QString& path) {
  if (!value.isDouble())
    wrongType(value, path, "a number");
  return value.toDouble();
}

bool toBool(const QJsonValue& value, const QString& path) {
  if (!value.isBool())
    wrongType(value, path, "a boolean");
  return value.toBool();
}

Date toDate(const QJsonValue& value, const QString& path) {
  return Date(toDouble(value, path));
}

QJsonObject toObject(const QJsonValue& value, const QString& path) {
  if (!value.isObject())
    wrongType(value, path, "an object");
  return value.toObject();
}

QJsonArray toArray(const QJsonValue& value, const QString& path) {
  if (!value.isArray())
    wrongType(value, path, "an array");
  return value.toArray();
}

} // namespace Json

namespace Json {

namespace detail {

bool numberOutOfRange(std::string_view literal) {
  double value = 0;
  return std::from_chars(literal.data(), literal.data() + literal.size(), value).ec ==
         std::errc::result_out_of_range;
}

} // namespace detail

Tree::Tree(const QByteArray& text) : m_text(text) {
  if (text.size() >= std::numeric_limits<quint32>::max())
    throw JsonDecodingError(QString(), QStringLiteral("not valid JSON: the text is too long"));
  // About one value per dozen bytes in typical documents.
  m_nodes.reserve(static_cast<size_t>(text.size() / 12 + 1));
  StrictScanner(m_text, &m_nodes).scan();
}

Tree::Value Tree::root() const {
  return Value(this, 0);
}

std::string_view Tree::Value::text() const {
  const detail::TreeNode& n = node();
  return std::string_view(m_tree->m_text.constData() + n.begin, n.length);
}

QJsonValue::Type Tree::Value::type() const {
  switch (node().type) {
  case detail::TreeNode::Type::Null: return QJsonValue::Null;
  case detail::TreeNode::Type::False:
  case detail::TreeNode::Type::True: return QJsonValue::Bool;
  case detail::TreeNode::Type::Number: return QJsonValue::Double;
  case detail::TreeNode::Type::String: return QJsonValue::String;
  case detail::TreeNode::Type::Array: return QJsonValue::Array;
  case detail::TreeNode::Type::Object: return QJsonValue::Object;
  }
  return QJsonValue::Undefined;
}

QString Tree::Value::toString() const {
  if (!isString())
    return QString();
  const std::string_view raw = text();
  if (!node().escaped)
    return QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size()));
  // The scanner has checked every escape and surrogate pair already.
  std::string decoded;
  decoded.reserve(raw.size());
  for (size_t i = 0; i < raw.size();) {
    if (raw[i] != '\\') {
      decoded.push_back(raw[i++]);
      continue;
    }
    const char escape = raw[i + 1];
    i += 2;
    switch (escape) {
    case 'b': decoded.push_back('\b'); break;
    case 'f': decoded.push_back('\f'); break;
    case 'n': decoded.push_back('\n'); break;
    case 'r': decoded.push_back('\r'); break;
    case 't': decoded.push_back('\t'); break;
    case 'u': {
      const auto hex4 = [&](size_t at) {
        unsigned value = 0;
        for (size_t k = 0; k < 4; ++k)
          value = value * 16 +
                  static_cast<unsigned>(StrictScanner::hexValue(static_cast<unsigned char>(raw[at + k])));
        return value;
      };
      unsigned codePoint = hex4(i);
      i += 4;
      if (codePoint >= 0xD800 && codePoint <= 0xDBFF) {
        codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (hex4(i + 2) - 0xDC00);
        i += 6;
      }
      StrictScanner::appendUtf8(decoded, codePoint);
      break;
    }
    default: decoded.push_back(escape); // '"', '\\' and '/'
    }
  }
  return QString::fromUtf8(decoded.data(), static_cast<qsizetype>(decoded.size()));
}

qint64 Tree::Value::toInteger(qint64 defaultValue) const {
  if (!isDouble())
    return defaultValue;
  const std::string_view literal = text();
  if (literal.find_first_of(".eE") == std::string_view::npos) {
    qint64 value = 0;
    if (std::from_chars(literal.data(), literal.data() + literal.size(), value).ec == std::errc())
      return value;
  }
  // Written with a fraction or an exponent, or beyond 64 bits: integral doubles within range count.
  const double value = toDouble(std::nan(""));
  if (std::trunc(value) != value || value < -9223372036854775808.0 || value >= 9223372036854775808.0)
    return defaultValue;
  return static_cast<qint64>(value);
}

double Tree::Value::toDouble(double defaultValue) const {
  if (!isDouble())
    return defaultValue;
  const std::string_view literal = text();
  double value = 0;
  const auto [end, error] = std::from_chars(literal.data(), literal.data() + literal.size(), value);
  return error == std::errc() ? value : defaultValue;
}

QJsonValue Tree::Value::toJsonValue() const {
  const detail::TreeNode& n = node();
  if (n.type == detail::TreeNode::Type::String)
    return QJsonValue(toString());
  return parse(QByteArray(m_tree->m_text.constData() + n.begin, n.length));
}

namespace {

// Where a value's text begins and ends in the document, a string's quotes included.
std::pair<quint32, quint32> outerSpan(const detail::TreeNode& node) {
  if (node.type == detail::TreeNode::Type::String)
    return {node.begin - 1, node.begin + node.length + 1};
  return {node.begin, node.begin + node.length};
}

// Qt writes an integer as its digits, and any other number in the shortest form that reads
// back as the same double.
bool numberInSerializedForm(std::string_view literal) {
  if (literal.find_first_of(".eE") == std::string_view::npos) {
    qint64 value = 0;
    const auto [end, error] = std::from_chars(literal.data(), literal.data() + literal.size(), value);
    return error == std::errc() && literal != "-0";
  }
  double value = 0;
  if (std::from_chars(literal.data(), literal.data() + literal.size(), value).ec != std::errc())
    return false;
  const QByteArray written = QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
  return std::string_view(written.constData(), size_t(written.size())) == literal;
}

// Qt escapes only the quote, the backslash and the control characters: those with a short
// form by it, the others as a u escape of "00" and two lower-case hexadecimal digits. Any
// other escape (an escaped slash, an escaped accented letter) is a spelling of its own.
bool escapesInSerializedForm(std::string_view raw) {
  static constexpr char digits[] = "0123456789abcdef";
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\')
      continue;
    const char escape = raw[++i];
    if (std::string_view("\"\\bfnrt").find(escape) != std::string_view::npos)
      continue;
    if (escape != 'u' || raw.substr(i + 1, 2) != "00")
      return false;
    const unsigned value = unsigned(StrictScanner::hexValue(static_cast<unsigned char>(raw[i + 3]))) * 16 +
                           unsigned(StrictScanner::hexValue(static_cast<unsigned char>(raw[i + 4])));
    if (value >= 0x20 || std::string_view("\b\t\n\f\r").find(char(value)) != std::string_view::npos ||
        raw[i + 3] != digits[value >> 4] || raw[i + 4] != digits[value & 0xF])
      return false;
    i += 4;
  }
  return true;
}

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

QByteArray Tree::Value::sourceText() const {
  const auto [begin, end] = outerSpan(node());
  return m_tree->m_text.sliced(begin, end - begin);
}

bool Tree::Value::isSerializedForm() const {
  const detail::TreeNode& n = node();
  switch (n.type) {
  case detail::TreeNode::Type::Null:
  case detail::TreeNode::Type::False:
  case detail::TreeNode::Type::True: return true;
  case detail::TreeNode::Type::Number: return numberInSerializedForm(text());
  case detail::TreeNode::Type::String: return !n.escaped || escapesInSerializedForm(text());
  case detail::TreeNode::Type::Array:
  case detail::TreeNode::Type::Object: break;
  }
  const bool object = n.type == detail::TreeNode::Type::Object;
  const quint32 children = object ? n.count * 2 : n.count;
  if (children == 0)
    return n.length == 2;
  // Each child must begin right after the opening bracket or the one separator before it, and
  // the closing bracket right after the last child.
  quint32 expected = n.begin + 1;
  std::string_view previousKey;
  Value child = firstChild();
  for (quint32 i = 0; i < children; ++i, child = child.nextSibling()) {
    const auto [begin, end] = outerSpan(child.node());
    if (begin != expected)
      return false;
    expected = end + 1;
    if (object && i % 2 == 0) {
      // Qt keeps an object's keys sorted; for ASCII keys that is the order of their bytes.
      const std::string_view key = child.text();
      if (child.node().escaped || !isAscii(key) || (i > 0 && !(previousKey < key)))
        return false;
      previousKey = key;
    } else if (!child.isSerializedForm()) {
      return false;
    }
  }
  return expected == n.begin + n.length;
}

QString Path::toString() const {
  if (!m_parent)
    return m_root ? *m_root : QString();
  const QString parent = m_parent->toString();
  return m_index >= 0 ? element(parent, m_index) : child(parent, QString(m_key));
}

namespace {

// The value as the QJsonValue reads see it, for the wording of their error. Of a container
// only its type matters there: converting a hostile subtree of megabytes just to name its type
// would cost far more than reading a valid document.
QJsonValue typeProbe(const Tree::Value& value) {
  if (value.isArray())
    return QJsonArray();
  if (value.isObject())
    return QJsonObject();
  return value.toJsonValue();
}

} // namespace

QString readString(const Tree::Value& value, const Path& path) {
  if (!value.isString())
    toString(typeProbe(value), path.toString());
  return value.toString();
}

qint64 readInteger(const Tree::Value& value, const Path& path) {
  // toInteger() gives its default unless the number is integral and fits in 64 bits: two
  // different defaults tell the cases apart.
  const qint64 integer = value.toInteger(0);
  if (value.isDouble() && (integer != 0 || value.toInteger(1) == 0))
    return integer;
  toInt64(typeProbe(value), path.toString());
  throw JsonDecodingError(path.toString(), QStringLiteral("the number is not a 64-bit integer"));
}

bool readBool(const Tree::Value& value, const Path& path) {
  if (!value.isBool())
    toBool(typeProbe(value), path.toString());
  return value.toBool();
}

void expectObject(const Tree::Value& value, const Path& path) {
  if (!value.isObject())
    toObject(typeProbe(value), path.toString());
}

void expectArray(const Tree::Value& value, const Path& path) {
  if (!value.isArray())
    toArray(typeProbe(value), path.toString());
}

} // namespace Json

JsonObjectReader::JsonObjectReader(QJsonObject object, QString path)
    : m_object(std::move(object)), m_path(std::move(path)) {}

bool JsonObjectReader::hasValue(QStringView key) const {
  const auto it = m_object.constFind(key);
  return it != m_object.constEnd() && !it->isNull();
}

QJsonValue JsonObjectReader::required(QStringView key) const {
  const auto it = m_object.constFind(key);
  if (it == m_object.constEnd())
    throw JsonDecodingError(pathOf(key), QStringLiteral("the key is missing"));
  return *it;
}

QString JsonObjectReader::string(QStringView key) const {
  return Json::toString(required(key), pathOf(key));
}
qint64 JsonObjectReader::int64(QStringView key) const {
  return Json::toInt64(required(key), pathOf(key));
}
double JsonObjectReader::number(QStringView key) const {
  return Json::toDouble(required(key), pathOf(key));
}
bool JsonObjectReader::boolean(QStringView key) const {
  return Json::toBool(required(key), pathOf(key));
}
Date JsonObjectReader::date(QStringView key) const {
  return Json::toDate(required(key), pathOf(key));
}

JsonObjectReader JsonObjectReader::object(QStringView key) const {
  return JsonObjectReader(Json::toObject(required(key), pathOf(key)), pathOf(key));
}

QJsonArray JsonObjectReader::array(QStringView key) const {
  return Json::toArray(required(key), pathOf(key));
}

namespace {

// Absent or null gives no value; anything else goes through the required reader.
template <typename T, typename Read>
std::optional<T> readOptional(const JsonObjectReader& reader, QStringView key, Read read) {
  if (!reader.hasValue(key))
    return std::nullopt;
  return (reader.*read)(key);
}

} // namespace

std::optional<QString> JsonObjectReader::optionalString(QStringView key) const {
  return readOptional<QString>(*this, key, &JsonObjectReader::string);
}

std::optional<qint64> JsonObjectReader::optionalInt64(QStringView key) const {
  return readOptional<qint64>(*this, key, &JsonObjectReader::int64);
}

std::optional<double> JsonObjectReader::optionalNumber(QStringView key) const {
  return readOptional<double>(*this, key, &JsonObjectReader::number);
}

std::optional<bool> JsonObjectReader::optionalBoolean(QStringView key) const {
  return readOptional<bool>(*this, key, &JsonObjectReader::boolean);
}

std::optional<Date> JsonObjectReader::optionalDate(QStringView key) const {
  return readOptional<Date>(*this, key, &JsonObjectReader::date);
}

} // namespace brindlewick

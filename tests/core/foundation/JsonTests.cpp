#include "foundation/Json.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace brindlewick;

namespace {

// The tree reader shares the scanner and must refuse exactly what parse() refuses.
TEST(Json, RefusesMalformedTextInBothReaders) {
  const QByteArray refused[] = {
      "", "  \n", "{} x", "1 2", R"({"a":1,"a":2})", R"({"a":1,"\u0061":2})", R"({"x":{"b":true,"b":true}})",
      // Past the point where the duplicate check switches strategy.
      R"({"k01":1,"k02":1,"k03":1,"k04":1,"k05":1,"k06":1,"k07":1,"k08":1,"k09":1,"k10":1,"k11":1,"k12":1,)"
      R"("k13":1,"k14":1,"k15":1,"k16":1,"k17":1,"k18":1,"k19":1,"k20":1,"k21":1,"k22":1,"k23":1,"k24":1,)"
      R"("k25":1,"k26":1,"k03":2})",
      "[1e400]", "-" + QByteArray(400, '9'), "[1e-400]",
      // Overlong, surrogate, beyond U+10FFFF, truncated UTF-8; lone or mismatched surrogate escapes.
      "\"\xC0\xAF\"", "\"\xE0\x80\xAF\"", "\"\xED\xA0\x80\"", "\"\xF4\x90\x80\x80\"", "\"\xE2\x82\"",
      R"("\ud800")", R"("\udc00x")", R"("\ud800\u0041")", QByteArray("\"a\0b\"", 5), QByteArray("{}\0", 3),
      "\"a\tb\"", R"("\x41")", "01", "1.", "+1", "NaN", "[1,]", "{'a':1}", R"({"a":"b)",
      QByteArray(Json::maximumDepth + 1, '[') + QByteArray(Json::maximumDepth + 1, ']')};
  for (const QByteArray& text : refused) {
    EXPECT_THROW(Json::parse(text), JsonDecodingError) << text.left(60).toStdString();
    EXPECT_THROW(Json::Tree{text}, JsonDecodingError) << text.left(60).toStdString();
  }
}

// The key comes from untrusted text and the message may be shown: it names only the key's start.
TEST(Json, ARepeatedKeyIsNamedByItsStart) {
  const QByteArray key(100000, 'k');
  try {
    Json::parse("{\"" + key + "\":1,\"" + key + "\":2}");
    FAIL() << "accepted";
  } catch (const JsonDecodingError& error) {
    EXPECT_TRUE(error.description().contains(u'"' + QString(200, u'k') + u'"'));
    EXPECT_LT(error.description().size(), 300);
  }
}

TEST(Json, AcceptsNestingUpToTheLimitAndEveryScalarAtTheTop) {
  const QByteArray deepest = QByteArray(Json::maximumDepth, '[') + QByteArray(Json::maximumDepth, ']');
  EXPECT_TRUE(Json::parse(deepest).isArray());
  EXPECT_EQ(Json::parse(R"("W/\"etag\"")").toString(), QStringLiteral("W/\"etag\""));
  EXPECT_EQ(Json::parse(" -12 ").toInteger(), -12);
  EXPECT_TRUE(Json::parse("true").toBool());
  EXPECT_TRUE(Json::parse("null").isNull());
  EXPECT_EQ(Json::parse(R"("\ud83d\ude00")").toString(), QString::fromUtf8("\xF0\x9F\x98\x80"));
  EXPECT_EQ(Json::parse(R"("a\u0000b")").toString().size(), 3);
}

TEST(Json, SerializesScalarsAndContainersSoTheyParseBackEqual) {
  const QList<QJsonValue> values{QJsonValue(QStringLiteral("W/\"1\"")),
                                 QJsonValue(qint64(1) << 62),
                                 QJsonValue(0.1),
                                 QJsonValue(false),
                                 QJsonValue(),
                                 QJsonObject{{QStringLiteral("k"), QJsonArray{1, QStringLiteral("é")}}}};
  for (const QJsonValue& value : values)
    EXPECT_EQ(Json::parse(Json::serialize(value)), value) << Json::serialize(value).toStdString();
  EXPECT_EQ(Json::serialize(QJsonValue(QStringLiteral("tag"))), QByteArray("\"tag\""));
}

// Qt would write these as null, which never reads back as the number that was meant.
TEST(Json, RefusesToWriteNumbersThatAreNotFinite) {
  const double notFinite[] = {std::nan(""), INFINITY, -INFINITY};
  for (const double number : notFinite) {
    EXPECT_THROW(Json::serialize(QJsonValue(number)), JsonEncodingError);
    EXPECT_THROW(Json::serialize(QJsonObject{{QStringLiteral("a"), QJsonArray{1, number}}}),
                 JsonEncodingError);
  }
}

// Qt's value model does not keep how a number was written, so an integral value written
// as 1.0 or 1e0 reads as the integer 1 (as the platform decoders the stored formats come
// from do); a fraction or a value beyond 64 bits never does.
TEST(Json, IntegersAreIntegralValuesThatFitIn64Bits) {
  const QJsonArray numbers =
      Json::parse("[9223372036854775807, -9223372036854775808, 1.0, 1e0, 0.5, 9223372036854775808, -1e300]")
          .toArray();
  const QString path = QStringLiteral("n");
  EXPECT_EQ(Json::toInt64(numbers[0], path), std::numeric_limits<qint64>::max());
  EXPECT_EQ(Json::toInt64(numbers[1], path), std::numeric_limits<qint64>::min());
  EXPECT_EQ(Json::toInt64(numbers[2], path), 1);
  EXPECT_EQ(Json::toInt64(numbers[3], path), 1);
  for (int i = 4; i < numbers.size(); ++i)
    EXPECT_THROW(Json::toInt64(numbers[i], path), JsonDecodingError) << i;
  EXPECT_DOUBLE_EQ(Json::toDouble(numbers[4], path), 0.5);
}

// The tree reads every value as Qt's value model does, escapes and number spellings included.
TEST(JsonTree, ReadsValuesAsQtDoes) {
  const QByteArray text = R"({"s":"a\"b\\c\/\n\t\u00e9\ud83d\ude00\u0000","plain":"café",)"
                          R"("n":[0,-0,1.0,1e0,12E+1,0.5,-7,9223372036854775807,-9223372036854775808,)"
                          R"(9223372036854775808,1e-300,4.9e-324,123456789012345678901234567890],)"
                          R"("b":[true,false,null],"o":{"k\u0065y":{}},"e":[]})";
  const Json::Tree tree(text);
  const QJsonValue expected = Json::parse(text);
  EXPECT_EQ(tree.root().toJsonValue(), expected);

  // Walk the object: keys and values alternate.
  const Json::Tree::Value root = tree.root();
  ASSERT_TRUE(root.isObject());
  Json::Tree::Value key = root.firstChild();
  QStringList keys;
  for (qsizetype i = 0; i < root.size(); ++i) {
    keys.append(key.toString());
    const Json::Tree::Value value = key.nextSibling();
    EXPECT_EQ(value.toJsonValue(), expected.toObject().value(keys.last())) << keys.last().toStdString();
    if (value.isArray() && keys.last() == u"n") {
      const QJsonArray numbers = expected.toObject().value(u"n").toArray();
      Json::Tree::Value number = value.firstChild();
      for (qsizetype n = 0; n < value.size(); ++n) {
        EXPECT_EQ(number.toInteger(-42), numbers.at(n).toInteger(-42)) << n;
        EXPECT_EQ(number.toDouble(), numbers.at(n).toDouble()) << n;
        number = number.nextSibling();
      }
    }
    key = value.nextSibling();
  }
  EXPECT_EQ(keys, (QStringList{"s", "plain", "n", "b", "o", "e"}));
  EXPECT_TRUE(root.firstChild().equals(QLatin1StringView("s")));
  EXPECT_FALSE(root.firstChild().equals(QLatin1StringView("s2")));
  EXPECT_EQ(Json::Tree("\"x\"").root().toString(), QStringLiteral("x"));
  EXPECT_TRUE(Json::Tree(" null ").root().isNull());
}

TEST(JsonObjectReader, NamesTheFailingValueByItsPath) {
  const JsonObjectReader reader(
      Json::parseObject(R"({"drops":{"scores":{"surprise":"high","n":null}},"list":[1]})"));
  const auto describe = [](auto&& read) -> std::string {
    try {
      read();
    } catch (const JsonDecodingError& error) {
      return error.description().toStdString();
    }
    return "no error";
  };
  EXPECT_EQ(describe([&] { reader.object(u"drops").object(u"scores").int64(u"surprise"); }),
            "drops.scores.surprise: expected an integer but found a string");
  EXPECT_EQ(describe([&] { reader.object(u"drops").object(u"scores").string(u"n"); }),
            "drops.scores.n: expected a string but found null");
  EXPECT_EQ(describe([&] { reader.string(u"absent"); }), "absent: the key is missing");
  EXPECT_EQ(describe([&] { reader.object(u"list"); }), "list: expected an object but found an array");
}

TEST(JsonObjectReader, OptionalValuesAreAbsentWhenMissingOrNullButStillTyped) {
  const JsonObjectReader reader(Json::parseObject(R"({"a":null,"b":2,"c":"x"})"));
  EXPECT_FALSE(reader.optionalInt64(u"a").has_value());
  EXPECT_FALSE(reader.optionalInt64(u"missing").has_value());
  EXPECT_EQ(reader.optionalInt64(u"b"), 2);
  EXPECT_THROW(reader.optionalInt64(u"c"), JsonDecodingError);
}

} // namespace

// A value is in the serialized form exactly when Qt's writer gives its text back.
TEST(JsonTree, TheSerializedFormIsWhatQtWritesBack) {
  const char* texts[] = {
      R"({"a":1,"b":[true,false,null],"c":{"d":"e"}})",
      R"({"b":1,"a":2})",
      R"({"a": 1})",
      R"([1, 2])",
      R"([])",
      R"({})",
      R"([ ])",
      R"(["quote \" backslash \\ tab \t line \n feed \f return \r back \b"])",
      R"(["\u001f\u0001"])",
      R"(["\u001F"])",
      R"(["\u0008"])",
      R"(["\/"])",
      R"(["\u00e9"])",
      R"(["é ☃ 😀"])",
      R"([0.5,-0.25,1e-07,1.5e+300,12345678901234])",
      R"([1.0])",
      R"([1e2])",
      R"([-0])",
      R"([0.1000])",
      R"([9223372036854775807])",
  };
  for (const char* text : texts) {
    const QByteArray bytes(text);
    const Json::Tree tree(bytes);
    EXPECT_EQ(tree.root().isSerializedForm(), Json::serialize(Json::parse(bytes)) == bytes) << text;
    EXPECT_EQ(tree.root().sourceText(), bytes) << text;
  }
  // Keys beyond ASCII are not judged (Qt orders them by UTF-16): never taken for the form.
  EXPECT_FALSE(Json::Tree(R"({"é":1})").root().isSerializedForm());
}

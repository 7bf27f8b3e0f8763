#include "AccountFixtures.h"
#include "ReleaseGenerator.h"
#include "account/AccountContracts.h"

#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace brindlewick;

namespace {

Date utc(int year, int month, int day, int hour, int minute, int second, double fraction = 0) {
  return Date::fromQDateTime(
             QDateTime(QDate(year, month, day), QTime(hour, minute, second), QTimeZone::utc()))
      .addingSeconds(fraction);
}

Date readDateFrom(const QByteArray& json) {
  const Json::Tree tree(json);
  return AccountCoding::readDate(tree.root(), Json::Path());
}

template <typename Call> bool refused(Call call) {
  try {
    call();
  } catch (const AccountError& error) {
    return error == AccountError::invalidResponse();
  }
  return false;
}

// An item whose snapshot holds `books` books, each cited through one source of its own.
AccountItem itemWithBooks(int books) {
  AccountItem item = AccountFixtures::savedItem(1, Date(0));
  const Book book = item.snapshot.books.first();
  const Source source = item.snapshot.sources.first();
  item.snapshot.books.clear();
  item.snapshot.sources.clear();
  item.snapshot.lore.bookIds.clear();
  item.snapshot.lore.sourceIds.clear();
  for (int i = 0; i < books; ++i) {
    Book extraBook = book;
    extraBook.id = generatedId(1, 100 + i);
    Source extraSource = source;
    extraSource.id = generatedId(2, 100 + i);
    extraSource.bookId = extraBook.id;
    item.snapshot.books.append(extraBook);
    item.snapshot.sources.append(extraSource);
    item.snapshot.lore.bookIds.append(extraBook.id);
    item.snapshot.lore.sourceIds.append(extraSource.id);
  }
  return item;
}

} // namespace

TEST(AccountCoding, DatesAreInternetDateTimesThatExist) {
  const std::pair<const char*, Date> valid[] = {
      {"2026-03-01T09:30:00Z", utc(2026, 3, 1, 9, 30, 0)},
      {"2026-03-01T09:30:00.250Z", utc(2026, 3, 1, 9, 30, 0, 0.25)},
      {"2026-03-01T10:45:00.5000000000001+01:15", utc(2026, 3, 1, 9, 30, 0, 0.5)},
      {"2026-03-01T04:00:00-05:30", utc(2026, 3, 1, 9, 30, 0)},
      {"2024-02-29T23:59:59Z", utc(2024, 2, 29, 23, 59, 59)},
      {"9999-12-31T23:59:59Z", utc(9999, 12, 31, 23, 59, 59)},
  };
  for (const auto& [text, date] : valid)
    EXPECT_EQ(readDateFrom(QByteArray("\"") + text + '"'), date) << text;
  // The grammar's own refusals (no zone, a point without digits, a day that does not exist),
  // and an instant before year 0 in UTC.
  for (const char* text :
       {"2026-03-01T09:30:00", "2026-03-01T09:30:00.Z", "2025-02-29T00:00:00Z", "0000-01-01T00:00:00+00:01"})
    EXPECT_TRUE(refused([&] { readDateFrom(QByteArray("\"") + text + '"'); })) << text;
  EXPECT_THROW(readDateFrom("1772357400"), JsonDecodingError);
  EXPECT_THROW(readDateFrom("null"), JsonDecodingError);
}

TEST(AccountCoding, DatesAreWrittenInWholeSecondsTruncated) {
  const struct {
    Date date;
    const char* expected;
  } cases[] = {
      {utc(2026, 3, 1, 9, 30, 0, 0.9996), "2026-03-01T09:30:00Z"},
      {utc(1999, 12, 31, 23, 59, 59, 0.5), "1999-12-31T23:59:59Z"},
      {utc(1, 1, 1, 0, 0, 0), "0001-01-01T00:00:00Z"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(AccountCoding::formatDate(c.date), QLatin1String(c.expected));
  for (const double unwritable : {std::nan(""), std::numeric_limits<double>::infinity(),
                                  utc(9999, 12, 31, 23, 59, 59).secondsSinceReference() + 1})
    EXPECT_THROW(AccountCoding::formatDate(Date(unwritable)), JsonEncodingError);
}

TEST(AccountCoding, ItemRules) {
  const auto with = [](auto change) {
    AccountItem item = AccountFixtures::savedItem(1, Date(0));
    change(item);
    return item;
  };
  const struct {
    const char* name;
    AccountItem item;
    bool valid;
  } cases[] = {
      {"valid", with([](AccountItem&) {}), true},
      {"id in another case", with([](AccountItem& i) { i.loreId = i.loreId.toUpper(); }), false},
      {"30 books and sources", itemWithBooks(30), true},
      {"31 books and sources", itemWithBooks(31), false},
      {"a book twice", with([](AccountItem& i) { i.snapshot.books.append(i.snapshot.books.first()); }),
       false},
      {"a source twice", with([](AccountItem& i) { i.snapshot.sources.append(i.snapshot.sources.first()); }),
       false},
      {"a book the drop does not name",
       with([](AccountItem& i) { i.snapshot.books.append(itemWithBooks(1).snapshot.books.first()); }), false},
      {"a named book missing",
       with([](AccountItem& i) { i.snapshot.lore.bookIds.append(generatedId(1, 99)); }), false},
      {"a named book named twice",
       with([](AccountItem& i) { i.snapshot.lore.bookIds.append(i.snapshot.lore.bookIds.first()); }), true},
      {"a named source missing",
       with([](AccountItem& i) { i.snapshot.lore.sourceIds.append(generatedId(2, 99)); }), false},
      {"a source of another book",
       with([](AccountItem& i) { i.snapshot.sources[0].bookId = generatedId(1, 99); }), false},
      {"saved without a date", with([](AccountItem& i) { i.savedAt.reset(); }), false},
      {"loved without a date", with([](AccountItem& i) { i.loved = true; }), false},
      {"a date without its flag", with([](AccountItem& i) { i.saved = false; }), true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(!refused([&] { AccountCoding::validate(c.item); }), c.valid) << c.name;
}

TEST(AccountCoding, PreferenceRules) {
  EXPECT_FALSE(refused([] { AccountCoding::validate(std::optional<ReaderPreferences>()); }));
  const auto accepts = [](auto change) {
    ReaderPreferences preferences;
    change(preferences);
    return !refused([&] { AccountCoding::validate(preferences); });
  };
  for (const double scale : {1.0, 1.2})
    EXPECT_TRUE(accepts([&](ReaderPreferences& p) { p.textScale = scale; })) << scale;
  for (const double scale : {0.99, 1.21, std::nan("")})
    EXPECT_FALSE(accepts([&](ReaderPreferences& p) { p.textScale = scale; })) << scale;
  EXPECT_TRUE(accepts([](ReaderPreferences& p) {
    for (const Category category : allCases<Category>())
      p.topics.insert(rawValue(category));
  }));
  EXPECT_FALSE(accepts([](ReaderPreferences& p) { p.topics = {QStringLiteral("Science")}; }));
  EXPECT_FALSE(accepts([](ReaderPreferences& p) { p.preferredDisplayID = 1; }));
}

TEST(AccountCoding, SummaryRules) {
  const Date now = utc(2026, 3, 1, 10, 0, 0);
  const auto accepts = [&](auto change) {
    AccountSummary me = AccountFixtures::cache(now).me;
    change(me);
    return !refused([&] { AccountCoding::validateSummary(me, now); });
  };
  EXPECT_TRUE(accepts([&](AccountSummary& me) {
    me.user.id = QString(512, u'u');
    me.user.name = QString(256, QChar(0xE9));
    me.user.email.clear();
    me.sessionExpiresAt = now.addingSeconds(7776000);
  }));
  EXPECT_FALSE(accepts([](AccountSummary& me) { me.user.id.clear(); }));
  EXPECT_FALSE(accepts([](AccountSummary& me) { me.user.id = QString(256, QChar(0xE9)) + u'u'; }));
  EXPECT_FALSE(accepts([](AccountSummary& me) { me.user.email = QString(513, u'e'); }));
  EXPECT_FALSE(accepts([&](AccountSummary& me) { me.sessionExpiresAt = now; }));
  EXPECT_FALSE(accepts([&](AccountSummary& me) { me.sessionExpiresAt = now.addingSeconds(7776001); }));
  EXPECT_FALSE(accepts([](AccountSummary& me) { me.metrics.lovedCount = -1; }));
}

TEST(AccountCoding, TokensAreRefusedByUtf8BytesAndByEveryInvisibleOrSpaceCharacter) {
  const struct {
    QString token;
    bool valid;
  } cases[] = {
      {QString(), false},
      {QString(16384, u'a'), true},
      {QString(16385, u'a'), false},
      {QString(8192, QChar(0xE9)), true},  // 16384 bytes in 8192 units
      {QString(8193, QChar(0xE9)), false}, // 16386 bytes in 8193 units
      {QString::fromUtf8("tok-\xF0\x9F\x94\x91"), true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(!refused([&] { AccountCoding::validateToken(c.token); }), c.valid) << c.token.size();
  // Space, tab, line breaks, next line, no-break space, line separator, ideographic space,
  // zero-width space and byte-order mark (format), a control, a lone surrogate.
  for (const char16_t bad : {u' ', u'\t', u'\n', u'\r', u'\u0085', u'\u00A0', u'\u2028', u'\u3000', u'\u200B',
                             u'\uFEFF', u'\u007F', char16_t(0xD800)})
    EXPECT_TRUE(refused([&] {
      AccountCoding::validateToken(QStringLiteral("ab") + QChar(bad) + QStringLiteral("cd"));
    })) << int(bad);
}

TEST(AccountCoding, ErrorTextsAreFixed) {
  // In the order of the cases.
  const char* texts[] = {
      "The account service could not complete this request (HTTP 503).",
      "An account operation is already in progress.",
      "Sign in again to connect to your account. Retained snapshots remain on this computer.",
      "The account service returned an invalid response. Existing data was retained.",
      "The service returned an unsupported or unsafe browser address.",
      "The account changed while this operation was in progress.",
      "Browser sign-in was declined.",
      "The sign-in code expired. Start sign-in again.",
      "Settings changed on another device. Refresh settings before trying again.",
      "Reading activity sharing is disabled.",
      "The system clock moved backwards. Connect again to verify account access.",
      "Signed out on this computer, but server session revocation could not be confirmed.",
      "Account storage could not be read or saved. Existing credentials were not discarded.",
  };
  for (int i = 0; i < 13; ++i)
    EXPECT_STREQ(AccountError(AccountError::Case(i), 503).what(), texts[i]);
}

TEST(AccountCoding, ImageURLIsHttpsWithAHostAndNoCredentials) {
  const auto kept = [](std::optional<QString> image) {
    return ReaderAccountUser{"id", "name", "email", std::move(image)}.imageURL().has_value();
  };
  EXPECT_TRUE(kept(QStringLiteral("HTTPS://img.example/a.png?size=2#top")));
  for (const char* image : {"http://img.example/a.png", "https://ada@img.example/a.png",
                            "https://:secret@img.example/a.png", "https:///a.png", "javascript:alert(1)"})
    EXPECT_FALSE(kept(QString::fromLatin1(image))) << image;
  EXPECT_FALSE(kept(std::nullopt));
}

TEST(AccountCoding, DisplayTextDropsControlsAndDirectionOverrides) {
  EXPECT_EQ(AccountCoding::displayText(QString::fromUtf8("Ad\xE2\x80\xAE"
                                                         "a\x07\n\xC2\x85 L\xE2\x81\xA6"
                                                         "ovelace\xC3\xA9")),
            QString::fromUtf8("Ada Lovelace\xC3\xA9"));
}

TEST(AccountKeys, EveryAddressSpellingHasItsOwnKeys) {
  const QStringList addresses = {"https://reading.example", "https://reading.example/",
                                 "https://reading.example:443/", "https://reading.example:8443/"};
  QSet<QString> keys;
  for (const QString& address : addresses)
    keys.insert(AccountKeys::credentialKey(QUrl(address)));
  EXPECT_EQ(keys.size(), addresses.size());
  EXPECT_EQ(AccountKeys::credentialKey(std::nullopt),
            "reader.session.v1.80c00e100ce65521a6f3b4df0e0de367d660ec7c45dd44698e1149d01fe50729");
  const QString key =
      AccountKeys::cacheKey(QUrl(addresses[0]), "reader-7", AccountCoding::digest(QStringLiteral("token")));
  EXPECT_TRUE(key.startsWith("reader.account.v1." + AccountKeys::serviceDigest(QUrl(addresses[0])) + '.' +
                             AccountCoding::digest(QStringLiteral("reader-7")) + '.'));
}

TEST(AccountCache, ReadsBackWhatItWroteButForFractionsAndIgnoresUnknownKeys) {
  AccountCache cache = AccountFixtures::cache(utc(2026, 3, 1, 10, 0, 0));
  cache.items[1].loved = true;
  cache.items[1].lovedAt = utc(2026, 2, 1, 8, 0, 0);
  cache.me.user.image = QStringLiteral("https://img.example/a.png");
  cache.settings.preferences = ReaderPreferences();
  cache.settings.preferences->topics = {QStringLiteral("science")};
  AccountCache expected = cache;
  cache.confirmedAt = cache.confirmedAt.addingSeconds(0.75);
  EXPECT_EQ(AccountCache::fromJson(cache.toJson()), expected);

  QJsonObject object = Json::parseObject(cache.toJson());
  QJsonObject settings{{"version", 4}, {"future", true}};
  object.insert("settings", settings);
  object.insert("unknown", QJsonArray{1, 2});
  const AccountCache lenient = AccountCache::fromJson(Json::serialize(object));
  EXPECT_EQ(lenient.settings, (PreferencesResponse{std::nullopt, 4}));
  object.remove("accessRevoked");
  EXPECT_THROW(AccountCache::fromJson(Json::serialize(object)), JsonDecodingError);
}

// An item received in exactly the form the encoder writes is stored as received; any other
// spelling of the same item is written again, never kept.
TEST(AccountItemsPage, KeepsAnItemsTextOnlyWhenItIsTheStoredForm) {
  AccountItem item = AccountFixtures::savedItem(1, utc(2026, 3, 1, 9, 30, 0));
  item.snapshot.lore.headline = QStringLiteral("Quoted \"twice\",\tindented\nand split \x1f once");
  const QByteArray stored = Json::serialize(item.encode());
  const auto replaced = [&](const char* from, const char* to) {
    QByteArray text = stored;
    EXPECT_TRUE(text.contains(from)) << from;
    return text.replace(from, to);
  };
  const QByteArray date = "\"updatedAt\":\"2026-03-01T09:30:00Z\"";
  const struct {
    const char* name;
    QByteArray text;
    bool kept;
  } cases[] = {
      {"as the encoder writes it", stored, true},
      {"a space after a colon", replaced("\"loved\":", "\"loved\": "), false},
      {"keys out of order",
       QByteArray(stored).replace("," + date, "").replace("{\"loreId\"", "{" + date + ",\"loreId\""), false},
      {"a date with a fraction", replaced("09:30:00Z\"}", "09:30:00.000Z\"}"), false},
      {"a date with an offset", replaced("09:30:00Z\"}", "10:30:00+01:00\"}"), false},
      {"an unknown key", replaced("\"saved\":true", "\"saved\":true,\"note\":1"), false},
      {"an absent date as null", replaced("\"loved\":false", "\"loved\":false,\"lovedAt\":null"), false},
      {"an escaped slash", replaced("https://", "https:\\/\\/"), false},
      {"an upper-case escape", replaced("\\u001f", "\\u001F"), false},
      {"a letter escaped", replaced("Quoted", "\\u0051uoted"), false},
      {"an integer spelled as a fraction", replaced("\"revision\":1", "\"revision\":1.0"), false},
  };
  for (const auto& c : cases) {
    const AccountItemsPage page = AccountItemsPage::fromJson("{\"items\":[" + c.text + "]}");
    ASSERT_EQ(page.items.size(), 1) << c.name;
    ASSERT_EQ(page.texts.size(), 1) << c.name;
    EXPECT_EQ(page.items[0], item) << c.name;
    EXPECT_EQ(!page.texts[0].isEmpty(), c.kept) << c.name;
    if (c.kept) {
      EXPECT_EQ(page.texts[0], stored) << c.name;
    }
  }
}

// Read on several threads, a large record gives what a reading in order gives: the same
// items, and for two bad items in different runs, the error of the first.
TEST(AccountCache, ReadOnSeveralThreadsGivesWhatAReadingInOrderGives) {
  const QByteArray text = AccountFixtures::cache(utc(2026, 3, 1, 10, 0, 0), 2100).toJson();
  EXPECT_EQ(AccountCache::fromJson(text, 4), AccountCache::fromJson(text));

  QJsonObject record = Json::parseObject(text);
  QJsonArray items = record.value("items").toArray();
  for (const int index : {2050, 1200}) {
    QJsonObject item = items[index].toObject();
    item.insert("saved", "yes");
    items[index] = item;
  }
  record.insert("items", items);
  const QByteArray bad = Json::serialize(record);
  const auto errorOf = [&](int threads) {
    try {
      AccountCache::fromJson(bad, threads);
    } catch (const JsonDecodingError& error) {
      return error.path();
    }
    return QString();
  };
  EXPECT_EQ(errorOf(1), "items[1200].saved");
  EXPECT_EQ(errorOf(4), errorOf(1));
}

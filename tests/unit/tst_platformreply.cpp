#include "api/platformreply.h"

#include <QtTest>

#include <limits>

class TestPlatformReply : public QObject {
    Q_OBJECT

private slots:
    void replyCodes_data();
    void replyCodes();
    void deepNestingIsRejectedNotCrashed();
    void nestedLookups();
    void wrongTypesReadAsMissing_data();
    void wrongTypesReadAsMissing();
    void lookupOnNonObjects();
};

void TestPlatformReply::replyCodes_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("hasCode");
    QTest::addColumn<int>("code");

    const int intMax = std::numeric_limits<int>::max();
    const int intMin = std::numeric_limits<int>::min();

    QTest::newRow("success") << QByteArray(R"({"code":100,"data":{}})") << true << true << 100;
    QTest::newRow("upper case name") << QByteArray(R"({"CODE":10002})") << true << true << 10002;
    QTest::newRow("mixed case name") << QByteArray(R"({"Code":10003})") << true << true << 10003;
    QTest::newRow("white space around") << QByteArray(" \r\n{ \"code\" : 10001 }\r\n\t") << true << true << 10001;
    QTest::newRow("no code") << QByteArray(R"({"data":{"token":"x"}})") << true << false << 0;
    QTest::newRow("empty object") << QByteArray("{}") << true << false << 0;
    QTest::newRow("code as string") << QByteArray(R"({"code":"100"})") << true << false << 0;
    QTest::newRow("code as bool") << QByteArray(R"({"code":true})") << true << false << 0;
    QTest::newRow("code null") << QByteArray(R"({"code":null})") << true << false << 0;
    QTest::newRow("code as object") << QByteArray(R"({"code":{"code":100}})") << true << false << 0;
    QTest::newRow("array root") << QByteArray(R"([{"code":100}])") << true << false << 0;
    QTest::newRow("number root") << QByteArray("100") << true << false << 0;
    QTest::newRow("huge positive") << QByteArray(R"({"code":1e12})") << true << true << intMax;
    QTest::newRow("huge negative") << QByteArray(R"({"code":-99999999999})") << true << true << intMin;
    QTest::newRow("overflowing exponent") << QByteArray(R"({"code":1e400})") << true << true << intMax;
    QTest::newRow("int max exactly") << QByteArray(R"({"code":2147483647})") << true << true << intMax;
    QTest::newRow("fraction truncated") << QByteArray(R"({"code":100.9})") << true << true << 100;
    QTest::newRow("empty body") << QByteArray() << false << false << 0;
    QTest::newRow("html error page") << QByteArray("<html><body>502 Bad Gateway</body></html>") << false << false
                                     << 0;
    QTest::newRow("truncated") << QByteArray(R"({"code":100,"data":{"tok)") << false << false << 0;
    QTest::newRow("truncated after value") << QByteArray(R"({"code":100)") << false << false << 0;
    QTest::newRow("trailing garbage") << QByteArray(R"({"code":100} trailing)") << false << false << 0;
    QTest::newRow("two documents") << QByteArray(R"({"code":100}{"code":10002})") << false << false << 0;
    QTest::newRow("embedded NUL") << QByteArray("{\"code\":100}\0{", 14) << false << false << 0;
    QTest::newRow("NUL inside") << QByteArray("{\"code\":1\0" "00}", 13) << false << false << 0;
    QTest::newRow("invalid UTF-8 in a string") << QByteArray("{\"code\":100,\"s\":\"\xff\xfe\"}") << true << true
                                               << 100;
}

void TestPlatformReply::replyCodes()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, valid);
    QFETCH(bool, hasCode);
    QFETCH(int, code);

    const JsonDocument document = JsonDocument::parse(body);
    QCOMPARE(document.isValid(), valid);
    const std::optional<int> got = replyCode(document);
    QCOMPARE(got.has_value(), hasCode);
    if (hasCode)
        QCOMPARE(*got, code);
}

void TestPlatformReply::deepNestingIsRejectedNotCrashed()
{
    const int depth = 200000;
    const QByteArray body = QByteArray(depth, '[') + QByteArray(depth, ']');
    QVERIFY(!JsonDocument::parse(body).isValid());
}

void TestPlatformReply::nestedLookups()
{
    const JsonDocument document = JsonDocument::parse(QByteArray(
        u8R"({"Code":100,"DATA":{"Token":"abc.def","siteName":"杭州站","count":7,)"
        u8R"("page":{"size":30,"index":2},"list":[{"gatewaySn":"G1"},{"gatewaySn":"G2"}]}})"));
    QVERIFY(document.isValid());
    QCOMPARE(replyCode(document), std::optional<int>(100));

    const cJSON *data = jsonObjectMember(document.root(), "data");
    QVERIFY(data);
    QCOMPARE(jsonBytesMember(data, "token"), std::optional<QByteArray>(QByteArray("abc.def")));
    QCOMPARE(jsonStringMember(data, "SITENAME"), std::optional<QString>(QStringLiteral("杭州站")));
    QCOMPARE(jsonBytesMember(data, "siteName"), std::optional<QByteArray>(QStringLiteral("杭州站").toUtf8()));
    QCOMPARE(jsonIntMember(data, "count"), std::optional<int>(7));
    QCOMPARE(jsonIntMember(jsonObjectMember(data, "page"), "index"), std::optional<int>(2));

    const cJSON *list = jsonArrayMember(data, "list");
    QVERIFY(list);
    QCOMPARE(cJSON_GetArraySize(list), 2);
    QCOMPARE(jsonStringMember(cJSON_GetArrayItem(list, 1), "gatewaySn"), std::optional<QString>(QStringLiteral("G2")));

    QVERIFY(!jsonMember(data, "absent"));
    QVERIFY(!jsonObjectMember(jsonObjectMember(data, "absent"), "deeper"));
    QVERIFY(!jsonIntMember(jsonObjectMember(data, "absent"), "deeper"));
}

void TestPlatformReply::wrongTypesReadAsMissing_data()
{
    QTest::addColumn<QByteArray>("member");   // JSON value of "m"
    QTest::addColumn<bool>("isObject");
    QTest::addColumn<bool>("isArray");
    QTest::addColumn<bool>("isInt");
    QTest::addColumn<bool>("isString");

    QTest::newRow("object") << QByteArray("{}") << true << false << false << false;
    QTest::newRow("array") << QByteArray("[1]") << false << true << false << false;
    QTest::newRow("number") << QByteArray("5") << false << false << true << false;
    QTest::newRow("string") << QByteArray("\"5\"") << false << false << false << true;
    QTest::newRow("empty string") << QByteArray("\"\"") << false << false << false << true;
    QTest::newRow("bool") << QByteArray("false") << false << false << false << false;
    QTest::newRow("null") << QByteArray("null") << false << false << false << false;
}

void TestPlatformReply::wrongTypesReadAsMissing()
{
    QFETCH(QByteArray, member);
    QFETCH(bool, isObject);
    QFETCH(bool, isArray);
    QFETCH(bool, isInt);
    QFETCH(bool, isString);

    const JsonDocument document = JsonDocument::parse("{\"m\":" + member + "}");
    QVERIFY(document.isValid());
    const cJSON *root = document.root();
    QVERIFY(jsonMember(root, "M"));
    QCOMPARE(jsonObjectMember(root, "m") != nullptr, isObject);
    QCOMPARE(jsonArrayMember(root, "m") != nullptr, isArray);
    QCOMPARE(jsonIntMember(root, "m").has_value(), isInt);
    QCOMPARE(jsonStringMember(root, "m").has_value(), isString);
    QCOMPARE(jsonBytesMember(root, "m").has_value(), isString);
}

void TestPlatformReply::lookupOnNonObjects()
{
    // Arrays, strings and missing nodes have no members, even where cJSON would index them.
    const JsonDocument array = JsonDocument::parse(R"([{"code":1},{"code":2}])");
    QVERIFY(array.isValid());
    QVERIFY(!jsonMember(array.root(), "code"));
    QVERIFY(!jsonMember(nullptr, "code"));
    QVERIFY(!jsonIntMember(nullptr, "code"));
    QVERIFY(!jsonStringMember(nullptr, "code"));
    QVERIFY(!replyCode(JsonDocument()));
    QVERIFY(!replyCode(JsonDocument::parse("not json")));
}

QTEST_GUILESS_MAIN(TestPlatformReply)
#include "tst_platformreply.moc"

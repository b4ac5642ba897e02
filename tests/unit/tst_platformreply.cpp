#include "api/platformreply.h"

#include <QtTest>

#include <limits>

class TestPlatformReply : public QObject {
    Q_OBJECT

private slots:
    void replyCodes_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("code"); // -1: none
        const int intMax = std::numeric_limits<int>::max();
        QTest::newRow("success") << QByteArray(R"({"code":100,"data":{}})") << true << 100;
        QTest::newRow("upper case name") << QByteArray(R"({"CODE":10002})") << true << 10002;
        QTest::newRow("white space around") << QByteArray(" \r\n{ \"Code\" : 10001 }\r\n\t") << true << 10001;
        QTest::newRow("no code") << QByteArray(R"({"data":{"token":"x"}})") << true << -1;
        QTest::newRow("code as string") << QByteArray(R"({"code":"100"})") << true << -1;
        QTest::newRow("code null") << QByteArray(R"({"code":null})") << true << -1;
        QTest::newRow("array root") << QByteArray(R"([{"code":100}])") << true << -1;
        QTest::newRow("huge positive") << QByteArray(R"({"code":1e12})") << true << intMax;
        QTest::newRow("huge negative") << QByteArray(R"({"code":-99999999999})") << true
                                       << std::numeric_limits<int>::min();
        QTest::newRow("overflowing exponent") << QByteArray(R"({"code":1e400})") << true << intMax;
        QTest::newRow("fraction truncated") << QByteArray(R"({"code":100.9})") << true << 100;
        QTest::newRow("invalid UTF-8 elsewhere") << QByteArray("{\"code\":100,\"s\":\"\xff\xfe\"}") << true << 100;
        QTest::newRow("empty body") << QByteArray() << false << -1;
        QTest::newRow("html error page") << QByteArray("<html><body>502 Bad Gateway</body></html>") << false << -1;
        QTest::newRow("truncated") << QByteArray("{\"code\":100,\"data\":{\"tok") << false << -1;
        QTest::newRow("trailing garbage") << QByteArray(R"({"code":100} trailing)") << false << -1;
        QTest::newRow("two documents") << QByteArray(R"({"code":100}{"code":10002})") << false << -1;
        QTest::newRow("embedded NUL") << QByteArray("{\"code\":100}\0{", 14) << false << -1;
        QTest::newRow("deep nesting") << QByteArray(200000, '[') + QByteArray(200000, ']') << false << -1;
    }
    void replyCodes()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, valid);
        QFETCH(int, code);
        const JsonDocument document = JsonDocument::parse(body);
        QCOMPARE(document.isValid(), valid);
        QCOMPARE(replyCode(document), code == -1 ? std::nullopt : std::optional<int>(code));
    }

    void nestedLookups()
    {
        const JsonDocument document = JsonDocument::parse(QByteArray(
            u8R"({"DATA":{"Token":"abc.def","siteName":"杭州站","page":{"index":2},"list":[{"gatewaySn":"G2"}]}})"));
        const cJSON *data = jsonObjectMember(document.root(), "data");
        QVERIFY(data);
        QCOMPARE(jsonBytesMember(data, "token"), std::optional<QByteArray>(QByteArray("abc.def")));
        QCOMPARE(jsonStringMember(data, "SITENAME"), std::optional<QString>(QStringLiteral("杭州站")));
        QCOMPARE(jsonBytesMember(data, "siteName"), std::optional<QByteArray>(QStringLiteral("杭州站").toUtf8()));
        QCOMPARE(jsonIntMember(jsonObjectMember(data, "page"), "index"), std::optional<int>(2));
        const cJSON *list = jsonArrayMember(data, "list");
        QCOMPARE(jsonStringMember(cJSON_GetArrayItem(list, 0), "gatewaySn"),
                 std::optional<QString>(QStringLiteral("G2")));
        // Missing nodes, arrays and strings have no members, even where cJSON would index them.
        QVERIFY(!jsonIntMember(jsonObjectMember(data, "absent"), "deeper"));
        QVERIFY(!jsonMember(list, "gatewaySn"));
        QVERIFY(!jsonMember(jsonMember(data, "token"), "token"));
        QVERIFY(!jsonStringMember(nullptr, "code"));
        QVERIFY(!replyCode(JsonDocument()));
    }

    void wrongTypesReadAsMissing_data()
    {
        QTest::addColumn<QByteArray>("member"); // JSON value of "m"
        QTest::addColumn<QByteArray>("seenAs"); // o: object, a: array, i: int, s: string
        QTest::newRow("object") << QByteArray("{}") << QByteArray("o");
        QTest::newRow("array") << QByteArray("[1]") << QByteArray("a");
        QTest::newRow("number") << QByteArray("5") << QByteArray("i");
        QTest::newRow("string") << QByteArray("\"5\"") << QByteArray("s");
        QTest::newRow("empty string") << QByteArray("\"\"") << QByteArray("s");
        QTest::newRow("bool") << QByteArray("false") << QByteArray();
        QTest::newRow("null") << QByteArray("null") << QByteArray();
    }
    void wrongTypesReadAsMissing()
    {
        QFETCH(QByteArray, member);
        QFETCH(QByteArray, seenAs);
        const JsonDocument document = JsonDocument::parse("{\"m\":" + member + "}");
        const cJSON *root = document.root();
        QVERIFY(jsonMember(root, "M"));
        QCOMPARE(jsonObjectMember(root, "m") != nullptr, seenAs == "o");
        QCOMPARE(jsonArrayMember(root, "m") != nullptr, seenAs == "a");
        QCOMPARE(jsonIntMember(root, "m").has_value(), seenAs == "i");
        QCOMPARE(jsonStringMember(root, "m").has_value(), seenAs == "s");
        QCOMPARE(jsonBytesMember(root, "m").has_value(), seenAs == "s");
    }
};

QTEST_GUILESS_MAIN(TestPlatformReply)
#include "tst_platformreply.moc"

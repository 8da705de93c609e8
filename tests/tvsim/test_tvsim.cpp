// The emulator replaying a trace of the app's, spoken to through the app's own SSAP client.

#include "ssapclient.h"
#include "testawait.h"
#include "tvsimprocess.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

namespace {

// An address of its own, so this emulator never meets those of other test executables.
const QString kReplaying = QStringLiteral("127.0.31.4");

// The answer to a request: its payload, or {"error": the failure's text}.
QJsonObject ask(SSAPClient &client, const QString &uri)
{
    auto outcome = start(client.request(uri));
    if (!QTest::qWaitFor([&] { return outcome->done(); }, 5000))
        return {};
    return outcome->value.value_or(QJsonObject { { "error", outcome->errorText() } });
}

} // namespace

class TestTVSim : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A trace of the app's, written as the app writes it: the emulator answers as that TV did,
    // in order with the last answer repeating, and as itself (saying so once) where the trace
    // has nothing.
    void replaysATrace()
    {
        QTemporaryDir dir;
        const QString tracePath = dir.filePath(QStringLiteral("tv.jsonl"));
        QFile trace(tracePath);
        QVERIFY(trace.open(QIODevice::WriteOnly));
        const QDateTime begin = QDateTime::currentDateTimeUtc();
        const auto line = [&](qint64 ms, const QString &rest) {
            const QString time = begin.addMSecs(ms).toString(Qt::ISODateWithMs);
            trace.write(QStringLiteral(R"({"time":"%1",%2})").arg(time, rest).toUtf8() + '\n');
        };
        const auto out = [&](qint64 ms, const QString &message) {
            line(ms, R"("socket":"ssap","conn":1,"direction":"out","message":)" + message);
        };
        const auto in = [&](qint64 ms, const QString &message) {
            line(ms, R"("socket":"ssap","conn":1,"direction":"in","message":)" + message);
        };
        const auto request = [&](qint64 ms, const QString &id, const QString &uri) {
            out(ms, QString(R"({"type":"request","id":"%1","uri":"ssap:\/\/%2","payload":{}})").arg(id, uri));
        };
        const auto response = [&](qint64 ms, const QString &id, const QString &payload) {
            in(ms, QStringLiteral(R"({"type":"response","id":"%1","payload":%2})").arg(id, payload));
        };
        const auto error = [&](qint64 ms, const QString &id, const QString &text) {
            in(ms, QString(R"({"type":"error","id":"%1","error":"%2","payload":{}})").arg(id, text));
        };
        // Slashes in the raw strings are escaped (JSON allows it): moc would read "//" as a comment.
        line(0, R"("event":"start")");
        line(1, R"("socket":"ssap","conn":1,"event":"open","url":"wss:\/\/192.168.1.7:3001")");
        out(2, R"({"type":"hello","id":"hello","payload":{}})");
        in(3, R"({"type":"hello","payload":{"deviceUUID":"traced-uuid","deviceOSVersion":"9.9.9"}})");
        request(4, "1", "system/getSystemInfo");
        error(5, "1", "401 insufficient permissions (not registered)");
        out(6, R"({"type":"register","id":"register_0","payload":{"pairingType":"PROMPT"}})");
        response(7, "register_0", R"({"pairingType":"PROMPT","returnValue":true})");
        in(900, R"({"type":"registered","id":"register_0","payload":{"client-key":"<redacted: 32 characters>"}})");
        request(901, "2", "system/getSystemInfo");
        response(902, "2", R"({"modelName":"OLED65G9"})");
        out(907, R"({"type":"subscribe","id":"4","uri":"ssap:\/\/audio/getVolume","payload":{}})");
        response(908, "4", R"({"volume":7,"subscribed":true})");
        request(909, "5", "com.webos.applicationManager/listLaunchPoints");
        response(910, "5", R"({"launchPoints":[{"id":"a","icon":"http:\/\/192.168.1.7:3000/a.png"}]})");
        request(911, "6", "com.webos.service.tvpower/power/getPowerState");
        error(912, "6", "404 no such service or method");
        request(913, "7", "audio/volumeUp");
        response(914, "4", R"({"volume":8})");
        response(915, "7", R"({"volume":8})");
        request(916, "8", "audio/volumeUp");
        response(917, "8", R"({"volume":9})");
        request(918, "9", "system.notifications/createToast");
        line(9000, R"("event":"state","state":"ready")"); // the TV never answered the toast
        request(9001, "10", "tv/channelUp"); // the trace ends before an answer could come
        trace.close();

        TVSimProcess sim({ .address = kReplaying, .extraArgs = { "--replay", tracePath } });
        QVERIFY2(sim.start(), qPrintable(sim.output()));
        SSAPClient client(std::nullopt);
        auto greeting = start(client.connect(kReplaying));
        QTRY_VERIFY(greeting->done());
        QCOMPARE(greeting->value.value_or(QJsonObject())["deviceUUID"].toString(), QStringLiteral("traced-uuid"));
        QCOMPARE(ask(client, "system/getSystemInfo")["error"].toString(),
            QStringLiteral("401 insufficient permissions (not registered)"));
        int prompts = 0;
        auto registration = start(client.registerClient(std::nullopt, "PROMPT", [&] { ++prompts; }));
        QTRY_VERIFY(registration->done());
        QCOMPARE(prompts, 1);
        QVERIFY2(registration->value, qPrintable(registration->errorText()));
        QCOMPARE(sim.state().value("clientKeys").toArray(), QJsonArray { *registration->value }); // not the marker

        QCOMPARE(ask(client, "system/getSystemInfo")["modelName"].toString(), QStringLiteral("OLED65G9"));
        // The traced TV's addresses lead to the emulator.
        QCOMPARE(ask(client, "com.webos.applicationManager/listLaunchPoints")["launchPoints"][0]["icon"].toString(),
            QStringLiteral("http://%1:3000/a.png").arg(kReplaying));
        QCOMPARE(ask(client, "com.webos.service.tvpower/power/getPowerState")["error"].toString(),
            QStringLiteral("404 no such service or method"));

        // A subscription gets its reply, then the pushes that followed it.
        QList<int> volumes;
        client.subscribe(
            "audio/getVolume", {}, [&](const QJsonObject &payload) { volumes << payload["volume"].toInt(); });
        QTRY_COMPARE(volumes, (QList<int> { 7, 8 }));
        for (const int expected : { 8, 9, 9 })
            QCOMPARE(ask(client, "audio/volumeUp")["volume"].toInt(), expected);

        // Unanswered in the trace, unanswered here: later replies come first.
        auto toast = start(client.request("system.notifications/createToast", { { "message", "hi" } }));
        QCOMPARE(ask(client, "tv/channelUp")["returnValue"].toBool(), true); // the trace ends first
        QCOMPARE(ask(client, "tv/getExternalInputList")["devices"].toArray().size(), 4);
        QCOMPARE(ask(client, "tv/getExternalInputList")["devices"].toArray().size(), 4);
        QVERIFY(!toast->done());
        QCOMPARE(sim.output().count(QStringLiteral("\"uri\":\"tv/getExternalInputList\"")), 1);
        QCOMPARE(sim.output().count(QStringLiteral("replay-fallback")), 2); // channelUp, getExternalInputList
        client.disconnect();
        QTRY_VERIFY(toast->done());
    }
};

QTEST_GUILESS_MAIN(TestTVSim)
#include "test_tvsim.moc"

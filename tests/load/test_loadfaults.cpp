// The real app and the TV emulator when the TV misbehaves under an agent's calls: slow answers
// with a hundred calls waiting, a socket dropped in the middle of a call, a TV that stops
// answering. Every call must come back, with the right answer or a clear error, and the next
// call must work again.

#include "appprocess.h"
#include "httpclient.h"
#include "testenv.h"
#include "tvsimprocess.h"

#include <QJsonDocument>
#include <QTest>

#include <future>
#include <vector>

using namespace Http;

namespace {

const quint16 kPort = 18960;
const QString kTV = QStringLiteral("127.0.0.45");

QJsonObject status(quint16 port)
{
    const ToolResult result = toolResult(post(port, toolCall("tv_status")));
    return QJsonDocument::fromJson(result.text.toUtf8()).object();
}

// Starts n calls at once, each on its own connection, and collects their results.
std::vector<ToolResult> concurrently(int n, const QByteArray &body)
{
    std::vector<std::future<ToolResult>> calls;
    for (int i = 0; i < n; ++i)
        calls.push_back(std::async(std::launch::async, [body] { return toolResult(post(kPort, body, 60000)); }));
    std::vector<ToolResult> results;
    for (std::future<ToolResult> &call : calls)
        results.push_back(call.get());
    return results;
}

} // namespace

class TestLoadFaults : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    std::unique_ptr<TVSimProcess> m_sim;
    AppProcess m_app;

    void waitReady()
    {
        QTRY_COMPARE_WITH_TIMEOUT(status(kPort).value("connection").toString(), QStringLiteral("ready"), 20000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_sim = std::make_unique<TVSimProcess>(
            TVSimProcess::Options { .address = kTV, .extraArgs = { "--pairing-delay", "0" } });
        QVERIFY(m_sim->start());
        QVERIFY(m_app.startWithMCP({ "-autoHost", kTV }, kPort));
        waitReady();
    }

    void cleanup()
    {
        if (m_sim && m_sim->isRunning())
            m_sim->control("/fault", { { "clear", true } });
    }

    void cleanupTestCase()
    {
        m_app.stop();
        m_sim.reset();
    }

    void hundredCallsWaitForASlowTV()
    {
        // The connection breaks; the TV then takes its time over the connection sequence, and a
        // hundred status calls arrive while the session reconnects.
        m_sim->control("/fault", { { "delay", QJsonObject { { "uri", "system/getSystemInfo" }, { "ms", 1500 } } } });
        m_sim->control("/fault", { { "drop", true } });
        // The app has seen the connection end (asking its status now would reconnect).
        QTRY_VERIFY_WITH_TIMEOUT(!readLogMessages().filter(QStringLiteral("主通道断开")).isEmpty(), 10000);

        const std::vector<ToolResult> results = concurrently(100, toolCall("tv_status"));
        for (const ToolResult &result : results) {
            QVERIFY(result.ok);
            QVERIFY2(!result.isError, qPrintable(result.text));
            QCOMPARE(QJsonDocument::fromJson(result.text.toUtf8()).object().value("connection").toString(),
                QStringLiteral("ready"));
        }
        // One connection served them all.
        QCOMPARE(m_sim->state().value("connections").toInt(), 1);
    }

    void socketDroppedDuringACall()
    {
        waitReady();
        m_sim->control("/fault", { { "delay", QJsonObject { { "uri", "audio/volumeDown" }, { "ms", 3000 } } } });
        m_sim->clearReceived();
        std::future<ToolResult> call = std::async(std::launch::async, [] {
            return toolResult(post(kPort, toolCall("tv_volume", { { "action", "down" } }), 60000));
        });
        // The request is on the wire; then the TV drops every socket.
        m_sim->waitForReceived("ssap", [](const QJsonObject &message) {
            return message.value("json").toObject().value("uri").toString().endsWith(
                QStringLiteral("audio/volumeDown"));
        });
        m_sim->control("/fault", { { "drop", true } });
        QVERIFY(call.wait_for(std::chrono::seconds(20)) == std::future_status::ready);
        const ToolResult failed = call.get();
        QVERIFY(failed.ok);
        QVERIFY(failed.isError);
        QVERIFY(!failed.text.trimmed().isEmpty());
        QVERIFY2(failed.text != QStringLiteral("电视响应超时"), "a dropped socket must not wait for the time-out");

        // The next call reconnects and works.
        m_sim->control("/fault", { { "clear", true } });
        const ToolResult next = toolResult(post(kPort, toolCall("tv_volume", { { "action", "up" } })));
        QVERIFY2(next.ok && !next.isError && next.text.startsWith(QStringLiteral("Volume: ")), qPrintable(next.text));
        QCOMPARE(status(kPort).value("connection").toString(), QStringLiteral("ready"));
    }

    void hangingTVTimesOut()
    {
        waitReady();
        m_sim->control("/fault", { { "hang", true } });
        const ToolResult hung = toolResult(post(kPort, toolCall("tv_mute", { { "muted", true } }), 60000));
        QVERIFY(hung.ok);
        QVERIFY(hung.isError);
        QCOMPARE(hung.text, QStringLiteral("电视响应超时"));

        // The TV answers again: so does the app, on the connection it kept.
        m_sim->control("/fault", { { "hang", false } });
        const ToolResult next = toolResult(post(kPort, toolCall("tv_mute", { { "muted", false } })));
        QVERIFY2(next.ok && !next.isError, qPrintable(next.text));
        QVERIFY(m_app.isRunning());
    }
};

QTEST_GUILESS_MAIN(TestLoadFaults)
#include "test_loadfaults.moc"

// Connecting and pairing against the TV emulator: prompt and PIN pairing, what reaches the
// store, certificate and device changes, a broken socket, ensureConnected, and attempts that a
// newer connect or a disconnect overtakes. (The kept traces are replayed in test_sessionstate.)
#include "pairedtv.h"
#include "simmessages.h"
#include "testawait.h"
#include "testenv.h"

#include "protocoltrace.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using Kind = ConnectionState::Kind;

namespace {

const QString kHost = QStringLiteral("127.0.0.10");
const QString kOtherHost = QStringLiteral("127.0.0.11"); // nothing listens there
const QStringList kFast { QStringLiteral("--pairing-delay"), QStringLiteral("150") };
const QStringList kManual { QStringLiteral("--pairing"), QStringLiteral("prompt-ignore") }; // answered over /pairing
const QString kReplayHost = QStringLiteral("127.0.0.13");

// The state lines of a trace's first connection, from "connecting" to ready or an error, and
// how many PINs the traced app sent meanwhile.
QList<QJsonObject> firstConnection(const QString &path, int *pinsSent = nullptr)
{
    QList<QJsonObject> states;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return states;
    for (const QByteArray &text : file.readAll().split('\n')) {
        QJsonObject line = QJsonDocument::fromJson(text).object();
        const QString name = line.value("state").toString();
        if (pinsSent && !states.isEmpty() && line.value("message")["uri"] == QStringLiteral("ssap://pairing/setPin"))
            ++*pinsSent;
        if (line.value("event") != QStringLiteral("state")
            || (states.isEmpty() && name != QStringLiteral("connecting")))
            continue;
        line.remove(QStringLiteral("time"));
        states << line;
        if (name != QStringLiteral("connecting") && name != QStringLiteral("awaitingApproval"))
            break;
    }
    return states;
}

} // namespace

class TestSessionConnect : public QObject {
    Q_OBJECT

private:
    TestHome m_home;

private Q_SLOTS:
    // One TV through its life: a connection closed before registration, prompt pairing, closes
    // during the connection sequence, a huge frame, the TV away for a while, an attempt that
    // hangs, and our own power-off.
    void pairingThenLosingTheConnection()
    {
        PairedTV tv({ .address = kHost, .extraArgs = kFast });
        QVERIFY(tv.start());
        TVSimProcess &sim = *tv.sim;
        AppParts &rig = tv.parts;
        const QString id = tv.id;

        // Closed before registration: the attempt fails with what happened to the socket.
        sim.control(QStringLiteral("/fault"), { { "closeOn", "ssap://system/getSystemInfo" } });
        rig.session().connect(id);
        QTRY_COMPARE_WITH_TIMEOUT(rig.session().stateKind(), Kind::Error, 10000);
        QVERIFY2(rig.session().stateMessage() != SSAPError::notConnected().description(),
            qPrintable(rig.session().stateMessage()));
        QVERIFY(!rig.record(id).clientKey);

        rig.session().disconnect();
        rig.states.clear();
        int mark = logMark();
        rig.session().connect(id);
        QCOMPARE(rig.store().selectedID(), std::optional<QString>(id));
        QTRY_VERIFY_WITH_TIMEOUT(rig.session().isReady(), 10000);
        QCOMPARE(rig.states,
            (QList {
                ConnectionState::connecting(), ConnectionState::awaitingApproval(false), ConnectionState::ready() }));
        const TVDevice record = rig.record(id);
        QVERIFY(record.clientKey.has_value());
        QVERIFY(sim.state().value("clientKeys").toArray().contains(*record.clientKey));
        QCOMPARE(record.certFingerprint, std::optional<QString>(sim.fingerprint()));
        QCOMPARE(record.tvUUID, std::optional<QString>(sim.deviceUUID()));
        // The TV answers nothing before registration: the model is read once registered.
        QCOMPARE(record.model, QStringLiteral("LG OLED55C3PCA"));
        const QRegularExpression steps(QStringLiteral("^(连接 |等待电视确认配对|已注册)"));
        QCOMPARE(logSince(mark).filter(steps),
            (QStringList { QStringLiteral("连接 ") + kHost, QStringLiteral("等待电视确认配对 (pin=false)"),
                QStringLiteral("已注册 LG OLED55C3PCA") }));

        // Right after "registered", and when the TV goes while the model is read once registered:
        // the approval is kept, the session goes offline and never claims to be ready.
        const QList<QJsonObject> faults { { { "closeOn", "registered" } },
            { { "closeOn", "ssap://system/getSystemInfo" }, { "skip", 1 } } };
        for (const QJsonObject &fault : faults) {
            rig.session().disconnect();
            sim.control(QStringLiteral("/fault"), fault);
            rig.states.clear();
            mark = logMark();
            rig.session().connect(id);
            QTRY_COMPARE_WITH_TIMEOUT(rig.session().stateKind(), Kind::Offline, 10000);
            QVERIFY(!rig.passedThrough(Kind::Ready));
            QVERIFY(!rig.session().hasClient());
            QCOMPARE(rig.record(id).clientKey, record.clientKey);
            QCOMPARE(logSince(mark, QStringLiteral("主通道断开: ")).size(), 1);
        }
        QCOMPARE(sim.state().value("clientKeys").toArray().size(), 1);

        // Short reconnect delays from here on.
        TVSession::Timings timings = AppParts::quick().session;
        timings.reconnect = { .firstDelay = 0.1, .maxDelay = 0.3, .window = 60 };
        rig.renewSession(timings);
        QVERIFY(tv.pair());
        QTRY_VERIFY(rig.session().hasPointer());

        // A 64 MiB frame is refused by its header, before it is read: Qt's reason for that is
        // "Maximum framesize exceeded." (a message limit alone would read the frame first). The
        // session goes offline, then is ready again without anyone asking.
        rig.states.clear();
        mark = logMark();
        sim.control(QStringLiteral("/fault"), { { "push", "huge" }, { "mib", 64 } });
        QTRY_VERIFY_WITH_TIMEOUT(rig.passedThrough(Kind::Offline), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(rig.session().isReady(), 10000);
        QVERIFY(!rig.session().isReconnecting());
        QCOMPARE(logSince(mark, QStringLiteral("主通道断开: ")),
            QStringList { QStringLiteral("主通道断开: Maximum framesize exceeded.") });
        QCOMPARE(logSince(mark, QStringLiteral("连接 ")), QStringList { QStringLiteral("连接 ") + kHost });

        // The TV is away for a while: attempts fail until it is back.
        mark = logMark();
        sim.stop();
        QTRY_VERIFY2_WITH_TIMEOUT(
            logSince(mark, QStringLiteral("连接失败: ")).size() >= 2, qPrintable(logSince(mark).join("|")), 10000);
        QVERIFY(rig.session().isReconnecting());
        QVERIFY2(sim.start(), qPrintable(sim.output()));
        QTRY_VERIFY_WITH_TIMEOUT(rig.session().isReady(), 10000);

        // The user's disconnect is not brought back. A TV that never answers: ensureConnected
        // times out and leaves the attempt running; a second caller joins it.
        rig.session().disconnect();
        QVERIFY(!rig.session().isReconnecting());
        sim.control(QStringLiteral("/fault"), { { "hang", true } });
        auto outcome = start(rig.session().ensureConnected(0.4));
        QTRY_VERIFY_WITH_TIMEOUT(outcome->done(), 5000);
        QCOMPARE(outcome->errorText(), QStringLiteral("电视响应超时"));
        QCOMPARE(rig.session().stateKind(), Kind::Connecting);
        rig.states.clear();
        auto joined = start(rig.session().ensureConnected(0.2));
        QTRY_VERIFY_WITH_TIMEOUT(joined->done(), 5000);
        QVERIFY(rig.states.isEmpty());
        QCOMPARE(sim.state().value("connections").toInt(), 1);
        QCOMPARE(rig.record(id).clientKey, record.clientKey);

        // A TV we switched off ourselves is not brought back either.
        tv.clearFaults();
        rig.session().connect(id);
        QTRY_VERIFY_WITH_TIMEOUT(rig.session().isReady(), 10000);
        sim.clearReceived();
        rig.session().powerOff();
        QTRY_COMPARE_WITH_TIMEOUT(rig.session().stateKind(), Kind::Offline, 5000);
        QVERIFY(!rig.session().isReconnecting() && !rig.session().hasClient());
        QCOMPARE(tv.sent(QStringLiteral("system/turnOff")).size(), 1);
        QCOMPARE(sim.state().value("power").toString(), QStringLiteral("Active Standby"));
    }

    // With a protocol trace running, which keeps the PINs, the client key and typed text out.
    void pinPairingThroughSubmitPin()
    {
        PairedTV tv({ .address = kHost, .extraArgs = { QStringLiteral("--pin"), QStringLiteral("12345678") } });
        QVERIFY(tv.start());
        QTemporaryDir dir;
        const QString tracePath = dir.filePath(QStringLiteral("trace.jsonl"));
        QVERIFY(ProtocolTrace::instance().start(tracePath));
        const auto stopTrace = qScopeGuard([] { ProtocolTrace::instance().stop(); });
        TVSession &session = tv.session();
        const int mark = logMark();

        session.connect(tv.id, true);
        QTRY_COMPARE_WITH_TIMEOUT(session.state(), ConnectionState::awaitingApproval(true), 10000);
        QVERIFY(session.awaitingPin());

        // A wrong PIN is logged and the TV keeps asking.
        session.submitPin(QStringLiteral("00000000"));
        QTRY_COMPARE(logSince(mark, QStringLiteral("setPin 失败: ")),
            QStringList { QStringLiteral("setPin 失败: 400 wrong PIN code") });
        QCOMPARE(session.state(), ConnectionState::awaitingApproval(true));
        QVERIFY(!tv.parts.record(tv.id).clientKey);

        session.submitPin(QStringLiteral("12345678"));
        QTRY_VERIFY_WITH_TIMEOUT(session.isReady(), 10000);
        QCOMPARE(tv.payload(QStringLiteral("pairing/setPin"), 1), QJsonObject({ { "pin", "12345678" } }));

        session.insertText(QStringLiteral("mein Geheimnis"));
        QTRY_COMPARE(tv.sent(QStringLiteral("com.webos.service.ime/insertText")).size(), 1);
        QTRY_VERIFY(!session.apps().isEmpty() && session.pointer() && session.pointer()->msSinceHeard() >= 0);
        // The stored key goes out again: no second prompt.
        session.disconnect();
        session.connect(tv.id);
        QTRY_VERIFY_WITH_TIMEOUT(session.isReady(), 10000);
        ProtocolTrace::instance().stop();

        QFile file(tracePath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString trace = QString::fromUtf8(file.readAll());
        const QString key = tv.parts.record(tv.id).clientKey.value_or(QString());
        QVERIFY(key.size() >= 8);
        for (const QString &secret :
            { key, QStringLiteral("12345678"), QStringLiteral("00000000"), QStringLiteral("Geheimnis") })
            QVERIFY2(!trace.contains(secret), qPrintable(secret));
        const QString keyMarker = QStringLiteral("\"client-key\":\"<redacted: %1 characters>\"").arg(key.size());
        QCOMPARE(trace.count(keyMarker), 3); // issued, sent back, confirmed
        QCOMPARE(trace.count(QStringLiteral("\"pin\":\"<redacted: 8 characters>\"")), 2);
        QCOMPARE(trace.count(QStringLiteral("\"text\":\"<redacted: 14 characters>\"")), 1);

        // What a bug report needs: the states, the TV's greeting and system info, both sockets.
        QStringList states, tvLines, events;
        for (const QString &text : trace.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QJsonObject line = QJsonDocument::fromJson(text.toUtf8()).object();
            QVERIFY2(!line.value("time").toString().isEmpty(), qPrintable(text));
            const QString event = line.value("event").toString();
            if (event == QStringLiteral("state"))
                states << line.value("state").toString() + (line.value("pin").toBool() ? "+pin" : "");
            else if (event == QStringLiteral("tv"))
                tvLines << line.value("greeting")["deviceOSVersion"].toString()
                        + line.value("systemInfo")["modelName"].toString();
            else if (!event.isEmpty())
                events << line.value("socket").toString() + QLatin1Char(' ') + event;
        }
        QCOMPARE(
            states, (QStringList { "connecting", "awaitingApproval+pin", "ready", "offline", "connecting", "ready" }));
        QCOMPARE(tvLines, (QStringList { "4.1.0", "OLED55C3PCA", "4.1.0", "OLED55C3PCA" }));
        QVERIFY2(
            events.contains("ssap connected") && events.contains("pointer connected"), qPrintable(events.join(',')));
    }

    // Every trace kept in tests/traces, replayed by the emulator, takes the app through the states
    // the traced app passed through (typing a PIN where it did): a user's trace is a regression test.
    void keptTracesReplay_data()
    {
        QTest::addColumn<QString>("path");
        const QDir traces(qEnvironmentVariable("CORVANE_SOURCE_DIR") + QStringLiteral("/tests/traces"));
        for (const QFileInfo &trace : traces.entryInfoList({ QStringLiteral("*.jsonl") }))
            QTest::newRow(qPrintable(trace.fileName())) << trace.filePath();
    }

    void keptTracesReplay()
    {
        QFETCH(QString, path);
        int pins = 0;
        const QList<QJsonObject> traced = firstConnection(path, &pins);
        QVERIFY2(!traced.isEmpty(), "the trace holds no connection");
        QTemporaryDir dir;
        QVERIFY(ProtocolTrace::instance().start(dir.filePath(QStringLiteral("replay.jsonl"))));
        const auto stopTrace = qScopeGuard([] { ProtocolTrace::instance().stop(); });
        PairedTV tv({ .address = kReplayHost, .extraArgs = { QStringLiteral("--replay"), path } });
        QVERIFY(tv.start());
        tv.session().connect(tv.id, traced.first().value("pin").toBool() || pins > 0);
        for (int pin = 0; pin < pins; ++pin) {
            QTRY_VERIFY_WITH_TIMEOUT(tv.session().awaitingPin(), 10000);
            const qsizetype sent = tv.sent(QStringLiteral("pairing/setPin")).size();
            tv.session().submitPin(QStringLiteral("0000"));
            QTRY_COMPARE(tv.sent(QStringLiteral("pairing/setPin")).size(), sent + 1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(tv.parts.states.size(), traced.size(), 15000);
        ProtocolTrace::instance().stop();
        QCOMPARE(firstConnection(dir.filePath(QStringLiteral("replay.jsonl"))), traced);
    }

    // Another TV at the paired address: a new device UUID pairs afresh (once the user approves),
    // a new certificate is refused before the TV sees anything.
    void replacedTV()
    {
        PairedTV tv({ .address = kHost, .extraArgs = kFast });
        QVERIFY(tv.start() && tv.pair());
        AppParts &rig = tv.parts;
        const QString id = tv.id;
        const TVDevice paired = rig.record(id);
        rig.session().disconnect();
        std::unique_ptr<TVSimProcess> first; // its state directory is every later TV's
        const auto replace = [&](const QStringList &extra) {
            if (!first)
                first = std::move(tv.sim);
            first->stop();
            tv.sim = std::make_unique<TVSimProcess>(
                TVSimProcess::Options { .address = kHost, .extraArgs = kFast + extra, .stateDir = first->stateDir() });
            return tv.sim->start();
        };

        // A new TV that refuses: nothing of the old pairing is lost; it was asked to pair without a key.
        QVERIFY(replace({ "--new-uuid", "--pairing", "prompt-reject" }));
        const QString newUUID = tv.sim->deviceUUID();
        const int mark = logMark();
        rig.session().connect(id);
        QTRY_COMPARE_WITH_TIMEOUT(rig.session().stateKind(), Kind::Error, 10000);
        QCOMPARE(rig.session().stateMessage(), QStringLiteral("403 User rejected pairing"));
        QVERIFY(logSince(mark).contains(QStringLiteral("TV UUID 变化，清除旧配对")));
        QVERIFY(!rig.session().hasClient());
        QCOMPARE(rig.record(id), paired);
        const QList<QJsonObject> registers = ssapOfType(tv.sim->received(), "register");
        QCOMPARE(registers.size(), 1);
        QVERIFY(!registers.first().value("payload").toObject().contains("client-key"));

        // The same new TV accepting: the record takes its UUID, key and fingerprint.
        QVERIFY(replace({}));
        rig.states.clear();
        rig.session().connect(id);
        QTRY_VERIFY_WITH_TIMEOUT(rig.session().isReady(), 10000);
        QVERIFY(rig.passedThrough(Kind::AwaitingApproval));
        const TVDevice now = rig.record(id);
        QCOMPARE(now.tvUUID, std::optional<QString>(newUUID));
        QVERIFY(now.clientKey && *now.clientKey != *paired.clientKey);
        QCOMPARE(now.certFingerprint, std::optional<QString>(tv.sim->fingerprint()));
        rig.session().disconnect();

        QVERIFY(replace({ "--new-cert" }));
        rig.session().connect(id);
        QTRY_COMPARE_WITH_TIMEOUT(rig.session().stateKind(), Kind::Error, 10000);
        QCOMPARE(rig.session().stateMessage(), QStringLiteral("电视证书已变化，请删除后重新配对"));
        QCOMPARE(rig.record(id), now);
        QCOMPARE(ssapOfType(tv.sim->received(), "register").size(), 0); // the TV never saw a registration
    }

    void ensureConnectedFailures()
    {
        AppParts rig(AppParts::quick());

        // A selected TV without a key: no attempt. (No selection at all: test_mcplistener.)
        const QString id = rig.addTV(kOtherHost);
        rig.store().setSelectedID(id);
        auto outcome = start(rig.session().ensureConnected(1));
        QTRY_VERIFY(outcome->done());
        QCOMPARE(outcome->errorText(), QStringLiteral("No paired TV. Pair one in the Corvane Remote app first."));
        QVERIFY(rig.states.isEmpty());

        // A paired TV that cannot be reached: each call starts a new attempt and reports its error.
        TVDevice record = rig.record(id);
        record.clientKey = QStringLiteral("key");
        rig.store().update(record);
        for (int call = 0; call < 2; ++call) {
            rig.states.clear();
            auto refused = start(rig.session().ensureConnected(5));
            QVERIFY(rig.passedThrough(Kind::Connecting));
            QTRY_VERIFY_WITH_TIMEOUT(refused->done(), 8000);
            QCOMPARE(rig.session().state(), ConnectionState::error(QStringLiteral("Connection refused")));
            QCOMPARE(refused->errorText(), rig.session().stateMessage());
            QCOMPARE(refused->error->kind(), SSAPError::Kind::Server);
        }
    }

    // The emulator answers a prompt only when told to: the test decides when the TV approves.
    // Disconnected, or the session destroyed, while the TV asks: its approval finds no one. A
    // newer connect replaces the older attempt, whose prompt goes with it.
    void approvalOvertaken()
    {
        PairedTV tv({ .address = kHost, .extraArgs = kManual });
        QVERIFY(tv.start());
        AppParts &rig = tv.parts;
        const TVDevice before = rig.record(tv.id);
        const auto accept = [&] {
            return tv.sim->control(QStringLiteral("/pairing"), { { "action", "accept" } }).value("answered").toInt();
        };

        for (const bool destroy : { false, true }) {
            rig.session().connect(tv.id);
            QTRY_COMPARE_WITH_TIMEOUT(rig.session().stateKind(), Kind::AwaitingApproval, 10000);
            if (destroy)
                rig.renewSession();
            else
                rig.session().disconnect();
            QCOMPARE(rig.session().stateKind(), Kind::Offline);
            QTRY_COMPARE(tv.sim->state().value("connections").toInt(), 0);
            QCOMPARE(accept(), 0);
            QCOMPARE(rig.record(tv.id), before);
        }

        const int mark = logMark();
        rig.session().connect(tv.id);
        QTRY_COMPARE_WITH_TIMEOUT(rig.session().stateKind(), Kind::AwaitingApproval, 10000);
        QPointer<SSAPClient> older = rig.session().client();
        rig.states.clear();
        rig.session().connect(tv.id);
        QCOMPARE(rig.states, QList<ConnectionState>({ ConnectionState::offline(), ConnectionState::connecting() }));
        QTRY_COMPARE_WITH_TIMEOUT(rig.session().stateKind(), Kind::AwaitingApproval, 10000);
        // The older socket is gone: the TV has one prompt left to answer.
        QTRY_COMPARE(tv.sim->state().value("connections").toInt(), 1);
        QCOMPARE(accept(), 1);

        QTRY_VERIFY_WITH_TIMEOUT(rig.session().isReady(), 10000);
        QVERIFY(!rig.passedThrough(Kind::Error));
        QCOMPARE(logSince(mark, QStringLiteral("连接失败")), QStringList());
        const QJsonArray keys = tv.sim->state().value("clientKeys").toArray();
        QCOMPARE(keys.size(), 1);
        QCOMPARE(rig.record(tv.id).clientKey, std::optional<QString>(keys.first().toString()));
        QVERIFY(older.isNull());
    }
};

QTEST_GUILESS_MAIN(TestSessionConnect)
#include "test_sessionconnect.moc"

// Live TV state and remote actions against the TV emulator: what the TV pushes reaches the
// session's fields, and every action leaves the session as the right message on the wire.
#include "pairedtv.h"
#include "simmessages.h"
#include "testawait.h"
#include "testenv.h"

#include "localnetwork.h"
#include "protocoltrace.h"

#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using Kind = ConnectionState::Kind;

namespace {

const QString kHost = QStringLiteral("127.0.0.12");
const QString kRefusingHost = QStringLiteral("127.0.0.16"); // firmware that refuses the pointer socket
const QString kRefusal = QStringLiteral("401 insufficient permissions");
const QString kReplayHost = QStringLiteral("127.0.0.17"); // the refusing TV, replayed from a trace

} // namespace

class TestSessionState : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    PairedTV m_tv { { .address = kHost, .extraArgs = { QStringLiteral("--pairing-delay"), QStringLiteral("50") } },
        AppParts::Setup() };

    TVSession &session() { return m_tv.session(); }
    TVSimProcess &sim() { return *m_tv.sim; }
    QList<QJsonObject> requests(const QString &uri) { return m_tv.sent(uri); }
    QJsonObject payload(const QString &uri) { return m_tv.payload(uri); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_tv.start()); }

    // Every case starts with a fresh session connected to the TV, its lists read and its MAC known.
    void init()
    {
        m_tv.clearFaults();
        m_tv.set({ { "volume", 10 }, { "muted", false }, { "foregroundAppId", "com.webos.app.livetv" },
            { "power", "Active" }, { "keyboardFocus", false }, { "volumeShape", "nested" } });
        m_tv.parts.renewSession();
        QVERIFY(m_tv.pair());
        QVERIFY(!session().apps().isEmpty());
        QTRY_VERIFY(session().hasPointer());
        sim().clearReceived();
    }

    void cleanup() { session().disconnect(); }

    void pushedStateReachesTheFields()
    {
        // (Volume, mute and foreground pushes: test_mcptools' status; each push's shapes and its
        // signal only on a change: test_sessionvalues.)
        QTRY_COMPARE(session().volume(), 10);
        QSignalSpy standbySpy(&session(), &TVSession::isStandbyChanged);
        for (const char *power : { "Active Standby", "Suspend" }) {
            m_tv.set({ { "power", power } });
            QTRY_COMPARE(session().powerState(), QString::fromLatin1(power));
            QVERIFY(session().isStandby());
            QCOMPARE(standbySpy.count(), 1);
        }

        // Disconnecting forgets only the power state; standby needs a ready session anyway.
        session().disconnect();
        QCOMPARE(session().powerState(), QString());
        QVERIFY(!session().isStandby());
        QCOMPARE(standbySpy.count(), 2);
        QCOMPARE(session().volume(), 10);
        QCOMPARE(session().foregroundAppId(), QStringLiteral("com.webos.app.livetv"));
        QVERIFY(!session().apps().isEmpty());
    }

    void macLearned()
    {
        // Loopback has no ARP entry: the TV's own report is used, Wi-Fi first.
        auto info = start(session().request(QStringLiteral("com.webos.service.connectionmanager/getinfo")));
        QTRY_VERIFY(info->done());
        QVERIFY(!info->error);
        const QString wifi = info->value->value("wifiInfo").toObject().value("macAddress").toString();
        QCOMPARE(m_tv.parts.record(m_tv.id).mac, LocalNetwork::normalizeMAC(wifi));

        // Learnt again only when it differs: one log line for a changed MAC, none otherwise.
        TVDevice record = m_tv.parts.record(m_tv.id);
        record.mac = QStringLiteral("02:00:00:00:00:01");
        m_tv.parts.store().update(record);
        const int mark = logMark();
        auto learnt = start(session().learnMAC());
        QTRY_VERIFY(learnt->done());
        QCOMPARE(m_tv.parts.record(m_tv.id).mac, LocalNetwork::normalizeMAC(wifi));
        QCOMPARE(logSince(mark, QStringLiteral("记录 MAC ")),
            QStringList { QStringLiteral("记录 MAC ") + *LocalNetwork::normalizeMAC(wifi) });
        auto again = start(session().learnMAC());
        QTRY_VERIFY(again->done());
        QCOMPARE(logSince(mark, QStringLiteral("记录 MAC ")).size(), 1);

        // A slow arp does not block the loop: it answers only once the test, on that loop, lets it.
        QTemporaryDir dir;
        const QString go = dir.filePath(QStringLiteral("go"));
        QFile arp(dir.filePath(QStringLiteral("arp")));
        QVERIFY(arp.open(QIODevice::WriteOnly));
        arp.write(QStringLiteral("#!/bin/sh\nwhile [ ! -e '%1' ]; do sleep 0.02; done\n"
                                 "echo \"? ($2) at 2:1a:2b:3c:4d:5e [ether] on lo\"\n")
                      .arg(go)
                      .toUtf8());
        arp.close();
        QVERIFY(arp.setPermissions(arp.permissions() | QFileDevice::ExeOwner));
        session().setARPProgram(arp.fileName());

        std::shared_ptr<Outcome<void>> slow;
        bool firedDuringLookup = false;
        QTimer::singleShot(0, this, [&] {
            firedDuringLookup = !slow->done();
            QFile(go).open(QIODevice::WriteOnly);
        });
        slow = start(session().learnMAC());
        QTRY_VERIFY(slow->done());
        QVERIFY(firedDuringLookup);
        QCOMPARE(m_tv.parts.record(m_tv.id).mac, std::optional<QString>(QStringLiteral("02:1a:2b:3c:4d:5e")));
    }

    void iconsAreFetchedAndCached()
    {
        const QUrl url = *session().apps().at(1).icon;
        auto image = start(session().icon(url));
        QTRY_VERIFY(image->done());
        QVERIFY(*image->value && (*image->value)->startsWith("\x89PNG")); // as the TV serves it

        QUrl missing = url;
        missing.setPath(QStringLiteral("/resources/none/nothing.png"));
        auto none = start(session().icon(missing));
        QTRY_VERIFY(none->done());
        QVERIFY(!*none->value);
        QVERIFY(!session().cachedIcon(missing));

        // Without a connection only the cache answers.
        session().disconnect();
        auto cached = start(session().icon(url));
        QTRY_VERIFY(cached->done());
        QVERIFY(cached->value->has_value());
    }

    // Buttons, clicks and coalesced moves over the pointer socket.
    void pointerInput()
    {
        session().press(QStringLiteral("HOME"));
        session().press(QStringLiteral("MUTE"));
        session().click();
        session().scroll(-1);
        const QStringList expected { QStringLiteral("type:button\nname:HOME\n\n"),
            QStringLiteral("type:button\nname:MUTE\n\n"), QStringLiteral("type:click\n\n"),
            QStringLiteral("type:scroll\ndx:0\ndy:-1\n\n") };
        QTRY_COMPARE(pointerTexts(sim().received()), expected);
        // A TV that gives the pointer socket gets every button on it.
        QCOMPARE(requests(QStringLiteral("audio/setMute")).size(), 0);

        // A closed pointer socket is replaced before the button is sent.
        QPointer<PointerClient> old = session().pointer();
        old->close();
        sim().clearReceived();
        auto pressed = start(session().pressAsync(QStringLiteral("UP")));
        QTRY_VERIFY(pressed->done());
        QVERIFY(!pressed->value->error && !pressed->value->refused);
        QVERIFY(session().pointer() && session().pointer() != old.data());
        QTRY_COMPARE(pointerTexts(sim().received()), QStringList { QStringLiteral("type:button\nname:UP\n\n") });
        QCOMPARE(requests(QStringLiteral("com.webos.service.networkinput/getPointerInputSocket")).size(), 1);

        sim().clearReceived();
        session().move(0.4, 0);
        session().move(0.4, 0);
        session().move(0.4, 0);
        const QString move = QStringLiteral("type:move\ndx:1\ndy:0\ndown:0\n\n");
        QTRY_COMPARE(pointerTexts(sim().received()), QStringList { move });
        // A click as a marker: the socket keeps the order, so no second move came meanwhile.
        session().click();
        QTRY_COMPARE(pointerTexts(sim().received()), (QStringList { move, QStringLiteral("type:click\n\n") }));

        // 0.2 stays pending in x. Then (0.3, -0.3) gives (0.5, -0.3): dx 1, nothing in y; then y
        // reaches -0.6: dy -1, and x (about -0.2) sends nothing. A NaN from the touchpad is
        // dropped instead of poisoning every later move.
        const QList<std::pair<QList<QPointF>, QString>> steps { { { { 0.3, -0.3 } }, "dx:1\ndy:0" },
            { { { 0.3, -0.3 } }, "dx:0\ndy:-1" }, { { { qQNaN(), 1 }, { -3.2, 12 } }, "dx:-3\ndy:12" } };
        for (const auto &[moves, expected] : steps) {
            sim().clearReceived();
            for (const QPointF &by : moves)
                session().move(by.x(), by.y());
            QTRY_COMPARE(pointerTexts(sim().received()), QStringList { "type:move\n" + expected + "\ndown:0\n\n" });
        }
    }

    // The requests' bytes are the vocabulary's (test_sessionvalues); here: what the session picks.
    void commandsReachTheTV()
    {
        session().volumeUp();
        session().volumeDown();
        session().setVolumeValue(42);
        session().setVolume();
        session().launchApp(QStringLiteral("netflix"));
        session().launchApp(QStringLiteral("not.listed"));
        session().setMute(true);

        QTRY_COMPARE(requests("audio/setMute").size(), 1);
        QCOMPARE(requests("audio/volumeUp").size(), 1);
        QCOMPARE(requests("audio/volumeDown").size(), 1);
        QCOMPARE(payload("audio/setVolume"), QJsonObject({ { "volume", 42 } })); // the slider's value
        QCOMPARE(requests("system.launcher/launch").size(), 1); // an app not listed is not launched
        QCOMPARE(payload("system.launcher/launch").value("id"), "netflix");
        QTRY_COMPARE(session().muted(), true);
        QCOMPARE(pointerTexts(sim().received()), QStringList()); // no fallback needed

        // A refused mute falls back to the MUTE key, which toggles: the muted TV is unmuted, and
        // the subscription says so.
        m_tv.answerWithError(QStringLiteral("audio/setMute"), QStringLiteral("500 mute refused"));
        int mark = logMark();
        auto mute = start(session().setMuteAsync(true));
        QTRY_VERIFY(mute->done());
        QVERIFY(!mute->error);
        QTRY_COMPARE(pointerTexts(sim().received()), QStringList { QStringLiteral("type:button\nname:MUTE\n\n") });
        QTRY_COMPARE(session().muted(), false);
        QCOMPARE(logSince(mark), QStringList());

        // A failing command logs one line and changes nothing.
        for (const char *uri : { "audio/volumeUp", "audio/volumeDown" })
            sim().control(QStringLiteral("/fault"),
                { { "fail", QJsonObject { { "uri", uri }, { "error", "boom" }, { "shape", "returnValue" } } } });
        mark = logMark();
        const int volume = session().volume();
        session().volumeUp();
        QTRY_COMPARE(logSince(mark), QStringList { QStringLiteral("audio/volumeUp 失败: boom") });
        session().volumeDown(); // its line is the marker: nothing more came of the first
        QTRY_COMPARE(logSince(mark),
            (QStringList {
                QStringLiteral("audio/volumeUp 失败: boom"), QStringLiteral("audio/volumeDown 失败: boom") }));
        QCOMPARE(session().volume(), volume);
        QCOMPARE(session().stateKind(), Kind::Ready);
    }

    void waitersSurviveTheClientGoing()
    {
        for (const char *uri :
            { "audio/volumeUp", "tv/getExternalInputList", "com.webos.service.networkinput/getPointerInputSocket" })
            sim().control(QStringLiteral("/fault"), { { "delay", QJsonObject { { "uri", uri }, { "ms", 1500 } } } });
        const QList<ExternalInput> inputs = session().inputs();
        int mark = logMark();

        auto request = start(session().request(QStringLiteral("audio/volumeUp")));
        auto refresh = start(session().refreshInputs());
        session().pointer()->close();
        auto press = start(session().pressAsync(QStringLiteral("OK")));
        session().volumeUp(); // fire and forget
        QTRY_COMPARE(requests(QStringLiteral("audio/volumeUp")).size(), 2);
        QTRY_COMPARE(requests(QStringLiteral("com.webos.service.networkinput/getPointerInputSocket")).size(), 1);

        session().disconnect();
        QTRY_VERIFY(request->done() && refresh->done() && press->done());
        QVERIFY(request->error);
        QCOMPARE(request->error->kind(), SSAPError::Kind::NotConnected);
        QVERIFY(press->value->error && !press->value->refused); // lost with the connection, not refused by the TV
        QCOMPARE(session().inputs(), inputs);
        QVERIFY(!session().hasPointer());
        QTRY_COMPARE(logSince(mark).size(), 2);
        QStringList lines = logSince(mark);
        lines.sort();
        QCOMPARE(lines,
            (QStringList { QStringLiteral("audio/volumeUp 失败: 未连接电视"),
                QStringLiteral("获取 pointer socket 失败: 未连接电视") }));

        // Without a client nothing is sent, and nothing is logged.
        sim().clearReceived();
        mark = logMark();
        session().launchApp(QStringLiteral("netflix"));
        session().volumeUp();
        session().insertText(QStringLiteral("x"));
        session().press(QStringLiteral("HOME"));
        session().move(4, 4);
        auto mute = start(session().setMuteAsync(true));
        auto volume = start(session().request(QStringLiteral("audio/getVolume")));
        // The motion's flush must have run too, or it would still be waiting when the session goes.
        QTRY_VERIFY(mute->done() && volume->done() && !session().moveScheduled());
        QCOMPARE(volume->errorText(), QStringLiteral("未连接电视"));
        QCOMPARE(sim().received().size(), 0);
        QCOMPARE(logSince(mark), QStringList());
        QCOMPARE(session().stateKind(), Kind::Offline);

        // The same with the session itself destroyed while the TV is still answering.
        session().connect(m_tv.id);
        QTRY_VERIFY_WITH_TIMEOUT(session().isReady(), 10000);
        auto late = start(session().request(QStringLiteral("audio/volumeUp")));
        session().volumeUp();
        session().move(5, 5);
        m_tv.parts.renewSession();
        QTRY_VERIFY(late->done());
        QVERIFY(late->error);
    }

    // Firmware that refuses the pointer socket: buttons with a request of their own reach the TV
    // through it; other input is refused, which the window is told once per connection. Its
    // first connection, traced and replayed by the emulator, makes the app do the same.
    void pointerSocketRefused()
    {
        PairedTV tv({ .address = kRefusingHost,
            .extraArgs = { QStringLiteral("--pairing-delay"), QStringLiteral("50"), QStringLiteral("--firmware"),
                QStringLiteral("2026") } });
        QVERIFY(tv.start());
        session().disconnect(); // nothing but this TV in the trace
        QTemporaryDir traceDir;
        const QString tracePath = traceDir.filePath(QStringLiteral("firmware-2026.jsonl"));
        QVERIFY(ProtocolTrace::instance().start(tracePath));
        const auto stopTrace = qScopeGuard([] { ProtocolTrace::instance().stop(); });
        TVSession &s = tv.session();
        const auto asked
            = [&] { return tv.sent(QStringLiteral("com.webos.service.networkinput/getPointerInputSocket")).size(); };
        s.connect(tv.id);
        QTRY_VERIFY_WITH_TIMEOUT(s.isReady(), 10000);
        QTRY_VERIFY(!s.apps().isEmpty()); // read after the pointer socket was asked for
        QCOMPARE(s.pointerRefusal(), std::optional<QString>(kRefusal));
        ProtocolTrace::instance().stop();
        const QList<ConnectionState> liveStates = tv.parts.states;
        QCOMPARE(s.inputRefusal(), QString()); // nobody has pressed anything yet
        QSignalSpy shown(&s, &TVSession::inputRefusalChanged);
        const QJsonObject before = tv.sim->state();

        // (VOLUMEUP and the refused HOME through the tools: test_mcptools.) MUTE toggles what the TV said.
        s.press(QStringLiteral("MUTE"));
        QTRY_COMPARE(tv.sim->state().value("muted").toBool(), !before.value("muted").toBool());
        // Done only when the TV took the request.
        tv.answerWithError(QStringLiteral("tv/channelUp"), QStringLiteral("500 no tuner"));
        auto channel = start(s.pressAsync(QStringLiteral("CHANNELUP")));
        QTRY_VERIFY(channel->done());
        QCOMPARE(channel->value->error, std::optional<SSAPError>(SSAPError::server(QStringLiteral("500 no tuner"))));
        QVERIFY(!channel->value->refused);

        // Without a request of its own: refused with the TV's reason; the awaitable form tells its
        // caller only, the window's input shows it once.
        auto home = start(s.pressAsync(QStringLiteral("HOME")));
        QTRY_VERIFY(home->done());
        QVERIFY(home->value->refused);
        QCOMPARE(home->value->error->description(), kRefusal);
        QCOMPARE(shown.count(), 0);
        s.move(6, 0);
        QTRY_COMPARE(s.inputRefusal(), kRefusal);
        s.press(QStringLiteral("UP"));
        s.click();
        s.scroll(1);
        auto marker = start(s.clickAsync());
        QTRY_VERIFY(marker->done() && marker->value->refused);
        QCOMPARE(shown.count(), 1);
        QCOMPARE(pointerTexts(tv.sim->received()), QStringList());
        QCOMPARE(asked(), 1); // once for the connection

        // A new connection asks again; what the window showed went with the old one.
        s.disconnect();
        QCOMPARE(s.inputRefusal(), QString());
        s.connect(tv.id);
        QTRY_VERIFY_WITH_TIMEOUT(s.isReady(), 10000);
        QTRY_COMPARE(asked(), 2);
        QTRY_VERIFY(s.pointerRefusal().has_value());
        QCOMPARE(s.inputRefusal(), QString());

        // Replayed, the trace gives the same states and refusal.
        PairedTV replayed({ .address = kReplayHost, .extraArgs = { QStringLiteral("--replay"), tracePath } });
        QVERIFY(replayed.start());
        replayed.session().connect(replayed.id);
        QTRY_VERIFY_WITH_TIMEOUT(replayed.session().isReady(), 10000);
        QCOMPARE(replayed.parts.states, liveStates);
        QTRY_COMPARE(replayed.session().pointerRefusal(), std::optional<QString>(kRefusal));
    }
};

QTEST_GUILESS_MAIN(TestSessionState)
#include "test_sessionstate.moc"

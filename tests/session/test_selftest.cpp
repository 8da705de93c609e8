// The self-test run against the TV emulator: its "[autotest]" lines in order, and only once per
// process. Built twice: the basic sequence, and with SELFTEST_FULL the extended one as well.
#include "appparts.h"
#include "selftest.h"
#include "simmessages.h"
#include "testawait.h"
#include "testenv.h"
#include "tvsimprocess.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

namespace {

#ifdef SELFTEST_FULL
const QString kHost = QStringLiteral("127.0.0.14");
const QString kMode = QStringLiteral("full");
#else
const QString kHost = QStringLiteral("127.0.0.13");
const QString kMode = QStringLiteral("quick");
#endif

TVSession::Timings scaledWaits()
{
    TVSession::Timings timings;
    timings.selfTestWaitScale = 0.25;
    return timings;
}

} // namespace

class TestSelfTest : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    std::unique_ptr<TVSimProcess> m_sim;
    std::unique_ptr<AppParts> m_rig;
    QString m_id;
    QStringList m_lines;

    // The one line with this prefix; fails the test when there is not exactly one.
    QString line(const QString &prefix)
    {
        QStringList found;
        for (const QString &entry : std::as_const(m_lines)) {
            if (entry.startsWith(prefix))
                found << entry;
        }
        if (found.size() != 1)
            qWarning() << "lines starting with" << prefix << ":" << found;
        return found.size() == 1 ? found.first() : QString();
    }

    static QJsonObject probeReply(const QString &line)
    {
        const qsizetype colon = line.indexOf(QStringLiteral(": "));
        return QJsonDocument::fromJson(line.mid(colon + 2).toUtf8()).object();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_sim = std::make_unique<TVSimProcess>(TVSimProcess::Options { .address = kHost,
            .extraArgs = { QStringLiteral("--pairing-delay"), QStringLiteral("50"), QStringLiteral("--apps"),
                QStringLiteral("30") } });
        QVERIFY2(m_sim->start(), qPrintable(m_sim->output()));
        m_sim->control(QStringLiteral("/set"), { { "volume", 10 } });
        // A probe the TV refuses is reported as failed; the run goes on.
        m_sim->control(QStringLiteral("/fault"),
            { { "fail",
                QJsonObject { { "uri", "system.notifications/createToast" }, { "error", "500 no toasts" } } } });
        m_rig = std::make_unique<AppParts>(AppParts::Setup { .session = scaledWaits() });
        m_rig->preferences().setString(QStringLiteral("autotest"), kMode);
        m_id = m_rig->addTV(kHost);
    }

    void cleanupTestCase()
    {
        m_rig.reset();
        m_sim.reset();
    }

    void runsAfterPairing()
    {
        const int mark = logMark();
        QVERIFY(!SelfTest::hasStarted());
        m_rig->session().connect(m_id);
        QTRY_VERIFY_WITH_TIMEOUT(m_rig->session().isReady(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(logSince(mark).contains(QStringLiteral("[autotest] 结束")), 30000);
        m_lines = logSince(mark, QStringLiteral("[autotest] "));

        QStringList order { "开始", "✅ 网络信息: ", "✅ 音量状态: ", "✅ 前台应用: ", "❌ Toast: 500 no toasts",
            "✅ 音量+: ", "音量 ", "✅ 音量-: ", "音量回到 ", "输入源 ", "应用 ", "MAC ", "图标示例 ",
            "✅ HOME 后前台: ", "✅ BACK 后前台: " };
#ifdef SELFTEST_FULL
        order << QStringList { "✅ 静音: ", "muted=true", "✅ 取消静音: ", "muted=false",
            "✅ 设置音量: ", "指针移动已发送", "✅ 切换 HDMI 1: ", "前台 com.webos.app.hdmi1 当前来源 HDMI 1",
            "✅ 启动 Live TV: ", "前台 com.webos.app.livetv（测试前 ", "✅ 播放: " };
#endif
        order << "结束";
        QCOMPARE(m_lines.size(), order.size());
        for (qsizetype i = 0; i < order.size(); ++i)
            QVERIFY2(m_lines.at(i).startsWith(QStringLiteral("[autotest] ") + order.at(i)),
                qPrintable(QStringLiteral("%1: %2").arg(order.at(i), m_lines.at(i))));

        // Replies are compact JSON with sorted keys.
        const QString volumeLine = line(QStringLiteral("[autotest] ✅ 音量状态: "));
        const QJsonObject volumeReply = probeReply(volumeLine);
        QVERIFY(volumeReply.contains("volumeStatus"));
        QVERIFY(volumeLine.endsWith(QString::fromUtf8(QJsonDocument(volumeReply).toJson(QJsonDocument::Compact))));
        QVERIFY(!volumeLine.contains(QStringLiteral(", ")));
        QCOMPARE(probeReply(line(QStringLiteral("[autotest] ✅ HOME 后前台: "))).value("appId").toString(),
            QStringLiteral("com.webos.app.home"));

        QCOMPARE(line(QStringLiteral("[autotest] 音量 ")), QStringLiteral("[autotest] 音量 10 -> 11"));
        QCOMPARE(line(QStringLiteral("[autotest] 音量回到 ")), QStringLiteral("[autotest] 音量回到 10"));
        QCOMPARE(line(QStringLiteral("[autotest] 输入源 ")),
            QStringLiteral("[autotest] 输入源 [\"HDMI_1/HDMI 1/true\", \"HDMI_2/HDMI 2/true\", "
                           "\"HDMI_3/HDMI 3/false\", \"HDMI_4/HDMI 4/false\"]"));
        QStringList titles;
        for (qsizetype i = 0; i < 12; ++i)
            titles << QLatin1Char('"') + m_rig->session().apps().at(i).title + QLatin1Char('"');
        QCOMPARE(line(QStringLiteral("[autotest] 应用 ")),
            QStringLiteral("[autotest] 应用 30 个: [") + titles.join(QStringLiteral(", ")) + QLatin1Char(']'));
        QCOMPARE(line(QStringLiteral("[autotest] MAC ")), QStringLiteral("[autotest] MAC ") + *m_rig->record(m_id).mac);
        QCOMPARE(line(QStringLiteral("[autotest] 图标示例 ")),
            QStringLiteral("[autotest] 图标示例 [\"%1\", \"%2\"]")
                .arg(m_rig->session().apps().at(0).icon->toString(), m_rig->session().apps().at(1).icon->toString()));

        // The buttons went over the pointer socket in order.
        QStringList buttons;
        for (const QString &text : pointerTexts(m_sim->received())) {
            if (text.startsWith(QStringLiteral("type:button")))
                buttons << text;
        }
        QCOMPARE(buttons,
            (QStringList { "type:button\nname:HOME\n\n", "type:button\nname:RIGHT\n\n", "type:button\nname:LEFT\n\n",
                "type:button\nname:BACK\n\n" }));
#ifdef SELFTEST_FULL
        // Twenty moves of (10, 5): coalesced, but nothing lost.
        int dx = 0, dy = 0, messages = 0;
        static const QRegularExpression move(QStringLiteral("^type:move\ndx:(-?\\d+)\ndy:(-?\\d+)\ndown:0\n\n$"));
        for (const QString &text : pointerTexts(m_sim->received())) {
            const QRegularExpressionMatch match = move.match(text);
            if (match.hasMatch()) {
                dx += match.captured(1).toInt();
                dy += match.captured(2).toInt();
                ++messages;
            }
        }
        QCOMPARE(dx, 200);
        QCOMPARE(dy, 100);
        QVERIFY(messages >= 1 && messages <= 20);
#endif
    }

    // The self-test would start, and log, the moment the new connection settles.
    void onlyOncePerProcess()
    {
        QVERIFY(SelfTest::hasStarted());
        m_rig->session().disconnect();
        const int mark = logMark();
        QSignalSpy settled(&m_rig->session(), &TVSession::connectionSettled);
        m_rig->session().connect(m_id);
        QTRY_COMPARE_WITH_TIMEOUT(settled.count(), 1, 10000);
        QCOMPARE(logSince(mark, QStringLiteral("[autotest]")), QStringList());
    }

    // Quotes and backslashes in a list entry are escaped; the rest of the notation is in the lines.
    void listNotation()
    {
        QCOMPARE(SelfTest::listText({ "say \"hi\"", "back\\slash" }),
            QStringLiteral("[\"say \\\"hi\\\"\", \"back\\\\slash\"]"));
    }
};

QTEST_GUILESS_MAIN(TestSelfTest)
#include "test_selftest.moc"

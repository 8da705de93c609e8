// The self-test run against the TV emulator: its "[autotest]" lines in order, and only once per
// process. Built twice: the basic sequence, and with SELFTEST_FULL the extended one as well.
#include "pairedtv.h"
#include "selftest.h"
#include "simmessages.h"
#include "testenv.h"

#include <QRegularExpression>
#include <QTest>

namespace {

#ifdef SELFTEST_FULL
const QString kHost = QStringLiteral("127.0.0.14");
const QString kMode = QStringLiteral("full");
#else
const QString kHost = QStringLiteral("127.0.0.13");
const QString kMode = QStringLiteral("quick");
#endif

} // namespace

class TestSelfTest : public QObject {
    Q_OBJECT

private:
    TestHome m_home;
    PairedTV m_tv { { .address = kHost, .extraArgs = { "--pairing-delay", "50", "--apps", "30" } },
        AppParts::Setup { .session = { .selfTestWaitScale = 0.25 } } };

private Q_SLOTS:
    void runsAfterPairing()
    {
        QVERIFY(m_tv.start());
        m_tv.set({ { "volume", 10 } });
        // A probe the TV refuses is reported as failed; the run goes on.
        m_tv.answerWithError(QStringLiteral("system.notifications/createToast"), QStringLiteral("500 no toasts"));
        m_tv.parts.preferences().setString(QStringLiteral("autotest"), kMode);
        const int mark = logMark();
        QVERIFY(!SelfTest::hasStarted());
        TVSession &session = m_tv.session();
        session.connect(m_tv.id);
        QTRY_VERIFY_WITH_TIMEOUT(session.isReady(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(logSince(mark).contains(QStringLiteral("[autotest] 结束")), 30000);
        const QStringList lines = logSince(mark, QStringLiteral("[autotest] "));

        // Each line starts with its entry; replies are compact JSON with sorted keys.
        QStringList titles;
        for (qsizetype i = 0; i < 12; ++i)
            titles << QLatin1Char('"') + session.apps().at(i).title + QLatin1Char('"');
        QStringList order { "开始", "✅ 网络信息: {\"",
            "✅ 音量状态: {\"callerId\":\"secondscreen.client\",\"returnValue\":true,\"volumeStatus\":{",
            "✅ 前台应用: ", "❌ Toast: 500 no toasts", "✅ 音量+: ", "音量 10 -> 11", "✅ 音量-: ", "音量回到 10",
            "输入源 [\"HDMI_1/HDMI 1/true\", \"HDMI_2/HDMI 2/true\", \"HDMI_3/HDMI 3/false\", \"HDMI_4/HDMI 4/false\"]",
            "应用 30 个: [" + titles.join(QStringLiteral(", ")) + "]", "MAC " + *m_tv.parts.record(m_tv.id).mac,
            QStringLiteral("图标示例 [\"%1\", \"%2\"]")
                .arg(session.apps().at(0).icon->toString(), session.apps().at(1).icon->toString()),
            "✅ HOME 后前台: {\"appId\":\"com.webos.app.home\",", "✅ BACK 后前台: " };
#ifdef SELFTEST_FULL
        order << QStringList { "✅ 静音: ", "muted=true", "✅ 取消静音: ", "muted=false",
            "✅ 设置音量: ", "指针移动已发送", "✅ 切换 HDMI 1: ", "前台 com.webos.app.hdmi1 当前来源 HDMI 1",
            "✅ 启动 Live TV: ", "前台 com.webos.app.livetv（测试前 ", "✅ 播放: " };
#endif
        order << "结束";
        QCOMPARE(lines.size(), order.size());
        for (qsizetype i = 0; i < order.size(); ++i)
            QVERIFY2(lines.at(i).startsWith(QStringLiteral("[autotest] ") + order.at(i)),
                qPrintable(QStringLiteral("%1: %2").arg(order.at(i), lines.at(i))));

        // The buttons went over the pointer socket in order.
        QCOMPARE(pointerTexts(m_tv.sim->received()).filter(QRegularExpression(QStringLiteral("^type:button"))),
            (QStringList { "type:button\nname:HOME\n\n", "type:button\nname:RIGHT\n\n", "type:button\nname:LEFT\n\n",
                "type:button\nname:BACK\n\n" }));

        // Only once per process: it would start, and log, the moment the new connection settles.
        session.disconnect();
        const int again = logMark();
        QVERIFY(m_tv.pair());
        QCOMPARE(logSince(again, QStringLiteral("[autotest]")), QStringList());
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

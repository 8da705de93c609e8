#include "selftest.h"

#include "applog.h"
#include "preferences.h"
#include "tvcommands.h"
#include "tvsession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QPointer>

#include <QCoro/QCoroTimer>

#include <chrono>

namespace {

bool started = false;

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

void log(const QString &text)
{
    appLog(QStringLiteral("[autotest] ") + text);
}

} // namespace

SelfTest::SelfTest(TVSession *session)
    : m_session(session)
{
}

QCoro::Task<bool> SelfTest::wait(double seconds)
{
    const double scale = m_session ? m_session->timings().selfTestWaitScale : 1.0;
    co_await QCoro::sleepFor(std::chrono::milliseconds(qMax<qint64>(0, qRound64(seconds * scale * 1000.0))));
    co_return !m_session.isNull();
}

QCoro::Task<bool> SelfTest::probe(QString label, TVRequest command)
{
    if (!m_session)
        co_return false;
    try {
        const QJsonObject reply = co_await m_session->request(command.uri, command.payload);
        log(QStringLiteral("✅ ") + label + QStringLiteral(": ") + SelfTest::jsonText(reply));
    } catch (const SSAPError &error) {
        log(QStringLiteral("❌ ") + label + QStringLiteral(": ") + error.description());
    }
    co_return !m_session.isNull();
}

QCoro::Task<std::optional<QJsonObject>> SelfTest::powerState()
{
    if (!m_session || !m_session->client())
        co_return std::nullopt;
    try {
        const TVRequest command = TVCommands::powerState();
        co_return co_await m_session->request(command.uri, command.payload);
    } catch (const SSAPError &) {
        co_return std::nullopt;
    }
}

QString SelfTest::selectedMAC() const
{
    if (!m_session)
        return QStringLiteral("-");
    const std::optional<TVDevice> device = m_session->store()->selectedDevice();
    return device && device->mac ? *device->mac : QStringLiteral("-");
}

QCoro::Task<void> SelfTest::basic()
{
    // g++ 12 mishandles co_await inside a condition: every step is a statement of its own.
    bool alive = true;
    log(QStringLiteral("开始"));
    alive = co_await probe(QStringLiteral("网络信息"), TVCommands::networkInfo());
    if (!alive)
        co_return;
    alive = co_await probe(QStringLiteral("音量状态"), TVCommands::volume());
    if (!alive)
        co_return;
    alive = co_await probe(QStringLiteral("前台应用"), TVCommands::foregroundAppInfo());
    if (!alive)
        co_return;
    alive = co_await probe(QStringLiteral("Toast"), TVCommands::createToast(QStringLiteral("Corvane Remote 已连接")));
    if (!alive)
        co_return;

    const int startVolume = m_session->volume();
    alive = co_await probe(QStringLiteral("音量+"), TVCommands::volumeUp());
    if (alive)
        alive = co_await wait(1.0);
    if (!alive)
        co_return;
    log(QStringLiteral("音量 %1 -> %2").arg(startVolume).arg(m_session->volume()));

    alive = co_await probe(QStringLiteral("音量-"), TVCommands::volumeDown());
    if (alive)
        alive = co_await wait(1.0);
    if (!alive)
        co_return;
    log(QStringLiteral("音量回到 %1").arg(m_session->volume()));

    QStringList inputs;
    for (const ExternalInput &input : m_session->inputs())
        inputs << input.id + QLatin1Char('/') + input.label + QLatin1Char('/') + boolText(input.connected);
    log(QStringLiteral("输入源 ") + SelfTest::listText(inputs));

    const QList<TVApp> apps = m_session->apps();
    QStringList titles;
    for (qsizetype i = 0; i < apps.size() && i < 12; ++i)
        titles << apps.at(i).title;
    log(QStringLiteral("应用 %1 个: ").arg(apps.size()) + SelfTest::listText(titles));

    log(QStringLiteral("MAC ") + selectedMAC());

    QStringList icons;
    for (qsizetype i = 0; i < apps.size() && i < 2; ++i)
        icons << (apps.at(i).icon ? apps.at(i).icon->toString() : QStringLiteral("nil"));
    log(QStringLiteral("图标示例 ") + SelfTest::listText(icons));

    m_session->press(QStringLiteral("HOME"));
    alive = co_await wait(2.5);
    if (alive)
        alive = co_await probe(QStringLiteral("HOME 后前台"), TVCommands::foregroundAppInfo());
    if (!alive)
        co_return;

    m_session->press(QStringLiteral("RIGHT"));
    alive = co_await wait(0.8);
    if (!alive)
        co_return;
    m_session->press(QStringLiteral("LEFT"));
    alive = co_await wait(0.8);
    if (!alive)
        co_return;
    m_session->press(QStringLiteral("BACK"));
    alive = co_await wait(2.0);
    if (!alive)
        co_return;
    co_await probe(QStringLiteral("BACK 后前台"), TVCommands::foregroundAppInfo());
}

QCoro::Task<void> SelfTest::extended()
{
    if (!m_session)
        co_return;
    bool alive = true;
    const QString startApp = m_session->foregroundAppId();

    alive = co_await probe(QStringLiteral("静音"), TVCommands::setMute(true));
    if (alive)
        alive = co_await wait(1.0);
    if (!alive)
        co_return;
    log(QStringLiteral("muted=") + boolText(m_session->muted()));

    alive = co_await probe(QStringLiteral("取消静音"), TVCommands::setMute(false));
    if (alive)
        alive = co_await wait(1.0);
    if (!alive)
        co_return;
    log(QStringLiteral("muted=") + boolText(m_session->muted()));

    const int volume = m_session->volume();
    alive = co_await probe(QStringLiteral("设置音量"), TVCommands::setVolume(volume));
    if (!alive)
        co_return;

    for (int i = 0; i < 20; ++i) {
        m_session->move(10, 5);
        alive = co_await wait(0.02);
        if (!alive)
            co_return;
    }
    alive = co_await wait(0.5);
    if (!alive)
        co_return;
    log(QStringLiteral("指针移动已发送"));

    std::optional<ExternalInput> input;
    for (const ExternalInput &candidate : m_session->inputs()) {
        if (candidate.connected) {
            input = candidate;
            break;
        }
    }
    if (input) {
        const QString label = QStringLiteral("切换 ") + input->label;
        alive = co_await probe(label, TVCommands::switchInput(input->id));
        if (alive)
            alive = co_await wait(4.0);
        if (!alive)
            co_return;
        log(QStringLiteral("前台 ") + m_session->foregroundAppId() + QStringLiteral(" 当前来源 ")
            + m_session->currentSourceName());
    }

    std::optional<TVApp> app;
    for (const TVApp &candidate : m_session->apps()) {
        if (candidate.id == QLatin1String("app.newtvaurora")) {
            app = candidate;
            break;
        }
    }
    if (!app && !m_session->apps().isEmpty())
        app = m_session->apps().first();
    if (app) {
        const QString label = QStringLiteral("启动 ") + app->title;
        alive = co_await probe(label, TVCommands::launch(app->id));
        if (alive)
            alive = co_await wait(4.0);
        if (!alive)
            co_return;
        log(QStringLiteral("前台 ") + m_session->foregroundAppId() + QStringLiteral("（测试前 ") + startApp
            + QStringLiteral("）"));
    }

    co_await probe(QStringLiteral("播放"), TVCommands::media(QStringLiteral("play")));
}

QCoro::Task<void> SelfTest::powerCycle()
{
    bool alive = true;
    std::optional<QJsonObject> state = co_await powerState();
    if (state)
        log(QStringLiteral("关机前电源状态 ") + SelfTest::jsonText(*state));
    if (!m_session)
        co_return;
    log(QStringLiteral("关机，MAC ") + selectedMAC());

    m_session->powerOff();
    alive = co_await wait(8.0);
    if (!alive)
        co_return;

    state = co_await powerState();
    if (!m_session)
        co_return;
    if (state) {
        const QString shown = m_session->isStandby() ? QStringLiteral("待机") : m_session->state().statusSource();
        log(QStringLiteral("关机 8s 后电源状态 ") + SelfTest::jsonText(*state) + QStringLiteral("，界面状态 ") + shown);
    }
    alive = co_await wait(12.0);
    if (!alive)
        co_return;

    log(QStringLiteral("关机后状态 ") + m_session->state().statusSource() + QStringLiteral("，发送 WOL"));
    QElapsedTimer clock; // monotonic
    clock.start();
    m_session->wake();

    for (;;) {
        const ConnectionState::Kind kind = m_session->stateKind();
        if (kind != ConnectionState::Kind::Waking && kind != ConnectionState::Kind::Offline
            && kind != ConnectionState::Kind::Connecting)
            break;
        alive = co_await wait(0.5);
        if (!alive)
            co_return;
    }
    const qint64 elapsed = clock.elapsed() / 1000;
    log(QStringLiteral("唤醒结果 ") + m_session->state().statusSource() + QStringLiteral("，耗时 %1s").arg(elapsed));

    state = co_await powerState();
    if (state)
        log(QStringLiteral("电源状态 ") + SelfTest::jsonText(*state));
}

void SelfTest::runWhenSettled(TVSession *session, const Preferences &preferences)
{
    QObject::connect(session, &TVSession::connectionSettled, session, [session, &preferences] {
        if (const std::optional<QString> mode = preferences.autotest())
            run(session, *mode);
    });
}

bool SelfTest::hasStarted()
{
    return started;
}

QCoro::Task<void> SelfTest::run(TVSession *session, QString mode)
{
    if (started || !session)
        co_return;
    started = true;

    SelfTest run(session);
    if (mode == QLatin1String("power")) {
        co_await run.powerCycle();
        co_return;
    }
    co_await run.basic();
    if (mode == QLatin1String("full"))
        co_await run.extended();
    log(QStringLiteral("结束"));
}

QString SelfTest::jsonText(const QJsonObject &reply)
{
    // QJsonObject keeps its keys sorted.
    const QByteArray text = QJsonDocument(reply).toJson(QJsonDocument::Compact);
    return text.isEmpty() ? QStringLiteral("-") : QString::fromUtf8(text);
}

QString SelfTest::listText(const QStringList &items)
{
    QStringList quoted;
    for (QString item : items) {
        item.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        item.replace(QLatin1Char('"'), QLatin1String("\\\""));
        quoted << QLatin1Char('"') + item + QLatin1Char('"');
    }
    return QLatin1Char('[') + quoted.join(QLatin1String(", ")) + QLatin1Char(']');
}

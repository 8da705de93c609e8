#include "monitormode.h"

#include "applog.h"
#include "devicestore.h"
#include "pagelogic.h"
#include "platform.h"
#include "preferences.h"
#include "systemevents.h"
#include "tvcommands.h"
#include "tvsession.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QPointer>
#include <QTimer>
#include <QVariantMap>

#include <QCoro/QCoroTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>

namespace {

const QString enabledKey = QStringLiteral("monitorMode");
const QString inputKey = QStringLiteral("monitorInput");
const QString powerOffKey = QStringLiteral("monitorPowerOff");
const QString screenOffKey = QStringLiteral("monitorScreenOff");

std::chrono::milliseconds seconds(double value)
{
    return std::chrono::milliseconds(qMax<qint64>(0, qRound64(value * 1000.0)));
}

// After resume the interface comes up seconds after the machine: until the kernel has a route to
// the TV, a magic packet or a connection attempt goes nowhere.
bool hasRouteTo(const QString &host)
{
    const QHostAddress address(host);
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return true;
    // Raw: Qt has no route lookup, and a datagram socket's connect() asks the kernel for one at once.
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    to.sin_addr.s_addr = htonl(address.toIPv4Address());
    const bool routed = ::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) == 0;
    ::close(fd);
    return routed;
}

} // namespace

MonitorMode::MonitorMode(
    TVSession &session, Preferences &preferences, SystemEvents &events, Timings timings, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_preferences(preferences)
    , m_events(events)
    , m_timings(timings)
{
    connect(&events, &SystemEvents::aboutToSleep, this, [this] { beforeSleep(false); });
    connect(&events, &SystemEvents::aboutToShutDown, this, [this] { beforeSleep(true); });
    connect(&events, &SystemEvents::resumed, this, &MonitorMode::afterSleep);
    connect(&events, &SystemEvents::shutdownCancelled, this, [this] {
        m_sleeping = false;
        updateLock();
    });
    connect(&events, &SystemEvents::screenSaverActiveChanged, this, &MonitorMode::screenSaver);
    connect(&session, &TVSession::inputsChanged, this, &MonitorMode::inputChoicesChanged);
    connect(this, &MonitorMode::optionsChanged, this, &MonitorMode::inputChoicesChanged);
}

void MonitorMode::start(bool atLogin)
{
    updateLock();
    if (atLogin && enabled())
        bringBack(said(QT_TR_NOOP("登录后启动")));
}

bool MonitorMode::startsInBackground(const QStringList &arguments)
{
    const qsizetype at = arguments.indexOf(QStringLiteral("-background"));
    if (at < 1)
        return false;
    const QString value = arguments.value(at + 1).trimmed().toLower();
    return value != u"false" && value != u"no" && value != u"0";
}

QStringList MonitorMode::backgroundArguments()
{
    return { QStringLiteral("-background"), QStringLiteral("true") };
}

// ---------------------------------------------------------------- settings

bool MonitorMode::enabled() const
{
    return m_preferences.boolean(enabledKey).value_or(false);
}

void MonitorMode::setEnabled(bool on)
{
    if (on == enabled())
        return;
    m_preferences.setBool(enabledKey, on);
    if (!Platform::setAutostart(on, backgroundArguments()))
        appLog(QStringLiteral("无法写入登录自启动项 ") + Platform::autostartFilePath());
    note(on ? said(QT_TR_NOOP("显示器模式已开启")) : said(QT_TR_NOOP("显示器模式已关闭")));
    updateLock();
    Q_EMIT enabledChanged();
}

QString MonitorMode::input() const
{
    return m_preferences.string(inputKey).value_or(QString());
}

void MonitorMode::setInput(const QString &inputID)
{
    if (inputID == input())
        return;
    m_preferences.setString(inputKey, inputID);
    Q_EMIT optionsChanged();
}

bool MonitorMode::powerOffOnSleep() const
{
    return m_preferences.boolean(powerOffKey).value_or(true);
}

void MonitorMode::setPowerOffOnSleep(bool on)
{
    if (on == powerOffOnSleep())
        return;
    m_preferences.setBool(powerOffKey, on);
    updateLock();
    Q_EMIT optionsChanged();
}

bool MonitorMode::screenOffOnBlank() const
{
    return m_preferences.boolean(screenOffKey).value_or(true);
}

void MonitorMode::setScreenOffOnBlank(bool on)
{
    if (on == screenOffOnBlank())
        return;
    m_preferences.setBool(screenOffKey, on);
    Q_EMIT optionsChanged();
}

QVariantList MonitorMode::inputChoices() const
{
    QVariantList choices;
    bool listed = false;
    for (const ExternalInput &tvInput : m_session.inputs()) {
        choices << QVariantMap { { QStringLiteral("id"), tvInput.id }, { QStringLiteral("label"), tvInput.label } };
        listed = listed || tvInput.id == input();
    }
    if (!listed && !input().isEmpty())
        choices.prepend(QVariantMap { { QStringLiteral("id"), input() }, { QStringLiteral("label"), input() } });
    return choices;
}

int MonitorMode::inputIndex() const
{
    const QVariantList choices = inputChoices();
    for (qsizetype i = 0; i < choices.size(); ++i) {
        if (choices.at(i).toMap().value(QStringLiteral("id")).toString() == input())
            return int(i);
    }
    return -1;
}

QString MonitorMode::inputLabel() const
{
    for (const ExternalInput &tvInput : m_session.inputs()) {
        if (tvInput.id == input())
            return tvInput.label;
    }
    return input();
}

std::optional<QString> MonitorMode::tvHost() const
{
    if (const std::optional<TVDevice> device = m_session.store()->selectedDevice())
        return device->host;
    return std::nullopt;
}

// ---------------------------------------------------------------- decisions

MonitorMode::Text MonitorMode::said(const char *source)
{
    return { QString::fromUtf8(source), tr(source) };
}

MonitorMode::Text MonitorMode::failureText(const QString &description)
{
    return { description, PageLogic::failureText(description) };
}

void MonitorMode::note(const Text &text)
{
    const Text line = said(QT_TR_NOOP("显示器模式：")) + text;
    appLog(line.log);
    if (line.window != m_lastAction) {
        m_lastAction = line.window;
        Q_EMIT lastActionChanged();
    }
}

void MonitorMode::updateLock()
{
    if (enabled() && powerOffOnSleep() && !m_sleeping)
        m_events.takeSleepLock(QStringLiteral("休眠或关机前关闭电视"));
    else
        m_events.releaseSleepLock();
}

std::optional<MonitorMode::Text> MonitorMode::notShowingComputer() const
{
    if (!m_session.isReady())
        return said(QT_TR_NOOP("电视未连接"));
    if (m_session.isStandby())
        return said(QT_TR_NOOP("电视已待机"));
    if (input().isEmpty())
        return said(QT_TR_NOOP("未选择电脑所在输入"));
    for (const ExternalInput &tvInput : m_session.inputs()) {
        if (tvInput.id != input())
            continue;
        if (tvInput.appId == m_session.foregroundAppId())
            return std::nullopt;
        return said(QT_TR_NOOP("电视正在显示「%1」，不是电脑所在的「%2」"))
            .arg(Text(m_session.currentSourceName(), PageLogic::sourceName(m_session.currentSourceName())),
                tvInput.label);
    }
    return said(QT_TR_NOOP("电视的输入列表中没有「%1」")).arg(input());
}

void MonitorMode::beforeSleep(bool shutdown)
{
    if (!enabled())
        return;
    ++m_generation;
    m_sleeping = true;
    const Text what = shutdown ? said(QT_TR_NOOP("系统即将关机")) : said(QT_TR_NOOP("系统即将休眠"));
    if (!powerOffOnSleep()) {
        note(what + said(QT_TR_NOOP("，未设置关闭电视")));
        m_events.releaseSleepLock();
        return;
    }
    if (const std::optional<Text> why = notShowingComputer()) {
        note(what + said(QT_TR_NOOP("，不关闭电视：")) + *why);
        m_events.releaseSleepLock();
        return;
    }
    powerOffThenRelease(what);
}

// The sleep waits for our lock: it goes on once the TV answered, or after answerWait at most.
QCoro::Task<void> MonitorMode::powerOffThenRelease(Text what)
{
    QPointer<MonitorMode> self(this);
    auto settled = std::make_shared<bool>(false);
    const int waitMs = int(seconds(m_timings.answerWait).count());
    QTimer::singleShot(waitMs, this, [this, settled, what, waitMs] {
        if (*settled)
            return;
        *settled = true;
        note(what + said(QT_TR_NOOP("，已发送关闭电视，电视 %1 秒内未应答，不再等待")).arg(waitMs / 1000.0));
        m_events.releaseSleepLock();
    });
    std::optional<QString> failure;
    try {
        co_await m_session.request(TVCommands::turnOff());
    } catch (const SSAPError &error) {
        failure = error.description();
    }
    if (!self || *settled)
        co_return;
    *settled = true;
    self->note(failure ? what + said(QT_TR_NOOP("，关闭电视失败：")) + failureText(*failure)
                       : what + said(QT_TR_NOOP("，已关闭电视")));
    self->m_events.releaseSleepLock();
}

void MonitorMode::afterSleep()
{
    m_sleeping = false;
    if (!enabled())
        return;
    updateLock();
    bringBack(said(QT_TR_NOOP("系统已唤醒")));
}

QCoro::Task<void> MonitorMode::bringBack(Text why)
{
    QPointer<MonitorMode> self(this);
    const quint64 generation = ++m_generation;
    auto stale = [&] { return !self || self->m_generation != generation || !self->enabled(); };
    const auto poll = seconds(m_timings.poll);

    const std::optional<QString> host = tvHost();
    if (!host) {
        note(why + said(QT_TR_NOOP("，未选择电视")));
        co_return;
    }
    const QDeadlineTimer networkDeadline(seconds(m_timings.networkWait));
    while (!hasRouteTo(*host)) {
        if (networkDeadline.hasExpired()) {
            note(why + said(QT_TR_NOOP("，网络 %1 秒内未就绪，仍尝试唤醒电视")).arg(m_timings.networkWait));
            break;
        }
        co_await QCoro::sleepFor(seconds(m_timings.networkPoll));
        if (stale())
            co_return;
    }

    // A connection the app began by itself (start-up, background reconnect) finishes first.
    while (m_session.stateKind() == ConnectionState::Kind::Connecting) {
        co_await QCoro::sleepFor(poll);
        if (stale())
            co_return;
    }
    if (m_session.isReady() && !m_session.isStandby()) {
        if (const std::optional<Text> other = notShowingComputer())
            note(why + said(QT_TR_NOOP("，电视已开着，不切换输入：")) + *other);
        else
            note(why + said(QT_TR_NOOP("，电视已开着并显示电脑所在输入")));
        co_return;
    }

    note(why + said(QT_TR_NOOP("，唤醒电视")));
    m_session.wake();
    const QDeadlineTimer connectDeadline(seconds(m_timings.connectWait));
    while (!m_session.isReady()) {
        if (m_session.stateKind() == ConnectionState::Kind::Error || connectDeadline.hasExpired()) {
            note(why + said(QT_TR_NOOP("，电视未能连接，未切换输入：")) + failureText(m_session.stateMessage()));
            co_return;
        }
        co_await QCoro::sleepFor(poll);
        if (stale())
            co_return;
    }
    if (input().isEmpty()) {
        note(why + said(QT_TR_NOOP("，电视已唤醒；未选择电脑所在输入，不切换输入")));
        co_return;
    }
    const QString label = inputLabel();
    std::optional<QString> failure;
    try {
        co_await m_session.request(TVCommands::switchInput(input()));
    } catch (const SSAPError &error) {
        failure = error.description();
    }
    if (!self)
        co_return;
    self->note(failure ? why + said(QT_TR_NOOP("，电视已唤醒，切换到「%1」失败：")).arg(label) + failureText(*failure)
                       : why + said(QT_TR_NOOP("，电视已唤醒并切换到电脑所在输入「%1」")).arg(label));
}

void MonitorMode::screenSaver(bool active)
{
    if (!enabled())
        return;
    const Text what = active ? said(QT_TR_NOOP("屏幕已关闭")) : said(QT_TR_NOOP("屏幕已恢复"));
    if (!screenOffOnBlank()) {
        note(what + said(QT_TR_NOOP("，未设置关闭电视画面")));
        return;
    }
    if (active) {
        if (const std::optional<Text> why = notShowingComputer()) {
            note(what + said(QT_TR_NOOP("，不关闭电视画面：")) + *why);
            return;
        }
    } else if (!m_screenOffByUs) {
        note(what + said(QT_TR_NOOP("，电视画面不是本程序关闭的，不打开")));
        return;
    } else if (!m_session.isReady()) {
        note(what + said(QT_TR_NOOP("，不打开电视画面：电视未连接")));
        return;
    }
    switchScreen(!active);
}

QCoro::Task<void> MonitorMode::switchScreen(bool on)
{
    QPointer<MonitorMode> self(this);
    const Text what = on ? said(QT_TR_NOOP("屏幕已恢复")) : said(QT_TR_NOOP("屏幕已关闭"));
    std::optional<QString> failure;
    try {
        co_await m_session.turnScreen(on);
    } catch (const SSAPError &error) {
        failure = error.description();
    }
    if (!self)
        co_return;
    if (!failure)
        self->m_screenOffByUs = !on;
    const Text done = on ? said(QT_TR_NOOP("，已打开电视画面")) : said(QT_TR_NOOP("，已关闭电视画面"));
    const Text failed = on ? said(QT_TR_NOOP("，打开电视画面失败：")) : said(QT_TR_NOOP("，关闭电视画面失败："));
    self->note(failure ? what + failed + failureText(*failure) : what + done);
}

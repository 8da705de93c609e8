#include "pagelogic.h"

#include "localnetwork.h"

#include <QLocale>

#include <arpa/inet.h>

namespace PageLogic {

QString pickerLabel(const std::optional<TVDevice> &selected)
{
    return selected ? selected->displayName() : QStringLiteral("选择电视");
}

QString pickerEntry(const TVDevice &device)
{
    return device.displayName() + QStringLiteral("  ") + device.host;
}

QString remoteBadge(bool standby, const ConnectionState &state)
{
    return standby ? QStringLiteral("待机") : state.statusText();
}

QString hostLine(const std::optional<TVDevice> &selected)
{
    QString line = QStringLiteral("局域网连接");
    if (selected)
        line += QStringLiteral(" · ") + selected->host;
    return line;
}

QString modelText(const std::optional<TVDevice> &selected)
{
    return selected ? selected->model : QStringLiteral("未选择电视");
}

PowerAction powerAction(ConnectionState::Kind kind, bool standby)
{
    return kind == ConnectionState::Kind::Ready && !standby ? PowerAction::PowerOff : PowerAction::Wake;
}

QString powerTooltip(PowerAction action)
{
    return action == PowerAction::PowerOff ? QStringLiteral("关机") : QStringLiteral("网络唤醒 (WOL)");
}

QString muteLabel(bool muted)
{
    return muted ? QStringLiteral("取消静音") : QStringLiteral("静音");
}

QString volumeText(qint64 volume)
{
    return QString::number(volume);
}

QString inputRefusedText(const QString &reason)
{
    if (reason.isEmpty())
        return QString();
    return QStringLiteral("电视拒绝了遥控输入：") + reason
        + QStringLiteral("。仍可使用音量、静音、频道、播放控制、应用、输入源和文字。");
}

QString currentInputText(bool ready, const QString &currentSourceName)
{
    return ready ? currentSourceName : QStringLiteral("未连接电视");
}

QString inputConnectedText(bool connected)
{
    return connected ? QStringLiteral("已连接") : QStringLiteral("未连接");
}

bool titleMatches(const QString &title, const QString &search)
{
    if (search.isEmpty())
        return true;
    // The user's locale decides case (Turkish dotted I and the like); folding handles the rest.
    const QLocale locale;
    return locale.toLower(title).toCaseFolded().contains(locale.toLower(search).toCaseFolded());
}

QList<TVApp> filterApps(const QList<TVApp> &apps, const QString &search)
{
    if (search.isEmpty())
        return apps;
    QList<TVApp> shown;
    for (const TVApp &app : apps) {
        if (titleMatches(app.title, search))
            shown << app;
    }
    return shown;
}

QString pairingStatusText(const ConnectionState &state, const std::optional<TVDevice> &selected)
{
    switch (state.kind()) {
    case ConnectionState::Kind::Offline:
        return selected && selected->isPaired() ? QStringLiteral("已配对，点击连接即可直接控制")
                                                : QStringLiteral("点击连接后，请在电视上确认配对请求");
    case ConnectionState::Kind::Connecting:
        return QStringLiteral("正在连接 ") + (selected ? selected->host : QString()) + QStringLiteral("…");
    case ConnectionState::Kind::AwaitingApproval:
        return state.pin() ? QStringLiteral("请输入电视屏幕上显示的 PIN 码") : QStringLiteral("请在电视上确认配对请求");
    case ConnectionState::Kind::Ready:
        return QStringLiteral("已连接，可以开始遥控");
    case ConnectionState::Kind::Waking:
        return QStringLiteral("已发送网络唤醒，等待电视上线…");
    case ConnectionState::Kind::Error:
        return state.message();
    }
    return {};
}

PrimaryAction primaryAction(ConnectionState::Kind kind)
{
    switch (kind) {
    case ConnectionState::Kind::AwaitingApproval:
    case ConnectionState::Kind::Connecting:
        return PrimaryAction::Reconnect;
    case ConnectionState::Kind::Ready:
        return PrimaryAction::Disconnect;
    case ConnectionState::Kind::Offline:
    case ConnectionState::Kind::Waking:
    case ConnectionState::Kind::Error:
        break;
    }
    return PrimaryAction::Connect;
}

QString primaryLabel(ConnectionState::Kind kind)
{
    switch (primaryAction(kind)) {
    case PrimaryAction::Reconnect:
        return QStringLiteral("重新发送配对请求");
    case PrimaryAction::Disconnect:
        return QStringLiteral("断开连接");
    case PrimaryAction::Connect:
        break;
    }
    return QStringLiteral("连接电视");
}

int progressStep(ConnectionState::Kind kind, const std::optional<TVDevice> &selected)
{
    switch (kind) {
    case ConnectionState::Kind::Connecting:
    case ConnectionState::Kind::AwaitingApproval:
        return 2;
    case ConnectionState::Kind::Ready:
        return 3;
    case ConnectionState::Kind::Offline:
    case ConnectionState::Kind::Waking:
    case ConnectionState::Kind::Error:
        break;
    }
    // Not connected: a chosen TV means discovery is behind us and the TV's confirmation is next.
    return selected ? 2 : 1;
}

QString pairingTitle(const std::optional<TVDevice> &selected)
{
    return QStringLiteral("连接") + (selected ? selected->displayName() : QStringLiteral("电视"));
}

QString deviceRowStatus(bool isSelected, const ConnectionState &state, bool paired)
{
    if (isSelected && state.kind() != ConnectionState::Kind::Offline)
        return state.statusText();
    return paired ? QStringLiteral("已配对") : QString();
}

QString discoverySubtitle(bool scanning)
{
    return scanning ? QStringLiteral("正在搜索同一网络中的设备…") : QStringLiteral("搜索同一网络中的设备");
}

QString emptyListText(bool scanning)
{
    return scanning ? QStringLiteral("搜索中…") : QStringLiteral("未发现电视，可点击雷达重新搜索或手动输入 IP");
}

bool isValidIPv4(const QString &text)
{
    // The system's own parser, on the text exactly as typed: no blanks, no host names, no
    // shortened forms; a NUL inside the text must not cut it short.
    if (text.isEmpty() || text.contains(QChar(0)))
        return false;
    const QByteArray bytes = text.toUtf8();
    in_addr address {};
    return inet_pton(AF_INET, bytes.constData(), &address) == 1;
}

QString trimBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (begin < end && blank(text.at(begin)))
        ++begin;
    while (end > begin && blank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

QString pairedText(bool paired)
{
    return paired ? QStringLiteral("已配对") : QStringLiteral("未配对");
}

QString mcpStatusText(bool running)
{
    return running ? QStringLiteral("运行中") : QStringLiteral("已停止");
}

namespace {

QString configuration(const QString &serverEntry)
{
    return QStringLiteral("{\n  \"mcpServers\": {\n    \"corvane-remote\": ") + serverEntry
        + QStringLiteral("\n  }\n}");
}

} // namespace

QString httpConfiguration(const QString &endpointURL)
{
    return configuration(QStringLiteral("{ \"url\": \"") + endpointURL + QStringLiteral("\" }"));
}

QString stdioConfiguration(const QString &executablePath)
{
    const QString command = executablePath.isEmpty() ? QStringLiteral("CorvaneRemote") : executablePath;
    return configuration(
        QStringLiteral("{ \"command\": \"") + command + QStringLiteral("\", \"args\": [\"--mcp-stdio\"] }"));
}

TVDevice savedRecord(
    const TVDevice &record, const std::optional<QString> &nameEdit, const std::optional<QString> &macEdit)
{
    TVDevice copy = record;
    if (nameEdit)
        copy.name = nameEdit->trimmed();
    if (macEdit)
        copy.mac = LocalNetwork::normalizeMAC(*macEdit);
    return copy;
}

} // namespace PageLogic

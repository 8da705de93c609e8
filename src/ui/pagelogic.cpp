#include "pagelogic.h"

#include "localnetwork.h"

#include <QCoreApplication>
#include <QLocale>

#include <arpa/inet.h>

namespace PageLogic {

QString pickerLabel(const std::optional<TVDevice> &selected)
{
    return selected ? selected->displayName() : QCoreApplication::translate("PageLogic", "选择电视");
}

QString failureText(const QString &message)
{
    // Socket and TLS failures arrive as Qt's English descriptions; the session's own messages
    // as Chinese source texts.
    static const struct {
        const char *needle;
        const char *text;
    } failures[] = {
        { "refused", QT_TRANSLATE_NOOP("PageLogic", "电视拒绝了连接") },
        { "unreachable", QT_TRANSLATE_NOOP("PageLogic", "无法访问电视所在的网络") },
        { "timed out", QT_TRANSLATE_NOOP("PageLogic", "连接电视超时") },
        { "closed", QT_TRANSLATE_NOOP("PageLogic", "电视关闭了连接") },
        { "ssl", QT_TRANSLATE_NOOP("PageLogic", "TLS 握手失败") },
        { "tls", QT_TRANSLATE_NOOP("PageLogic", "TLS 握手失败") },
        { "handshake", QT_TRANSLATE_NOOP("PageLogic", "TLS 握手失败") },
        { "certificate", QT_TRANSLATE_NOOP("PageLogic", "TLS 握手失败") },
    };
    static const char *const protocolTexts[] = {
        QT_TRANSLATE_NOOP("PageLogic", "未连接电视"),
        QT_TRANSLATE_NOOP("PageLogic", "电视响应超时"),
    };
    const QByteArray source = message.toUtf8();
    for (const char *text : protocolTexts) {
        if (source == text)
            return QCoreApplication::translate("PageLogic", text);
    }
    const QString translated = QCoreApplication::translate("TVSession", source.constData());
    if (translated != message)
        return translated;
    for (const auto &failure : failures) {
        if (message.contains(QLatin1String(failure.needle), Qt::CaseInsensitive))
            return QCoreApplication::translate("PageLogic", failure.text);
    }
    return message;
}

QString pickerEntry(const TVDevice &device)
{
    return device.displayName() + QStringLiteral("  ") + device.host;
}

QString remoteBadge(bool standby, const ConnectionState &state)
{
    return standby ? QCoreApplication::translate("PageLogic", "待机") : state.statusText();
}

QString hostLine(const std::optional<TVDevice> &selected)
{
    const QString line = QCoreApplication::translate("PageLogic", "局域网连接");
    return selected ? line + QStringLiteral(" · ") + selected->host : line;
}

QString modelText(const std::optional<TVDevice> &selected)
{
    return selected ? selected->model : QCoreApplication::translate("PageLogic", "未选择电视");
}

PowerAction powerAction(ConnectionState::Kind kind, bool standby)
{
    return kind == ConnectionState::Kind::Ready && !standby ? PowerAction::PowerOff : PowerAction::Wake;
}

QString powerTooltip(PowerAction action)
{
    return action == PowerAction::PowerOff ? QCoreApplication::translate("PageLogic", "关机")
                                           : QCoreApplication::translate("PageLogic", "网络唤醒 (WOL)");
}

QString muteLabel(bool muted)
{
    return muted ? QCoreApplication::translate("PageLogic", "取消静音")
                 : QCoreApplication::translate("PageLogic", "静音");
}

QString volumeText(qint64 volume)
{
    return QString::number(volume);
}

QString inputRefusedText(const QString &reason)
{
    if (reason.isEmpty())
        return QString();
    return QCoreApplication::translate(
        "PageLogic", "电视拒绝了遥控输入：%1。仍可使用音量、静音、频道、播放控制、应用、输入源和文字。")
        .arg(reason);
}

QString sourceName(const QString &currentSourceName)
{
    // The session names the home screen, live TV and screen saver by their Chinese source texts.
    return QCoreApplication::translate("TVSession", currentSourceName.toUtf8().constData());
}

QString remoteNotice(const ConnectionState &state, const QString &refusalReason)
{
    if (state.kind() == ConnectionState::Kind::Error)
        return failureText(state.message());
    return inputRefusedText(refusalReason);
}

QString needsTVReason(ConnectionState::Kind kind, bool standby)
{
    switch (kind) {
    case ConnectionState::Kind::Ready:
        return standby ? QCoreApplication::translate("PageLogic", "电视待机中，请先唤醒") : QString();
    case ConnectionState::Kind::Connecting:
    case ConnectionState::Kind::AwaitingApproval:
    case ConnectionState::Kind::Waking:
        return QCoreApplication::translate("PageLogic", "正在连接电视，请稍候");
    case ConnectionState::Kind::Offline:
    case ConnectionState::Kind::Error:
        break;
    }
    return QCoreApplication::translate("PageLogic", "未连接电视，请先在设备管理中连接");
}

QString currentInputText(bool ready, const QString &currentSourceName)
{
    return ready ? sourceName(currentSourceName) : QCoreApplication::translate("PageLogic", "未连接电视");
}

QString inputConnectedText(bool connected)
{
    return connected ? QCoreApplication::translate("PageLogic", "已连接")
                     : QCoreApplication::translate("PageLogic", "未连接");
}

bool titleMatches(const QString &title, const QString &search)
{
    if (search.isEmpty())
        return true;
    // The user's locale decides case (Turkish dotted I and the like); folding handles the rest.
    const QLocale locale;
    return locale.toLower(title).toCaseFolded().contains(locale.toLower(search).toCaseFolded());
}

QString pairingStatusText(const ConnectionState &state, const std::optional<TVDevice> &selected)
{
    switch (state.kind()) {
    case ConnectionState::Kind::Offline:
        return selected && selected->isPaired()
            ? QCoreApplication::translate("PageLogic", "已配对，点击连接即可直接控制")
            : QCoreApplication::translate("PageLogic", "点击连接后，请在电视上确认配对请求");
    case ConnectionState::Kind::Connecting:
        return QCoreApplication::translate("PageLogic", "正在连接 %1…").arg(selected ? selected->host : QString());
    case ConnectionState::Kind::AwaitingApproval:
        return state.pin() ? QCoreApplication::translate("PageLogic", "请输入电视屏幕上显示的 PIN 码")
                           : QCoreApplication::translate("PageLogic", "请在电视上确认配对请求");
    case ConnectionState::Kind::Ready:
        return QCoreApplication::translate("PageLogic", "已连接，可以开始遥控");
    case ConnectionState::Kind::Waking:
        return QCoreApplication::translate("PageLogic", "已发送网络唤醒，等待电视上线…");
    case ConnectionState::Kind::Error:
        return failureText(state.message());
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
        return QCoreApplication::translate("PageLogic", "重新发送配对请求");
    case PrimaryAction::Disconnect:
        return QCoreApplication::translate("PageLogic", "断开连接");
    case PrimaryAction::Connect:
        break;
    }
    return QCoreApplication::translate("PageLogic", "连接电视");
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
    return selected ? QCoreApplication::translate("PageLogic", "连接%1").arg(selected->displayName())
                    : QCoreApplication::translate("PageLogic", "连接电视");
}

QString deviceRowStatus(bool isSelected, const ConnectionState &state, bool paired)
{
    if (isSelected && state.kind() != ConnectionState::Kind::Offline)
        return state.statusText();
    return paired ? QCoreApplication::translate("PageLogic", "已配对") : QString();
}

QString discoverySubtitle(bool scanning)
{
    return scanning ? QCoreApplication::translate("PageLogic", "正在搜索同一网络中的设备…")
                    : QCoreApplication::translate("PageLogic", "搜索同一网络中的设备");
}

QString emptyListText(bool scanning)
{
    return scanning ? QCoreApplication::translate("PageLogic", "搜索中…")
                    : QCoreApplication::translate("PageLogic", "未发现电视，可点击雷达重新搜索或手动输入 IP");
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

QString ipProblem(const QString &text)
{
    if (text.isEmpty() || isValidIPv4(text))
        return QString();
    return QCoreApplication::translate("PageLogic", "IP 地址应为四组 0–255 的数字，例如 192.168.1.105");
}

QString macProblem(const QString &text)
{
    const QString trimmed = trimBlanks(text);
    if (trimmed.isEmpty() || LocalNetwork::normalizeMAC(trimmed))
        return QString();
    return QCoreApplication::translate("PageLogic", "MAC 地址应为 6 组两位十六进制数，例如 aa:bb:cc:dd:ee:ff");
}

QString pairedText(bool paired)
{
    return paired ? QCoreApplication::translate("PageLogic", "已配对")
                  : QCoreApplication::translate("PageLogic", "未配对");
}

QString mcpStatusText(bool running)
{
    return running ? QCoreApplication::translate("PageLogic", "运行中")
                   : QCoreApplication::translate("PageLogic", "已停止");
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
        copy.mac = LocalNetwork::normalizeMAC(trimBlanks(*macEdit));
    return copy;
}

} // namespace PageLogic

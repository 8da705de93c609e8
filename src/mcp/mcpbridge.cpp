#include "mcpbridge.h"

#include "instancelock.h"
#include "platform.h"
#include "preferences.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QThread>
#include <QUrl>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

constexpr int requestTimeoutMs = 90000;
constexpr int startRetries = 40;
constexpr unsigned long retryPauseMs = 500;

// Two overrides for the bridge's own tests, read by the bridge only (the app never looks at
// them): the command started instead of the app (program and arguments, started detached like
// the app), so that "app not running" can be exercised without bringing a second app up, and a
// shorter pause between the retries that follow the start.
constexpr const char *startCommandVariable = "CORVANE_BRIDGE_START_COMMAND";
constexpr const char *retryPauseVariable = "CORVANE_BRIDGE_RETRY_PAUSE_MS";

unsigned long retryPause()
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(retryPauseVariable, &ok);
    return ok && value >= 0 ? static_cast<unsigned long>(value) : retryPauseMs;
}

bool isBlankLine(const std::string &line)
{
    for (char c : line) {
        if (c != ' ' && c != '\t')
            return false;
    }
    return true;
}

void writeOut(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void writeErr(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

MCPBridge::MCPBridge(Preferences &preferences)
    : m_preferences(preferences)
    , m_endpoint(QStringLiteral("http://127.0.0.1:") + QString::number(preferences.mcpPort()) + QStringLiteral("/mcp"))
{
}

MCPBridge::~MCPBridge() = default;

int MCPBridge::run()
{
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (isBlankLine(line))
            continue;
        const QByteArray message(line.data(), qsizetype(line.size()));

        QByteArray body;
        Outcome outcome = forward(message, &body);
        if (outcome == Outcome::Unreachable && !m_launched) {
            m_launched = true;
            // A running app is never started twice; it may still be coming up, so wait for it all the same.
            if (!InstanceLock::heldElsewhere())
                startApplication();
            const unsigned long pause = retryPause();
            for (int attempt = 0; attempt < startRetries && outcome == Outcome::Unreachable; ++attempt) {
                QThread::msleep(pause);
                outcome = forward(message, &body);
            }
        }

        switch (outcome) {
        case Outcome::Unreachable:
            writeErr("corvane-remote: app not reachable at " + m_endpoint.toUtf8() + "\n");
            if (const std::optional<QByteArray> id = idText(message)) {
                const QByteArray text = InstanceLock::heldElsewhere()
                    ? "Corvane Remote app is running but its MCP service is off or not reachable"
                    : "Corvane Remote app is not running or MCP is disabled";
                writeOut(
                    R"({"jsonrpc":"2.0","id":)" + *id + R"(,"error":{"code":-32000,"message":")" + text + "\"}}\n");
            }
            break;
        case Outcome::Body:
            writeOut(body + "\n");
            break;
        case Outcome::NoBody:
            break;
        }
    }
    return 0;
}

MCPBridge::Outcome MCPBridge::forward(const QByteArray &line, QByteArray *body)
{
    if (!m_network) {
        m_network = std::make_unique<QNetworkAccessManager>();
        // The service is on loopback: a proxy from the environment must not get in between.
        m_network->setProxy(QNetworkProxy::NoProxy);
    }
    QNetworkRequest request { QUrl(m_endpoint) };
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader("Accept", "application/json, text/event-stream");
    request.setTransferTimeout(requestTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);

    QNetworkReply *reply = m_network->post(request, line);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();

    // Any HTTP response counts, whatever its status: its body goes out unchanged.
    Outcome outcome = Outcome::Unreachable;
    if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
        *body = reply->readAll();
        outcome = body->isEmpty() ? Outcome::NoBody : Outcome::Body;
    }
    reply->deleteLater();
    return outcome;
}

void MCPBridge::startApplication()
{
    const QString command = qEnvironmentVariable(startCommandVariable);
    if (command.isEmpty()) {
        // The app must listen where this bridge looks for it.
        QStringList arguments;
        if (const std::optional<QString> port = m_preferences.launchArgument(QStringLiteral("mcpPort")))
            arguments << QStringLiteral("-mcpPort") << *port;
        Platform::startApplicationDetached(arguments); // a failure to start is not reported
        return;
    }
    QStringList arguments = QProcess::splitCommand(command);
    if (arguments.isEmpty())
        return;
    const QString program = arguments.takeFirst();
    QProcess::startDetached(program, arguments);
}

std::optional<QByteArray> MCPBridge::idText(const QByteArray &line)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject message = document.object();
    if (!message.contains(QStringLiteral("id")))
        return std::nullopt;
    const QByteArray array
        = QJsonDocument(QJsonArray { message.value(QStringLiteral("id")) }).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

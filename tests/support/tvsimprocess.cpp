#include "tvsimprocess.h"

#include "testenv.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

namespace {

void spinEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

TVSimProcess::TVSimProcess()
    : TVSimProcess(Options {})
{
}

TVSimProcess::TVSimProcess(Options options)
    : m_options(std::move(options))
{
    if (m_options.stateDir.isEmpty()) {
        m_tempDir = std::make_unique<QTemporaryDir>();
        m_stateDir = m_tempDir->path();
    } else {
        m_stateDir = m_options.stateDir;
    }
    m_outputDir = std::make_unique<QTemporaryDir>();
    m_outputFile = m_outputDir->filePath(QStringLiteral("tvsim.out"));
}

TVSimProcess::~TVSimProcess()
{
    stop();
}

bool TVSimProcess::start(int timeoutMs)
{
    stop();
    QFile::remove(m_outputFile);
    m_process = std::make_unique<QProcess>();
    // Output goes to a file: a pipe nobody drains would block the emulator once it is full.
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardOutputFile(m_outputFile);
    QStringList args { QStringLiteral("--address"), m_options.address, QStringLiteral("--state-dir"), m_stateDir };
    args += m_options.extraArgs;
    if (m_options.netns.isEmpty()) {
        m_process->start(binDir() + QStringLiteral("/tvsim"), args);
    } else {
        m_process->start(QStringLiteral("ip"),
            QStringList {
                QStringLiteral("netns"), QStringLiteral("exec"), m_options.netns, binDir() + QStringLiteral("/tvsim") }
                + args);
    }
    if (!m_process->waitForStarted(5000)) {
        qWarning("tvsim did not start: %s", qPrintable(m_process->errorString()));
        m_process.reset();
        return false;
    }
    static const QRegularExpression readyLine(QStringLiteral("tvsim ready[^\\n]*"));
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (m_process->state() == QProcess::NotRunning) {
            qWarning("tvsim exited before it was ready:\n%s", qPrintable(output()));
            m_process.reset();
            return false;
        }
        const QRegularExpressionMatch match = readyLine.match(output());
        if (match.hasMatch()) {
            const QString line = match.captured(0);
            const auto field = [&line](const QString &name) {
                const QRegularExpression re(QStringLiteral("\\b%1=(\\S+)").arg(name));
                return re.match(line).captured(1);
            };
            m_fingerprint = field(QStringLiteral("fingerprint"));
            m_deviceUUID = field(QStringLiteral("uuid"));
            if (const int port = field(QStringLiteral("control")).toInt(); port > 0)
                m_controlPort = port;
            return true;
        }
        spinEventLoop(20);
    }
    qWarning("tvsim not ready within %d ms:\n%s", timeoutMs, qPrintable(output()));
    stop();
    return false;
}

void TVSimProcess::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
    m_process.reset();
}

bool TVSimProcess::isRunning() const
{
    return m_process && m_process->state() == QProcess::Running;
}

QString TVSimProcess::address() const
{
    return m_options.address;
}

QString TVSimProcess::stateDir() const
{
    return m_stateDir;
}

QString TVSimProcess::fingerprint() const
{
    return m_fingerprint;
}

QString TVSimProcess::deviceUUID() const
{
    return m_deviceUUID;
}

QString TVSimProcess::output() const
{
    QFile file(m_outputFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QByteArray TVSimProcess::http(const QByteArray &method, const QString &path, const QByteArray &body)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(QUrl(QStringLiteral("http://%1:%2%3").arg(m_options.address).arg(m_controlPort).arg(path)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setTransferTimeout(10000);
    QNetworkReply *reply = method == "GET" ? manager.get(request) : manager.post(request, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    if (reply->error() != QNetworkReply::NoError && reply->error() < QNetworkReply::ContentAccessDenied)
        qWarning(
            "tvsim control %s %s failed: %s", method.constData(), qPrintable(path), qPrintable(reply->errorString()));
    const QByteArray data = reply->readAll();
    delete reply;
    return data;
}

QJsonObject TVSimProcess::state()
{
    return QJsonDocument::fromJson(http("GET", QStringLiteral("/state"))).object();
}

QJsonArray TVSimProcess::received()
{
    return QJsonDocument::fromJson(http("GET", QStringLiteral("/received")))
        .object()
        .value(QStringLiteral("messages"))
        .toArray();
}

QJsonArray TVSimProcess::received(const QString &channel)
{
    QJsonArray result;
    for (const QJsonValue &message : received())
        if (message.toObject().value(QStringLiteral("channel")).toString() == channel)
            result.append(message);
    return result;
}

void TVSimProcess::clearReceived()
{
    http("POST", QStringLiteral("/received/clear"), QByteArrayLiteral("{}"));
}

QJsonObject TVSimProcess::control(const QString &path, const QJsonObject &body)
{
    return QJsonDocument::fromJson(http("POST", path, QJsonDocument(body).toJson(QJsonDocument::Compact))).object();
}

QJsonObject TVSimProcess::waitForReceived(
    const QString &channel, const std::function<bool(const QJsonObject &)> &match, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    do {
        for (const QJsonValue &message : received(channel))
            if (match(message.toObject()))
                return message.toObject();
        spinEventLoop(25);
    } while (clock.elapsed() < timeoutMs);
    return {};
}

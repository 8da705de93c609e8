#include "tvsimprocess.h"

#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTest>

TVSimProcess::TVSimProcess(Options options)
    : m_options(std::move(options))
{
    if (m_options.stateDir.isEmpty()) {
        m_options.stateDir = m_dir.filePath(QStringLiteral("state"));
        QDir().mkpath(m_options.stateDir);
    }
}

bool TVSimProcess::start()
{
    stop();
    QFile::remove(m_dir.filePath(QStringLiteral("tvsim.out")));
    m_process = std::make_unique<QProcess>();
    // Output goes to a file: a pipe nobody drains would block the emulator once it is full.
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardOutputFile(m_dir.filePath(QStringLiteral("tvsim.out")));
    QString program = binDir() + QStringLiteral("/tvsim");
    QStringList args { QStringLiteral("--address"), m_options.address, QStringLiteral("--state-dir"),
        m_options.stateDir };
    args += m_options.extraArgs;
    if (!m_options.netns.isEmpty()) {
        args = QStringList { QStringLiteral("netns"), QStringLiteral("exec"), m_options.netns, program } + args;
        program = QStringLiteral("ip");
    }
    m_process->start(program, args);
    static const QRegularExpression readyLine(QStringLiteral("tvsim ready[^\\n]*"));
    QString line;
    (void)QTest::qWaitFor(
        [&] {
            line = readyLine.match(output()).captured(0);
            return !line.isEmpty() || m_process->state() == QProcess::NotRunning;
        },
        15000);
    if (line.isEmpty() || m_process->state() != QProcess::Running) {
        qWarning("tvsim did not get ready: %s\n%s", qPrintable(m_process->errorString()), qPrintable(output()));
        stop();
        return false;
    }
    const auto field = [&line](const char *name) {
        return QRegularExpression(QStringLiteral("\\b%1=(\\S+)").arg(QLatin1String(name))).match(line).captured(1);
    };
    m_fingerprint = field("fingerprint");
    m_deviceUUID = field("uuid");
    if (const int port = field("control").toInt(); port > 0)
        m_controlPort = port;
    return true;
}

void TVSimProcess::stop()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
    m_process.reset();
}

QString TVSimProcess::output() const
{
    QFile file(m_dir.filePath(QStringLiteral("tvsim.out")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QByteArray TVSimProcess::http(const QByteArray &method, const QString &path, const QByteArray &body)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(QUrl(QStringLiteral("http://%1:%2%3").arg(m_options.address).arg(m_controlPort).arg(path)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setTransferTimeout(10000);
    std::unique_ptr<QNetworkReply> reply(method == "GET" ? manager.get(request) : manager.post(request, body));
    (void)QTest::qWaitFor([&] { return reply->isFinished(); }, 15000);
    if (reply->error() != QNetworkReply::NoError && reply->error() < QNetworkReply::ContentAccessDenied)
        qWarning(
            "tvsim control %s %s failed: %s", method.constData(), qPrintable(path), qPrintable(reply->errorString()));
    return reply->readAll();
}

QJsonObject TVSimProcess::state()
{
    return QJsonDocument::fromJson(http("GET", QStringLiteral("/state"))).object();
}

QJsonArray TVSimProcess::received()
{
    return QJsonDocument::fromJson(http("GET", QStringLiteral("/received")))[QLatin1String("messages")].toArray();
}

QJsonArray TVSimProcess::received(const QString &channel)
{
    QJsonArray result;
    for (const QJsonValue &message : received())
        if (message[QLatin1String("channel")].toString() == channel)
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

QJsonObject TVSimProcess::waitForReceived(const QString &channel, const std::function<bool(const QJsonObject &)> &match)
{
    QJsonObject found;
    (void)QTest::qWaitFor(
        [&] {
            for (const QJsonValue &message : received(channel)) {
                if (match(message.toObject())) {
                    found = message.toObject();
                    return true;
                }
            }
            return false;
        },
        5000);
    return found;
}

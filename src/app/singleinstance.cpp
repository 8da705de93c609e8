#include "singleinstance.h"

#include "applog.h"
#include "instancelock.h"
#include "platform.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

#include <sys/stat.h>

namespace {

const QByteArray showRequest = "show\n";
const QByteArray shownReply = "shown\n";

// A holder that has the lock but is still loading its window answers once its event loop runs.
constexpr int claimDeadlineMs = 30000;
constexpr int replyTimeoutMs = 10000;
constexpr unsigned long retryPauseMs = 100;

} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
{
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
    if (m_lock)
        m_lock->unlock();
}

SingleInstance::Claim SingleInstance::claim()
{
    const QString dir = QFileInfo(Platform::instanceLockPath()).absolutePath();
    if (QDir().mkpath(dir))
        ::chmod(QFile::encodeName(dir).constData(), 0700);
    m_lock = InstanceLock::make();
    const QDeadlineTimer deadline(claimDeadlineMs);
    for (;;) {
        if (m_lock->tryLock(0)) {
            listen();
            return Claim::First;
        }
        if (m_lock->error() != QLockFile::LockFailedError) {
            appLog(QStringLiteral("无法创建单实例锁 ") + Platform::instanceLockPath());
            m_lock.reset();
            return Claim::First;
        }
        // Held: by a running app, by one still starting, or for a moment by a bridge's check.
        if (askHolderToShow())
            return Claim::HandedOver;
        if (deadline.hasExpired())
            return Claim::Unanswered;
        QThread::msleep(retryPauseMs);
    }
}

void SingleInstance::listen()
{
    const QString name = Platform::instanceServerName();
    m_server = new QLocalServer(this);
    // Outside the private folder the socket itself must shut other users out.
    if (!QDir::isAbsolutePath(name))
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(name); // left by a holder that is gone; the lock is ours now
    if (!m_server->listen(name)) {
        appLog(QStringLiteral("单实例唤起通道失败: ") + m_server->errorString());
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
            answer(socket);
        }
    });
}

void SingleInstance::answer(QLocalSocket *socket)
{
    if (!socket->canReadLine())
        return;
    if (socket->readLine() == showRequest) {
        Q_EMIT showRequested();
        socket->write(shownReply);
    }
    socket->disconnectFromServer();
}

bool SingleInstance::askHolderToShow()
{
    QLocalSocket socket;
    socket.connectToServer(Platform::instanceServerName());
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(showRequest);
    if (!socket.waitForBytesWritten(1000))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(replyTimeoutMs))
            return false;
    }
    return socket.readLine() == shownReply;
}

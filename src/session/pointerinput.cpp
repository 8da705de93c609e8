#include "pointerinput.h"

#include "applog.h"
#include "buttonrequest.h"
#include "completion.h"
#include "tvcommands.h"
#include "tvstatemirror.h"

#include <QTimer>
#include <QUrl>

#include <QCoro/QCoroTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

namespace {

// Halves away from zero; clamped so a wild value cannot overflow the integer.
int roundMotion(double value)
{
    const double rounded = std::round(value);
    return static_cast<int>(
        std::clamp(rounded, double(std::numeric_limits<int>::min() / 2), double(std::numeric_limits<int>::max() / 2)));
}

} // namespace

PointerInput::PointerInput(
    std::function<SSAPClient *()> currentClient, const TVStateMirror &mirror, int moveFlushMs, QObject *parent)
    : QObject(parent)
    , m_currentClient(std::move(currentClient))
    , m_mirror(mirror)
    , m_moveFlushMs(moveFlushMs)
{
}

PointerInput::~PointerInput()
{
    shutDown();
}

void PointerInput::shutDown()
{
    if (m_pointer) {
        PointerClient *pointer = m_pointer;
        m_pointer = nullptr;
        pointer->close();
    }
}

void PointerInput::dropPointer()
{
    if (!m_pointer)
        return;
    PointerClient *pointer = m_pointer;
    m_pointer = nullptr;
    pointer->close();
    pointer->deleteLater();
    Q_EMIT pointerChanged();
}

void PointerInput::checkAlive(qint64 limitMs)
{
    if (!m_pointer || !m_pointer->isOpen())
        return;
    if (m_pointer->msSinceHeard() > limitMs) {
        appLog(QStringLiteral("指针通道无响应，已关闭"));
        dropPointer();
    } else {
        m_pointer->ping();
    }
}

QCoro::Task<std::optional<SSAPError>> PointerInput::connectPointer()
{
    QPointer<PointerInput> self(this);
    const QPointer<SSAPClient> client = m_currentClient();
    if (!client)
        co_return SSAPError::notConnected();

    QJsonObject reply;
    try {
        const TVRequest command = TVCommands::pointerInputSocket();
        reply = co_await client->request(command.uri, command.payload, SSAPClient::requestTimeout);
    } catch (const SSAPError &error) {
        appLog(QStringLiteral("获取 pointer socket 失败: ") + error.description());
        // The TV's own answer (newer firmware refuses remote-control input) holds for this
        // connection; a new one asks again.
        if (error.kind() == SSAPError::Kind::Server && self && self->isCurrent(client)) {
            self->m_pointerRefusedBy = client;
            self->m_pointerRefusal = error.description();
        }
        co_return error;
    }
    // The socket path belongs to that connection only.
    if (!self || !self->isCurrent(client))
        co_return SSAPError::notConnected();

    const QJsonValue path = reply.value(QLatin1String("socketPath"));
    const QUrl url(path.toString(), QUrl::StrictMode);
    if (!path.isString() || !url.isValid() || url.isRelative() || url.host().isEmpty())
        co_return SSAPError::server(QStringLiteral("getPointerInputSocket: no usable socketPath"));
    // Two callers that both found no open pointer share the first new one instead of closing it
    // under a message it still holds.
    if (m_pointer && m_pointer->isOpen())
        co_return std::nullopt;

    QWebSocket *socket = client->createSocket();
    dropPointer();
    m_pointer = new PointerClient(socket, url, this);
    Q_EMIT pointerChanged();
    co_return std::nullopt;
}

std::optional<QString> PointerInput::pointerRefusal() const
{
    SSAPClient *client = m_currentClient();
    if (!client || m_pointerRefusedBy != client)
        return std::nullopt;
    return m_pointerRefusal;
}

void PointerInput::showInputRefusal(const QString &reason)
{
    if (m_inputRefusal == reason)
        return;
    m_inputRefusal = reason;
    Q_EMIT inputRefusalChanged();
}

void PointerInput::forgetStaleRefusal()
{
    if (!pointerRefusal())
        showInputRefusal(QString());
}

// An open pointer socket, asked for when there is none, but not again from a TV that refused it
// on this connection. Answers why there is nothing to send on.
QCoro::Task<std::optional<SSAPError>> PointerInput::ensurePointer()
{
    if (m_pointer && m_pointer->isOpen())
        co_return std::nullopt;
    if (const std::optional<QString> refusal = pointerRefusal())
        co_return SSAPError::server(*refusal);
    QPointer<PointerInput> self(this);
    const std::optional<SSAPError> failure = co_await connectPointer();
    if (!self)
        co_return SSAPError::notConnected();
    // A pointer that broke meanwhile is still sent on; the send then fails.
    if (self->m_pointer && !self->pointerRefusal())
        co_return std::nullopt;
    if (failure)
        co_return failure;
    co_return SSAPError::notConnected();
}

// A button (or a click) on the pointer socket; when the TV refuses that socket, the button's
// own request if it has one. Done once the frame went out or the TV answered the request.
QCoro::Task<PointerInput::Outcome> PointerInput::pointerInput(QString button, bool click)
{
    QPointer<PointerInput> self(this);
    const std::optional<SSAPError> failure = co_await ensurePointer();
    if (!self)
        co_return Outcome { SSAPError::notConnected() };
    if (!failure) {
        PointerClient *pointer = self->m_pointer;
        if (!pointer)
            co_return Outcome { SSAPError::notConnected() };
        auto frame = std::make_shared<Completion<bool>>();
        auto sent = [frame](bool out) { frame->resolve(out); };
        if (click)
            pointer->click(sent);
        else
            pointer->button(button, sent);
        // A socket that never finishes opening must not hold the input for ever.
        if (!frame->isDone()) {
            const auto limit = std::chrono::milliseconds(qRound64(SSAPClient::requestTimeout * 1000.0));
            QTimer::singleShot(limit, pointer, [frame] { frame->resolve(false); });
        }
        const bool out = co_await *frame;
        if (out)
            co_return Outcome {};
        co_return Outcome { SSAPError::notConnected() };
    }
    const std::optional<QString> refusal = self->pointerRefusal();
    if (!refusal)
        co_return Outcome { failure };
    const std::optional<TVRequest> request
        = click ? std::nullopt : ButtonRequest::forButton(button, self->m_mirror.muted());
    if (!request)
        co_return Outcome { SSAPError::server(*refusal), true };
    const QPointer<SSAPClient> client = self->m_currentClient();
    try {
        if (!client)
            throw SSAPError::notConnected();
        co_await client->request(request->uri, request->payload, SSAPClient::requestTimeout);
    } catch (const SSAPError &error) {
        co_return Outcome { error };
    }
    co_return Outcome {};
}

// The window's input: a refusal is shown on the page, once; nothing else is reported.
QCoro::Task<void> PointerInput::showRefusal(QCoro::Task<Outcome> input)
{
    QPointer<PointerInput> self(this);
    const Outcome outcome = co_await std::move(input);
    if (self && outcome.refused)
        self->showInputRefusal(outcome.error->description());
}

void PointerInput::press(const QString &button)
{
    showRefusal(pressAsync(button));
}

QCoro::Task<PointerInput::Outcome> PointerInput::pressAsync(const QString &button)
{
    return pointerInput(button, false);
}

void PointerInput::click()
{
    showRefusal(clickAsync());
}

QCoro::Task<PointerInput::Outcome> PointerInput::clickAsync()
{
    return pointerInput(QString(), true);
}

void PointerInput::move(double dx, double dy)
{
    // One NaN would stay in the remainder for good and every later flush would send garbage.
    if (!std::isfinite(dx) || !std::isfinite(dy))
        return;
    m_pendingMoveX += dx;
    m_pendingMoveY += dy;
    if (m_moveScheduled)
        return;
    m_moveScheduled = true;
    flushMove();
}

QCoro::Task<void> PointerInput::flushMove()
{
    QPointer<PointerInput> self(this);
    co_await QCoro::sleepFor(std::chrono::milliseconds(qMax(0, m_moveFlushMs)));
    if (!self)
        co_return;
    m_moveScheduled = false;
    const int ix = roundMotion(m_pendingMoveX);
    const int iy = roundMotion(m_pendingMoveY);
    m_pendingMoveX -= ix;
    m_pendingMoveY -= iy;
    if (ix == 0 && iy == 0)
        co_return;
    co_await ensurePointer();
    if (!self)
        co_return;
    if (const std::optional<QString> refusal = self->pointerRefusal())
        self->showInputRefusal(*refusal);
    else if (self->m_pointer)
        self->m_pointer->move(ix, iy);
}

void PointerInput::scroll(int steps)
{
    if (m_pointer)
        m_pointer->scroll(0, steps);
    else if (const std::optional<QString> refusal = pointerRefusal())
        showInputRefusal(*refusal);
}

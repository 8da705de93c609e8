#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <functional>

class QWebSocket;

// The TV's pointer-input socket: buttons, relative moves, scroll steps and clicks as short
// line-based text frames. Messages sent while the socket is still opening are queued and sent
// once it is open, so a button pressed right after connecting is not lost.
class PointerClient : public QObject {
    Q_OBJECT

public:
    // Takes ownership of the socket (created through SSAPClient::createSocket, not opened) and
    // opens it at url.
    PointerClient(QWebSocket *socket, const QUrl &url, QObject *parent = nullptr);
    ~PointerClient() override;

    // Told once whether a message went out on the open socket (true) or was dropped (false).
    using Sent = std::function<void(bool)>;

    void button(const QString &name, Sent sent = {}); // "type:button\nname:NAME\n\n"
    void move(int dx, int dy); // "type:move\ndx:DX\ndy:DY\ndown:0\n\n"
    void scroll(int dx, int dy); // "type:scroll\ndx:DX\ndy:DY\n\n"
    void click(Sent sent = {}); // "type:click\n\n"
    void close(); // close code 1001; isOpen becomes false for good

    bool isOpen() const { return m_isOpen; }

    // Keepalive: a WebSocket ping, and the time since the TV last answered one (or the socket
    // opened); -1 while not open.
    void ping();
    qint64 msSinceHeard() const;

Q_SIGNALS:
    void isOpenChanged();

private:
    void sendText(const QString &text, Sent sent = {});
    void setBroken(); // isOpen false for good; nothing queued is sent
    void dropQueued();

    struct Queued {
        QString text;
        Sent sent;
    };

    QPointer<QWebSocket> m_socket;
    QElapsedTimer m_heard;
    bool m_isOpen = true;
    QList<Queued> m_queued; // sent while the socket was still opening
};

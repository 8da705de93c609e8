#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <atomic>

// A diagnostic record of what the app and the TV said to each other, for bug reports: every SSAP
// and pointer message in both directions, the SSDP answers and description documents seen, the
// connection states, and a summary of the TV (greeting, system information). One JSON object per
// line, each with "time" (UTC, ISO 8601 with milliseconds) and either "socket", "direction" and
// "message", or "event".
//
// Secrets never reach the file: the client key, the PIN and typed text are replaced by a marker
// that gives only their length. The file is private to the user (0600) and ends at sizeLimit with
// a last line saying so.
//
// The hooks are static, cheap while no trace runs, and callable from any thread.
class ProtocolTrace : public QObject {
    Q_OBJECT

public:
    enum class Socket { SSAP, Pointer };
    enum class Direction { In, Out };

    static constexpr qint64 sizeLimit = 50 * 1024 * 1024;

    static ProtocolTrace &instance(); // lives on the thread that first asks (the main thread)

    // Starts writing to path (a new file; a file this process traced to before is continued),
    // ending at limit bytes. Ends a trace already running. False when the file cannot be written.
    bool start(const QString &path, qint64 limit = sizeLimit);
    void stop();
    bool isActive() const { return s_active.load(std::memory_order_relaxed); }
    QString path() const; // the current trace's file, else the last one, else empty
    // "trace-YYYYMMDD-HHMMSS.jsonl" in the log folder, for the current local time.
    static QString defaultPath();

    // ---- hooks
    // A socket of the app starts opening: it gets a new connection number in the trace.
    static void opened(Socket socket, const void *id, const QString &url);
    static void connected(Socket socket, const void *id);
    // The socket ended (or failed), with what Qt said.
    static void closed(Socket socket, const void *id, const QString &reason);
    static void message(Socket socket, const void *id, Direction direction, const QString &text);
    static void ssdpAnswer(const QString &host, const QByteArray &datagram);
    static void description(const QString &url, const QString &body);
    // state: the connection state's name ("connecting", "ready", "error", ...).
    static void connectionState(const QString &state, bool pin, const QString &message);

    // An SSAP message as the trace writes it: the client key, a PIN sent with "pairing/setPin"
    // and the text of "com.webos.service.ime/insertText" replaced by redactionMarker.
    static QJsonObject redacted(const QJsonObject &message);
    static QString redactionMarker(const QJsonValue &secret); // "<redacted: N characters>"

Q_SIGNALS:
    void activeChanged(); // started, stopped, or ended at the size limit

private:
    ProtocolTrace() = default;
    class Writer;
    static Writer &writer();
    void announce();

    static std::atomic<bool> s_active;
};

#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QProcess;

// A private home for one test process, made before anything reads the log location or the
// preferences: HOME and the XDG directories point into a temporary directory, so the log, the
// preferences and the one-instance lock never touch the developer's files or another test's app.
class TestHome {
public:
    TestHome();
    QString path() const { return m_dir.path(); }
    QString logFile() const { return path() + QStringLiteral("/state/CorvaneRemote/app.log"); }
    QString settingsFile() const { return path() + QStringLiteral("/config/CorvaneRemote/CorvaneRemote.conf"); }

private:
    QTemporaryDir m_dir;
};

// Lines of the log file written so far, and the same without their time stamps.
QStringList readLogLines();
QStringList readLogMessages();

// Log messages written since a mark (the count of messages read before), all or by prefix.
int logMark();
QStringList logSince(int mark);
QStringList logSince(int mark, const QString &prefix);

// True when this process can send SSDP multicast without reaching a real network: no interface
// but loopback is up (a private network namespace, as the test script and CI provide).
bool inPrivateNetwork();

// Starts a private D-Bus daemon (dbus-daemon --session) for a test's own stand-ins and returns
// its address; empty when it cannot start.
QByteArray startBusDaemon(QProcess &daemon);

// Directory holding the built executables (corvane-remote, tvsim).
QString binDir();

// Runs what is queued on the event loop until nothing is left (bounded). Coroutines failed by a
// session's end resume from the event loop: a test that ends right after would leave their
// frames behind, which LeakSanitizer reports.
void drainPostedEvents();

#pragma once

#include <QObject>
#include <QString>

#include <QCoro/QCoroTask>

#include <functional>

class Preferences;

// How long the snapshot routine waits (tests shorten it).
struct SnapshotTimings {
    int initialMs = 6000; // before the first page
    int pageMs = 2000; // after switching to a page, before writing it
};

// A developer aid: with "snapshotDir" set, waits, then shows each page in turn and writes the
// window's content as PAGE.png into that folder.
class SnapshotRoutine : public QObject {
    Q_OBJECT

public:
    using Timings = SnapshotTimings;

    // showPage makes a page (by its raw value) the selected one.
    SnapshotRoutine(Preferences &preferences, std::function<void(const QString &)> showPage, Timings timings = {},
        QObject *parent = nullptr);

    // Returns at once; does nothing without "snapshotDir".
    void start();
    bool isRunning() const { return m_running; }

    // Writes the first visible window as name.png; returns the path written, or empty.
    static QString writeSnapshot(Preferences &preferences, const QString &name);

    static const QStringList &pageOrder();

Q_SIGNALS:
    void finished();

private:
    QCoro::Task<void> run();

    Preferences &m_preferences;
    std::function<void(const QString &)> m_showPage;
    Timings m_timings;
    bool m_running = false;
};

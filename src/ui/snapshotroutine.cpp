#include "snapshotroutine.h"

#include "applog.h"
#include "preferences.h"

#include <QDir>
#include <QGuiApplication>
#include <QPointer>
#include <QQuickWindow>

#include <QCoro/QCoroTimer>

#include <chrono>

SnapshotRoutine::SnapshotRoutine(
    Preferences &preferences, std::function<void(const QString &)> showPage, Timings timings, QObject *parent)
    : QObject(parent)
    , m_preferences(preferences)
    , m_showPage(std::move(showPage))
    , m_timings(timings)
{
}

const QStringList &SnapshotRoutine::pageOrder()
{
    static const QStringList pages { QStringLiteral("remote"), QStringLiteral("apps"), QStringLiteral("devices"),
        QStringLiteral("settings") };
    return pages;
}

void SnapshotRoutine::start()
{
    if (m_running || !m_preferences.snapshotDir())
        return;
    m_running = true;
    run();
}

QCoro::Task<void> SnapshotRoutine::run()
{
    QPointer<SnapshotRoutine> self(this);
    co_await QCoro::sleepFor(std::chrono::milliseconds(m_timings.initialMs));
    if (!self)
        co_return;
    for (const QString &page : pageOrder()) {
        m_showPage(page);
        co_await QCoro::sleepFor(std::chrono::milliseconds(m_timings.pageMs));
        if (!self)
            co_return;
        writeSnapshot(m_preferences, page);
    }
    m_running = false;
    Q_EMIT finished();
}

QString SnapshotRoutine::writeSnapshot(Preferences &preferences, const QString &name)
{
    const auto folder = preferences.snapshotDir();
    if (!folder || QGuiApplication::allWindows().isEmpty())
        return {};
    QQuickWindow *window = nullptr;
    for (QWindow *candidate : QGuiApplication::topLevelWindows()) {
        auto *quick = qobject_cast<QQuickWindow *>(candidate);
        if (quick && quick->isVisible() && quick->contentItem()) {
            window = quick;
            break;
        }
    }
    if (!window)
        return {};
    const QImage image = window->grabWindow();
    QDir().mkpath(*folder);
    const QString path = QDir(*folder).filePath(name + QStringLiteral(".png"));
    image.save(path, "PNG"); // a failed write is not reported
    appLog(QStringLiteral("快照 ") + path);
    return path;
}

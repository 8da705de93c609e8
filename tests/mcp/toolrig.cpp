#include "toolrig.h"

#include "ssaperror.h"
#include "testenv.h"

#include <QCoro/QCoroTask>

#include <QSignalSpy>
#include <QTest>

namespace {

QCoro::Task<ToolRig::Result> capture(QCoro::Task<MCPTools::Result> task)
{
    try {
        const MCPTools::Result result = co_await std::move(task);
        co_return ToolRig::Result { false, result.text, result.structured };
    } catch (const MCPTools::Failure &failure) {
        co_return ToolRig::Result { true, failure.description(), std::nullopt };
    } catch (const SSAPError &error) {
        co_return ToolRig::Result { true, error.description(), std::nullopt };
    }
}

} // namespace

ToolRig::ToolRig()
    : m_preferences(std::make_unique<Preferences>(m_dir.path() + QStringLiteral("/rig.conf")))
    , m_store(std::make_unique<DeviceStore>(*m_preferences))
    , m_scanner(std::make_unique<TVScanner>(*m_store))
{
    TVSession::Timings sessionTimings;
    sessionTimings.ensurePoll = 0.02;
    sessionTimings.wakePause = 0.3;
    MCPTools::Timings toolTimings;
    toolTimings.pressSpacing = std::chrono::milliseconds(5);
    toolTimings.powerOnPoll = std::chrono::milliseconds(50);
    renewSession(sessionTimings, toolTimings);
}

void ToolRig::rebuildTools(const MCPTools::Timings &timings)
{
    m_tools = std::make_unique<MCPTools>(*m_session, timings);
}

void ToolRig::renewSession(const TVSession::Timings &timings)
{
    const MCPTools::Timings toolTimings = m_tools->timings(); // a copy: the tools go first
    renewSession(timings, toolTimings);
}

void ToolRig::renewSession(const TVSession::Timings &sessionTimings, const MCPTools::Timings &toolTimings)
{
    m_tools.reset();
    m_session.reset();
    m_session = std::make_unique<TVSession>(*m_store, *m_scanner, sessionTimings);
    m_tools = std::make_unique<MCPTools>(*m_session, toolTimings);
}

ToolRig::~ToolRig()
{
    m_tools.reset();
    m_session.reset();
    drainPostedEvents();
}

QString ToolRig::addTV(const QString &host, const QString &name)
{
    TVDevice device = m_store->upsertDiscovered(host, std::nullopt, name, QStringLiteral("OLED55C3PCA"));
    return device.id;
}

bool ToolRig::pair(const QString &id)
{
    // Settled: lists read and the MAC lookup (a child process) over, so none outlives the test.
    QSignalSpy settled(m_session.get(), &TVSession::connectionSettled);
    m_session->connect(id);
    return QTest::qWaitFor([&] { return m_session->isReady() && !settled.isEmpty(); }, 15000);
}

ToolRig::Result ToolRig::call(const QString &name, const QJsonObject &arguments)
{
    return QCoro::waitFor(capture(m_tools->call(name, arguments)));
}

Http::Reply served(quint16 port, const QList<QByteArray> &pieces, int timeoutMs, int pauseMs)
{
    return offThread([=] { return Http::exchange(port, pieces, timeoutMs, pauseMs); });
}

char *toString(const ToolRig::Result &result)
{
    return QTest::toString((result.isError ? QStringLiteral("error: ") : QStringLiteral("ok: ")) + result.text);
}

ToolRig::Result success(const QString &text)
{
    return { false, text, std::nullopt };
}

ToolRig::Result failure(const QString &text)
{
    return { true, text, std::nullopt };
}

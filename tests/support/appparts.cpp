#include "appparts.h"

#include "selftest.h"
#include "ssaperror.h"
#include "testenv.h"

#include <QCoro/QCoroTask>

#include <QTest>

#include <algorithm>

AppParts::AppParts(const Setup &setup)
{
    const QString file
        = setup.preferencesFile.isEmpty() ? m_dir.filePath(QStringLiteral("prefs.conf")) : setup.preferencesFile;
    m_preferences
        = std::make_unique<Preferences>(file, QStringList { QStringLiteral("corvane-remote") } + setup.launchArguments);
    m_store = std::make_unique<DeviceStore>(*m_preferences);
    m_scanner = std::make_unique<TVScanner>(*m_store, setup.scanSeconds);
    buildSession(setup.session, setup.tools);
}

AppParts::Setup AppParts::quick()
{
    Setup setup;
    setup.session.ensurePoll = 0.02;
    setup.session.wakePause = 0.3;
    setup.tools.pressSpacing = std::chrono::milliseconds(5);
    setup.tools.powerOnPoll = std::chrono::milliseconds(50);
    return setup;
}

AppParts::~AppParts()
{
    letConnectionSettle();
    m_server.reset();
    m_tools.reset();
    m_session.reset();
    drainPostedEvents();
}

MCPServer &AppParts::server()
{
    if (!m_server)
        m_server = std::make_unique<MCPServer>(*m_tools, *m_preferences);
    return *m_server;
}

void AppParts::renewSession(const std::optional<TVSession::Timings> &timings)
{
    // Copies: the old session and tools are gone before the new ones are built.
    const TVSession::Timings sessionTimings = timings.value_or(m_session->timings());
    const MCPTools::Timings toolTimings = m_tools->timings();
    buildSession(sessionTimings, toolTimings);
}

void AppParts::rebuildTools(const MCPTools::Timings &timings)
{
    m_server.reset();
    m_tools = std::make_unique<MCPTools>(*m_session, timings);
}

// A test that ends while a new connection settles (lists, the MAC lookup's child process) would
// leave the waiting coroutines behind, which LeakSanitizer reports.
void AppParts::letConnectionSettle()
{
    if (m_settling && !QTest::qWaitFor([this] { return !m_settling; }, 10000))
        qWarning("the connection did not settle");
}

void AppParts::buildSession(const TVSession::Timings &sessionTimings, const MCPTools::Timings &toolTimings)
{
    m_settling = m_ready = false;
    m_server.reset();
    m_tools.reset();
    m_session.reset();
    m_session = std::make_unique<TVSession>(*m_store, *m_scanner, sessionTimings);
    SelfTest::runWhenSettled(m_session.get(), *m_preferences);
    m_tools = std::make_unique<MCPTools>(*m_session, toolTimings);
    TVSession *session = m_session.get();
    QObject::connect(session, &TVSession::stateChanged, session, [this, session] {
        if (session->isReady() != m_ready)
            m_settling = m_ready = session->isReady(); // a new connection is ready; one that ended settles no more
        states << session->state();
    });
    QObject::connect(session, &TVSession::connectionSettled, session, [this] { m_settling = false; });
}

QString AppParts::addTV(const QString &host, const QString &name, const QString &model)
{
    const auto optional = [](const QString &text) { return text.isEmpty() ? std::nullopt : std::optional(text); };
    return m_store->upsertDiscovered(host, std::nullopt, optional(name), optional(model)).id;
}

TVDevice AppParts::record(const QString &id) const
{
    return m_store->device(id).value_or(TVDevice());
}

bool AppParts::pair(const QString &id)
{
    m_session->connect(id);
    return QTest::qWaitFor([this] { return m_session->isReady() && !m_settling; }, 15000);
}

namespace {

QCoro::Task<AppParts::ToolAnswer> answerOf(QCoro::Task<MCPTools::Result> task)
{
    try {
        const MCPTools::Result result = co_await std::move(task);
        co_return AppParts::ToolAnswer { false, result.text, result.structured };
    } catch (const MCPTools::Failure &failure) {
        co_return AppParts::ToolAnswer { true, failure.description(), std::nullopt };
    } catch (const SSAPError &error) {
        co_return AppParts::ToolAnswer { true, error.description(), std::nullopt };
    }
}

} // namespace

AppParts::ToolAnswer AppParts::callTool(const QString &name, const QJsonObject &arguments)
{
    return QCoro::waitFor(answerOf(m_tools->call(name, arguments)));
}

bool AppParts::passedThrough(ConnectionState::Kind kind) const
{
    return std::ranges::any_of(states, [kind](const ConnectionState &state) { return state.kind() == kind; });
}

char *toString(const AppParts::ToolAnswer &answer)
{
    return QTest::toString((answer.isError ? QStringLiteral("error: ") : QStringLiteral("ok: ")) + answer.text);
}

AppParts::ToolAnswer success(const QString &text)
{
    return { false, text, std::nullopt };
}

AppParts::ToolAnswer failure(const QString &text)
{
    return { true, text, std::nullopt };
}

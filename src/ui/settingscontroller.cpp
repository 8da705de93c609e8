#include "settingscontroller.h"

#include "appearancepreference.h"
#include "applog.h"
#include "devicestore.h"
#include "mcpserver.h"
#include "pagelogic.h"
#include "platform.h"
#include "preferences.h"
#include "protocoltrace.h"
#include "tvsession.h"
#include "windowplatform.h"

#include <QClipboard>
#include <QGuiApplication>

SettingsController::SettingsController(TVSession &session, MCPServer &server, Preferences &preferences, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_store(*session.store())
    , m_server(server)
    , m_preferences(preferences)
{
    // A MAC learnt or a name discovered meanwhile shows in the fields the user has not touched.
    connect(&m_store, &DeviceStore::devicesChanged, this, &SettingsController::fieldsChanged);
    connect(&m_store, &DeviceStore::selectedIDChanged, this, &SettingsController::dropEdits);
    connect(&m_server, &MCPServer::isRunningChanged, this, &SettingsController::mcpStatusChanged);
    connect(&m_server, &MCPServer::lastErrorChanged, this, &SettingsController::mcpStatusChanged);
    connect(&ProtocolTrace::instance(), &ProtocolTrace::activeChanged, this, &SettingsController::traceChanged);
}

std::optional<TVDevice> SettingsController::selectedDevice() const
{
    const auto id = m_store.selectedID();
    return id ? m_store.device(*id) : std::nullopt;
}

QString SettingsController::nameField() const
{
    if (m_nameEdit)
        return *m_nameEdit;
    const auto device = selectedDevice();
    return device ? device->name : QString();
}

QString SettingsController::macField() const
{
    if (m_macEdit)
        return *m_macEdit;
    const auto device = selectedDevice();
    return device ? device->mac.value_or(QString()) : QString();
}

void SettingsController::dropEdits()
{
    m_nameEdit.reset();
    m_macEdit.reset();
    Q_EMIT fieldsChanged();
}

void SettingsController::resetSettingsPage()
{
    if (!m_copied.isEmpty()) {
        m_copied.clear();
        Q_EMIT copiedChanged();
    }
    dropEdits();
}

void SettingsController::editNameField(const QString &text)
{
    m_nameEdit = text;
    Q_EMIT fieldsChanged();
}

void SettingsController::editMACField(const QString &text)
{
    m_macEdit = text;
    Q_EMIT fieldsChanged();
}

void SettingsController::saveSelected()
{
    const auto device = selectedDevice();
    if (!device)
        return;
    const TVDevice saved = PageLogic::savedRecord(*device, m_nameEdit, m_macEdit);
    m_nameEdit.reset();
    m_macEdit.reset();
    m_store.update(saved);
    Q_EMIT fieldsChanged();
}

bool SettingsController::isValidMAC(const QString &text) const
{
    return PageLogic::macProblem(text).isEmpty();
}

QString SettingsController::macProblem(const QString &text) const
{
    return PageLogic::macProblem(text);
}

void SettingsController::wakeSelected()
{
    m_session.wake();
}

void SettingsController::deleteSelected()
{
    const auto device = selectedDevice();
    if (!device)
        return;
    m_session.disconnect();
    m_store.remove(device->id);
}

// ---- MCP service

bool SettingsController::mcpEnabled() const
{
    return m_preferences.mcpEnabled();
}

bool SettingsController::mcpRunning() const
{
    return m_server.isRunning();
}

QString SettingsController::mcpStatus() const
{
    return PageLogic::mcpStatusText(m_server.isRunning());
}

QString SettingsController::mcpError() const
{
    return m_server.lastErrorText();
}

QString SettingsController::endpointURL() const
{
    return m_server.endpointURL();
}

void SettingsController::setMCPEnabled(bool enabled)
{
    const bool was = mcpEnabled();
    m_preferences.setBool(QStringLiteral("mcpEnabled"), enabled);
    if (enabled)
        m_server.start();
    else
        m_server.stop();
    if (was != enabled)
        Q_EMIT mcpEnabledChanged();
}

QString SettingsController::httpConfiguration() const
{
    return PageLogic::httpConfiguration(m_server.endpointURL());
}

QString SettingsController::stdioConfiguration() const
{
    return PageLogic::stdioConfiguration(Platform::executablePath());
}

void SettingsController::setCopied(const QString &which, const QString &text)
{
    if (QClipboard *clipboard = QGuiApplication::clipboard()) {
        clipboard->clear();
        clipboard->setText(text);
    }
    if (m_copied != which) {
        m_copied = which;
        Q_EMIT copiedChanged();
    }
}

void SettingsController::copyHTTPConfiguration()
{
    setCopied(QStringLiteral("http"), httpConfiguration());
}

void SettingsController::copyStdioConfiguration()
{
    setCopied(QStringLiteral("stdio"), stdioConfiguration());
}

// ---- appearance, log and trace

QString SettingsController::appearance() const
{
    return rawValue(storedAppearance(m_preferences));
}

void SettingsController::setAppearanceChoice(const QString &raw)
{
    const auto value = appearanceFromRaw(raw);
    if (!value)
        return;
    const QString before = appearance();
    setAppearance(m_preferences, *value);
    if (before != raw)
        Q_EMIT appearanceChanged();
}

QString SettingsController::logPath() const
{
    return logFileURL();
}

void SettingsController::revealLog()
{
    Platform::revealInFileManager(logFileURL());
}

bool SettingsController::tracing() const
{
    return ProtocolTrace::instance().isActive();
}

QString SettingsController::tracePath() const
{
    return ProtocolTrace::instance().path();
}

void SettingsController::setTracing(bool on)
{
    ProtocolTrace &trace = ProtocolTrace::instance();
    if (!on)
        trace.stop();
    else if (!trace.isActive())
        trace.start(m_preferences.launchArgument(QStringLiteral("trace")).value_or(ProtocolTrace::defaultPath()));
    Q_EMIT traceChanged(); // also when the file could not be opened: the switch goes back
}

void SettingsController::revealTrace()
{
    const QString path = tracePath();
    if (!path.isEmpty())
        Platform::revealInFileManager(path);
}

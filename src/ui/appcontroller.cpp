#include "appcontroller.h"

#include "appearancepreference.h"
#include "applog.h"
#include "devicestore.h"
#include "localnetwork.h"
#include "mcpserver.h"
#include "platform.h"
#include "preferences.h"
#include "protocoltrace.h"
#include "tviconprovider.h"
#include "tvsession.h"
#include "windowplatform.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QVariantMap>

#include <algorithm>
#include <cmath>

using Kind = ConnectionState::Kind;

AppController::AppController(TVSession &session, MCPServer &server, Preferences &preferences, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_store(*session.store())
    , m_server(server)
    , m_preferences(preferences)
{
    for (auto signal : { &TVSession::stateChanged, &TVSession::volumeChanged, &TVSession::mutedChanged,
             &TVSession::isStandbyChanged, &TVSession::powerStateChanged, &TVSession::currentSourceNameChanged,
             &TVSession::inputsChanged, &TVSession::clientChanged })
        connect(&m_session, signal, this, &AppController::changed);
    connect(m_session.scanner(), &TVScanner::isScanningChanged, this, &AppController::changed);
    connect(&m_session, &TVSession::inputRefusalChanged, this, &AppController::changed);
    connect(&m_store, &DeviceStore::devicesChanged, this, &AppController::changed);
    connect(&m_store, &DeviceStore::selectedIDChanged, this, &AppController::changed);
    // A MAC learnt or a name discovered meanwhile shows in the fields the user has not touched.
    connect(&m_store, &DeviceStore::devicesChanged, this, &AppController::fieldsChanged);
    connect(&m_store, &DeviceStore::selectedIDChanged, this, &AppController::dropEdits);
    connect(&m_server, &MCPServer::isRunningChanged, this, &AppController::changed);
    connect(&m_server, &MCPServer::lastErrorChanged, this, &AppController::changed);
    connect(&ProtocolTrace::instance(), &ProtocolTrace::activeChanged, this, &AppController::traceChanged);
}

std::optional<TVDevice> AppController::selectedDevice() const
{
    const auto id = m_store.selectedID();
    return id ? m_store.device(*id) : std::nullopt;
}

// ---- window

QString AppController::pickerLabel() const
{
    return PageLogic::pickerLabel(selectedDevice());
}

QVariantList AppController::pickerEntries() const
{
    QVariantList entries;
    for (const TVDevice &device : m_store.devices())
        entries << QVariantMap { { QStringLiteral("id"), device.id },
            { QStringLiteral("label"), PageLogic::pickerEntry(device) } };
    return entries;
}

QString AppController::selectedDisplayName() const
{
    const auto device = selectedDevice();
    return device ? device->displayName() : QString();
}

QString AppController::selectedName() const
{
    const auto device = selectedDevice();
    return device ? device->name : QString();
}

QString AppController::selectedModel() const
{
    const auto device = selectedDevice();
    return device ? device->model : QString();
}

QString AppController::selectedHost() const
{
    const auto device = selectedDevice();
    return device ? device->host : QString();
}

QString AppController::selectedMac() const
{
    const auto device = selectedDevice();
    return device ? device->mac.value_or(QString()) : QString();
}

bool AppController::selectedPaired() const
{
    const auto device = selectedDevice();
    return device && device->isPaired();
}

QString AppController::statusTone() const
{
    if (m_session.isStandby())
        return QStringLiteral("standby");
    switch (m_session.stateKind()) {
    case Kind::Ready:
        return QStringLiteral("ready");
    case Kind::Error:
        return QStringLiteral("error");
    case Kind::Offline:
        return QStringLiteral("offline");
    case Kind::Connecting:
    case Kind::AwaitingApproval:
    case Kind::Waking:
        break;
    }
    return QStringLiteral("busy");
}

// ---- remote page

QString AppController::hostLine() const
{
    return PageLogic::hostLine(selectedDevice());
}

QString AppController::modelText() const
{
    return PageLogic::modelText(selectedDevice());
}

QString AppController::statusBadge() const
{
    return PageLogic::remoteBadge(m_session.isStandby(), m_session.state());
}

bool AppController::powerWakes() const
{
    return PageLogic::powerAction(m_session.stateKind(), m_session.isStandby()) == PageLogic::PowerAction::Wake;
}

QString AppController::powerTooltip() const
{
    return PageLogic::powerTooltip(PageLogic::powerAction(m_session.stateKind(), m_session.isStandby()));
}

QString AppController::muteLabel() const
{
    return PageLogic::muteLabel(m_session.muted());
}

QString AppController::volumeText() const
{
    return PageLogic::volumeText(m_session.volume());
}

QString AppController::inputNotice() const
{
    return PageLogic::remoteNotice(m_session.state(), m_session.inputRefusal());
}

QString AppController::needsTVReason() const
{
    return PageLogic::needsTVReason(m_session.stateKind(), m_session.isStandby());
}

void AppController::chooseFromPicker(const QString &deviceID)
{
    m_session.connect(deviceID, false);
}

void AppController::powerButton()
{
    if (PageLogic::powerAction(m_session.stateKind(), m_session.isStandby()) == PageLogic::PowerAction::PowerOff)
        m_session.powerOff();
    else
        m_session.wake();
}

void AppController::toggleMute()
{
    m_session.setMute(!m_session.muted());
}

void AppController::volumeDragged(double position)
{
    if (!std::isfinite(position))
        return;
    const int value = static_cast<int>(std::trunc(std::clamp(position, 0.0, 100.0)));
    if (value != m_session.volume())
        m_session.setVolumeValue(value);
}

void AppController::volumeReleased()
{
    m_session.setVolume();
}

bool AppController::sendText(const QString &text)
{
    // The caller clears the box only when the text went out.
    if (text.isEmpty() || !tvReady())
        return false;
    m_session.insertText(text);
    return true;
}

// ---- apps page

QString AppController::currentInputText() const
{
    return PageLogic::currentInputText(m_session.isReady(), m_session.currentSourceName());
}

QString AppController::foregroundText() const
{
    return m_session.isReady() ? PageLogic::sourceName(m_session.currentSourceName()) : QString();
}

QVariantList AppController::inputRows() const
{
    QVariantList rows;
    if (!m_session.isReady())
        return rows; // the lists of a TV no longer connected are stale
    for (const ExternalInput &input : m_session.inputs()) {
        rows << QVariantMap { { QStringLiteral("id"), input.id }, { QStringLiteral("label"), input.label },
            { QStringLiteral("connected"), input.connected },
            { QStringLiteral("connectedText"), PageLogic::inputConnectedText(input.connected) } };
    }
    return rows;
}

void AppController::loadAppsPage()
{
    if (m_session.isReady())
        m_session.refreshLists();
}

QVariantList AppController::filterApps(const QVariantList &apps, const QString &search) const
{
    if (search.isEmpty())
        return apps;
    QVariantList shown;
    for (const QVariant &app : apps) {
        if (PageLogic::titleMatches(app.toMap().value(QStringLiteral("title")).toString(), search))
            shown << app;
    }
    return shown;
}

QString AppController::iconSource(const QString &iconURL) const
{
    return TVIconProvider::sourceFor(iconURL);
}

// ---- devices page

QString AppController::pairingStatus() const
{
    return PageLogic::pairingStatusText(m_session.state(), selectedDevice());
}

bool AppController::pairingStatusIsError() const
{
    return m_session.stateKind() == Kind::Error;
}

QString AppController::primaryLabel() const
{
    return PageLogic::primaryLabel(m_session.stateKind());
}

int AppController::progressStep() const
{
    return PageLogic::progressStep(m_session.stateKind(), selectedDevice());
}

QString AppController::pairingTitle() const
{
    return PageLogic::pairingTitle(selectedDevice());
}

QString AppController::discoverySubtitle() const
{
    return PageLogic::discoverySubtitle(m_session.scanner()->isScanning());
}

QString AppController::emptyListText() const
{
    return PageLogic::emptyListText(m_session.scanner()->isScanning());
}

QVariantList AppController::deviceRows() const
{
    QVariantList rows;
    const auto selected = m_store.selectedID();
    for (const TVDevice &device : m_store.devices()) {
        const bool isSelected = selected && *selected == device.id;
        rows << QVariantMap { { QStringLiteral("id"), device.id },
            { QStringLiteral("displayName"), device.displayName() }, { QStringLiteral("model"), device.model },
            { QStringLiteral("host"), device.host }, { QStringLiteral("selected"), isSelected },
            { QStringLiteral("status"),
                PageLogic::deviceRowStatus(isSelected, m_session.state(), device.isPaired()) } };
    }
    return rows;
}

bool AppController::showPinEntry() const
{
    return m_session.stateKind() == Kind::AwaitingApproval && m_session.state().pin();
}

void AppController::connectSelected(bool usePin)
{
    if (const auto device = selectedDevice())
        m_session.connect(device->id, usePin);
}

void AppController::selectDevice(const QString &deviceID)
{
    m_store.setSelectedID(deviceID);
}

void AppController::primaryAction()
{
    const auto device = selectedDevice();
    if (!device)
        return;
    switch (PageLogic::primaryAction(m_session.stateKind())) {
    case PageLogic::PrimaryAction::Disconnect:
        m_session.disconnect();
        break;
    case PageLogic::PrimaryAction::Reconnect:
    case PageLogic::PrimaryAction::Connect:
        m_session.connect(device->id, false);
        break;
    }
}

void AppController::pairWithPin()
{
    connectSelected(true);
}

bool AppController::submitPin(const QString &pin)
{
    if (pin.isEmpty() || !m_session.hasClient())
        return false;
    m_session.submitPin(pin);
    return true;
}

bool AppController::isValidAddress(const QString &text) const
{
    return PageLogic::isValidIPv4(text);
}

bool AppController::addManualHost(const QString &text)
{
    if (!PageLogic::isValidIPv4(text))
        return false;
    const TVDevice device
        = m_store.upsertDiscovered(PageLogic::trimBlanks(text), std::nullopt, std::nullopt, std::nullopt);
    m_session.connect(device.id, false);
    return true;
}

void AppController::removeDevice(const QString &deviceID)
{
    const auto selected = m_store.selectedID();
    if (selected && *selected == deviceID)
        m_session.disconnect();
    m_store.remove(deviceID);
}

void AppController::scan()
{
    m_session.scanner()->startScan();
}

// ---- settings page

QString AppController::pairedText() const
{
    return PageLogic::pairedText(selectedPaired());
}

bool AppController::mcpEnabled() const
{
    return m_preferences.mcpEnabled();
}

QString AppController::mcpStatus() const
{
    return PageLogic::mcpStatusText(m_server.isRunning());
}

QString AppController::mcpError() const
{
    return m_server.lastErrorText();
}

QString AppController::endpointURL() const
{
    return m_server.endpointURL();
}

QString AppController::appearance() const
{
    return rawValue(storedAppearance(m_preferences));
}

QString AppController::logPath() const
{
    return logFileURL();
}

QString AppController::nameField() const
{
    return m_nameEdit ? *m_nameEdit : selectedName();
}

QString AppController::macField() const
{
    return m_macEdit ? *m_macEdit : selectedMac();
}

void AppController::dropEdits()
{
    m_nameEdit.reset();
    m_macEdit.reset();
    Q_EMIT fieldsChanged();
}

void AppController::resetSettingsPage()
{
    if (!m_copied.isEmpty()) {
        m_copied.clear();
        Q_EMIT copiedChanged();
    }
    dropEdits();
}

void AppController::editNameField(const QString &text)
{
    m_nameEdit = text;
    Q_EMIT fieldsChanged();
}

void AppController::editMacField(const QString &text)
{
    m_macEdit = text;
    Q_EMIT fieldsChanged();
}

void AppController::saveSelected()
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

bool AppController::isValidMac(const QString &text) const
{
    return PageLogic::macProblem(text).isEmpty();
}

QString AppController::macProblem(const QString &text) const
{
    return PageLogic::macProblem(text);
}

QString AppController::ipProblem(const QString &text) const
{
    return PageLogic::ipProblem(text);
}

void AppController::wakeSelected()
{
    m_session.wake();
}

void AppController::deleteSelected()
{
    const auto device = selectedDevice();
    if (device)
        removeDevice(device->id);
}

void AppController::setMcpEnabled(bool enabled)
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

QString AppController::httpConfiguration() const
{
    return PageLogic::httpConfiguration(m_server.endpointURL());
}

QString AppController::stdioConfiguration() const
{
    return PageLogic::stdioConfiguration(Platform::executablePath());
}

void AppController::setCopied(const QString &which, const QString &text)
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

void AppController::copyHttpConfiguration()
{
    setCopied(QStringLiteral("http"), httpConfiguration());
}

void AppController::copyStdioConfiguration()
{
    setCopied(QStringLiteral("stdio"), stdioConfiguration());
}

void AppController::setAppearanceChoice(const QString &raw)
{
    const auto value = appearanceFromRaw(raw);
    if (!value)
        return;
    const QString before = appearance();
    setAppearance(m_preferences, *value);
    if (before != raw)
        Q_EMIT appearanceChanged();
}

void AppController::revealLog()
{
    Platform::revealInFileManager(logFileURL());
}

bool AppController::tracing() const
{
    return ProtocolTrace::instance().isActive();
}

QString AppController::tracePath() const
{
    return ProtocolTrace::instance().path();
}

void AppController::setTracing(bool on)
{
    ProtocolTrace &trace = ProtocolTrace::instance();
    if (!on)
        trace.stop();
    else if (!trace.isActive())
        trace.start(m_preferences.launchArgument(QStringLiteral("trace")).value_or(ProtocolTrace::defaultPath()));
    Q_EMIT traceChanged(); // also when the file could not be opened: the switch goes back
}

void AppController::revealTrace()
{
    const QString path = tracePath();
    if (!path.isEmpty())
        Platform::revealInFileManager(path);
}

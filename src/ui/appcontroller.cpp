#include "appcontroller.h"

#include "devicestore.h"
#include "tviconprovider.h"
#include "tvsession.h"

#include <algorithm>
#include <cmath>

using Kind = ConnectionState::Kind;

AppController::AppController(TVSession &session, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_store(*session.store())
    , m_devices(new DeviceListModel(session, this))
    , m_apps(new AppListModel(session, this))
    , m_inputs(new InputListModel(session, this))
    , m_keys(new KeyShortcuts(&session, this))
{
    for (auto signal : { &DeviceStore::devicesChanged, &DeviceStore::selectedIDChanged }) {
        connect(&m_store, signal, this, &AppController::selectionChanged);
        connect(&m_store, signal, this, &AppController::pairingChanged);
    }
    for (auto signal : { &TVSession::stateChanged, &TVSession::isStandbyChanged, &TVSession::powerStateChanged,
             &TVSession::currentSourceNameChanged, &TVSession::inputRefusalChanged, &TVSession::clientChanged })
        connect(&m_session, signal, this, &AppController::connectionChanged);
    connect(&m_session, &TVSession::stateChanged, this, &AppController::pairingChanged);
    connect(&m_session, &TVSession::volumeChanged, this, &AppController::volumeChanged);
    connect(&m_session, &TVSession::mutedChanged, this, &AppController::mutedChanged);
    // The only place the window follows the discovery scan.
    connect(m_session.scanner(), &TVScanner::isScanningChanged, this, &AppController::scanningChanged);
}

std::optional<TVDevice> AppController::selectedDevice() const
{
    const auto id = m_store.selectedID();
    return id ? m_store.device(*id) : std::nullopt;
}

// ---- the selected TV

QString AppController::pickerLabel() const
{
    return PageLogic::pickerLabel(selectedDevice());
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

QString AppController::selectedMAC() const
{
    const auto device = selectedDevice();
    return device ? device->mac.value_or(QString()) : QString();
}

bool AppController::selectedPaired() const
{
    const auto device = selectedDevice();
    return device && device->isPaired();
}

QString AppController::hostLine() const
{
    return PageLogic::hostLine(selectedDevice());
}

QString AppController::modelText() const
{
    return PageLogic::modelText(selectedDevice());
}

QString AppController::pairingTitle() const
{
    return PageLogic::pairingTitle(selectedDevice());
}

QString AppController::pairedText() const
{
    return PageLogic::pairedText(selectedPaired());
}

// ---- the connection

bool AppController::isReady() const
{
    return m_session.isReady();
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

QString AppController::inputNotice() const
{
    return PageLogic::remoteNotice(m_session.state(), m_session.inputRefusal());
}

QString AppController::needsTVReason() const
{
    return PageLogic::needsTVReason(m_session.stateKind(), m_session.isStandby());
}

QString AppController::currentInputText() const
{
    return PageLogic::currentInputText(m_session.isReady(), m_session.currentSourceName());
}

QString AppController::foregroundText() const
{
    return m_session.isReady() ? PageLogic::sourceName(m_session.currentSourceName()) : QString();
}

bool AppController::pairingStatusIsError() const
{
    return m_session.stateKind() == Kind::Error;
}

QString AppController::primaryLabel() const
{
    return PageLogic::primaryLabel(m_session.stateKind());
}

bool AppController::showPinEntry() const
{
    return m_session.stateKind() == Kind::AwaitingApproval && m_session.state().pin();
}

QString AppController::pairingStatus() const
{
    return PageLogic::pairingStatusText(m_session.state(), selectedDevice());
}

int AppController::progressStep() const
{
    return PageLogic::progressStep(m_session.stateKind(), selectedDevice());
}

// ---- volume and mute

int AppController::volume() const
{
    return m_session.volume();
}

QString AppController::volumeText() const
{
    return PageLogic::volumeText(m_session.volume());
}

bool AppController::muted() const
{
    return m_session.muted();
}

QString AppController::muteLabel() const
{
    return PageLogic::muteLabel(m_session.muted());
}

// ---- discovery

bool AppController::isScanning() const
{
    return m_session.scanner()->isScanning();
}

QString AppController::discoverySubtitle() const
{
    return PageLogic::discoverySubtitle(m_session.scanner()->isScanning());
}

QString AppController::emptyListText() const
{
    return PageLogic::emptyListText(m_session.scanner()->isScanning());
}

void AppController::scan()
{
    m_session.scanner()->startScan();
}

// ---- window and remote page

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

void AppController::volumeUp()
{
    m_session.volumeUp();
}

void AppController::volumeDown()
{
    m_session.volumeDown();
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

void AppController::press(const QString &button)
{
    m_session.press(button);
}

void AppController::click()
{
    m_session.click();
}

void AppController::move(double dx, double dy)
{
    m_session.move(dx, dy);
}

void AppController::scroll(int steps)
{
    m_session.scroll(steps);
}

// ---- apps page

void AppController::loadAppsPage()
{
    if (m_session.isReady())
        m_session.refreshLists();
}

void AppController::launchApp(const QString &appID)
{
    m_session.launchApp(appID);
}

void AppController::switchToInput(const QString &inputID)
{
    m_session.switchToInput(inputID);
}

QString AppController::iconSource(const QString &iconURL) const
{
    return TVIconProvider::sourceFor(iconURL);
}

// ---- devices page

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

QString AppController::ipProblem(const QString &text) const
{
    return PageLogic::ipProblem(text);
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

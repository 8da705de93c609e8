#include "tvsimulator.h"

#include "controlserver.h"
#include "resourceserver.h"
#include "ssapservice.h"
#include "ssdpresponder.h"
#include "tracereplay.h"
#include "tvservices.h"
#include "tvstate.h"
#include "udpbinding.h"
#include "wakelistener.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTimer>

namespace {

// How long a TV that was told to turn off keeps its sockets open.
constexpr int standbyCloseDelayMs = 500;

QString interfaceMAC(const QHostAddress &address)
{
    QString name;
    if (UdpBinding::interfaceFor(address, &name) < 0 || name.isEmpty())
        return {};
    QFile file(QStringLiteral("/sys/class/net/%1/address").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll()).trimmed().toLower();
}

} // namespace

TVSimulator::TVSimulator(const TVSimOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_address(options.address)
{
}

TVSimulator::~TVSimulator() = default;

bool TVSimulator::start(QString *error)
{
    if (m_address.protocol() != QAbstractSocket::IPv4Protocol || m_address == QHostAddress::AnyIPv4) {
        *error = QStringLiteral("--address must be one IPv4 address, not %1").arg(m_options.address);
        return false;
    }
    if (!QDir().mkpath(m_options.stateDir)) {
        *error = QStringLiteral("cannot create the state directory %1").arg(m_options.stateDir);
        return false;
    }
    m_state = new TVState(m_options, this);
    if (!m_state->load(error))
        return false;
    m_state->setInterfaceMAC(interfaceMAC(m_address));
    if (!m_certificates.load(m_options.stateDir, m_options.chain, m_options.newCert, m_state->friendlyName(), error))
        return false;

    m_resources = new ResourceServer(m_state, &m_log, this);
    if (!m_resources->listen(m_address, quint16(m_options.httpPort), error))
        return false;
    m_services = std::make_unique<TVServices>(
        m_state, QStringLiteral("http://%1:%2").arg(m_address.toString()).arg(m_resources->port()));
    m_ssap = new SSAPService(m_address, &m_certificates, m_state, m_services.get(), &m_faults, &m_log, this);
    connect(m_ssap, &SSAPService::turnOffRequested, this, &TVSimulator::standby);
    if (!m_options.replay.isEmpty()) {
        m_replay = std::make_unique<TraceReplay>();
        if (!m_replay->load(m_options.replay, error))
            return false;
        m_ssap->setReplay(m_replay.get());
        MessageLog::printEvent(QStringLiteral("replay"),
            { { QStringLiteral("trace"), m_options.replay }, { QStringLiteral("answers"), m_replay->answerCount() } });
    }
    if (!m_ssap->startListening(error))
        return false;
    m_control = new ControlServer(this, this);
    if (!m_control->listen(m_address, quint16(m_options.controlPort), error))
        return false;

    // Discovery and Wake-on-LAN need the privileged ports 1900 and 9; without them the TV still
    // works, and the control interface can stand in for a magic packet.
    m_ssdp = new SSDPResponder(m_address, m_state, &m_log, this);
    QString warning;
    if (!m_ssdp->start(m_resources->port(), &warning))
        MessageLog::printEvent(QStringLiteral("warning"), { { QStringLiteral("ssdp"), warning } });
    m_wake = new WakeListener(m_address, &m_log, this);
    connect(m_wake, &WakeListener::magicPacket, this, &TVSimulator::onMagicPacket);
    if (!m_wake->start(&warning))
        MessageLog::printEvent(QStringLiteral("warning"), { { QStringLiteral("wol"), warning } });

    MessageLog::printLine(
        QStringLiteral("tvsim ready address=%1 ssap=%2 control=%3 http=%4 uuid=%5 fingerprint=%6 macs=%7")
            .arg(m_address.toString())
            .arg(SSAPService::port)
            .arg(m_control->port())
            .arg(m_resources->port())
            .arg(m_state->deviceUUID(), m_certificates.fingerprint(), m_state->macs().join(QLatin1Char(','))));
    return true;
}

QJsonObject TVSimulator::stateJson() const
{
    QJsonObject state = m_state->toJson();
    state.insert(QStringLiteral("fingerprint"), m_certificates.fingerprint());
    const QString pin = m_ssap->openPin();
    state.insert(QStringLiteral("pin"), pin.isEmpty() ? QJsonValue() : QJsonValue(pin));
    state.insert(QStringLiteral("pairingPending"), m_ssap->pairingPending());
    state.insert(QStringLiteral("connections"), m_ssap->connectionCount());
    state.insert(QStringLiteral("pointerConnections"), m_ssap->pointerConnectionCount());
    state.insert(QStringLiteral("listening"), m_ssap->isListening());
    state.insert(QStringLiteral("address"), m_address.toString());
    state.insert(QStringLiteral("httpPort"), int(m_resources->port()));
    state.insert(QStringLiteral("channels"), int(m_state->channels().size()));
    state.insert(QStringLiteral("soundOutput"), m_state->soundOutput());
    state.insert(QStringLiteral("webPage"), m_state->webPage());
    state.insert(QStringLiteral("lastLaunch"), m_state->lastLaunch());
    return state;
}

void TVSimulator::standby()
{
    if (!m_ssap->isListening())
        return;
    MessageLog::printEvent(QStringLiteral("standby"));
    m_state->setPowerState(QStringLiteral("Active Standby"));
    m_ssdp->setAnswering(false);
    const quint64 generation = ++m_powerGeneration;
    QTimer::singleShot(standbyCloseDelayMs, this, [this, generation] {
        if (generation == m_powerGeneration)
            m_ssap->stopListening();
    });
}

bool TVSimulator::wake(QString *error)
{
    ++m_powerGeneration;
    m_wakePending = false;
    if (!m_ssap->startListening(error))
        return false;
    m_state->setPowerState(QStringLiteral("Active"));
    m_ssdp->setAnswering(true);
    MessageLog::printEvent(QStringLiteral("awake"));
    return true;
}

void TVSimulator::onMagicPacket(const QString &mac)
{
    if (!m_state->macs().contains(mac) || m_state->isOn() || m_wakePending)
        return;
    m_wakePending = true;
    const quint64 generation = m_powerGeneration;
    QTimer::singleShot(m_options.wakeDelayMs, this, [this, generation] {
        if (!m_wakePending || generation != m_powerGeneration)
            return;
        QString error;
        if (!wake(&error))
            MessageLog::printEvent(QStringLiteral("warning"), { { QStringLiteral("wake"), error } });
    });
}

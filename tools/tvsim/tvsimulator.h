#pragma once

#include "certificates.h"
#include "faultsettings.h"
#include "messagelog.h"
#include "tvsimoptions.h"

#include <QHostAddress>
#include <QJsonObject>
#include <QObject>

#include <memory>

class ControlServer;
class ResourceServer;
class SSAPService;
class SSDPResponder;
class TVServices;
class TVState;
class TraceReplay;
class WakeListener;

// One emulated TV on one address: builds every service, and moves between on and standby.
class TVSimulator : public QObject {
    Q_OBJECT
public:
    explicit TVSimulator(const TVSimOptions &options, QObject *parent = nullptr);
    ~TVSimulator() override;

    // Brings every listener up; prints the ready line on success.
    bool start(QString *error);

    TVState *state() const { return m_state; }
    SSAPService *ssap() const { return m_ssap; }
    FaultSettings *faults() { return &m_faults; }
    MessageLog *log() { return &m_log; }
    QJsonObject stateJson() const;

    // Standby as after "system/turnOff": the power state is pushed, then the sockets close and
    // port 3001 refuses connections until the TV wakes.
    void standby();
    bool wake(QString *error);

private:
    void onMagicPacket(const QString &mac);

    TVSimOptions m_options;
    QHostAddress m_address;
    Certificates m_certificates;
    FaultSettings m_faults;
    MessageLog m_log;
    TVState *m_state = nullptr;
    std::unique_ptr<TVServices> m_services;
    std::unique_ptr<TraceReplay> m_replay;
    SSAPService *m_ssap = nullptr;
    ControlServer *m_control = nullptr;
    ResourceServer *m_resources = nullptr;
    SSDPResponder *m_ssdp = nullptr;
    WakeListener *m_wake = nullptr;
    bool m_wakePending = false;
    quint64 m_powerGeneration = 0;
};

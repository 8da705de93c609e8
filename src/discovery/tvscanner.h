#pragma once

#include "devicestore.h"
#include "ssdpdiscovery.h"

#include <QList>
#include <QObject>
#include <QVariantList>

#include <QCoro/QCoroTask>

// The discovery scans of the running program and what the last one found. Every TV found is
// saved to the store (or its saved record updated: a new address, a name).
class TVScanner : public QObject {
    Q_OBJECT
    // discovered as maps for QML: {host, uuid, name, model, location}.
    Q_PROPERTY(QVariantList discoveredList READ discoveredList NOTIFY discoveredChanged)
    Q_PROPERTY(bool isScanning READ isScanning NOTIFY isScanningChanged)

public:
    // scanSeconds: how long a scan listens for answers.
    explicit TVScanner(DeviceStore &store, double scanSeconds = 3.0, QObject *parent = nullptr);

    const QList<SSDPDiscovery::Found> &discovered() const { return m_discovered; }
    bool isScanning() const { return m_isScanning; }
    QVariantList discoveredList() const;

    Q_INVOKABLE void startScan(); // scan(), not awaited
    QCoro::Task<void> scan(); // nothing when one is running already
    QCoro::Task<void> freshScan(); // a scan of its own, once any running one has ended

Q_SIGNALS:
    void discoveredChanged();
    void isScanningChanged();

private:
    void setDiscovered(const QList<SSDPDiscovery::Found> &found);
    void setScanning(bool scanning);

    DeviceStore &m_store;
    double m_scanSeconds;
    QList<SSDPDiscovery::Found> m_discovered;
    bool m_isScanning = false;
};

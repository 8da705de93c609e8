#pragma once

#include "tvdevice.h"

#include <QList>
#include <QObject>

#include <optional>

class Preferences;

// The saved TVs and the selected one, persisted under "devices.v1" (compact JSON array) and
// "devices.selected". Used on the main thread only.
class DeviceStore : public QObject {
    Q_OBJECT

public:
    explicit DeviceStore(Preferences &preferences, QObject *parent = nullptr);

    const QList<TVDevice> &devices() const { return m_devices; }
    void setDevices(const QList<TVDevice> &devices); // not saved

    std::optional<QString> selectedID() const { return m_selectedID; }
    void setSelectedID(const std::optional<QString> &id); // always stored at once

    std::optional<TVDevice> device(const QString &id) const;
    std::optional<TVDevice> selectedDevice() const;

    TVDevice upsertDiscovered(const QString &host, const std::optional<QString> &tvUUID,
        const std::optional<QString> &name, const std::optional<QString> &model);
    void update(const TVDevice &device);
    Q_INVOKABLE void remove(const QString &id);
    void save();

Q_SIGNALS:
    void devicesChanged();
    void selectedIDChanged();

private:
    void load();

    Preferences &m_preferences;
    QList<TVDevice> m_devices;
    std::optional<QString> m_selectedID;
};

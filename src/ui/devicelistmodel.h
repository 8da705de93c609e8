#pragma once

#include "keyedlistmodel.h"

#include <QString>
#include <QtQml/qqmlregistration.h>

class TVSession;

struct DeviceListRow {
    QString key; // the device's id
    QString displayName;
    QString modelName;
    QString host;
    QString label; // the entry of the TV picker
    bool selected = false;
    QString status;

    bool operator==(const DeviceListRow &other) const = default;
};

// The saved TVs, for the devices list and the sidebar's picker: follows the store, the selection
// and the connection state row by row.
class DeviceListModel : public KeyedListModel<DeviceListRow> {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("read from Controller")

public:
    enum Role {
        DeviceIDRole = Qt::UserRole + 1,
        DisplayNameRole,
        ModelNameRole,
        HostRole,
        LabelRole,
        SelectedRole,
        StatusRole
    };

    explicit DeviceListModel(TVSession &session, QObject *parent = nullptr);

    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    void refresh();

    TVSession &m_session;
};

#include "devicelistmodel.h"

#include "devicestore.h"
#include "pagelogic.h"
#include "tvsession.h"

DeviceListModel::DeviceListModel(TVSession &session, QObject *parent)
    : KeyedListModel(parent)
    , m_session(session)
{
    DeviceStore *store = m_session.store();
    connect(store, &DeviceStore::devicesChanged, this, &DeviceListModel::refresh);
    connect(store, &DeviceStore::selectedIDChanged, this, &DeviceListModel::refresh);
    connect(&m_session, &TVSession::stateChanged, this, &DeviceListModel::refresh);
    refresh();
}

void DeviceListModel::refresh()
{
    const DeviceStore &store = *m_session.store();
    const auto selected = store.selectedID();
    QList<DeviceListRow> rows;
    for (const TVDevice &device : store.devices()) {
        const bool isSelected = selected && *selected == device.id;
        rows << DeviceListRow { device.id, device.displayName(), device.model, device.host,
            PageLogic::pickerEntry(device), isSelected,
            PageLogic::deviceRowStatus(isSelected, m_session.state(), device.isPaired()) };
    }
    setRows(rows);
}

QVariant DeviceListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const DeviceListRow &row = rows().at(index.row());
    switch (role) {
    case DeviceIDRole:
        return row.key;
    case DisplayNameRole:
    case Qt::DisplayRole:
        return row.displayName;
    case ModelNameRole:
        return row.modelName;
    case HostRole:
        return row.host;
    case LabelRole:
        return row.label;
    case SelectedRole:
        return row.selected;
    case StatusRole:
        return row.status;
    default:
        return {};
    }
}

QHash<int, QByteArray> DeviceListModel::roleNames() const
{
    return { { DeviceIDRole, "deviceID" }, { DisplayNameRole, "displayName" }, { ModelNameRole, "modelName" },
        { HostRole, "host" }, { LabelRole, "label" }, { SelectedRole, "selected" }, { StatusRole, "status" } };
}

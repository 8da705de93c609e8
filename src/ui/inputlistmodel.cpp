#include "inputlistmodel.h"

#include "pagelogic.h"
#include "tvsession.h"

InputListModel::InputListModel(TVSession &session, QObject *parent)
    : KeyedListModel(parent)
    , m_session(session)
{
    connect(&m_session, &TVSession::inputsChanged, this, &InputListModel::refresh);
    connect(&m_session, &TVSession::stateChanged, this, &InputListModel::refresh);
    refresh();
}

void InputListModel::refresh()
{
    QList<InputListRow> rows;
    if (m_session.isReady()) {
        for (const ExternalInput &input : m_session.inputs())
            rows << InputListRow { input.id, input.label, input.connected,
                PageLogic::inputConnectedText(input.connected) };
    }
    setRows(rows);
}

QVariant InputListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const InputListRow &row = rows().at(index.row());
    switch (role) {
    case InputIDRole:
        return row.key;
    case LabelRole:
    case Qt::DisplayRole:
        return row.label;
    case ConnectedRole:
        return row.connected;
    case ConnectedTextRole:
        return row.connectedText;
    default:
        return {};
    }
}

QHash<int, QByteArray> InputListModel::roleNames() const
{
    return { { InputIDRole, "inputID" }, { LabelRole, "label" }, { ConnectedRole, "connected" },
        { ConnectedTextRole, "connectedText" } };
}

#pragma once

#include "keyedlistmodel.h"

#include <QString>
#include <QtQml/qqmlregistration.h>

class TVSession;

struct InputListRow {
    QString key; // the input's id
    QString label;
    bool connected = false;
    QString connectedText;

    bool operator==(const InputListRow &other) const = default;
};

// The TV's external inputs while it is ready; empty otherwise (the lists of a TV no longer
// connected are stale, though the session keeps them for a reconnection).
class InputListModel : public KeyedListModel<InputListRow> {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("read from Controller")

public:
    enum Role { InputIDRole = Qt::UserRole + 1, LabelRole, ConnectedRole, ConnectedTextRole };

    explicit InputListModel(TVSession &session, QObject *parent = nullptr);

    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

private:
    void refresh();

    TVSession &m_session;
};

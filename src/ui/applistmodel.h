#pragma once

#include "keyedlistmodel.h"

#include <QString>
#include <QtQml/qqmlregistration.h>

class TVSession;

struct AppListRow {
    QString key; // the app's id
    QString title;
    QString iconURL;

    bool operator==(const AppListRow &other) const = default;
};

// The TV's apps whose titles match the search text of the apps page.
class AppListModel : public KeyedListModel<AppListRow> {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("read from Controller")
    Q_PROPERTY(QString search READ search WRITE setSearch NOTIFY searchChanged)
    // All apps the TV listed, matching or not.
    Q_PROPERTY(int total READ total NOTIFY totalChanged)

public:
    enum Role { AppIDRole = Qt::UserRole + 1, AppTitleRole, AppIconRole };

    explicit AppListModel(TVSession &session, QObject *parent = nullptr);

    QString search() const { return m_search; }
    void setSearch(const QString &search);
    int total() const { return m_total; }

    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

Q_SIGNALS:
    void searchChanged();
    void totalChanged();

private:
    void refresh();

    TVSession &m_session;
    QString m_search;
    int m_total = 0;
};

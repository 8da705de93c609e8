#include "applistmodel.h"

#include "pagelogic.h"
#include "tvsession.h"

AppListModel::AppListModel(TVSession &session, QObject *parent)
    : KeyedListModel(parent)
    , m_session(session)
{
    connect(&m_session, &TVSession::appsChanged, this, &AppListModel::refresh);
    refresh();
}

void AppListModel::setSearch(const QString &search)
{
    if (search == m_search)
        return;
    m_search = search;
    refresh();
    Q_EMIT searchChanged();
}

void AppListModel::refresh()
{
    QList<AppListRow> rows;
    for (const TVApp &app : m_session.apps()) {
        if (m_search.isEmpty() || PageLogic::titleMatches(app.title, m_search))
            rows << AppListRow { app.id, app.title, app.icon ? app.icon->toString() : QString() };
    }
    setRows(rows);
    if (m_total != int(m_session.apps().size())) {
        m_total = int(m_session.apps().size());
        Q_EMIT totalChanged();
    }
}

QVariant AppListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const AppListRow &row = rows().at(index.row());
    switch (role) {
    case AppIDRole:
        return row.key;
    case AppTitleRole:
    case Qt::DisplayRole:
        return row.title;
    case AppIconRole:
        return row.iconURL;
    default:
        return {};
    }
}

QHash<int, QByteArray> AppListModel::roleNames() const
{
    return { { AppIDRole, "appID" }, { AppTitleRole, "appTitle" }, { AppIconRole, "appIcon" } };
}

#pragma once

#include <QAbstractListModel>
#include <QList>

// A list model whose rows carry a key (Row::key) and compare with ==. setRows() turns the new
// list into row-level changes: removals, moves, inserts and dataChanged for rows that differ, so
// views keep their scroll position, open menus and delegates. A reset happens never.
template <typename Row> class KeyedListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_rows.size()); }
    const QList<Row> &rows() const { return m_rows; }

protected:
    void setRows(const QList<Row> &next)
    {
        for (int i = int(m_rows.size()) - 1; i >= 0; --i) {
            if (indexOf(next, m_rows.at(i).key, 0) < 0) {
                beginRemoveRows({}, i, i);
                m_rows.removeAt(i);
                endRemoveRows();
            }
        }
        for (int i = 0; i < int(next.size()); ++i) {
            const Row &row = next.at(i);
            const int at = indexOf(m_rows, row.key, i);
            if (at < 0) {
                beginInsertRows({}, i, i);
                m_rows.insert(i, row);
                endInsertRows();
                continue;
            }
            if (at != i) {
                beginMoveRows({}, at, at, {}, i);
                m_rows.move(at, i);
                endMoveRows();
            }
            if (!(m_rows.at(i) == row)) {
                m_rows[i] = row;
                Q_EMIT dataChanged(index(i), index(i));
            }
        }
        if (m_rows.size() > next.size()) { // surplus rows of a key listed twice
            beginRemoveRows({}, int(next.size()), int(m_rows.size()) - 1);
            m_rows.resize(next.size());
            endRemoveRows();
        }
    }

private:
    static int indexOf(const QList<Row> &rows, const decltype(Row::key) &key, int from)
    {
        for (int i = from; i < int(rows.size()); ++i) {
            if (rows.at(i).key == key)
                return i;
        }
        return -1;
    }

    QList<Row> m_rows;
};

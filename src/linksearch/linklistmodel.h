#pragma once

#include <QAbstractTableModel>
#include <QStringList>

// The Entrance table's rows: a view over the Controller's link list, not a copy of it,
// so that a page of many links costs no second list. Its one column is "door".
class LinkListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    LinkListModel(const QStringList* links, QObject* parent = nullptr);

    // The list has changed underneath.
    void reload();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const QStringList* mLinks;
};

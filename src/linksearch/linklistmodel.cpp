#include "linksearch/linklistmodel.h"

#include <QColor>

LinkListModel::LinkListModel(const QStringList* links, QObject* parent)
    : QAbstractTableModel(parent), mLinks(links)
{
}

void LinkListModel::reload()
{
    beginResetModel();
    endResetModel();
}

int LinkListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(mLinks->size());
}

int LinkListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}

QVariant LinkListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= mLinks->size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return mLinks->at(index.row());
    case Qt::BackgroundRole:
        // Even rows grey, odd rows plain: long lists of similar addresses stay readable.
        if (index.row() % 2 == 0)
            return QColor::fromRgbF(0.9f, 0.9f, 0.9f, 1.0f);
        return {};
    default:
        return {};
    }
}

QVariant LinkListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::UserRole)
        return QStringLiteral("door");
    return QAbstractTableModel::headerData(section, orientation, role);
}

#pragma once

#include <QAbstractItemView>
#include <QList>
#include <QString>

class QAbstractItemModel;
class QFrame;
class QLabel;
class QTableView;

// The parts of one of the main window's panels below the panes (the route, the watched list).
struct TTablePanelParts {
    QLabel *Heading = nullptr;
    QTableView *Table = nullptr;
};

// Lays out `panel` as those panels look: a dark heading strip named `headingName` over a
// read-only table named `tableName` of `model`, whole rows selected in `selection` mode, no grid,
// rows 18 pixels high, columns `widths` wide with column `stretched` taking what is left, and a
// context menu its owner shows.
TTablePanelParts BuildTablePanel(QFrame *panel, const QString &headingName, const QString &heading,
                                 const QString &tableName, QAbstractItemModel *model,
                                 const QList<int> &widths, int stretched,
                                 QAbstractItemView::SelectionMode selection);

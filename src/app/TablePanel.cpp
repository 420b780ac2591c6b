#include "app/TablePanel.h"

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

#include "common/WindowLook.h"

TTablePanelParts BuildTablePanel(QFrame *panel, const QString &headingName, const QString &heading,
                                 const QString &tableName, QAbstractItemModel *model,
                                 const QList<int> &widths, int stretched,
                                 QAbstractItemView::SelectionMode selection) {
    panel->setFrameShape(QFrame::NoFrame);
    panel->setAutoFillBackground(true);
    auto *column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    TTablePanelParts parts;
    parts.Heading = NewLabel(panel, headingName, heading);
    parts.Heading->setFixedHeight(18);
    parts.Heading->setIndent(4);
    PaintDark(parts.Heading, LookTextColor(), QColor(54, 54, 54));  // as the other headings
    PaintDarkControls(panel, LookTextColor(), LookMainPaneColor());
    column->addWidget(parts.Heading);

    QTableView *table = new QTableView(panel);
    parts.Table = table;
    table->setObjectName(tableName);
    table->setModel(model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(selection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setAlternatingRowColors(true);
    table->setShowGrid(false);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(18);
    table->horizontalHeader()->setHighlightSections(false);
    table->horizontalHeader()->setStretchLastSection(false);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    for (int i = 0; i < widths.size(); ++i) {
        table->setColumnWidth(i, widths.at(i));
    }
    table->horizontalHeader()->setSectionResizeMode(stretched, QHeaderView::Stretch);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    column->addWidget(table, 1);
    return parts;
}

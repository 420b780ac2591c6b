#pragma once

#include <QAbstractTableModel>
#include <QFrame>

#include "ping/TraceRun.h"

class QLabel;
class QTableView;

// The hops of a trace as a table: hop, address(es), name, network, sent, loss and the trip
// times, refreshed as the probes' outcomes come in.
class TTraceModel final : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum TColumn { Hop, Address, Name, Network, Sent, Loss, Last, Average, Best, Worst, Jitter };

    explicit TTraceModel(QObject *parent = nullptr);

    // Shows `hops` (null: none); the model reads them, the caller keeps them alive.
    void Show(const TTraceHops *hops);
    // The hops changed: rows come and go with the route's length, the figures are read again.
    void Refresh();
    // The first address of hop `ttl`, "" for a hop that did not answer.
    QString AddressOf(int ttl) const;

    // The Network column of a hop with `addresses`: the AS of each from the offline location
    // database ("AS3333 <name>"), each once; "" when the database knows none of them. Its tool
    // tip: country and network of each.
    static QString NetworkText(const QStringList &addresses);
    static QString NetworkDetails(const QStringList &addresses);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    const TTraceHops *hops_ = nullptr;
    int rows_ = 0;
};

// The route panel of the main window: a heading with the target and round, and the hop table.
// A double click on a hop hands its address on; choosing a row says which hop to follow.
class TTracePanel final : public QFrame {
    Q_OBJECT

  public:
    explicit TTracePanel(QWidget *parent = nullptr);

    void Show(const TTraceHops *hops);
    void Refresh(const QString &heading);
    TTraceModel *Model() const { return model_; }
    QTableView *Table() const { return table_; }
    // The hop chosen in the table, 0 when none.
    int ChosenHop() const;
    // Whether the context menu offers the commands that start something (not while a run goes).
    void SetCommandsEnabled(bool enabled) { commandsEnabled_ = enabled; }

  signals:
    void AddressActivated(const QString &address);
    void HopChosen(int ttl);
    // The context menu of a hop asks for a command on its address.
    void WhoisRequested(const QString &address);
    // The context menu asks for the route on the map.
    void RouteMapRequested();

  private:
    QLabel *heading_ = nullptr;
    QTableView *table_ = nullptr;
    TTraceModel *model_ = nullptr;
    bool commandsEnabled_ = true;
};

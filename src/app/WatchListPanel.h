#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFrame>
#include <QHash>
#include <QIcon>
#include <QList>

#include "ping/ListWatch.h"

class QLabel;
class QSortFilterProxyModel;
class QTableView;

// The addresses of a list watch as a table, one row per address in list order: its state and
// figures, read from the watch at each refresh.
class TWatchListModel final : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum TColumn {
        Address,
        Resolved,
        Network,
        State,
        Sent,
        Loss,
        Last,
        Average,
        Jitter,
        Outage,
        Outages,
        LastChange
    };
    // The role whose values the columns sort by (numbers where the column holds figures).
    static constexpr int kSortRole = Qt::UserRole;

    explicit TWatchListModel(QObject *parent = nullptr);

    // Shows `watch` (null: none); the model reads it, the caller keeps it alive. `started` is
    // when the watch began, for the time of each address's last change.
    void Show(const TListWatch *watch, const QDateTime &started);
    // The figures changed; `now` is the moment of the watch (ms since it began) they are read at.
    void Refresh(qint64 now);
    // The moment the figures are read at, without telling the views.
    void SetNow(qint64 now) { now_ = now; }
    QString AddressOf(int row) const;
    // The colours of the rows drawn on the graph, shown beside their addresses.
    void SetLineColors(const QHash<int, QColor> &colors) { lineColors_ = colors; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    QVariant Display(const TWatchedAddress &address, int column) const;
    QVariant SortKey(const TWatchedAddress &address, int column) const;
    // The AS of the address that answered, from the offline location database, looked up once
    // per address.
    QString NetworkOf(const QString &resolved) const;
    // The swatch of a line's colour, one picture per colour for the whole watch. A colour handed
    // to the view as such would be painted into a new picture at every drawing, each of which
    // the icon engine keeps in the picture cache under its own key: a watch of hours would fill
    // the cache with copies of the same ten swatches.
    QIcon Swatch(const QColor &color) const;

    const TListWatch *watch_ = nullptr;
    QHash<int, QColor> lineColors_;
    mutable QHash<QString, QString> networks_;
    mutable QHash<QRgb, QIcon> swatches_;
    QDateTime started_;
    qint64 now_ = 0;
};

// The watch panel of the main window: a heading that counts the addresses up and down, and the
// sortable table. Choosing rows says which addresses the graph and the bar chart follow; a row's
// context menu starts a command on its address.
class TWatchListPanel final : public QFrame {
    Q_OBJECT

  public:
    enum class TCommand { Ping, Trace, Whois, Locate };

    explicit TWatchListPanel(QWidget *parent = nullptr);

    void Show(const TListWatch *watch, const QDateTime &started);
    void Refresh(const QString &heading, qint64 now);
    // The colours of the rows drawn on the graph (indexes into the list).
    void SetLineColors(const QHash<int, QColor> &colors);
    TWatchListModel *Model() const { return model_; }
    QTableView *Table() const { return table_; }
    // The chosen addresses (indexes into the list), in list order; empty when none is chosen.
    QList<int> ChosenRows() const;
    // The address the bar chart follows: the current row, else the first address; -1 when the
    // table is empty.
    int FollowedRow() const;
    // Whether the context menu offers its commands (not while a run goes).
    void SetCommandsEnabled(bool enabled) { commandsEnabled_ = enabled; }

  signals:
    void CommandRequested(TWatchListPanel::TCommand command, const QString &address);
    // Another choice of rows.
    void RowsChosen();

  private:
    QLabel *heading_ = nullptr;
    QTableView *table_ = nullptr;
    TWatchListModel *model_ = nullptr;
    QSortFilterProxyModel *sorted_ = nullptr;
    bool commandsEnabled_ = true;
};

#include "app/WatchListPanel.h"

#include <QIcon>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <algorithm>

#include "app/TablePanel.h"
#include "app/TracePanel.h"
#include "common/WindowLook.h"

namespace {

const QColor kUpColor(90, 200, 110);
const QColor kDownColor(235, 90, 80);
// The side of a line's colour swatch beside its address, the size of a small icon.
constexpr int kSwatchSize = 16;

QString StateText(const TWatchedAddress &address) {
    if (!address.Failure.isEmpty()) {
        return QStringLiteral("error");
    }
    return WatchStateName(address.State);
}

}  // namespace

TWatchListModel::TWatchListModel(QObject *parent) : QAbstractTableModel(parent) {}

QIcon TWatchListModel::Swatch(const QColor &color) const {
    auto known = swatches_.find(color.rgba());
    if (known == swatches_.end()) {
        QPixmap pixmap(kSwatchSize, kSwatchSize);
        pixmap.fill(color);
        known = swatches_.insert(color.rgba(), QIcon(pixmap));
    }
    return *known;
}

QString TWatchListModel::NetworkOf(const QString &resolved) const {
    if (resolved.isEmpty()) {
        return QString();
    }
    auto known = networks_.find(resolved);
    if (known == networks_.end()) {
        known = networks_.insert(resolved, TTraceModel::NetworkText({resolved}));
    }
    return *known;
}

void TWatchListModel::Show(const TListWatch *watch, const QDateTime &started) {
    beginResetModel();
    watch_ = watch;
    networks_.clear();
    started_ = started;
    now_ = 0;
    endResetModel();
}

void TWatchListModel::Refresh(qint64 now) {
    now_ = now;
    if (rowCount() > 0) {
        // Every figure may have changed; views read them again, and a sorting proxy sorts anew.
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }
}

QString TWatchListModel::AddressOf(int row) const {
    return watch_ != nullptr && row >= 0 && row < watch_->Count() ? watch_->At(row).Address
                                                                  : QString();
}

int TWatchListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() || watch_ == nullptr ? 0 : watch_->Count();
}

int TWatchListModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : LastChange + 1;
}

QVariant TWatchListModel::Display(const TWatchedAddress &address, int column) const {
    const TPingFigures &f = address.Figures;
    const bool replied = f.PacketsReceived > 0;
    switch (column) {
        case Address:
            return address.Address;
        case Resolved:
            return f.ReplyAddress;
        case Network:
            return NetworkOf(f.ReplyAddress);
        case State:
            return StateText(address);
        case Sent:
            return f.Sent + address.InFlight;
        case Loss:
            return QStringLiteral("%1%").arg(f.LossPercent());
        case Last:
            if (f.Sent == 0) {
                return QString();
            }
            return f.Fine.Last ? TripText(*f.Fine.Last) : QStringLiteral("lost");
        case Average:
            return replied ? TripText(f.FineAverage()) : QStringLiteral("-");
        case Jitter:
            return f.PacketsReceived > 1 ? TripText(f.FineJitter()) : QStringLiteral("-");
        case Outage: {
            const qint64 outage = address.CurrentOutage(now_);
            return outage > 0 ? WatchDurationText(outage) : QString();
        }
        case Outages:
            return address.Outages;
        case LastChange:
            return address.LastChange < 0
                       ? QString()
                       : started_.addMSecs(address.LastChange).toString(QStringLiteral("HH:mm:ss"));
        default:
            return QVariant();
    }
}

QVariant TWatchListModel::SortKey(const TWatchedAddress &address, int column) const {
    const TPingFigures &f = address.Figures;
    // Addresses without a figure sort after those with one.
    constexpr double kNone = 1e18;
    switch (column) {
        case State:
            return static_cast<int>(address.State);
        case Sent:
            return f.Sent + address.InFlight;
        case Loss:
            return f.Sent > 0 ? static_cast<double>(f.Lost()) / f.Sent : -1.0;
        case Last:
            return f.Fine.Last ? *f.Fine.Last : kNone;
        case Average:
            return f.PacketsReceived > 0 ? f.FineAverage() : kNone;
        case Jitter:
            return f.PacketsReceived > 1 ? f.FineJitter() : kNone;
        case Outage:
            return address.CurrentOutage(now_);
        case Outages:
            return address.Outages;
        case LastChange:
            return address.LastChange;
        default:
            return Display(address, column);
    }
}

QVariant TWatchListModel::data(const QModelIndex &index, int role) const {
    if (watch_ == nullptr || !index.isValid() || index.row() >= watch_->Count()) {
        return QVariant();
    }
    const TWatchedAddress &address = watch_->At(index.row());
    switch (role) {
        case Qt::DisplayRole:
            return Display(address, index.column());
        case kSortRole:
            return SortKey(address, index.column());
        case Qt::TextAlignmentRole: {
            const int column = index.column();
            const bool text =
                column == Address || column == Resolved || column == Network || column == State;
            return QVariant::fromValue(Qt::AlignVCenter | (text ? Qt::AlignLeft : Qt::AlignRight));
        }
        case Qt::ForegroundRole:
            if (index.column() == State) {
                if (address.State == TWatchState::Up && address.Failure.isEmpty()) {
                    return kUpColor;
                }
                if (address.State == TWatchState::Down || !address.Failure.isEmpty()) {
                    return kDownColor;
                }
            }
            return QVariant();
        case Qt::DecorationRole:
            if (index.column() == Address && lineColors_.contains(index.row())) {
                return Swatch(lineColors_.value(index.row()));
            }
            return QVariant();
        case Qt::ToolTipRole:
            if (index.column() == Network && !address.Figures.ReplyAddress.isEmpty()) {
                return TTraceModel::NetworkDetails({address.Figures.ReplyAddress});
            }
            return address.Failure.isEmpty() ? QVariant() : QVariant(address.Failure);
        default:
            return QVariant();
    }
}

QVariant TWatchListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const char *const kTitles[] = {"Address", "Resolved", "Network", "State",
                                          "Sent",    "Loss",     "Last",    "Avg",
                                          "Jitter",  "Outage",   "Outages", "Changed"};
    return section >= 0 && section <= LastChange ? QString::fromLatin1(kTitles[section])
                                                 : QVariant();
}

TWatchListPanel::TWatchListPanel(QWidget *parent) : QFrame(parent) {
    setObjectName(QStringLiteral("WatchListPanel"));
    model_ = new TWatchListModel(this);
    sorted_ = new QSortFilterProxyModel(this);
    sorted_->setSourceModel(model_);
    sorted_->setSortRole(TWatchListModel::kSortRole);
    // Rows move as their figures change only when the user sorted by a column; unsorted they
    // stay in list order.
    sorted_->setDynamicSortFilter(true);
    const TTablePanelParts parts =
        BuildTablePanel(this, QStringLiteral("WatchListHeading"), QStringLiteral("Watch"),
                        QStringLiteral("WatchListTable"), sorted_,
                        {140, 110, 110, 56, 50, 46, 56, 56, 56, 64, 56, 64},
                        TWatchListModel::Address, QAbstractItemView::ExtendedSelection);
    heading_ = parts.Heading;
    table_ = parts.Table;
    table_->setSortingEnabled(true);
    table_->sortByColumn(-1, Qt::AscendingOrder);

    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { emit RowsChosen(); });
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { emit RowsChosen(); });
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        const QString address = model_->AddressOf(sorted_->mapToSource(index).row());
        if (commandsEnabled_ && !address.isEmpty()) {
            emit CommandRequested(TCommand::Ping, address);
        }
    });
    connect(table_, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        const QModelIndex index = table_->indexAt(at);
        const QString address =
            index.isValid() ? model_->AddressOf(sorted_->mapToSource(index).row()) : QString();
        if (address.isEmpty()) {
            return;
        }
        QMenu menu(this);
        const struct {
            TCommand Command;
            QString Caption;
        } entries[] = {
            {TCommand::Ping, QStringLiteral("Ping %1").arg(address)},
            {TCommand::Trace, QStringLiteral("Trace route to %1").arg(address)},
            {TCommand::Whois, QStringLiteral("WHOIS of %1 ...").arg(address)},
            {TCommand::Locate, QStringLiteral("Locate %1 on the map ...").arg(address)},
        };
        for (const auto &entry : entries) {
            QAction *action =
                menu.addAction(entry.Caption, this, [this, command = entry.Command, address] {
                    emit CommandRequested(command, address);
                });
            action->setEnabled(commandsEnabled_);
        }
        menu.exec(table_->viewport()->mapToGlobal(at));
    });
}

void TWatchListPanel::Show(const TListWatch *watch, const QDateTime &started) {
    model_->Show(watch, started);
}

void TWatchListPanel::Refresh(const QString &heading, qint64 now) {
    heading_->setText(heading);
    if (sorted_->sortColumn() >= 0) {
        model_->Refresh(now);
        return;
    }
    // Unsorted, the rows stay where they are: the cells in sight are drawn again with the
    // figures of now, without the proxy going over a thousand rows that are not.
    model_->SetNow(now);
    table_->viewport()->update();
}

void TWatchListPanel::SetLineColors(const QHash<int, QColor> &colors) {
    model_->SetLineColors(colors);
}

QList<int> TWatchListPanel::ChosenRows() const {
    QList<int> rows;
    for (const QModelIndex &index : table_->selectionModel()->selectedRows()) {
        rows << sorted_->mapToSource(index).row();
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

int TWatchListPanel::FollowedRow() const {
    const QModelIndex current = table_->currentIndex();
    if (current.isValid()) {
        return sorted_->mapToSource(current).row();
    }
    return model_->rowCount() > 0 ? 0 : -1;
}

#include "app/TracePanel.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTableView>

#include "app/TablePanel.h"
#include "common/WindowLook.h"
#include "lookup/LocationDatabase.h"

namespace {

// The hop's networks from the offline location database, each once, in the order of its
// addresses (a hop with several addresses can lie in several networks).
QStringList HopLocations(const QStringList &addresses, QString (*text)(const TNetworkLocation &)) {
    QStringList texts;
    for (const QString &address : addresses) {
        const QString shown = text(LookUpNetwork(address));
        if (!shown.isEmpty() && !texts.contains(shown)) {
            texts << shown;
        }
    }
    return texts;
}

// "NL Netherlands, 193.0.0.0/21": where the hop's network is.
QString LocationDetails(const TNetworkLocation &location) {
    if (!location.Found()) {
        return QString();
    }
    QStringList parts;
    if (!location.CountryCode.isEmpty()) {
        parts << (location.CountryCode + QLatin1Char(' ') + location.CountryName).trimmed();
    }
    parts << location.Network;
    return parts.join(QStringLiteral(", "));
}

}  // namespace

QString TTraceModel::NetworkText(const QStringList &addresses) {
    return HopLocations(addresses, AsText).join(QStringLiteral(", "));
}

QString TTraceModel::NetworkDetails(const QStringList &addresses) {
    return HopLocations(addresses, LocationDetails).join(QLatin1Char('\n'));
}

TTraceModel::TTraceModel(QObject *parent) : QAbstractTableModel(parent) {}

void TTraceModel::Show(const TTraceHops *hops) {
    beginResetModel();
    hops_ = hops;
    rows_ = hops_ != nullptr ? hops_->Rows() : 0;
    endResetModel();
}

void TTraceModel::Refresh() {
    const int count = hops_ != nullptr ? hops_->Rows() : 0;
    if (count > rows_) {
        beginInsertRows(QModelIndex(), rows_, count - 1);
        rows_ = count;
        endInsertRows();
    } else if (count < rows_) {
        beginRemoveRows(QModelIndex(), count, rows_ - 1);
        rows_ = count;
        endRemoveRows();
    }
    if (rows_ > 0) {
        emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1));
    }
}

QString TTraceModel::AddressOf(int ttl) const {
    if (hops_ == nullptr || ttl < 1 || ttl > rows_) {
        return QString();
    }
    return hops_->Hop(ttl).Addresses.value(0);
}

int TTraceModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : rows_;
}

int TTraceModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : Jitter + 1;
}

QVariant TTraceModel::data(const QModelIndex &index, int role) const {
    if (hops_ == nullptr || !index.isValid() || index.row() >= rows_) {
        return QVariant();
    }
    if (role == Qt::TextAlignmentRole) {
        const bool text =
            index.column() == Address || index.column() == Name || index.column() == Network;
        return QVariant::fromValue(Qt::AlignVCenter | (text ? Qt::AlignLeft : Qt::AlignRight));
    }
    if (role == Qt::ToolTipRole && index.column() == Network) {
        return NetworkDetails(hops_->Hop(index.row() + 1).Addresses);
    }
    if (role != Qt::DisplayRole) {
        return QVariant();
    }
    const int ttl = index.row() + 1;
    const TTraceHop &hop = hops_->Hop(ttl);
    const TPingFigures &f = hop.Figures;
    // The silent hops at the end of a route not known yet share one row.
    const int last = hops_->RowEnd(ttl);
    switch (index.column()) {
        case Hop:
            return last == ttl ? QVariant(ttl)
                               : QVariant(QStringLiteral("%1-%2").arg(ttl).arg(last));
        case Address: {
            QString text = hop.Addresses.isEmpty() ? QStringLiteral("???")
                                                   : hop.Addresses.join(QStringLiteral(", "));
            if (const QString status = HopStatusText(hop); !status.isEmpty()) {
                text += QStringLiteral("  ") + status;
            }
            return text;
        }
        case Name: {
            if (last != ttl) {
                return QStringLiteral("no answer");
            }
            QStringList names = hop.Names;
            names.removeAll(QString());
            return names.join(QStringLiteral(", "));
        }
        case Network:
            return NetworkText(hop.Addresses);
        case Sent:
            return f.Sent + hop.InFlight;
        case Loss:
            return QStringLiteral("%1%").arg(f.LossPercent());
        case Last:
            return HopTripTexts(f).Last;
        case Average:
            return HopTripTexts(f).Average;
        case Best:
            return HopTripTexts(f).Best;
        case Worst:
            return HopTripTexts(f).Worst;
        case Jitter:
            return HopTripTexts(f).Jitter;
        default:
            return QVariant();
    }
}

QVariant TTraceModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const char *const kTitles[] = {"Hop",  "Address", "Name", "Network", "Sent",  "Loss",
                                          "Last", "Avg",     "Best", "Worst",   "Jitter"};
    return section >= 0 && section <= Jitter ? QString::fromLatin1(kTitles[section]) : QVariant();
}

TTracePanel::TTracePanel(QWidget *parent) : QFrame(parent) {
    setObjectName(QStringLiteral("TracePanel"));
    model_ = new TTraceModel(this);
    const TTablePanelParts parts = BuildTablePanel(
        this, QStringLiteral("TraceHeading"), QStringLiteral("Route"), QStringLiteral("TraceTable"),
        model_, {34, 200, 160, 90, 46, 46, 56, 56, 56, 56, 56}, TTraceModel::Address,
        QAbstractItemView::SingleSelection);
    heading_ = parts.Heading;
    table_ = parts.Table;

    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        const QString address = model_->AddressOf(index.row() + 1);
        if (!address.isEmpty()) {
            emit AddressActivated(address);
        }
    });
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                emit HopChosen(current.isValid() ? current.row() + 1 : 0);
            });
    connect(table_, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        if (model_->rowCount() == 0) {
            return;
        }
        const QModelIndex index = table_->indexAt(at);
        const QString address = index.isValid() ? model_->AddressOf(index.row() + 1) : QString();
        QMenu menu(this);
        if (!address.isEmpty()) {
            menu.addAction(QStringLiteral("Ping %1").arg(address), this,
                           [this, address] { emit AddressActivated(address); });
            menu.addAction(QStringLiteral("WHOIS of %1 ...").arg(address), this,
                           [this, address] { emit WhoisRequested(address); });
            menu.addSeparator();
        }
        menu.addAction(QStringLiteral("Show route on map ..."), this,
                       [this] { emit RouteMapRequested(); });
        for (QAction *action : menu.actions()) {
            action->setEnabled(commandsEnabled_);
        }
        menu.exec(table_->viewport()->mapToGlobal(at));
    });
}

void TTracePanel::Show(const TTraceHops *hops) {
    model_->Show(hops);
}

void TTracePanel::Refresh(const QString &heading) {
    heading_->setText(heading);
    model_->Refresh();
}

int TTracePanel::ChosenHop() const {
    const QModelIndex current = table_->currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

#include "settings/ColorSelector.h"

#include <QColorDialog>
#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace {

QIcon ColorSwatch(TColor color) {
    QPixmap pixmap(16, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(0x20, 0x20, 0x20));
    painter.setBrush(ToQColor(color));
    painter.drawRect(0, 0, 15, 11);
    return QIcon(pixmap);
}

// "clMoneyGreen" -> "Money Green".
QString DisplayName(const char *tableName) {
    const QString name = QString::fromLatin1(tableName).mid(2);
    QString shown;
    for (int i = 0; i < name.size(); ++i) {
        if (i > 0 && name.at(i).isUpper()) {
            shown += QLatin1Char(' ');
        }
        shown += name.at(i);
    }
    return shown;
}

}  // namespace

TColorSelector::TColorSelector(const QString &name, QWidget *parent) : QComboBox(parent) {
    setObjectName(name);
    setIconSize(QSize(16, 12));
    addItem(ColorSwatch(selected_), QStringLiteral("Custom..."), QVariant::fromValue(selected_));
    for (const TColorName &entry : FixedColorNames()) {
        addItem(ColorSwatch(entry.value), DisplayName(entry.name),
                QVariant::fromValue(entry.value));
    }
    connect(this, QOverload<int>::of(&QComboBox::activated), this, &TColorSelector::ItemActivated);
    ShowSelected();
}

void TColorSelector::SetSelectedColor(TColor color) {
    selected_ = color;
    ShowSelected();
    emit ColorChanged(color);
}

void TColorSelector::ShowSelected() {
    for (int i = 1; i < count(); ++i) {
        if (itemData(i).value<TColor>() == selected_) {
            setCurrentIndex(i);
            return;
        }
    }
    // Not a listed colour: the custom entry stands for it.
    setItemIcon(0, ColorSwatch(selected_));
    setItemData(0, QVariant::fromValue(selected_));
    setItemData(0, ColorToString(selected_), Qt::ToolTipRole);
    setCurrentIndex(0);
}

void TColorSelector::ItemActivated(int index) {
    if (index == 0) {
        const QColor chosen =
            QColorDialog::getColor(ToQColor(selected_), this, QStringLiteral("Color"));
        if (!chosen.isValid()) {
            ShowSelected();
            return;
        }
        SetSelectedColor(FromQColor(chosen));
    } else {
        SetSelectedColor(itemData(index).value<TColor>());
    }
    emit ColorSelected(selected_);
}

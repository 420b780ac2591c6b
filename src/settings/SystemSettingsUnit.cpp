#include "settings/SystemSettingsUnit.h"

#include <QLineEdit>

TSystemSettings *SystemSettings = nullptr;

TColorSelector::TColorSelector(const QString &name, QWidget *parent) : QWidget(parent) {
    setObjectName(name);
}

void TColorSelector::SetSelectedColor(TColor color) {
    selected_ = color;
    emit ColorChanged(color);
}

TSystemSettings::TSystemSettings(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SystemSettings"));
    auto edit = [this](const char *name, const char *text) {
        auto *e = new QLineEdit(QString::fromLatin1(text), this);
        e->setObjectName(QString::fromLatin1(name));
        e->setReadOnly(true);
        return e;
    };
    PingTimeOut = edit("PingTimeOut", "1000");
    PingBufferSize = edit("PingBufferSize", "32");
    PingTTL = edit("PingTTL", "128");
    PingRetries = edit("PingRetries", "4");
    PingGraphColor = new TColorSelector(QStringLiteral("PingGraphColor"), this);
    PingResultsColor = new TColorSelector(QStringLiteral("PingResultsColor"), this);
    PingDebugColor = new TColorSelector(QStringLiteral("PingDebugColor"), this);
    PingInfoColor = new TColorSelector(QStringLiteral("PingInfoColor"), this);
}

int TSystemSettings::Execute() { return exec(); }

void TSystemSettings::LoadPingSettingsActionExecute() {}
void TSystemSettings::SavePingSettingsActionExecute() {}
void TSystemSettings::SetStandardSettingsActionExecute() {}

QColor TSystemSettings::ProcessGraphSeriesColor() const {
    return ToQColor(PingGraphColor->SelectedColor());
}

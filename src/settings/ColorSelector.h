#pragma once

#include <QComboBox>
#include <QString>

#include "settings/ColorValues.h"

class QWidget;

// A colour selector of the settings window: a drop-down list of the named colours with a
// "Custom..." entry first that opens the colour dialog. A selected colour that is not in the
// list is shown by the custom entry.
class TColorSelector final : public QComboBox {
    Q_OBJECT

  public:
    explicit TColorSelector(const QString &name, QWidget *parent = nullptr);

    TColor SelectedColor() const { return selected_; }
    // Selects a colour without counting as the user's choice (ColorSelected is not emitted).
    void SetSelectedColor(TColor color);

  signals:
    // Any change of the selected colour, by the program or by the user.
    void ColorChanged(TColor color);
    // The user chose a colour from the list or in the colour dialog.
    void ColorSelected(TColor color);

  private:
    void ItemActivated(int index);
    void ShowSelected();

    TColor selected_ = clGray;
};

#pragma once

#include <QHash>
#include <QList>
#include <QSplitter>
#include <QSplitterHandle>

// A size bar between a panel that takes the remaining room (first widget) and a resizable
// panel (second widget). Dragging the bar resizes the panel; a click on the hot spot in the
// middle of the bar collapses the panel, and the next click restores its former size.
class TSizeSplitter final : public QSplitter {
    Q_OBJECT

  public:
    explicit TSizeSplitter(Qt::Orientation orientation, QWidget *parent = nullptr);

    // Collapses the resizable panel, or restores it when it is collapsed.
    void ToggleCollapsed();
    bool IsCollapsed() const;

    // Shows `panel`, a hidden widget of this splitter, `extent` pixels high (or wide), with the
    // room taken from the visible widgets before it in proportion to what each has beyond its
    // least size (its own minimum, or what SetLeastKept gave it when that is more), so that
    // they keep their proportions and none is squeezed below what it needs; the panel gets
    // less when they have no more to give. A panel opened before is closed first.
    void OpenPanel(QWidget *panel, int extent);
    // The least extent that `widget` keeps when OpenPanel takes room from it; dragging the size
    // bars is not limited by it.
    void SetLeastKept(QWidget *widget, int extent);
    // Hides `panel` and gives its room back to the widgets it was taken from, in the shares
    // they gave, so the others return to the proportions they had before it opened, also when
    // the window was resized in between.
    void ClosePanel(QWidget *panel);
    // The panel that OpenPanel showed and that is still open, or null.
    QWidget *OpenedPanel() const { return openPanel_; }

  protected:
    QSplitterHandle *createHandle() override;

  private:
    // The least extent QSplitter itself leaves `widget`.
    int LeastExtent(const QWidget *widget) const;
    void ApplySizes(const QList<int> &sizes);

    int restoreSize_ = 0;
    QHash<const QWidget *, int> leastKept_;
    QWidget *openPanel_ = nullptr;
    QList<int> given_;  // what each widget gave to the open panel, by index
};

// The size bar itself: draws a grip as hot spot and forwards clicks on it.
class TSizeBarHandle final : public QSplitterHandle {
    Q_OBJECT

  public:
    TSizeBarHandle(Qt::Orientation orientation, TSizeSplitter *parent);

    // The hot spot's rectangle in handle coordinates.
    QRect HotSpot() const;

  protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

  private:
    TSizeSplitter *splitter_;
    bool pressedOnHotSpot_ = false;
};

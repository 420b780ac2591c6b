#pragma once

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

  protected:
    QSplitterHandle *createHandle() override;

  private:
    int restoreSize_ = 0;
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

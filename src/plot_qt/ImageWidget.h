// The window's image control: a fixed-size widget showing an image that plots and strips draw on.
#pragma once

#include "plot/Plot1.h"
#include "plot_qt/RasterImage.h"

#include <QWidget>

#include <functional>

// Sizes and mouse positions are logical pixels; on a high-DPI screen the image holds the screen's
// device pixel ratio in physical pixels, so text and curves stay sharp. Drawing on image() makes
// the widget repaint. Mouse moves are reported with or without a button held.
class TImageWidget : public QWidget {
public:
    TImageWidget(int width, int height, QWidget* parent = nullptr);

    TImage& image() { return raster_; }
    TRasterImage& raster() { return raster_; }

    // Button pressed, shift state (keys and buttons held), position in logical pixels.
    std::function<void(TMouseButton, TShiftState, int x, int y)> onMouseDown;
    // Shift state (keys and buttons held), position in logical pixels.
    std::function<void(TShiftState, int x, int y)> onMouseMove;
    // The pointer left the widget (or the widget was hidden under it).
    std::function<void()> onMouseLeave;
    // Called after a change of the screen's pixel ratio replaced the image by a blank one.
    std::function<void()> onRedrawNeeded;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    TRasterImage raster_;
};

// Shift state of a mouse event: keyboard modifiers and the buttons held.
TShiftState shiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);

#include "plot_qt/ImageWidget.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>
#include <utility>

TImageWidget::TImageWidget(int width, int height, QWidget* parent)
    : QWidget(parent), raster_(width, height, devicePixelRatioF()) {
    setFixedSize(width, height);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    raster_.qtCanvas().onBeginPaint = [this] { update(); };
}

void TImageWidget::paintEvent(QPaintEvent*) {
    if (raster_.devicePixelRatio() != devicePixelRatioF()) {
        raster_.setDevicePixelRatio(devicePixelRatioF());
        if (onRedrawNeeded)
            onRedrawNeeded();
    }
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), raster_.image());
}

TShiftState shiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
    const std::pair<bool, TShiftState> held[] = {
        {modifiers.testFlag(Qt::ShiftModifier), ssShift},  {modifiers.testFlag(Qt::AltModifier), ssAlt},
        {modifiers.testFlag(Qt::ControlModifier), ssCtrl}, {buttons.testFlag(Qt::LeftButton), ssLeft},
        {buttons.testFlag(Qt::RightButton), ssRight},      {buttons.testFlag(Qt::MiddleButton), ssMiddle}};
    TShiftState s = 0;
    for (const auto& [down, state] : held)
        if (down)
            s |= state;
    return s;
}

void TImageWidget::mousePressEvent(QMouseEvent* event) {
    TMouseButton button;
    switch (event->button()) {
    case Qt::LeftButton:
        button = TMouseButton::mbLeft;
        break;
    case Qt::RightButton:
        button = TMouseButton::mbRight;
        break;
    case Qt::MiddleButton:
        button = TMouseButton::mbMiddle;
        break;
    default:
        return;
    }
    if (onMouseDown) {
        const QPointF p = event->position();
        onMouseDown(button, shiftStateOf(event->modifiers(), event->buttons()),
                    static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y())));
    }
}

void TImageWidget::mouseMoveEvent(QMouseEvent* event) {
    if (onMouseMove) {
        const QPointF p = event->position();
        onMouseMove(shiftStateOf(event->modifiers(), event->buttons()), static_cast<int>(std::floor(p.x())),
                    static_cast<int>(std::floor(p.y())));
    }
}

void TImageWidget::leaveEvent(QEvent*) {
    if (onMouseLeave)
        onMouseLeave();
}

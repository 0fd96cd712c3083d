#include "app/DialogFoot.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

void TFocusButton::paintEvent(QPaintEvent* e) {
    QPushButton::paintEvent(e);
    if (!hasFocus())
        return;
    QPainter painter(this);
    QPen pen(palette().color(QPalette::Highlight));
    pen.setStyle(Qt::DotLine);
    painter.setPen(pen);
    painter.drawRect(rect().adjusted(4, 4, -5, -5));
}

QHBoxLayout* dialogFoot(QLabel* status, std::initializer_list<QPushButton*> buttons) {
    auto* row = new QHBoxLayout;
    row->addWidget(status, 1);
    for (QPushButton* b : buttons)
        row->addWidget(b);
    return row;
}

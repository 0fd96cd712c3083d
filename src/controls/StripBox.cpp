#include "controls/StripBox.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

namespace {

// A transparent layer over the whole box that draws only the frame.
class TFocusFrame : public QWidget {
public:
    explicit TFocusFrame(QWidget* box) : QWidget(box) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        constexpr int width = 2;
        QPainter p(this);
        const QColor c = palette().color(QPalette::Highlight);
        const QRect r = rect();
        p.fillRect(0, 0, r.width(), width, c);
        p.fillRect(0, r.height() - width, r.width(), width, c);
        p.fillRect(0, 0, width, r.height(), c);
        p.fillRect(r.width() - width, 0, width, r.height(), c);
    }
};

} // namespace

TStripBox::TStripBox(QWidget* parent, int x, int y, int w, int h, QWidget* image)
    : QScrollArea(parent), focusFrame(new TFocusFrame(this)) {
    setGeometry(x, y, w, h);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setWidgetResizable(false);
    setWidget(image);
    focusFrame->setGeometry(rect());
    focusFrame->hide();
}

void TStripBox::keyPressEvent(QKeyEvent* e) {
    QScrollBar* bar = horizontalScrollBar();
    if (e->modifiers() == Qt::NoModifier && (e->key() == Qt::Key_Home || e->key() == Qt::Key_End)) {
        bar->setValue(e->key() == Qt::Key_Home ? bar->minimum() : bar->maximum());
        e->accept();
        return;
    }
    QScrollArea::keyPressEvent(e);
}

void TStripBox::focusInEvent(QFocusEvent* e) {
    QScrollArea::focusInEvent(e);
    focusFrame->raise();
    focusFrame->show();
}

void TStripBox::focusOutEvent(QFocusEvent* e) {
    QScrollArea::focusOutEvent(e);
    focusFrame->hide();
}

void TStripBox::resizeEvent(QResizeEvent* e) {
    QScrollArea::resizeEvent(e);
    focusFrame->setGeometry(rect());
}

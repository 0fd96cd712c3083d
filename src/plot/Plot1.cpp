#include "plot/Plot1.h"

TPlot1::TPlot1(int logicalWidth, int logicalHeight)
    : logicalWidth(logicalWidth), logicalHeight(logicalHeight), plotLeft(0.1 * logicalWidth),
      plotTop(0.1 * logicalHeight), plotWidth(0.8 * logicalWidth), plotHeight(0.8 * logicalHeight) {}

void TPlot1::mouseMove(TShiftState shift, int x, int y, TImage& image, std::string& /*panel*/) {
    if (shift & ssLeft) {
        // A plot that was never drawn has no size yet: it neither moves its legend nor draws,
        // as its mouseDown ignores the press.
        if (pixelWidth > 0 && pixelHeight > 0 && 0 <= x && x <= pixelWidth && 0 <= y && y <= pixelHeight) {
            legendAuto = false;
            legend.left = x / (pixelWidth + 1e-32) + dragOffsetX;
            legend.top = y / (pixelHeight + 1e-32) + dragOffsetY;
            drawToImage(image, -1, -1, -1, -1);
        }
        return;
    }
    cursorX = x / (pixelWidth + 1e-32);
    cursorY = y / (pixelHeight + 1e-32);
}

void TPlot1::mouseDown(void*, std::intptr_t, TMouseButton, TShiftState, int, int, TImage&) {}

void TPlot1::drawToBitmap(TImage& bitmap) {
    setBitmap(bitmap);
    draw();
}

void TPlot1::drawToImage(TImage& image, int width, int height, int originX, int originY) {
    setImageArea(image, width, height, originX, originY);
    draw();
}

void TPlot1::drawLegend() {}

void TPlot1::setImage(TImage& image) {
    attach(image, -1, -1, -1, -1, 14);
}

void TPlot1::setImageArea(TImage& image, int width, int height, int originX, int originY) {
    attach(image, width, height, originX, originY, 20);
}

void TPlot1::setBitmap(TImage& bitmap) {
    attach(bitmap, -1, -1, -1, -1, 20);
}

void TPlot1::draw() {}

void TPlot1::attach(TImage& image, int width, int height, int originX, int originY, int fontSize) {
    canvas = &image.canvas();
    if (width == -1) {
        pixelWidth = image.width();
        pixelHeight = image.height();
    } else {
        pixelWidth = width;
        pixelHeight = height;
    }
    scaleX = pixelWidth / logicalWidth;
    scaleY = pixelHeight / logicalHeight;

    TFont font = canvas->font();
    font.name = "Arial";
    font.size = fontSize;
    canvas->setFont(font);

    const int windowWidth = static_cast<int>(logicalWidth);
    const int windowHeight = static_cast<int>(logicalHeight);
    canvas->setMapping(windowWidth, windowHeight, pixelWidth, pixelHeight);
    if (width != -1)
        canvas->setViewportOrigin(originX, originY);

    TPen pen = canvas->pen();
    pen.color = 0xFFFFFF;
    canvas->setPen(pen);
    canvas->rectangle(0, 0, windowWidth, windowHeight);
    pen.color = 0x000000;
    canvas->setPen(pen);
}

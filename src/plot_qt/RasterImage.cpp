#include "plot_qt/RasterImage.h"

#include <QSaveFile>

#include <algorithm>
#include <cmath>

TRasterImage::TRasterImage(int width, int height, double devicePixelRatio)
    : width_(std::max(0, width)), height_(std::max(0, height)), canvas_(&image_) {
    setDevicePixelRatio(devicePixelRatio);
}

const QImage& TRasterImage::image() {
    canvas_.end();
    return image_;
}

void TRasterImage::setDevicePixelRatio(double devicePixelRatio) {
    const double ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    canvas_.end();
    image_ = QImage(static_cast<int>(std::ceil(width_ * ratio)), static_cast<int>(std::ceil(height_ * ratio)),
                    QImage::Format_RGB32);
    image_.setDevicePixelRatio(ratio);
    image_.fill(Qt::white);
    canvas_.setTarget(&image_);
}

bool TRasterImage::savePng(const std::string& path, std::string* error) {
    canvas_.end();
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString().toStdString();
        return false;
    }
    if (!image_.save(&file, "PNG")) {
        file.cancelWriting();
        if (error)
            *error = "the PNG could not be encoded";
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString().toStdString();
        return false;
    }
    return true;
}

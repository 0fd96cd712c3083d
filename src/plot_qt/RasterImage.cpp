#include "plot_qt/RasterImage.h"

#include "io/SafeWriter.h"

#include <QBuffer>
#include <QByteArray>

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
    ++changes_;
    image_ = QImage(static_cast<int>(std::ceil(width_ * ratio)), static_cast<int>(std::ceil(height_ * ratio)),
                    QImage::Format_RGB32);
    image_.setDevicePixelRatio(ratio);
    image_.fill(Qt::white);
    canvas_.setTarget(&image_);
}

bool TRasterImage::savePng(const std::string& path, std::string* error) {
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image().save(&buffer, "PNG")) {
        if (error)
            *error = "Cannot write \"" + path + "\": the PNG could not be encoded";
        return false;
    }
    const TFileResult r =
        writeFileSafely(path, std::string_view(png.constData(), static_cast<std::size_t>(png.size())));
    if (error)
        *error = r.message;
    return r.ok;
}

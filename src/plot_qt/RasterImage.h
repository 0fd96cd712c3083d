// An image in memory to draw plots and strips on, usable without a window (offscreen).
#pragma once

#include "plot/Image.h"
#include "plot_qt/QtCanvas.h"

#include <QImage>

#include <string>

// A width x height white image (logical pixels). With a device pixel ratio r it holds
// (r * width) x (r * height) physical pixels and draws everything at that resolution.
class TRasterImage : public TImage {
public:
    TRasterImage(int width, int height, double devicePixelRatio = 1.0);

    int width() const override { return width_; }
    int height() const override { return height_; }
    TCanvas& canvas() override {
        ++changes_;
        return canvas_;
    }
    TQtCanvas& qtCanvas() {
        ++changes_;
        return canvas_;
    }
    std::uint64_t changeCount() const override { return changes_; }

    // The pixels drawn so far (painting is ended first).
    const QImage& image();
    // Replaces the pixels by a white image of the same logical size at another ratio.
    void setDevicePixelRatio(double devicePixelRatio);
    double devicePixelRatio() const { return image_.devicePixelRatio(); }

    // Writes the image as PNG through writeFileSafely: the file is replaced only when it was
    // written completely, a write-protected file is refused, and on failure the old file stays
    // and error (if given) names the file and the reason.
    bool savePng(const std::string& path, std::string* error = nullptr);

private:
    int width_;
    int height_;
    QImage image_;
    TQtCanvas canvas_;
    std::uint64_t changes_ = 1;
};

#include "app/picture_file.h"

#include <QFile>
#include <QImage>
#include <QSaveFile>

#include "app/trace_window.h"

// The command line's PNG writer lives in cli/, beside this layer rather than
// below it; until it moves down, Qt's PNG encoder writes the studio's pictures
// under the same contract.
bool write_png_picture(const std::string& path, int width, int height,
                       const std::vector<uint32_t>& pixels, std::string& error) {
    const QString name = QFile::decodeName(path.c_str());
    if (width <= 0 || height <= 0 ||
        pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
        error = path + ": there is no picture to write";
        return false;
    }
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = colorref_to_rgb(pixels[static_cast<size_t>(y) * width + x]);
    }
    // Written beside the target and renamed over it when complete.
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly)) {
        error = path + ": " + file.errorString().toStdString();
        return false;
    }
    if (!image.convertToFormat(QImage::Format_RGB888).save(&file, "PNG")) {
        error =
            path + ": " +
            (file.error() != QFileDevice::NoError ? file.errorString().toStdString()
                                                  : std::string("the PNG could not be encoded"));
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = path + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}

// Figures of choosing a picture: loading a file and painting the preview from it, for the built-in
// photo, a large camera photo and the two metafile formats (these include starting the helper).
#include "bench.h"
#include "pictures/metafileloader.h"
#include "pictures/painting.h"
#include "pictures/selection.h"
#include "platform/picturebox.h"
#include "platform/services.h"
#include "tests/pictures/metafiles.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdio>

namespace {

QString write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
    }
    return f.fileName();
}

// A photo-like picture: smooth gradients with fine detail, so the encoder works as on a real photo.
QByteArray cameraJpeg(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, width, height);
    g.setColorAt(0, QColor(30, 90, 160));
    g.setColorAt(1, QColor(220, 180, 90));
    p.fillRect(image.rect(), g);
    p.setPen(QColor(250, 250, 250, 90));
    for (int x = 0; x < width; x += 7) {
        p.drawLine(x, 0, width - x, height);
    }
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

// A drawing of many filled cells, closer to a real metafile than two rectangles.
std::vector<fixtures::Fill> cells(int width, int height, int columns, int rows) {
    std::vector<fixtures::Fill> out;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            out.push_back({QRect(c * width / columns, r * height / rows, width / columns, height / rows),
                           QColor::fromHsv((c * 360 / columns + r * 13) % 360, 200, 230)});
        }
    }
    return out;
}

void loadAndPaint(const char* label, const QString& path, int runs) {
    QWidget window;
    platform::PictureBox preview(&window, platform::PictureBox::Border::Sunken3D, Qt::white);
    preview.setGeometryTwips(240, 240, 6015, 6015);
    bool failed = false;
    bench::measure(label, runs, [&] {
        const platform::Picture picture = pictures::loadPicture(path);
        failed = failed || picture.isEmpty();
        pictures::paintPreview(preview, picture);
    });
    if (failed) {
        bench::report(label, "FAILED: the picture did not load");
    }
}

} // namespace

ZORUPA_BENCH(picture_loading) {
    // The benchmark runs from its own folder; the helper is built beside the game.
    pictures::setMetafileHelper(platform::programFolder() + QStringLiteral("/../bin/zorupa-metafile"));
    QTemporaryDir dir;
    QFile builtin(QStringLiteral(":/assets/builtin.jpg"));
    builtin.open(QIODevice::ReadOnly);
    const QString photo = write(dir, QStringLiteral("builtin.jpg"), builtin.readAll());
    const QString camera = write(dir, QStringLiteral("camera.jpg"), cameraJpeg(6000, 4000));
    const QString wmf =
        write(dir, QStringLiteral("drawing.wmf"), fixtures::wmf(4000, 3000, 1000, cells(4000, 3000, 20, 15)));
    const QString emf = write(dir, QStringLiteral("drawing.emf"),
                              fixtures::emf(1600, 1200, 16000, 12000, cells(1600, 1200, 20, 15)));
    loadAndPaint("load + preview, 712x1044 JPEG (target 15 ms)", photo, 30);
    loadAndPaint("load + preview, 6000x4000 JPEG (target 400 ms)", camera, 10);
    loadAndPaint("load + preview, WMF 300 cells (target 150 ms)", wmf, 15);
    loadAndPaint("load + preview, EMF 300 cells (target 150 ms)", emf, 15);
}

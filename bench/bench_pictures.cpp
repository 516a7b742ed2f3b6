// Figures of choosing a picture: loading a file and painting the preview from it, for the built-in
// photo, a large camera photo and the two metafile formats (these include starting the helper).
#include "application.h"
#include "bench.h"
#include "pictures/decoderhelper.h"
#include "pictures/painting.h"
#include "pictures/selection.h"
#include "platform/picturebox.h"
#include "platform/services.h"
#include "ranking/module1.h"
#include "tests/pictures/metafiles.h"
#include "ufmain.h"

#include <QApplication>
#include <QBuffer>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <libheif/heif.h>
#include <sys/resource.h>

namespace {

QString write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
    }
    return f.fileName();
}

// A photo-like picture: smooth gradients with fine detail, so the encoder works as on a real photo.
QImage cameraPicture(int width, int height) {
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
    return image;
}

QByteArray jpegOf(const QImage& image, bool progressive) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return bytes;
}

QByteArray cameraJpeg(int width, int height) {
    return jpegOf(cameraPicture(width, height), false);
}

// As a web image or an exported photo: progressive, with a sensor's grain, 13 MB at 8000 x 6000.
QByteArray progressivePhotoJpeg(int width, int height) {
    QImage image = cameraPicture(width, height);
    quint32 state = 12345;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state ^= state << 13; // xorshift: fast and the same every run
            state ^= state >> 17;
            state ^= state << 5;
            const int grain = int(state % 13) - 6;
            const QRgb c = line[x];
            line[x] = qRgb(std::clamp(qRed(c) + grain, 0, 255), std::clamp(qGreen(c) + grain, 0, 255),
                           std::clamp(qBlue(c) + grain, 0, 255));
        }
    }
    return jpegOf(image, true);
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

// A drag over the window, or the file dialog, before the choice: time in which what starts ahead of it gets
// ready (a helper for the dialog; for a drag, the dragged file's whole decode).
constexpr int kChoosingMs = 300;

void loadAndPaint(const char* label, const QString& path, int runs,
                  int longSide = platform::kMaxDecodedSide) {
    QWidget window;
    platform::PictureBox preview(&window, platform::PictureBox::Border::Sunken3D, Qt::white);
    preview.setGeometryTwips(240, 240, 6015, 6015);
    bool failed = false;
    bench::measure(std::string(label) + " cold", runs, [&] {
        const platform::Picture picture = pictures::loadPicture(path, longSide);
        failed = failed || picture.isEmpty();
        pictures::paintPreview(preview, picture);
    });
    // The helper started as the choosing began: the figure from the choice to the painted preview.
    std::vector<double> ms;
    for (int run = 0; run <= runs; ++run) {
        pictures::prepareDecoder();
        QTest::qWait(kChoosingMs);
        QElapsedTimer clock;
        clock.start();
        const platform::Picture picture = pictures::loadPicture(path, longSide);
        failed = failed || picture.isEmpty();
        pictures::paintPreview(preview, picture);
        if (run > 0) { // the first warms up, as bench::measure's does
            ms.push_back(clock.nsecsElapsed() / 1e6);
        }
    }
    std::sort(ms.begin(), ms.end());
    char line[200];
    std::snprintf(line, sizeof line, "median %9.3f ms  (min %9.3f, max %9.3f)  [%d runs]", ms[ms.size() / 2],
                  ms.front(), ms.back(), runs);
    bench::report(std::string(label) + " prepared", line);
    if (failed) {
        bench::report(label, "FAILED: the picture did not load");
    }
}

} // namespace

ZORUPA_BENCH(picture_loading) {
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
    // As the game asks for it: no larger than its preview needs.
    loadAndPaint("load + preview at the preview's size, 712x1044 JPEG", photo, 30,
                 pictures::neededLongSide(1.0));
    loadAndPaint("load + preview, 6000x4000 JPEG (target 400 ms)", camera, 10);
    loadAndPaint("load + preview, WMF 300 cells (target 150 ms)", wmf, 15);
    loadAndPaint("load + preview, EMF 300 cells (target 150 ms)", emf, 15);
}

namespace {

long long statusKilobytes(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(int(std::strlen(field))).trimmed().split(' ').front().toLongLong();
        }
    }
    return -1;
}

// In a fresh process: the idle game, then a dropped photo up to its painted preview. Prints the time from
// the drop to the painted preview, the longest the window went without serving a 5 ms timer meanwhile, and
// the peak resident memory above the idle game's.
int bigPhotoChild(const char* path) {
    int argc = 1;
    char name[] = "zorupa-bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    setupApplication(app);
    ranking::Module1 ranking;
    UFMain window(ranking);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return 1;
    }
    QTest::qWait(300);
    const long long idle = statusKilobytes("VmRSS:");
    QMimeData drop;
    drop.setUrls({QUrl::fromLocalFile(QString::fromLocal8Bit(path))});
    if (qEnvironmentVariableIsSet("ZORUPA_BENCH_DRAG_FIRST")) {
        // The drag comes over the window, as the platform sends it, and moves to the drop a moment later.
        QDragEnterEvent enter(window.centralWidget()->geometry().center(), Qt::CopyAction, &drop,
                              Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.windowHandle(), &enter);
        QTest::qWait(kChoosingMs);
    }
    const qint64 before = window.currentPicture().image().cacheKey(); // the same file as the held one too
    QElapsedTimer gap;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { longestGap = std::max(longestGap, gap.restart()); });
    QElapsedTimer clock;
    const double cpuAtDrop = bench::cpuMs();
    clock.start();
    gap.start();
    ticker.start(5);
    window.Form_OLEDragDrop(&drop);
    while (window.currentPicture().image().cacheKey() == before && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    window.repaint(); // the preview on screen
    const double ms = clock.nsecsElapsed() / 1e6;
    ticker.stop();
    // CPU time of the whole process meanwhile, every thread's: unlike the wall time, barely moved by other
    // programs on a busy machine.
    // The decoder helper's own peak, for the formats it decodes: the largest child that has ended.
    // It is reaped off the game's threads once it has answered: waited for here, up to a few seconds.
    rusage children{};
    QElapsedTimer reaped;
    reaped.start();
    while (getrusage(RUSAGE_CHILDREN, &children) == 0 && children.ru_maxrss == 0 && reaped.elapsed() < 5000) {
        QThread::msleep(5);
    }
    // The helper's CPU time, every thread's, beside the process's own: together, the work of the decode.
    const double childrenCpuMs = (children.ru_utime.tv_sec + children.ru_stime.tv_sec) * 1e3 +
                                 (children.ru_utime.tv_usec + children.ru_stime.tv_usec) / 1e3;
    std::printf("%.1f %lld %lld %.1f %ld %.1f\n", ms, longestGap, (statusKilobytes("VmHWM:") - idle) / 1024,
                bench::cpuMs() - cpuAtDrop, children.ru_maxrss / 1024, childrenCpuMs);
    return 0;
}

const bool bigPhotoRegistered =
    (bench::addChild("big-photo", [] { return bigPhotoChild(qgetenv("ZORUPA_BENCH_PHOTO").constData()); }),
     true);

} // namespace

namespace {

// The drop of one photo on a fresh game, five times: the medians.
void dropOnTheGame(const std::string& label, const QString& photo, int targetMegabytes, int targetMs,
                   int targetStallMs, bool dragFirst) {
    std::vector<double> ms, gaps, megabytes, cpu, helper, helperCpu;
    for (int run = 0; run < 5; ++run) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZORUPA_BENCH_PHOTO"), photo);
        if (dragFirst) {
            env.insert(QStringLiteral("ZORUPA_BENCH_DRAG_FIRST"), QStringLiteral("1"));
        }
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {"--child", "big-photo"});
        child.waitForFinished(30000);
        const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split(' ');
        if (f.size() == 6) {
            ms.push_back(f[0].toDouble());
            gaps.push_back(f[1].toDouble());
            megabytes.push_back(f[2].toDouble());
            cpu.push_back(f[3].toDouble());
            helper.push_back(f[4].toDouble());
            helperCpu.push_back(f[5].toDouble());
        }
    }
    if (ms.empty()) {
        bench::report(label, "no figure: the child failed");
        return;
    }
    for (auto* v : {&ms, &gaps, &megabytes, &cpu, &helper, &helperCpu}) {
        std::sort(v->begin(), v->end());
    }
    char line[400];
    std::snprintf(
        line, sizeof line,
        "median %.1f ms to the painted preview (target %d, cpu %.1f ms, helper cpu %.1f ms), window "
        "answered within %.0f ms (target %d), peak +%.0f MB over idle (target %d), helper peak %.0f MB  "
        "[%zu runs]",
        ms[ms.size() / 2], targetMs, cpu[cpu.size() / 2], helperCpu[helperCpu.size() / 2],
        gaps[gaps.size() / 2], targetStallMs, megabytes[megabytes.size() / 2], targetMegabytes,
        helper[helper.size() / 2], ms.size());
    bench::report(label, line);
}

// Dropped with no drag seen before, and with the drag come over the window 300 ms before the drop.
void dropOnTheGame(const char* label, const QString& photo, int targetMegabytes, int targetMs = 100,
                   int targetStallMs = 100) {
    dropOnTheGame(std::string(label) + ", no drag before", photo, targetMegabytes, targetMs, targetStallMs,
                  false);
    dropOnTheGame(std::string(label) + ", drag seen 300 ms before", photo, targetMegabytes, targetMs,
                  targetStallMs, true);
}

} // namespace

ZORUPA_BENCH(small_photo_in_game) {
    QTemporaryDir dir;
    QFile builtin(QStringLiteral(":/assets/builtin.jpg"));
    builtin.open(QIODevice::ReadOnly);
    dropOnTheGame("712x1044 JPEG dropped on the game",
                  write(dir, QStringLiteral("photo.jpg"), builtin.readAll()), 10, 15, 20);
}

ZORUPA_BENCH(big_photo_in_game) {
    QTemporaryDir dir;
    dropOnTheGame("48 MP JPEG dropped on the game",
                  write(dir, QStringLiteral("camera48.jpg"), cameraJpeg(8000, 6000)), 60);
}

ZORUPA_BENCH(big_progressive_photo_in_game) {
    QTemporaryDir dir;
    dropOnTheGame("48 MP progressive JPEG (13 MB) dropped on the game",
                  write(dir, QStringLiteral("progressive48.jpg"), progressivePhotoJpeg(8000, 6000)), 40);
}

namespace {

// A 12-megapixel phone photo in a format the helper decodes, made by that format's own encoder when the
// machine has it (libheif-examples, libavif-bin, libjxl-tools).
void phonePhotoOnTheGame(const char* label, const char* suffix, const QString& encoder,
                         QStringList arguments) {
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("photo.png"));
    const QString out = dir.filePath(QStringLiteral("photo.") + QLatin1String(suffix));
    cameraPicture(4032, 3024).save(png);
    arguments.replaceInStrings(QStringLiteral("IN"), png);
    arguments.replaceInStrings(QStringLiteral("OUT"), out);
    QProcess encode;
    encode.start(encoder, arguments);
    if (!encode.waitForFinished(300000) || encode.exitCode() != 0 || !QFile::exists(out)) {
        bench::report(label, qPrintable(QStringLiteral("skipped: %1 is not installed").arg(encoder)));
        return;
    }
    dropOnTheGame(label, out, 150, 1000, 20);
}

// The medians of five runs of libheif's own tool decoding the whole file to a JPEG, the time a viewer of the
// format takes: wall time and CPU time. Negative when libheif-examples is not installed.
std::pair<double, double> heifConvertMs(const QString& heic) {
    QTemporaryDir dir;
    std::vector<double> ms, cpu;
    for (int run = 0; run < 5; ++run) {
        rusage before{}, after{};
        getrusage(RUSAGE_CHILDREN, &before);
        QProcess convert;
        QElapsedTimer clock;
        clock.start();
        convert.start(QStringLiteral("heif-convert"), {heic, dir.filePath(QStringLiteral("out.jpg"))});
        if (!convert.waitForFinished(60000) || convert.exitCode() != 0) {
            return {-1, -1};
        }
        ms.push_back(clock.nsecsElapsed() / 1e6);
        getrusage(RUSAGE_CHILDREN, &after);
        auto total = [](const rusage& r) {
            return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1e3 +
                   (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e3;
        };
        cpu.push_back(total(after) - total(before));
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    return {ms[ms.size() / 2], cpu[cpu.size() / 2]};
}

// A HEIC dropped on the game beside heif-convert of the same file, which it is to be no slower than.
void heicBesideHeifConvert(const char* label, const QString& heic) {
    const auto [reference, referenceCpu] = heifConvertMs(heic);
    char line[200];
    std::snprintf(line, sizeof line,
                  "heif-convert to JPEG: median %.1f ms (cpu %.1f ms); the game's target: no slower",
                  reference, referenceCpu);
    bench::report(label, line);
    dropOnTheGame(label, heic, 150, reference > 0 ? int(reference) : 1000, 20);
}

#if LIBHEIF_HAVE_VERSION(1, 18, 0)
// A 12-megapixel HEIC as phones write it: a grid of 8 x 6 tiles of 512 x 512, each coded on its own, the
// grid cropped to 4032 x 3024. libheif writes grids from version 1.18; heif-enc before it cannot.
QString gridHeic(const QTemporaryDir& dir) {
    constexpr int kWidth = 4032, kHeight = 3024, kTile = 512;
    const QImage picture = cameraPicture(kWidth, kHeight);
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image_handle* grid = nullptr;
    const QString path = dir.filePath(QStringLiteral("grid.heic"));
    bool ok =
        heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code == heif_error_Ok &&
        heif_encoder_set_lossy_quality(encoder, 80).code == heif_error_Ok &&
        heif_context_add_grid_image(context, kWidth, kHeight, (kWidth + kTile - 1) / kTile,
                                    (kHeight + kTile - 1) / kTile, nullptr, &grid)
                .code == heif_error_Ok;
    for (int ty = 0; ok && ty * kTile < kHeight; ++ty) {
        for (int tx = 0; ok && tx * kTile < kWidth; ++tx) {
            heif_image* tile = nullptr;
            ok = heif_image_create(kTile, kTile, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &tile)
                         .code == heif_error_Ok &&
                 heif_image_add_plane(tile, heif_channel_interleaved, kTile, kTile, 8).code == heif_error_Ok;
            int stride = 0;
            uint8_t* plane = ok ? heif_image_get_plane(tile, heif_channel_interleaved, &stride) : nullptr;
            for (int y = 0; plane != nullptr && y < kTile; ++y) {
                for (int x = 0; x < kTile; ++x) {
                    // The grid's last row and column reach past the picture: those pixels repeat its edge.
                    const QRgb c = picture.pixel(std::min(tx * kTile + x, kWidth - 1),
                                                 std::min(ty * kTile + y, kHeight - 1));
                    uint8_t* p = plane + std::ptrdiff_t(y) * stride + x * 3;
                    p[0] = uint8_t(qRed(c));
                    p[1] = uint8_t(qGreen(c));
                    p[2] = uint8_t(qBlue(c));
                }
            }
            ok = ok &&
                 heif_context_add_image_tile(context, grid, uint32_t(tx), uint32_t(ty), tile, encoder).code ==
                     heif_error_Ok;
            if (tile != nullptr) {
                heif_image_release(tile);
            }
        }
    }
    ok = ok && heif_context_write_to_file(context, QFile::encodeName(path).constData()).code == heif_error_Ok;
    if (grid != nullptr) {
        heif_image_handle_release(grid);
    }
    if (encoder != nullptr) {
        heif_encoder_release(encoder);
    }
    heif_context_free(context);
    return ok ? path : QString();
}
#endif

} // namespace

ZORUPA_BENCH(phone_grid_heic_in_game) {
    const char* label = "12 MP grid HEIC (8 x 6 tiles of 512 x 512) dropped on the game";
#if LIBHEIF_HAVE_VERSION(1, 18, 0)
    QTemporaryDir dir;
    const QString grid = gridHeic(dir);
    if (grid.isEmpty()) {
        bench::report(label, "FAILED: libheif did not write the grid");
        return;
    }
    heicBesideHeifConvert(label, grid);
#else
    bench::report(label, "skipped: libheif before 1.18 writes no grids");
#endif
    // What this release's heif-enc writes: the whole picture as one coded image.
    QTemporaryDir single;
    const QString png = single.filePath(QStringLiteral("photo.png"));
    const QString heic = single.filePath(QStringLiteral("photo.heic"));
    cameraPicture(4032, 3024).save(png);
    QProcess encode;
    encode.start(QStringLiteral("heif-enc"),
                 {QStringLiteral("-q"), QStringLiteral("80"), png, QStringLiteral("-o"), heic});
    if (!encode.waitForFinished(300000) || encode.exitCode() != 0) {
        bench::report("12 MP single-image HEIC", "skipped: heif-enc is not installed");
        return;
    }
    heicBesideHeifConvert("12 MP single-image HEIC (heif-enc) dropped on the game", heic);
}

ZORUPA_BENCH(phone_photos_in_game) {
    phonePhotoOnTheGame("12 MP HEIC dropped on the game", "heic", QStringLiteral("heif-enc"),
                        {QStringLiteral("-q"), QStringLiteral("80"), QStringLiteral("IN"),
                         QStringLiteral("-o"), QStringLiteral("OUT")});
    phonePhotoOnTheGame(
        "12 MP AVIF dropped on the game", "avif", QStringLiteral("avifenc"),
        {QStringLiteral("-s"), QStringLiteral("10"), QStringLiteral("IN"), QStringLiteral("OUT")});
    phonePhotoOnTheGame(
        "12 MP JPEG XL dropped on the game", "jxl", QStringLiteral("cjxl"),
        {QStringLiteral("-e"), QStringLiteral("3"), QStringLiteral("IN"), QStringLiteral("OUT")});
}

namespace {

// A phone's largest photo as its camera writes it: baseline, 4:2:0, quality 90, with a sensor's grain,
// written by libjpeg a row at a time so that the picture is never whole in memory. Empty on failure.
QString phoneJpeg(const QTemporaryDir& dir, const char* name, int width, int height) {
    const QString path = dir.filePath(QLatin1String(name));
    std::FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (out == nullptr) {
        return {};
    }
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(std::size_t(width) * 3);
    quint32 state = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state ^= state << 13; // xorshift: fast and the same every run
            state ^= state >> 17;
            state ^= state << 5;
            const int grain = int(state % 13) - 6;
            const int t = int((qint64(x) * 255 / width + qint64(y) * 255 / height) / 2);
            JSAMPLE* p = &row[std::size_t(x) * 3];
            p[0] = JSAMPLE(std::clamp(30 + t * 190 / 255 + grain, 0, 255));
            p[1] = JSAMPLE(std::clamp(90 + t * 90 / 255 + grain, 0, 255));
            p[2] = JSAMPLE(std::clamp(160 - t * 70 / 255 + grain, 0, 255));
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(out);
    return path;
}

// The medians of five runs of djpeg at 1/8 on the file, the reference a viewer reaches: wall time and CPU
// time (which a busy machine moves less); negative when libjpeg-turbo-progs is not installed.
std::pair<double, double> djpegEighthMs(const QString& path) {
    std::vector<double> ms, cpu;
    auto childrenCpuMs = [] {
        rusage r{};
        getrusage(RUSAGE_CHILDREN, &r);
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1e3 +
               (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e3;
    };
    for (int run = 0; run < 5; ++run) {
        QProcess djpeg;
        QElapsedTimer clock;
        const double cpuBefore = childrenCpuMs();
        clock.start();
        djpeg.start(QStringLiteral("djpeg"), {QStringLiteral("-scale"), QStringLiteral("1/8"),
                                              QStringLiteral("-outfile"), QStringLiteral("/dev/null"), path});
        if (!djpeg.waitForFinished(60000) || djpeg.exitCode() != 0) {
            return {-1, -1};
        }
        ms.push_back(clock.nsecsElapsed() / 1e6);
        cpu.push_back(childrenCpuMs() - cpuBefore);
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    return {ms[ms.size() / 2], cpu[cpu.size() / 2]};
}

void phoneJpegOnTheGame(const char* label, int width, int height) {
    QTemporaryDir dir;
    const QString path = phoneJpeg(dir, "phone.jpg", width, height);
    const auto [reference, referenceCpu] = djpegEighthMs(path);
    char line[200];
    std::snprintf(line, sizeof line,
                  "%.1f MB; djpeg -scale 1/8: median %.1f ms (cpu %.1f ms); the game's target: within 1.1 x",
                  QFileInfo(path).size() / 1e6, reference, referenceCpu);
    bench::report(label, line);
    dropOnTheGame(label, path, 60, reference > 0 ? int(reference * 1.1) : 1000);
}

} // namespace

ZORUPA_BENCH(phone_largest_jpegs_in_game) {
    phoneJpegOnTheGame("200 MP phone JPEG (16320 x 12240) dropped on the game", 16320, 12240);
    phoneJpegOnTheGame("108 MP phone JPEG (12000 x 9000) dropped on the game", 12000, 9000);
}

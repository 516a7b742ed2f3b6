// The picture loader on files of every format, on files that are not pictures or not files at all, on
// very large and absurd pictures, and the decoder helper when it fails in every way it can.
#include "decoder/format.h"
#include "metafiles.h"
#include "pictures/decoderhelper.h"
#include "pictures/iccprofile.h"
#include "pictures/selection.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtCore/qfloat16.h>
#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <tiffio.h>
#include <unistd.h>

namespace {
constexpr double kPixel = 2540.0 / 96.0; // HiMetric per pixel at 96 dpi

QImage redBlueHalves(int width, int height, QImage::Format format = QImage::Format_RGB32) {
    QImage image(width, height, format);
    image.fill(QColor(0, 0, 255));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width / 2; ++x) {
            image.setPixelColor(x, y, QColor(255, 0, 0));
        }
    }
    return image;
}

bool near(QColor a, QColor b, int tolerance = 40) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// The left quarter red and the right quarter blue, half-way down, as every fixture is drawn.
void verifyHalves(const platform::Picture& p) {
    QVERIFY(!p.isEmpty());
    const QImage& image = p.image();
    const int y = image.height() / 2;
    QVERIFY2(near(image.pixelColor(image.width() / 4, y), Qt::red), "left half not red");
    QVERIFY2(near(image.pixelColor(image.width() * 3 / 4, y), Qt::blue), "right half not blue");
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format)) {
        qFatal("cannot encode %s", format);
    }
    return bytes;
}

// PNG's chunk checksum, so an edited header is still a valid one.
quint32 crc32(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFFu;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray fixtureFile(const char* name) {
    QFile f(QStringLiteral(ZORUPA_PICTURE_FIXTURES "/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly)) {
        qFatal("missing fixture %s", name);
    }
    return f.readAll();
}

// An EXIF block's TIFF structure whose only entry is the orientation.
QByteArray exifWithOrientation(int orientation) {
    QByteArray tiff("MM\x00\x2A\x00\x00\x00\x08", 8);          // big-endian, first directory at 8
    tiff += QByteArray("\x00\x01", 2);                         // one entry
    tiff += QByteArray("\x01\x12\x00\x03\x00\x00\x00\x01", 8); // orientation, SHORT, one value
    tiff += char(0);
    tiff += char(orientation);
    tiff += QByteArray(2, '\0');
    tiff += QByteArray(4, '\0'); // no next directory
    return tiff;
}

// A JPEG with an EXIF block whose only entry is the orientation, placed right after the start marker.
QByteArray withExifOrientation(const QByteArray& jpeg, int orientation) {
    const QByteArray body = QByteArray("Exif\x00\x00", 6) + exifWithOrientation(orientation);
    const int length = int(body.size()) + 2;
    QByteArray segment("\xFF\xE1", 2);
    segment += char(length >> 8);
    segment += char(length & 0xFF);
    return jpeg.left(2) + segment + body + jpeg.mid(2);
}

// A TIFF written by libtiff of the picture's colours (and alpha, with `alpha`), in any of the layouts Qt's
// plugin refuses or draws wrong: 12 or 16-bit samples, floating-point ones, the colours in planes of their
// own, tiles. Floating-point samples hold linear light, or with a profile the values it describes; grey
// takes the green, and inks take the picture's red, green, blue and alpha as cyan, magenta, yellow and black.
struct TiffLayout {
    int bits = 8;
    bool alpha = false;
    bool planar = false;
    bool tiled = false;
    int orientation = 1;
    bool floating = false;
    bool grey = false;
    bool inks = false;
    QByteArray icc{};
};

// One row of samples, each a fraction of full scale, as the layout stores them: 12 bits packed from the most
// significant bit, 16 bits and floats in the machine's order (libtiff writes its own).
QByteArray packedRow(const QList<double>& samples, const TiffLayout& layout) {
    QByteArray out;
    quint32 bits = 0;
    int pending = 0;
    for (const double s : samples) {
        if (layout.floating && layout.bits == 32) {
            const float v = float(s);
            out += QByteArray(reinterpret_cast<const char*>(&v), 4);
        } else if (layout.floating) {
            const qfloat16 v{float(s)};
            out += QByteArray(reinterpret_cast<const char*>(&v), 2);
        } else if (layout.bits == 16) {
            const quint16 v = quint16(std::lround(s * 65535));
            out += QByteArray(reinterpret_cast<const char*>(&v), 2);
        } else {
            bits = bits << layout.bits | quint32(std::lround(s * ((1 << layout.bits) - 1)));
            for (pending += layout.bits; pending >= 8; pending -= 8) {
                out += char(bits >> (pending - 8));
            }
        }
    }
    if (pending > 0) {
        out += char(bits << (8 - pending));
    }
    return out;
}

double linearLight(quint8 v) {
    const double c = v / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

QByteArray tiffFile(const QTemporaryDir& dir, const QImage& picture, TiffLayout layout) {
    const QImage image = picture.convertToFormat(QImage::Format_RGBA8888);
    const QString path = dir.filePath(QStringLiteral("written.tiff"));
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    const int w = image.width(), h = image.height();
    const int colours = layout.grey ? 1 : layout.inks ? 4 : 3, samples = colours + (layout.alpha ? 1 : 0);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(w));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(h));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, uint16_t(samples));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, uint16_t(layout.bits));
    TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT,
                 uint16_t(layout.floating ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT));
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
                 uint16_t(layout.grey   ? PHOTOMETRIC_MINISBLACK
                          : layout.inks ? PHOTOMETRIC_SEPARATED
                                        : PHOTOMETRIC_RGB));
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
                 uint16_t(layout.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG));
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, uint16_t(layout.orientation));
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_ADOBE_DEFLATE));
    if (layout.alpha) {
        const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, uint16_t(1), extra);
    }
    if (!layout.icc.isEmpty()) {
        TIFFSetField(tiff, TIFFTAG_ICCPROFILE, uint32_t(layout.icc.size()), layout.icc.constData());
    }
    const int tile = layout.tiled ? 16 : 0;
    if (layout.tiled) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, uint32_t(tile));
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, uint32_t(tile));
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, uint32_t(h));
    }
    // A sample of the picture: its channel c, or (grey) its green, or its alpha after the colours.
    auto sample = [&](int x, int y, int c) {
        if (x >= w || y >= h) {
            return 0.0;
        }
        const quint8 v = image.constScanLine(y)[x * 4 + (c == colours ? 3 : layout.grey ? 1 : c)];
        const bool linear = layout.floating && layout.icc.isEmpty() && c < colours;
        return linear ? linearLight(v) : v / 255.0;
    };
    // Each plane (or the one interleaved plane) of a region, row after row.
    auto region = [&](int x0, int y0, int rw, int rh, int plane) {
        QByteArray out;
        for (int y = y0; y < y0 + rh; ++y) {
            QList<double> row;
            for (int x = x0; x < x0 + rw; ++x) {
                for (int c = 0; c < samples; ++c) {
                    if (!layout.planar || c == plane) {
                        row.append(sample(x, y, c));
                    }
                }
            }
            out += packedRow(row, layout);
        }
        return out;
    };
    for (int plane = 0; plane < (layout.planar ? samples : 1); ++plane) {
        if (layout.tiled) {
            for (int y = 0; y < h; y += tile) {
                for (int x = 0; x < w; x += tile) {
                    QByteArray data = region(x, y, tile, tile, plane);
                    TIFFWriteTile(tiff, data.data(), uint32_t(x), uint32_t(y), 0, uint16_t(plane));
                }
            }
        } else {
            QByteArray data = region(0, 0, w, h, plane);
            TIFFWriteEncodedStrip(tiff, TIFFComputeStrip(tiff, 0, uint16_t(plane)), data.data(), data.size());
        }
    }
    TIFFClose(tiff);
    return fileBytes(path);
}

// The ICC profile of a fixture TIFF.
QByteArray tiffIccProfile(const char* name) {
    const QByteArray path =
        QFile::encodeName(QStringLiteral(ZORUPA_PICTURE_FIXTURES "/") + QLatin1String(name));
    TIFF* tiff = TIFFOpen(path.constData(), "r");
    uint32_t size = 0;
    void* data = nullptr;
    QByteArray icc{};
    if (tiff != nullptr && TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &size, &data) == 1) {
        icc = QByteArray(static_cast<const char*>(data), qsizetype(size));
    }
    if (tiff != nullptr) {
        TIFFClose(tiff);
    }
    if (icc.isEmpty()) {
        qFatal("no profile in %s", name);
    }
    return icc;
}

QByteArray bigEndian32(quint32 v) {
    const char b[] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(b, 4);
}
QByteArray littleEndian32(quint32 v) {
    const char b[] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return QByteArray(b, 4);
}

// A PNG with an eXIf chunk, after its header, whose only entry is the orientation.
QByteArray pngWithOrientation(const QByteArray& png, int orientation) {
    const QByteArray body = "eXIf" + exifWithOrientation(orientation);
    const QByteArray chunk = bigEndian32(quint32(body.size() - 4)) + body + bigEndian32(crc32(body));
    constexpr int kAfterHeader = 8 + 25;
    return png.left(kAfterHeader) + chunk + png.mid(kAfterHeader);
}

// A HEIC fixture whose EXIF block's orientation, 1 as stored (big-endian), is set to another.
QByteArray heicWithExifOrientation(const char* name, int orientation) {
    QByteArray file = fixtureFile(name);
    const qsizetype at = file.indexOf(QByteArray("\x01\x12\x00\x03\x00\x00\x00\x01\x00\x01", 10));
    if (at < 0) {
        qFatal("no orientation in %s", name);
    }
    file[at + 9] = char(orientation);
    return file;
}

// The fixture with its irot property left in the file but given to no item: the picture's second item is
// associated with ispe, pixi and irot (the third to fifth properties); pixi takes irot's place.
QByteArray withTurnOfNoItem(QByteArray heic) {
    const qsizetype at = heic.indexOf(QByteArray("\x00\x02\x03\x03\x84\x85", 6));
    if (at < 0) {
        qFatal("no irot association in the fixture");
    }
    heic[at + 5] = '\x84';
    return heic;
}

// A PNG with a text chunk after its image data that claims far more bytes (512 MB) than the file has.
QByteArray pngWithRunawayText(const QByteArray& png) {
    const QByteArray end = png.right(12); // IEND
    return png.chopped(12) + bigEndian32(0x20000000) + "tEXtComment" + QByteArray(1, '\0') + "text" + end;
}

// A simple WebP turned into the extended form, whose header announces an EXIF chunk at the end.
QByteArray webpWithOrientation(const QByteArray& webp, QSize size, int orientation) {
    QByteArray header("VP8X\x0A\x00\x00\x00\x08\x00\x00\x00", 12); // the EXIF flag
    header += littleEndian32(quint32(size.width() - 1)).left(3) +
              littleEndian32(quint32(size.height() - 1)).left(3);
    QByteArray exif = exifWithOrientation(orientation);
    exif = "EXIF" + littleEndian32(quint32(exif.size())) + exif + QByteArray(exif.size() % 2, '\0');
    const QByteArray chunks = "WEBP" + header + webp.mid(12) + exif;
    return "RIFF" + littleEndian32(quint32(chunks.size())) + chunks;
}

// A 16-bit RGB PNG of 64 x 32: red, blue, and its right quarter in the colour its tRNS chunk makes
// transparent.
QByteArray wideRgbPngWithKey() {
    auto chunk = [](const QByteArray& type, const QByteArray& data) {
        return bigEndian32(quint32(data.size())) + type + data + bigEndian32(crc32(type + data));
    };
    auto wide = [](quint16 r, quint16 g, quint16 b) {
        const char v[] = {char(r >> 8), char(r), char(g >> 8), char(g), char(b >> 8), char(b)};
        return QByteArray(v, 6);
    };
    QByteArray rows;
    for (int y = 0; y < 32; ++y) {
        rows += char(0); // no filter
        for (int x = 0; x < 64; ++x) {
            rows += x < 32 ? wide(0xFFFF, 0, 0) : x < 48 ? wide(0, 0, 0xFFFF) : wide(0x0101, 0x0202, 0x0303);
        }
    }
    const QByteArray header = bigEndian32(64) + bigEndian32(32) + QByteArray("\x10\x02\0\0\0", 5);
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + chunk("IHDR", header) +
           chunk("tRNS", wide(0x0101, 0x0202, 0x0303)) + chunk("IDAT", qCompress(rows).mid(4)) +
           chunk("IEND", {});
}

// One icon file of the one-image icon files given, their images in that order.
QByteArray iconFile(const QList<QByteArray>& icons) {
    QByteArray directory("\0\0\1\0", 4), images;
    directory += char(icons.size());
    directory += char(0);
    const qsizetype start = 6 + 16 * icons.size();
    for (const QByteArray& icon : icons) {
        const quint32 offset = quint32(start + images.size());
        directory += icon.mid(6, 12) + QByteArray(reinterpret_cast<const char*>(&offset), 4); // little-endian
        images += icon.mid(qsizetype(quint8(icon[18]) | quint8(icon[19]) << 8));
    }
    return directory + images;
}

// The renders here are judged by their pictures, not their speed: a sanitizer build or a machine busy with
// other builds may run the largest of them several times slower than a player's machine would.
constexpr std::chrono::milliseconds kPatientLimit{120000};
// Long enough for the helper to start on a busy machine; a hang is cut off after it all the same.
constexpr std::chrono::milliseconds kShortLimit{1000};

// The helper built beside the tests (or the installed one), patient.
pictures::DecoderSettings patient() {
    pictures::DecoderSettings settings;
    settings.timeLimit = kPatientLimit;
    return settings;
}

// A shell script in the helper's place.
pictures::DecoderSettings fakeHelper(const QTemporaryDir& dir, const QString& script) {
    const QString path =
        writeFile(dir, QStringLiteral("fake-helper"), ("#!/bin/sh\n" + script + "\n").toUtf8());
    ::chmod(QFile::encodeName(path).constData(), 0700);
    pictures::DecoderSettings settings;
    settings.helper = path;
    settings.timeLimit = kShortLimit;
    return settings;
}
} // namespace

// A HEIF or AVIF file whose image spatial extents (the ispe box) claim 60000 x 60000 pixels.
QByteArray claimingHugeSize(QByteArray file) {
    const qsizetype at = file.indexOf("ispe");
    if (at < 0) {
        qFatal("no ispe box");
    }
    for (const qsizetype field : {at + 8, at + 12}) { // after the box's version and flags
        file[field] = 0;
        file[field + 1] = 0;
        file[field + 2] = char(0xEA);
        file[field + 3] = char(0x60);
    }
    return file;
}

class PictureLoading : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    static platform::Picture load(const QString& path, int neededLongSide = platform::kMaxDecodedSide) {
        return pictures::loadPicture(path, neededLongSide, patient());
    }
    static platform::Picture decode(const QByteArray& file) {
        return pictures::decodeInHelper(file, platform::kMaxDecodedSide, patient());
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void everyFormat_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSizeF>("extent");
        const QImage halves = redBlueHalves(64, 32);
        const QSizeF rasterExtent(64 * kPixel, 32 * kPixel);
        QTest::newRow("jpeg") << encoded(halves, "JPG") << rasterExtent;
        QTest::newRow("png") << encoded(halves, "PNG") << rasterExtent;
        QTest::newRow("bmp") << encoded(halves, "BMP") << rasterExtent;
        QTest::newRow("ico") << encoded(halves, "ICO") << rasterExtent;
        QTest::newRow("gif, first frame") << fixtureFile("two-frames.gif") << QSizeF(16 * kPixel, 4 * kPixel);
        // Found by fuzzing: past the file's end Qt's reader makes up the bytes libpng asks for, and libpng
        // allocated, cleared and filled all that such a chunk claims, then gave up on the picture.
        QTest::newRow("png, a text chunk after the image claiming 512 MB")
            << pngWithRunawayText(encoded(halves, "PNG")) << rasterExtent;
        // Written by each format's own encoder (scripts/make-picture-fixtures), decoded in the helper.
        // two-ipma.avif: refused by libavif, read by libheif.
        for (const char* name :
             {"halves.webp", "halves.tiff", "halves.heic", "halves.avif", "two-ipma.avif", "halves.jxl"}) {
            QTest::newRow(name) << fixtureFile(name) << rasterExtent;
        }
        QTest::newRow("svg, 64 x 32 mm") << fixtureFile("halves.svg") << QSizeF(6400, 3200);
        QTest::newRow("wmf, placeable 1 x 0.5 in") << fixtures::wmf() << QSizeF(2540, 1270);
        QTest::newRow("wmf at 1440 units per inch")
            << fixtures::wmf(2880, 1440, 1440, fixtures::twoHalves(2880, 1440)) << QSizeF(5080, 2540);
        QTest::newRow("emf") << fixtures::emf() << QSizeF(2540, 1270);
        QTest::newRow("emf, frame not at the origin")
            << fixtures::emf(96, 48, 2540, 1270, fixtures::twoHalves(96, 48))
                   .replace(24, 16,
                            [] {
                                fixtures::Writer w;
                                for (int v : {100, 200, 3100, 1700}) {
                                    w.s32(v);
                                }
                                return w.bytes;
                            }())
            << QSizeF(3000, 1500);
    }
    void everyFormat() {
        QFETCH(QByteArray, bytes);
        QFETCH(QSizeF, extent);
        const platform::Picture p = load(writeFile(m_dir, QStringLiteral("picture"), bytes));
        verifyHalves(p);
        QCOMPARE(p.width(), extent.width());
        QCOMPARE(p.height(), extent.height());
        QCOMPARE(p.image().format(), QImage::Format_ARGB32_Premultiplied);
    }

    // Pictures that simpler readers get wrong, each as a viewer that implements its whole format shows it:
    // the colour (with its alpha) at points given as fractions of the picture's width and height.
    void drawnWhole_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSizeF>("extent");
        QTest::addColumn<QList<QPointF>>("points");
        QTest::addColumn<QList<QColor>>("colours");
        const QColor orange(230, 120, 20), clear(0, 0, 0, 0);
        // Beyond SVG Tiny: a percentage fills the whole drawing, and a mask hides the right half.
        QTest::newRow("svg, percentages")
            << QByteArray("<svg xmlns='http://www.w3.org/2000/svg' width='360' height='360'>"
                          "<rect width='100%' height='100%' fill='#e67814'/></svg>")
            << QSizeF(360 * kPixel, 360 * kPixel) << QList<QPointF>{{0.02, 0.02}, {0.98, 0.98}, {0.5, 0.5}}
            << QList<QColor>{orange, orange, orange};
        QTest::newRow("svg, mask")
            << QByteArray("<svg xmlns='http://www.w3.org/2000/svg' width='40' height='20'>"
                          "<mask id='m'><rect width='20' height='20' fill='#fff'/></mask>"
                          "<rect width='40' height='20' fill='#e67814' mask='url(#m)'/></svg>")
            << QSizeF(40 * kPixel, 20 * kPixel) << QList<QPointF>{{0.25, 0.5}, {0.75, 0.5}}
            << QList<QColor>{orange, clear};
        // TIFF layouts that Qt's plugin refuses (16-bit samples) or draws wrong (colours in planes of their
        // own), strips and tiles; the right half half transparent where the file has alpha.
        const QImage halves = redBlueHalves(64, 32);
        QImage translucent = redBlueHalves(64, 32, QImage::Format_ARGB32);
        for (int y = 0; y < 32; ++y) {
            for (int x = 32; x < 64; ++x) {
                translucent.setPixelColor(x, y, QColor(0, 0, 255, 128));
            }
        }
        const QList<QPointF> halfPoints{{0.25, 0.5}, {0.75, 0.5}};
        const QSizeF halvesExtent(64 * kPixel, 32 * kPixel);
        QTest::newRow("tiff, 16-bit rgb") << tiffFile(m_dir, halves, {16, false, false, false, 1})
                                          << halvesExtent << halfPoints << QList<QColor>{Qt::red, Qt::blue};
        QTest::newRow("tiff, planar 16-bit rgb")
            << tiffFile(m_dir, halves, {16, false, true, false, 1}) << halvesExtent << halfPoints
            << QList<QColor>{Qt::red, Qt::blue};
        QTest::newRow("tiff, tiled planar 16-bit rgba")
            << tiffFile(m_dir, translucent, {16, true, true, true, 1}) << halvesExtent << halfPoints
            << QList<QColor>{Qt::red, QColor(0, 0, 255, 128)};
        QTest::newRow("tiff, tiled 8-bit rgba")
            << tiffFile(m_dir, translucent, {8, true, false, true, 1}) << halvesExtent << halfPoints
            << QList<QColor>{Qt::red, QColor(0, 0, 255, 128)};
        // Depths libtiff's own reader refuses: 12 bits, and floating-point samples of linear light.
        QTest::newRow("tiff, 12-bit rgb") << tiffFile(m_dir, halves, {.bits = 12}) << halvesExtent
                                          << halfPoints << QList<QColor>{Qt::red, Qt::blue};
        QTest::newRow("tiff, tiled planar 12-bit rgba")
            << tiffFile(m_dir, translucent, {.bits = 12, .alpha = true, .planar = true, .tiled = true})
            << halvesExtent << halfPoints << QList<QColor>{Qt::red, QColor(0, 0, 255, 128)};
        // Colours short of full scale, whose linear light differs from their sRGB values.
        const QColor mutedRed(220, 30, 30), mutedBlue(30, 30, 220);
        QImage muted(64, 32, QImage::Format_RGB32);
        muted.fill(mutedBlue);
        QPainter(&muted).fillRect(0, 0, 32, 32, mutedRed);
        QTest::newRow("tiff, 32-bit float rgb")
            << tiffFile(m_dir, muted, {.bits = 32, .floating = true}) << halvesExtent << halfPoints
            << QList<QColor>{mutedRed, mutedBlue};
        QTest::newRow("tiff, tiled planar 32-bit float rgba")
            << tiffFile(m_dir, translucent,
                        {.bits = 32, .alpha = true, .planar = true, .tiled = true, .floating = true})
            << halvesExtent << halfPoints << QList<QColor>{Qt::red, QColor(0, 0, 255, 128)};
        QTest::newRow("tiff, 16-bit half float rgb")
            << tiffFile(m_dir, muted, {.bits = 16, .floating = true}) << halvesExtent << halfPoints
            << QList<QColor>{mutedRed, mutedBlue};
        // AVIF's clean aperture crops the picture before its turn: the left half of 64 x 32, turned.
        QTest::newRow("avif, clean aperture then turned")
            << fixtureFile("clap-turned.avif") << QSizeF(32 * kPixel, 32 * kPixel) << halfPoints
            << QList<QColor>{QColor(220, 30, 30), QColor(30, 30, 220)};
        // An icon file with a 48 x 48 one-bit icon first and a 256 x 256 true-colour one after it.
        QImage mono(48, 48, QImage::Format_Mono);
        mono.fill(0);
        QTest::newRow("ico, the best of its icons")
            << iconFile(
                   {encoded(mono, "ICO"), encoded(redBlueHalves(256, 256, QImage::Format_ARGB32), "ICO")})
            << QSizeF(256 * kPixel, 256 * kPixel) << halfPoints << QList<QColor>{Qt::red, Qt::blue};
        QTest::newRow("png, 16-bit rgb with a transparent colour")
            << wideRgbPngWithKey() << halvesExtent << QList<QPointF>{{0.25, 0.5}, {0.6, 0.5}, {0.9, 0.5}}
            << QList<QColor>{Qt::red, Qt::blue, clear};
    }
    void drawnWhole() {
        QFETCH(QByteArray, bytes);
        QFETCH(QSizeF, extent);
        QFETCH(QList<QPointF>, points);
        QFETCH(QList<QColor>, colours);
        const platform::Picture p = load(writeFile(m_dir, QStringLiteral("picture"), bytes));
        QVERIFY(!p.isEmpty());
        QCOMPARE(p.width(), extent.width());
        QCOMPARE(p.height(), extent.height());
        for (qsizetype i = 0; i < points.size(); ++i) {
            const QPoint at(int(points[i].x() * (p.image().width() - 1)),
                            int(points[i].y() * (p.image().height() - 1)));
            const QColor shown = p.image().pixelColor(at);
            QVERIFY2(
                std::abs(shown.alpha() - colours[i].alpha()) <= 8 &&
                    (colours[i].alpha() == 0 || near(shown, colours[i], 12)),
                qPrintable(
                    QStringLiteral("%1 at %2,%3").arg(shown.name(QColor::HexArgb)).arg(at.x()).arg(at.y())));
        }
    }

    // Orientation kept outside JPEG's EXIF, applied once: the picture comes out upright, its extent that of
    // the upright picture. Stored 64 x 32, red in its top left quarter and blue elsewhere.
    void orientedElsewhere_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("upright");
        QTest::addColumn<QPointF>("red"); // the red quarter's centre, as fractions of the upright picture
        QImage quarter = redBlueHalves(64, 32);
        quarter.fill(Qt::blue);
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 32; ++x) {
                quarter.setPixelColor(x, y, Qt::red);
            }
        }
        const QSize wide(64, 32), tall(32, 64);
        const QPointF topLeft(0.25, 0.25), topRight(0.75, 0.25), bottomLeft(0.25, 0.75),
            bottomRight(0.75, 0.75);
        const std::tuple<int, QSize, QPointF> turns[] = {
            {1, wide, topLeft}, {2, wide, topRight}, {3, wide, bottomRight}, {4, wide, bottomLeft},
            {5, tall, topLeft}, {6, tall, topRight}, {7, tall, bottomRight}, {8, tall, bottomLeft}};
        const QByteArray png = encoded(quarter, "PNG"), webp = encoded(quarter, "WEBP");
        for (const auto& [orientation, size, red] : turns) {
            QTest::addRow("tiff, orientation %d", orientation)
                << tiffFile(m_dir, quarter, {8, false, false, false, orientation}) << size << red;
            QTest::addRow("png eXIf, orientation %d", orientation)
                << pngWithOrientation(png, orientation) << size << red;
            QTest::addRow("webp EXIF, orientation %d", orientation)
                << webpWithOrientation(webp, quarter.size(), orientation) << size << red;
            QTest::addRow("heic EXIF, orientation %d", orientation)
                << heicWithExifOrientation("quarter-exif.heic", orientation) << size << red;
        }
        // A HEIC that its irot box turns a quarter anticlockwise is turned by that alone, as libheif's own
        // tools show it, whatever its EXIF block says.
        QTest::newRow("heic irot, EXIF orientation 6")
            << heicWithExifOrientation("quarter-turned-exif.heic", 6) << tall << bottomLeft;
        // A turn that is no property of the picture's own does not stand in for its EXIF block.
        QTest::newRow("heic irot of no item, EXIF orientation 6")
            << withTurnOfNoItem(heicWithExifOrientation("quarter-turned-exif.heic", 6)) << tall << topRight;
    }
    void orientedElsewhere() {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, upright);
        QFETCH(QPointF, red);
        const platform::Picture p = load(writeFile(m_dir, QStringLiteral("turned"), bytes));
        QVERIFY(!p.isEmpty());
        QCOMPARE(p.width(), upright.width() * kPixel);
        QCOMPARE(p.height(), upright.height() * kPixel);
        QCOMPARE(p.image().width() * upright.height(), p.image().height() * upright.width());
        const QImage& image = p.image();
        for (const QPointF at :
             {QPointF(0.25, 0.25), QPointF(0.75, 0.25), QPointF(0.25, 0.75), QPointF(0.75, 0.75)}) {
            const QColor shown = image.pixelColor(int(at.x() * image.width()), int(at.y() * image.height()));
            QVERIFY2(near(shown, at == red ? QColor(Qt::red) : QColor(Qt::blue)),
                     qPrintable(QStringLiteral("%1 at %2, %3").arg(shown.name()).arg(at.x()).arg(at.y())));
        }
    }

    // The content decides, never the name.
    void contentNotName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("loads");
        QTest::newRow("jpeg named .bmp") << "photo.bmp" << encoded(redBlueHalves(40, 20), "JPG") << true;
        QTest::newRow("png named .WMF") << "photo.WMF" << encoded(redBlueHalves(40, 20), "PNG") << true;
        QTest::newRow("wmf named .jpg") << "drawing.jpg" << fixtures::wmf() << true;
        QTest::newRow("emf named .gif") << "drawing.gif" << fixtures::emf() << true;
        QTest::newRow("text named .jpg") << "notes.jpg" << QByteArray("just some text\n") << false;
        QTest::newRow("svg named .jpg") << "vector.jpg" << fixtureFile("halves.svg") << true;
        QTest::newRow("heic named .jpg") << "photo.jpg" << fixtureFile("halves.heic") << true;
        QTest::newRow("avif named .png") << "photo.png" << fixtureFile("halves.avif") << true;
    }
    void contentNotName() {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, loads);
        const platform::Picture p = load(writeFile(m_dir, name, bytes));
        QCOMPARE(!p.isEmpty(), loads);
        if (loads) {
            verifyHalves(p);
        }
    }

    void notPictures_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("empty file") << QByteArray() << "jpg";
        const QByteArray bmp = encoded(redBlueHalves(64, 32), "BMP");
        QTest::newRow("bmp cut inside the header") << bmp.left(30) << "bmp";
        const QByteArray ico = encoded(redBlueHalves(64, 32), "ICO");
        QTest::newRow("ico cut inside the directory") << ico.left(12) << "ico";
        QTest::newRow("gif cut inside the header") << fixtureFile("two-frames.gif").left(10) << "gif";
        QTest::newRow("wmf header only") << fixtures::wmf().left(40) << "wmf";
        QTest::newRow("emf header only") << fixtures::emf().left(88) << "emf";
        // Found by fuzzing: libwmf allocates a header's largest record (here 3.9 GB) before reading any,
        // and the EMF converter reads a description wherever the header points.
        QTest::newRow("wmf claiming a 4 GB record") << fixtureFile("huge-record.wmf") << "wmf";
        QTest::newRow("emf description past its header") << fixtureFile("description-overrun.emf") << "emf";
        QRandomGenerator random(7);
        // Each format beyond the design's: cut in half, and its first bytes followed by nonsense.
        for (const char* name :
             {"halves.webp", "halves.tiff", "halves.heic", "halves.avif", "halves.jxl", "halves.svg"}) {
            const QByteArray whole = fixtureFile(name);
            const QString suffix = QFileInfo(QString::fromLatin1(name)).suffix();
            QTest::newRow(qPrintable(QStringLiteral("%1 cut in half").arg(suffix)))
                << whole.left(whole.size() / 2) << suffix;
            QByteArray garbage = whole.left(32);
            for (int i = 0; i < 4096; ++i) {
                garbage += char(random.bounded(256));
            }
            QTest::newRow(qPrintable(QStringLiteral("%1 header, then nonsense").arg(suffix)))
                << garbage << suffix;
        }
        QTest::newRow("heic claiming 60000 x 60000")
            << claimingHugeSize(fixtureFile("halves.heic")) << "heic";
        QTest::newRow("avif claiming 60000 x 60000")
            << claimingHugeSize(fixtureFile("halves.avif")) << "avif";
        for (const char* suffix : {"jpg", "jpeg", "GIF", "bmp", "ico", "WMF", "EMF", "png"}) {
            QByteArray noise(4096, Qt::Uninitialized);
            for (char& c : noise) {
                c = char(random.bounded(256));
            }
            QTest::newRow(qPrintable(QStringLiteral("random bytes .%1").arg(QLatin1String(suffix))))
                << noise << QString::fromLatin1(suffix);
        }
    }
    void notPictures() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, suffix);
        QVERIFY(load(writeFile(m_dir, QStringLiteral("bad.") + suffix, bytes)).isEmpty());
    }

    // Paths that are not readable files: each must fail at once rather than block or read forever.
    void notFiles() {
        QVERIFY(load(m_dir.path()).isEmpty());
        QVERIFY(load(m_dir.filePath(QStringLiteral("vanished.jpg"))).isEmpty());
        QVERIFY(load(QString()).isEmpty());
        QVERIFY(load(QStringLiteral("/dev/zero")).isEmpty());
        const QString fifo = m_dir.filePath(QStringLiteral("pipe.jpg"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(load(fifo).isEmpty()); // would block forever if opened for a plain read
        const QString link = m_dir.filePath(QStringLiteral("link-to-pipe.bmp"));
        QVERIFY(QFile::link(fifo, link));
        QVERIFY(load(link).isEmpty());
    }

    void unreadableFile() {
        if (::geteuid() == 0) {
            QSKIP("root reads files whatever their permissions");
        }
        const QString path =
            writeFile(m_dir, QStringLiteral("locked.png"), encoded(redBlueHalves(8, 8), "PNG"));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        QVERIFY(load(path).isEmpty());
    }

    // A cut-off JPEG decodes, its missing part grey, and keeps the size its header gives.
    void truncatedJpeg() {
        const QByteArray jpeg = encoded(redBlueHalves(256, 256), "JPG");
        const qsizetype scan = jpeg.indexOf("\xFF\xDA");
        QVERIFY(scan > 0);
        const QByteArray cut = jpeg.left(scan + (jpeg.size() - scan) / 3);
        const platform::Picture p = load(writeFile(m_dir, QStringLiteral("cut.jpg"), cut));
        QVERIFY(!p.isEmpty());
        QCOMPARE(p.width(), 256 * kPixel);
        QVERIFY(near(p.image().pixelColor(8, 2), Qt::red));
        QVERIFY(near(p.image().pixelColor(128, 250), QColor(128, 128, 128), 20));
    }

    // A GIF whose screen claims no width while its frame has one: the extent comes from what decodes,
    // never zero (a zero extent would make every later draw divide by it).
    void headerClaimingNoWidth() {
        const platform::Picture p =
            load(writeFile(m_dir, QStringLiteral("odd.gif"), fixtureFile("zero-width-screen.gif")));
        QVERIFY(!p.isEmpty());
        QVERIFY(p.width() > 0 && p.height() > 0);
        QVERIFY(p.image().width() <= platform::kMaxDecodedSide);
    }

    // A camera-sized photo is decoded scaled down to 4096 on its long side, keeping its own extent.
    void largePhotoScaledOnDecode() {
        const QImage photo =
            redBlueHalves(8000, 6000, QImage::Format_Grayscale8).convertToFormat(QImage::Format_RGB888);
        const QString path = writeFile(m_dir, QStringLiteral("camera.jpg"), encoded(photo, "JPG"));
        const platform::Picture p = load(path);
        QVERIFY(!p.isEmpty());
        QCOMPARE(p.image().size(), QSize(4096, 3072));
        QCOMPARE(p.width(), 8000 * kPixel);
        QCOMPARE(p.height(), 6000 * kPixel);
    }

    // A phone's 200-megapixel JPEG, beyond the limit of other sources, is decoded at 1/8 whatever the need.
    // Its frame header is rewritten from a small picture's: the data it lacks decodes grey.
    void phonesLargestPhoto() {
        QByteArray jpeg = encoded(redBlueHalves(16, 16), "JPG");
        const qsizetype sof = jpeg.indexOf("\xFF\xC0");
        QVERIFY(sof > 0);
        jpeg.replace(sof + 5, 4, QByteArray("\x2F\xD0\x3F\xC0", 4)); // 12240 rows of 16320
        const platform::Picture p = load(writeFile(m_dir, QStringLiteral("phone.jpg"), jpeg));
        QVERIFY(!p.isEmpty());
        QCOMPARE(p.image().size(), QSize(2040, 1530));
        QCOMPARE(p.width(), 16320 * kPixel);
        QCOMPARE(p.height(), 12240 * kPixel);
    }

    // Decoded at the size the display needs: a JPEG at the smallest of its decoder's own 1/2, 1/4, 1/8 that
    // still reaches the needed long side, exactly, so nothing is scaled after; otherwise scaled to it.
    // The extent stays the original's either way.
    void decodedAtTheSizeTheDisplayNeeds_data() {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<int>("needed");
        QTest::addColumn<QSize>("decoded");
        QTest::newRow("jpeg 1/8") << QByteArray("JPG") << 200 << QSize(200, 150);
        QTest::newRow("jpeg 1/4") << QByteArray("JPG") << 201 << QSize(400, 300);
        QTest::newRow("jpeg 1/2") << QByteArray("JPG") << 455 << QSize(800, 600);
        QTest::newRow("jpeg whole, then scaled") << QByteArray("JPG") << 801 << QSize(801, 601);
        QTest::newRow("png scaled") << QByteArray("PNG") << 455 << QSize(455, 341);
    }
    void decodedAtTheSizeTheDisplayNeeds() {
        QFETCH(QByteArray, format);
        QFETCH(int, needed);
        QFETCH(QSize, decoded);
        const QImage photo = redBlueHalves(1600, 1200, QImage::Format_RGB32);
        const QString path =
            writeFile(m_dir, QStringLiteral("display.") + QString::fromLatin1(format).toLower(),
                      encoded(photo, format.constData()));
        const platform::Picture p = load(path, needed);
        QCOMPARE(p.image().size(), decoded);
        QCOMPARE(p.width(), 1600 * kPixel);
        QCOMPARE(p.height(), 1200 * kPixel);
        verifyHalves(p);
    }

    // A phone's photo is stored as the sensor saw it, with an EXIF orientation saying how to turn it: it
    // comes out upright, and its extent is that of the upright picture. Stored: red left, blue right.
    void exifOrientation_data() {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("stored");
        QTest::addColumn<QSize>("decoded");
        QTest::addColumn<QSize>("upright");
        QTest::addColumn<QString>("redSide");
        QTest::newRow("6, turned right") << 6 << QSize(40, 20) << QSize(20, 40) << QSize(20, 40) << "top";
        QTest::newRow("8, turned left") << 8 << QSize(40, 20) << QSize(20, 40) << QSize(20, 40) << "bottom";
        QTest::newRow("3, upside down") << 3 << QSize(40, 20) << QSize(40, 20) << QSize(40, 20) << "right";
        QTest::newRow("6, decoded scaled")
            << 6 << QSize(4200, 3000) << QSize(2926, 4096) << QSize(3000, 4200) << "top";
    }
    void exifOrientation() {
        QFETCH(int, orientation);
        QFETCH(QSize, stored);
        QFETCH(QSize, decoded);
        QFETCH(QSize, upright);
        QFETCH(QString, redSide);
        const QImage photo = redBlueHalves(stored.width(), stored.height(), QImage::Format_RGB888);
        const QString path = writeFile(m_dir, QStringLiteral("phone.jpg"),
                                       withExifOrientation(encoded(photo, "JPG"), orientation));
        const platform::Picture p = load(path);
        QVERIFY(!p.isEmpty());
        QCOMPARE(p.image().size(), decoded);
        QCOMPARE(p.width(), upright.width() * kPixel);
        QCOMPARE(p.height(), upright.height() * kPixel);
        const QImage& image = p.image();
        const int w = image.width();
        const int h = image.height();
        const QColor first = redSide == u"top"      ? image.pixelColor(w / 2, h / 4)
                             : redSide == u"bottom" ? image.pixelColor(w / 2, h * 3 / 4)
                                                    : image.pixelColor(w * 3 / 4, h / 2);
        const QColor second = redSide == u"top"      ? image.pixelColor(w / 2, h * 3 / 4)
                              : redSide == u"bottom" ? image.pixelColor(w / 2, h / 4)
                                                     : image.pixelColor(w / 4, h / 2);
        QVERIFY2(near(first, Qt::red), qPrintable(first.name()));
        QVERIFY2(near(second, Qt::blue), qPrintable(second.name()));
    }

    // Pictures whose short side would scale below a pixel keep one pixel there.
    void thinPictures_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QSize>("decoded");
        QTest::newRow("png 1 x 4097") << QSize(1, 4097) << QByteArray("PNG") << QSize(1, 4096);
        QTest::newRow("png 65535 x 2") << QSize(65535, 2) << QByteArray("PNG") << QSize(4096, 1);
        // BMP decodes whole, then shrinks.
        QTest::newRow("bmp 1 x 4097") << QSize(1, 4097) << QByteArray("BMP") << QSize(1, 4096);
        QTest::newRow("bmp 9000 x 1") << QSize(9000, 1) << QByteArray("BMP") << QSize(4096, 1);
    }
    void thinPictures() {
        QFETCH(QSize, size);
        QFETCH(QByteArray, format);
        QFETCH(QSize, decoded);
        QImage thin(size, QImage::Format_RGB32);
        thin.fill(QColor(0, 0, 255));
        const platform::Picture p = load(
            writeFile(m_dir, QStringLiteral("thin.") + QString::fromLatin1(format), encoded(thin, format)));
        QVERIFY(!p.isEmpty());
        QCOMPARE(p.image().size(), decoded);
        QCOMPARE(p.width(), size.width() * kPixel);
        QCOMPARE(p.height(), size.height() * kPixel);
        QVERIFY(near(p.image().pixelColor(0, 0), Qt::blue));
    }

    // A GIF whose screen (30000 x 30000) is far larger than its picture (400 x 100 at 15000, 15000, red left,
    // blue right): the picture is decoded alone and stands where it belongs on the scaled screen.
    void gifOnALargeScreen() {
        const platform::Picture p =
            load(writeFile(m_dir, QStringLiteral("screen.gif"), fixtureFile("large-screen.gif")));
        QVERIFY(!p.isEmpty());
        QCOMPARE(p.width(), 30000 * kPixel);
        QCOMPARE(p.height(), 30000 * kPixel);
        const QImage& image = p.image();
        QCOMPARE(image.size(), QSize(4096, 4096));
        // 400 x 100 scaled by 4096/30000 is about 55 x 14 pixels, from (2048, 2048).
        QVERIFY(near(image.pixelColor(2048 + 13, 2048 + 7), Qt::red));
        QVERIFY(near(image.pixelColor(2048 + 41, 2048 + 7), Qt::blue));
        QCOMPARE(qAlpha(image.pixel(1000, 1000)), 0);
        QCOMPARE(qAlpha(image.pixel(2048 + 27, 2048 + 20)), 0);
    }

    // Headers claiming billions of pixels are refused from the header; the decoder never sees them.
    void absurdDimensions_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("suffix");
        // A real JPEG whose frame header is rewritten to 60000 x 60000: decoded scaled, it would come out
        // as a grey picture, so only the header check refuses it.
        QByteArray jpeg = encoded(redBlueHalves(16, 16), "JPG");
        const qsizetype sof = jpeg.indexOf("\xFF\xC0");
        QVERIFY(sof > 0);
        jpeg[sof + 5] = char(0xEA);
        jpeg[sof + 6] = char(0x60);
        jpeg[sof + 7] = char(0xEA);
        jpeg[sof + 8] = char(0x60);
        QTest::newRow("jpeg 60000 x 60000") << jpeg << "jpg";
        QByteArray bmp = encoded(redBlueHalves(16, 16), "BMP");
        const qint32 side = qToLittleEndian<qint32>(40000);
        bmp.replace(18, 4, reinterpret_cast<const char*>(&side), 4);
        bmp.replace(22, 4, reinterpret_cast<const char*>(&side), 4);
        QTest::newRow("bmp 40000 x 40000") << bmp << "bmp";
        QByteArray png = encoded(redBlueHalves(16, 16), "PNG");
        const quint32 big = qToBigEndian<quint32>(20000);
        png.replace(16, 4, reinterpret_cast<const char*>(&big), 4);
        png.replace(20, 4, reinterpret_cast<const char*>(&big), 4);
        const quint32 crc = qToBigEndian<quint32>(crc32(png.mid(12, 17)));
        png.replace(29, 4, reinterpret_cast<const char*>(&crc), 4);
        QTest::newRow("png 20000 x 20000") << png << "png";
    }
    void absurdDimensions() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, suffix);
        QVERIFY(load(writeFile(m_dir, QStringLiteral("absurd.") + suffix, bytes)).isEmpty());
    }

    // Metafiles with a sound header and nonsense records: the helper may fail or draw something, and the
    // game gets either nothing or a picture within the helper's bounds.
    void nonsenseRecords() {
        QRandomGenerator random(11);
        const QByteArray heads[] = {fixtures::wmf().left(40), fixtures::emf().left(88)};
        for (const QByteArray& head : heads) {
            for (int round = 0; round < 12; ++round) {
                QByteArray file = head;
                for (int i = 0; i < 400; ++i) {
                    file.append(char(random.bounded(256)));
                }
                const platform::Picture p = decode(file);
                if (!p.isEmpty()) {
                    QVERIFY(p.image().width() <= metafile::kMaxSide &&
                            p.image().height() <= metafile::kMaxSide);
                    QVERIFY(p.width() > 0 && p.height() > 0);
                }
            }
        }
        verifyHalves(decode(fixtures::wmf())); // and the helper still works afterwards
    }

    // Whatever goes wrong in the helper's process is an unreadable picture.
    void helperFailures_data() {
        QTest::addColumn<QString>("script");
        QTest::newRow("crashes") << "kill -SEGV $$";
        QTest::newRow("exits with an error") << "exit 1";
        QTest::newRow("answers garbage") << "cat > /dev/null; printf 'ZMF1garbage'";
        QTest::newRow("answers endlessly") << "cat > /dev/null; exec cat /dev/zero";
        QTest::newRow("hangs") << "exec sleep 30";
    }
    void helperFailures() {
        QFETCH(QString, script);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(pictures::decodeInHelper(fixtures::wmf(), 100, fakeHelper(m_dir, script)).isEmpty());
        QVERIFY2(clock.elapsed() < kShortLimit.count() + 5000, "the time limit did not stop the helper");
    }

    // A WMF found by fuzzing on which libwmf never finishes: the helper's time limit ends it.
    void realHangContained() {
        pictures::DecoderSettings shortLimit;
        shortLimit.timeLimit = kShortLimit;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(pictures::decodeInHelper(fixtureFile("endless.wmf"), 100, shortLimit).isEmpty());
        QVERIFY(clock.elapsed() >= kShortLimit.count() - 100);
    }

    void helperMissing() {
        pictures::DecoderSettings missing = patient();
        missing.helper = m_dir.filePath(QStringLiteral("no-such-helper"));
        QVERIFY(pictures::decodeInHelper(fixtures::wmf(), 100, missing).isEmpty());
        verifyHalves(decode(fixtures::wmf()));
    }

    // The helper sees nothing of the session it was started from: not its environment (the display, the
    // bus, the runtime folder, the home), no descriptor of the game's but its channel and standard error; it
    // can gain no privilege, and a game run by root leaves it no capability.
    void helperStartsClean() {
        const QByteArray saved = qgetenv("DISPLAY");
        qputenv("DISPLAY", ":7");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/run/user/1000/bus");
        const int inheritable = ::open("/dev/null", O_RDONLY); // without close-on-exec, on purpose
        // The script takes the request first, as the helper does, and has a patient time limit.
        pictures::DecoderSettings looking =
            fakeHelper(m_dir, QStringLiteral("cat >/dev/null; env; ls /proc/self/fd; "
                                             "grep -E '^(NoNewPrivs|CapEff|CapPrm):' /proc/self/status"));
        looking.timeLimit = kPatientLimit;
        const std::optional<QByteArray> out = pictures::runDecoderHelper({}, 100, looking);
        ::close(inheritable);
        qputenv("DISPLAY", saved);
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        QVERIFY(out.has_value());
        const QStringList lines = QString::fromUtf8(*out).split(u'\n', Qt::SkipEmptyParts);
        QStringList names, descriptors;
        for (const QString& line : lines) {
            if (line.contains(u'=')) {
                names += line.section(u'=', 0, 0);
            } else if (line.front().isDigit()) {
                descriptors += line;
            }
        }
        for (const QString& name : names) {
            const QStringList allowed = {"PATH",     "PWD",          "LANG",          "LC_ALL",
                                         "LC_CTYPE", "ASAN_OPTIONS", "UBSAN_OPTIONS", "GLIBC_TUNABLES"};
            QVERIFY2(allowed.contains(name), qPrintable(name));
        }
        // The channel, standard error, the memory for the answer; ls's own listing of the folder is the
        // fifth.
        QCOMPARE(descriptors, QStringList({"0", "1", "2", "3", "4"}));
        QVERIFY(lines.contains(QStringLiteral("NoNewPrivs:\t1")));
        QVERIFY(lines.contains(QStringLiteral("CapEff:\t0000000000000000")));
        QVERIFY(lines.contains(QStringLiteral("CapPrm:\t0000000000000000")));
    }

    // A helper started ahead of a choice decodes the next picture, from any thread, and no other helper
    // starts for it; it is then gone. Ended on demand, or after its wait, it is gone too.
    void preparedHelper() {
        // Each start leaves an empty file named after it (the helper may write no bytes).
        QDir starts(m_dir.filePath(QStringLiteral("starts")));
        QVERIFY(starts.mkpath(QStringLiteral(".")));
        pictures::DecoderSettings counted =
            fakeHelper(m_dir, ": > " + starts.path() + "/$$; exec " ZORUPA_DECODER_HELPER " \"$@\"");
        counted.timeLimit = kPatientLimit;
        pictures::prepareDecoder(counted);
        const qint64 waiting = pictures::preparedDecoderProcess();
        QVERIFY(waiting > 0);
        pictures::prepareDecoder(counted); // the dialog opens while a drag is over the window
        QCOMPARE(pictures::preparedDecoderProcess(), waiting);
        platform::Picture decoded;
        std::thread worker([&] { decoded = pictures::decodeInHelper(fixtures::wmf(), 100, counted); });
        worker.join();
        verifyHalves(decoded);
        QCOMPARE(pictures::preparedDecoderProcess(), 0);
        // Ended at once, and reaped off the thread that waited for the picture.
        QTRY_COMPARE_WITH_TIMEOUT(::kill(pid_t(waiting), 0), -1, 60000);
        QCOMPARE(starts.entryList(QDir::Files), QStringList({QString::number(waiting)}));

        // One started for other settings is not used, and ends.
        pictures::prepareDecoder(patient());
        const qint64 other = pictures::preparedDecoderProcess();
        verifyHalves(pictures::decodeInHelper(fixtures::wmf(), 100, counted));
        QCOMPARE(::kill(pid_t(other), 0), -1);

        pictures::prepareDecoder(patient());
        const qint64 ended = pictures::preparedDecoderProcess();
        pictures::endPreparedDecoder();
        QCOMPARE(pictures::preparedDecoderProcess(), 0);
        QCOMPARE(::kill(pid_t(ended), 0), -1);

        // Unused, it ends by itself; the next decode starts a helper of its own.
        pictures::DecoderSettings brief = patient();
        brief.preparedLife = std::chrono::milliseconds(200);
        pictures::prepareDecoder(brief);
        QTRY_COMPARE_WITH_TIMEOUT(pictures::preparedDecoderProcess(), 0, 60000);
        verifyHalves(pictures::decodeInHelper(fixtures::wmf(), 100, brief));
    }

    // An answer is taken once its header comes and the helper closes its channel, not when the process has
    // ended: the helper waits to be ended after answering, so a game that waited for its end would have no
    // picture within the limit.
    void answerTakenWithoutWaitingForTheEnd() {
        verifyHalves(pictures::decodeInHelper(fixtures::wmf(), 100, patient()));
    }

    // The helper starts with no core dumps, no file writing, a CPU limit of its time limit's whole seconds
    // and one more (the game's: its default time limit) and, outside sanitizer builds, an address-space
    // limit. The time limit is a patient one, so that a machine busy with other work still starts the script
    // in time.
    void helperRunsUnderLimits() {
        QCOMPARE(pictures::DecoderSettings().timeLimit, pictures::kDecoderTimeLimit);
        pictures::DecoderSettings settings =
            // It takes the request first, as the helper does: a script that ended before the request was sent
            // would be a helper that took nothing.
            fakeHelper(m_dir, QStringLiteral("cat >/dev/null; ulimit -c; ulimit -f; ulimit -t; ulimit -v"));
        settings.timeLimit = kPatientLimit;
        const std::optional<QByteArray> out = pictures::runDecoderHelper(fixtures::wmf(), 100, settings);
        QVERIFY(out.has_value());
        const QStringList lines = QString::fromUtf8(*out).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QStringLiteral("0"));
        QCOMPARE(lines[1], QStringLiteral("0"));
        QCOMPARE(lines[2], QString::number(kPatientLimit.count() / 1000 + 1));
#if defined(__SANITIZE_ADDRESS__)
        QCOMPARE(lines[3], QStringLiteral("unlimited"));
#else
        QCOMPARE(lines[3], QString::number(pictures::kDecoderMemoryLimit / 1024));
#endif
    }

    // A write that the file size limit refuses fails, and the helper goes on: fontconfig writes its cache
    // when it finds it out of date, as on a machine whose fonts were just installed.
    void refusedWriteLeavesTheHelperRunning() {
        const QString file = m_dir.filePath(QStringLiteral("written"));
        pictures::DecoderSettings settings =
            fakeHelper(m_dir, "echo cache > " + file + " 2>/dev/null; exec " ZORUPA_DECODER_HELPER " 0");
        settings.timeLimit = kPatientLimit;
        verifyHalves(pictures::decodeInHelper(fixtures::wmf(), platform::kMaxDecodedSide, settings));
        QCOMPARE(QFileInfo(file).size(), 0);
    }

    void helperAnswerChecked_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("accepted");
        metafile::OutputHeader h;
        h.width = 2;
        h.height = 1;
        h.extentWidth = 100;
        h.extentHeight = 50;
        h.layers = metafile::kSyscallFilter;
        const quint32 pixels[2] = {0xFFFF0000u, 0x800000FFu};
        auto answer = [](metafile::OutputHeader header, QByteArray tail) {
            return QByteArray(reinterpret_cast<const char*>(&header), sizeof header) + tail;
        };
        const QByteArray body(reinterpret_cast<const char*>(pixels), sizeof pixels);
        QTest::newRow("complete") << answer(h, body) << true;
        metafile::OutputHeader unfiltered = h;
        unfiltered.layers = metafile::kLandlockFiles;
        QTest::newRow("from a helper without its filter") << answer(unfiltered, body) << false;
        QTest::newRow("one byte short") << answer(h, body.left(7)) << false;
        QTest::newRow("one byte over") << answer(h, body + 'x') << false;
        QTest::newRow("header cut") << answer(h, {}).left(20) << false;
        QTest::newRow("nothing") << QByteArray() << false;
        metafile::OutputHeader bad = h;
        bad.magic[0] = 'X';
        QTest::newRow("wrong magic") << answer(bad, body) << false;
        bad = h;
        bad.width = 0;
        QTest::newRow("no width") << answer(bad, {}) << false;
        bad = h;
        bad.width = 5000;
        QTest::newRow("too wide") << answer(bad, QByteArray(5000 * 4, '\0')) << false;
        bad = h;
        bad.extentWidth = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("extent not a number") << answer(bad, body) << false;
        bad = h;
        bad.extentHeight = -3;
        QTest::newRow("negative extent") << answer(bad, body) << false;
        bad = h;
        bad.width = 0x40000000u; // width * height * 4 wraps in 32 bits
        bad.height = 4;
        QTest::newRow("size that overflows") << answer(bad, body) << false;
    }
    void helperAnswerChecked() {
        QFETCH(QByteArray, answer);
        QFETCH(bool, accepted);
        const platform::Picture p = pictures::pictureFromHelperOutput(answer);
        QCOMPARE(!p.isEmpty(), accepted);
        if (accepted) {
            QCOMPARE(p.image().size(), QSize(2, 1));
            QCOMPARE(p.width(), 100.0);
            QCOMPARE(p.image().pixelColor(0, 0), QColor(255, 0, 0));
            QCOMPARE(p.image().pixelColor(1, 0).alpha(), 0x80);
        }
    }

    // Text in an EMF, Japanese included, is drawn with real fonts in the helper: black strokes on the
    // white page where the line stands, and none below it.
    void emfText() {
        const platform::Picture p = decode(fixtures::emfWithText(QStringLiteral("漢字かなテスト")));
        QVERIFY(!p.isEmpty());
        const QImage& image = p.image();
        auto darkIn = [&image](QRect r) {
            int dark = 0;
            for (int y = r.top(); y <= r.bottom(); ++y) {
                for (int x = r.left(); x <= r.right(); ++x) {
                    dark += qGray(image.pixel(x, y)) < 100 ? 1 : 0;
                }
            }
            return dark;
        };
        const double sx = image.width() / 400.0, sy = image.height() / 100.0;
        const int inLine = darkIn(QRect(int(20 * sx), int(25 * sy), int(360 * sx), int(50 * sy)));
        QVERIFY2(inLine > image.width() * image.height() / 100, qPrintable(QString::number(inLine)));
        QCOMPARE(darkIn(QRect(0, int(92 * sy), image.width(), int(7 * sy))), 0);
        QCOMPARE(image.pixelColor(2, image.height() - 2), QColor(Qt::white));
    }

    // A metafile of tens of megabytes goes through the helper's input pipe whole while its answer is
    // read: neither side may wait on the other.
    void largeMetafileThroughThePipe() {
        QByteArray file = fixtures::emf();
        const QByteArray eof = file.right(20);
        file.chop(20);
        const int commentBytes = 40 * 1024 * 1024;
        fixtures::Writer comment; // EMR_COMMENT: private data the converter skips
        comment.u32(70);
        comment.u32(quint32(12 + commentBytes));
        comment.u32(quint32(commentBytes));
        file += comment.bytes + QByteArray(commentBytes, '\x5A') + eof;
        verifyHalves(decode(file));
    }

    // A tiny drawing is rendered large enough to fill the preview; a huge one no larger than the bound.
    // Pictures that describe their colours are shown as a colour-managed viewer shows them.
    void trueColours_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QColor>("expected");
        QTest::addColumn<int>("tolerance");
        // Red, tagged with a profile that exchanges red and green: a viewer shows green.
        QTest::newRow("jpeg, red and green swapped")
            << fixtureFile("swapped-red.jpg") << QColor(0, 255, 0) << 24;
        // ProPhoto RGB (200, 60, 40) lies beyond sRGB's red: a viewer clips it to about (255, 0, 43).
        QTest::newRow("png, ProPhoto") << fixtureFile("prophoto.png") << QColor(255, 0, 43) << 12;
        QTest::newRow("tiff, ProPhoto") << fixtureFile("prophoto.tiff") << QColor(255, 0, 43) << 12;
        QTest::newRow("jpeg xl, ProPhoto") << fixtureFile("prophoto.jxl") << QColor(255, 0, 43) << 12;
        // Display P3 (200, 60, 40), described by the nclx box: about (215, 47, 28) in sRGB.
        QTest::newRow("heic, ProPhoto") << fixtureFile("prophoto.heic") << QColor(255, 0, 43) << 16;
        QTest::newRow("avif, Display P3") << fixtureFile("p3.avif") << QColor(215, 47, 28) << 8;
        // Grey 51 in linear light, as the file's colour description says: 124 in sRGB.
        QTest::newRow("jpeg xl, grey in linear light")
            << fixtureFile("grey-linear.jxl") << QColor(124, 124, 124) << 3;
        // CMYK inks (cyan 100 %, magenta 70 %) with a print profile too large for one segment.
        QTest::newRow("jpeg, CMYK in three segments")
            << fixtureFile("cmyk-inks.jpg") << QColor(1, 94, 172) << 6;
        // Floating-point samples are linear light: 124 in sRGB is stored as 0.2. With a profile, they are
        // what it says: ProPhoto (200, 60, 40) again.
        QImage grey(16, 16, QImage::Format_RGB32);
        grey.fill(QColor(124, 124, 124));
        QTest::newRow("tiff, 32-bit float grey in linear light")
            << tiffFile(m_dir, grey, {.bits = 32, .floating = true, .grey = true}) << QColor(124, 124, 124)
            << 3;
        QImage flat(16, 16, QImage::Format_RGB32);
        flat.fill(QColor(200, 60, 40));
        QTest::newRow("tiff, 32-bit float in ProPhoto")
            << tiffFile(m_dir, flat, {.bits = 32, .floating = true, .icc = tiffIccProfile("prophoto.tiff")})
            << QColor(255, 0, 43) << 12;
        // The same inks in a TIFF with the same profile, as Little CMS (PIL's ImageCms) shows them.
        QBuffer inksJpeg;
        inksJpeg.setData(fixtureFile("cmyk-inks.jpg"));
        inksJpeg.open(QIODevice::ReadOnly);
        QImage inks(16, 16, QImage::Format_RGBA8888);
        inks.fill(QColor(255, 178, 0, 0)); // cyan, magenta, yellow, black
        QTest::newRow("tiff, CMYK with its own profile")
            << tiffFile(m_dir, inks, {.inks = true, .icc = pictures::jpegIccProfile(inksJpeg)})
            << QColor(1, 94, 172) << 3;
    }
    void trueColours() {
        QFETCH(QByteArray, bytes);
        QFETCH(QColor, expected);
        QFETCH(int, tolerance);
        const platform::Picture p = load(writeFile(m_dir, QStringLiteral("coloured"), bytes));
        QVERIFY(!p.isEmpty());
        const QColor shown = p.image().pixelColor(p.image().width() / 2, p.image().height() / 2);
        QVERIFY2(near(shown, expected, tolerance), qPrintable(shown.name()));
    }

    // A profile's segments are put together by their numbers, in whatever order the file has them; one
    // with a piece missing is passed over, the inks then shown as Qt's reader shows them.
    void profileSegments() {
        const QByteArray jpeg = fixtureFile("cmyk-inks.jpg");
        QList<QByteArray> segments;
        qsizetype at = 2, first = -1, end = -1;
        while (at + 4 <= jpeg.size() && quint8(jpeg[at]) == 0xFF && quint8(jpeg[at + 1]) != 0xDA) {
            const qsizetype length = quint8(jpeg[at + 2]) << 8 | quint8(jpeg[at + 3]);
            if (quint8(jpeg[at + 1]) == 0xE2) {
                first = first < 0 ? at : first;
                end = at + 2 + length;
                segments.append(jpeg.mid(at, 2 + length));
            }
            at += 2 + length;
        }
        QCOMPARE(segments.size(), 3);
        const QByteArray reversed =
            jpeg.left(first) + segments[2] + segments[1] + segments[0] + jpeg.mid(end);
        const QByteArray missing = jpeg.left(first) + segments[0] + segments[2] + jpeg.mid(end);
        const QColor inOrder =
            load(writeFile(m_dir, QStringLiteral("reversed.jpg"), reversed)).image().pixelColor(24, 8);
        QVERIFY2(near(inOrder, QColor(1, 94, 172), 6), qPrintable(inOrder.name()));
        const QColor none =
            load(writeFile(m_dir, QStringLiteral("missing.jpg"), missing)).image().pixelColor(24, 8);
        QVERIFY2(!near(none, QColor(1, 94, 172), 24), qPrintable(none.name()));
        // Decoded at 1/8 by libjpeg itself, the inks keep their colours.
        const platform::Picture eighth = load(QStringLiteral(ZORUPA_PICTURE_FIXTURES "/cmyk-inks.jpg"), 4);
        QCOMPARE(eighth.image().size(), QSize(4, 2));
        QVERIFY2(near(eighth.image().pixelColor(3, 1), QColor(1, 94, 172), 12),
                 qPrintable(eighth.image().pixelColor(3, 1).name()));
    }

    // A profile that cannot be parsed is passed over: the picture shows as it is stored.
    void brokenProfileIgnored() {
        QByteArray jpeg = fixtureFile("swapped-red.jpg");
        const qsizetype at = jpeg.indexOf("ICC_PROFILE");
        QVERIFY(at > 0);
        jpeg.replace(at + 14 + 36, 4, "XXXX"); // the profile's "acsp" signature
        const platform::Picture p = load(writeFile(m_dir, QStringLiteral("broken.jpg"), jpeg));
        QVERIFY(!p.isEmpty());
        QVERIFY(near(p.image().pixelColor(8, 8), QColor(255, 0, 0), 24));
    }

    // No player's picture decodes in the game, whatever its format: without its helper the game shows none.
    void everyPictureOnlyInTheHelper() {
        pictures::DecoderSettings missing = patient();
        missing.helper = m_dir.filePath(QStringLiteral("no-such-helper"));
        const QImage halves = redBlueHalves(64, 32);
        for (const char* format : {"JPG", "PNG", "BMP", "ICO"}) {
            const QString path =
                writeFile(m_dir, QStringLiteral("halves.") + QString::fromLatin1(format).toLower(),
                          encoded(halves, format));
            QVERIFY2(pictures::loadPicture(path, platform::kMaxDecodedSide, missing).isEmpty(), format);
            verifyHalves(load(path));
        }
        for (const char* name : {"two-frames.gif", "halves.webp", "halves.tiff", "halves.heic", "halves.avif",
                                 "halves.jxl", "halves.svg"}) {
            const QString path = QStringLiteral(ZORUPA_PICTURE_FIXTURES "/") + QLatin1String(name);
            QVERIFY2(pictures::loadPicture(path, platform::kMaxDecodedSide, missing).isEmpty(), name);
        }
    }

    // The helper answers at the size asked for, keeping the extent of the original.
    void helperDecodesAtTheNeededSize() {
        const platform::Picture svg = load(QStringLiteral(ZORUPA_PICTURE_FIXTURES "/halves.svg"), 500);
        QCOMPARE(svg.image().size(), QSize(500, 250));
        QCOMPARE(svg.width(), 6400.0);
        const platform::Picture heic = load(QStringLiteral(ZORUPA_PICTURE_FIXTURES "/halves.heic"), 16);
        QCOMPARE(heic.image().size(), QSize(16, 8));
        QCOMPARE(heic.width(), 64 * kPixel);
        verifyHalves(heic);
        // Shown at half its size or less, a HEIC is brought down before its colours become RGB: the same
        // colours.
        const platform::Picture small = load(QStringLiteral(ZORUPA_PICTURE_FIXTURES "/prophoto.heic"), 8);
        QCOMPARE(small.image().size(), QSize(8, 8));
        const QColor shown = small.image().pixelColor(4, 4);
        QVERIFY2(near(shown, QColor(255, 0, 43), 16), qPrintable(shown.name()));
    }

    void metafileRenderSize() {
        const platform::Picture small = decode(fixtures::wmf(100, 50, 1000, fixtures::twoHalves(100, 50)));
        QCOMPARE(small.image().size(), QSize(metafile::kMinLongSide, metafile::kMinLongSide / 2));
        QCOMPARE(small.width(), 254.0);
        const platform::Picture huge = decode(fixtures::emf(96, 48, 500000, 250000));
        QCOMPARE(huge.image().size(), QSize(metafile::kMaxSide, metafile::kMaxSide / 2));
        QCOMPARE(huge.width(), 500000.0);
        verifyHalves(huge);
        // The largest pictures either decoder makes, square, fit in the helper's memory.
        const platform::Picture squareWmf =
            decode(fixtures::wmf(30000, 30000, 100, fixtures::twoHalves(30000, 30000)));
        QCOMPARE(squareWmf.image().size(), QSize(metafile::kMaxSide, metafile::kMaxSide));
        verifyHalves(squareWmf);
        const platform::Picture squareEmf =
            decode(fixtures::emfWithText(QStringLiteral("大")).replace(32, 8, [] {
                fixtures::Writer w;
                w.s32(400000);
                w.s32(400000);
                return w.bytes;
            }()));
        QCOMPARE(squareEmf.image().size(), QSize(metafile::kMaxSide, metafile::kMaxSide));
    }
};

QTEST_GUILESS_MAIN(PictureLoading)
#include "test_picture_loading.moc"

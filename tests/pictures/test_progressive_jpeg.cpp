// Progressive JPEGs read at 1/8 from the scans that scale uses, against the reader's decode of the whole
// file: the same pixels for every progression, sampling, size and restart layout, and the whole-file decode
// for every file that path does not vouch for.
#include "pictures/progressivejpeg.h"
#include "pictures/raster.h"

#include <QBuffer>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace {

using Scans = std::vector<jpeg_scan_info>;

struct Encoding {
    int components = 3;
    int lumaH = 2; // 4:2:0 unless a row says otherwise
    int lumaV = 2;
    bool progressive = true;
    Scans scans; // empty: libjpeg's own progression, with successive approximation
    int restartInterval = 0;
    int restartRows = 0;
    bool arithmetic = false;
};

jpeg_scan_info scan(std::initializer_list<int> components, int ss, int se, int ah, int al) {
    jpeg_scan_info info{};
    info.comps_in_scan = int(components.size());
    int i = 0;
    for (const int c : components) {
        info.component_index[i++] = c;
    }
    info.Ss = ss;
    info.Se = se;
    info.Ah = ah;
    info.Al = al;
    return info;
}

// Colour noise over gradients: every block, chroma too, carries AC coefficients.
QImage detailed(QSize size) {
    QImage image(size, QImage::Format_RGB888);
    QRandomGenerator random(20);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int noise = int(random.bounded(60));
            image.setPixel(x, y,
                           qRgb((x * 255 / size.width() + noise) % 256,
                                (y * 255 / size.height() + 2 * noise) % 256, int(random.bounded(256))));
        }
    }
    return image;
}

QByteArray encode(const QImage& image, const Encoding& e) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = JDIMENSION(image.width());
    info.image_height = JDIMENSION(image.height());
    info.input_components = e.components;
    info.in_color_space = e.components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    if (e.components == 3) {
        info.comp_info[0].h_samp_factor = e.lumaH;
        info.comp_info[0].v_samp_factor = e.lumaV;
    }
    if (e.progressive && e.scans.empty()) {
        jpeg_simple_progression(&info);
    } else if (e.progressive) {
        info.scan_info = e.scans.data();
        info.num_scans = int(e.scans.size());
    }
    info.restart_interval = unsigned(e.restartInterval);
    info.restart_in_rows = e.restartRows;
    info.arith_code = e.arithmetic ? TRUE : FALSE;
    jpeg_start_compress(&info, TRUE);
    const QImage source = e.components == 1 ? image.convertToFormat(QImage::Format_Grayscale8) : image;
    while (info.next_scanline < info.image_height) {
        auto* line = const_cast<JSAMPLE*>(source.constScanLine(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray bytes(reinterpret_cast<const char*>(out), qsizetype(size));
    std::free(out);
    return bytes;
}

// An EXIF block whose only entry is the orientation, right after the start marker.
QByteArray withExifOrientation(const QByteArray& jpeg, int orientation) {
    QByteArray body("Exif\x00\x00MM\x00\x2A\x00\x00\x00\x08\x00\x01\x01\x12\x00\x03\x00\x00\x00\x01", 24);
    body += char(0);
    body += char(orientation);
    body += QByteArray(6, '\0');
    const int length = int(body.size()) + 2;
    return jpeg.left(2) + QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xFF) + body +
           jpeg.mid(2);
}

// The offset of the n-th (from 0) start-of-scan marker.
qsizetype startOfScan(const QByteArray& jpeg, int n) {
    qsizetype at = -1;
    for (int i = 0; i <= n; ++i) {
        at = jpeg.indexOf("\xFF\xDA", at + 1);
    }
    return at;
}

// Today's decode: the reader on the whole file.
QImage wholeFileDecode(const QByteArray& bytes, QSize scaled) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(true);
    reader.setScaledSize(scaled);
    return reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

platform::Picture loaded(const QByteArray& bytes, int neededLongSide) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return pictures::loadRasterPicture(buffer, neededLongSide);
}

// Whether the 1/8 path takes the file and makes a whole, sound stream of it.
bool takenAtEighth(const QByteArray& bytes, QSize scaled) {
    QBuffer file;
    file.setData(bytes);
    file.open(QIODevice::ReadOnly);
    const std::unique_ptr<pictures::EighthScaleJpeg> stream = pictures::EighthScaleJpeg::make(file);
    if (!stream) {
        return false;
    }
    QImageReader reader(stream.get(), "jpeg");
    reader.setScaledSize(scaled);
    return !reader.read().isNull() && stream->complete();
}

} // namespace

Q_DECLARE_METATYPE(Encoding)

class TestProgressiveJpeg : public QObject {
    Q_OBJECT

private slots:
    // Each row: the picture's size, how it is encoded, the long side the display needs and the size the
    // reader is then asked for (the 1/8 decode, or for sizes not a multiple of 8, a little less, which the
    // reader scales to itself).
    void samePixelsAsTheWholeFile_data() {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<Encoding>("encoding");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("needed");
        QTest::addColumn<QSize>("scaled");
        const Encoding simple;
        QTest::newRow("4:2:0, libjpeg's progression")
            << QSize(256, 192) << simple << 0 << 32 << QSize(32, 24);
        QTest::newRow("4:2:0, partial MCUs at the right and bottom")
            << QSize(296, 184) << simple << 0 << 37 << QSize(37, 23);
        QTest::newRow("4:2:0, not a multiple of 8") << QSize(301, 203) << simple << 0 << 37 << QSize(37, 25);
        Encoding e = simple;
        e.lumaH = e.lumaV = 1;
        QTest::newRow("4:4:4") << QSize(200, 136) << e << 0 << 25 << QSize(25, 17);
        e.lumaH = 2;
        QTest::newRow("4:2:2") << QSize(200, 136) << e << 0 << 25 << QSize(25, 17);
        e = simple;
        e.components = 1;
        QTest::newRow("grey, partial blocks") << QSize(203, 141) << e << 0 << 25 << QSize(25, 17);
        e = simple;
        e.scans = {scan({0, 1, 2}, 0, 0, 0, 0), scan({0}, 1, 5, 0, 0), scan({2}, 1, 63, 0, 0),
                   scan({1}, 1, 63, 0, 0), scan({0}, 6, 63, 0, 0)};
        QTest::newRow("spectral selection alone") << QSize(296, 184) << e << 0 << 37 << QSize(37, 23);
        e.scans = {scan({0, 1, 2}, 0, 0, 0, 2), scan({1}, 1, 63, 0, 2),      scan({2}, 1, 63, 0, 2),
                   scan({0}, 1, 63, 0, 1),      scan({0, 1, 2}, 0, 0, 2, 1), scan({1}, 1, 63, 2, 1),
                   scan({2}, 1, 63, 2, 1),      scan({0, 1, 2}, 0, 0, 1, 0), scan({1}, 1, 63, 1, 0),
                   scan({2}, 1, 63, 1, 0),      scan({0}, 1, 63, 1, 0)};
        QTest::newRow("successive approximation in three steps")
            << QSize(296, 184) << e << 0 << 37 << QSize(37, 23);
        e.scans = {scan({0}, 0, 0, 0, 0),  scan({2}, 0, 0, 0, 0),  scan({1}, 0, 0, 0, 0),
                   scan({1}, 1, 63, 0, 0), scan({2}, 1, 63, 0, 0), scan({0}, 1, 63, 0, 0)};
        QTest::newRow("each component's DC in a scan of its own")
            << QSize(296, 184) << e << 0 << 37 << QSize(37, 23);
        e = simple;
        e.restartInterval = 5;
        QTest::newRow("restart markers every 5 MCUs") << QSize(296, 184) << e << 0 << 37 << QSize(37, 23);
        e.restartInterval = 0;
        e.restartRows = 1;
        QTest::newRow("restart markers every row") << QSize(301, 203) << e << 0 << 37 << QSize(37, 25);
        QTest::newRow("EXIF orientation 6, turned right")
            << QSize(296, 184) << simple << 6 << 37 << QSize(37, 23);
    }
    void samePixelsAsTheWholeFile() {
        QFETCH(QSize, size);
        QFETCH(Encoding, encoding);
        QFETCH(int, orientation);
        QFETCH(int, needed);
        QFETCH(QSize, scaled);
        QByteArray bytes = encode(detailed(size), encoding);
        if (orientation != 0) {
            bytes = withExifOrientation(bytes, orientation);
        }
        QVERIFY(takenAtEighth(bytes, scaled));
        const platform::Picture picture = loaded(bytes, needed);
        QCOMPARE(picture.image(), wholeFileDecode(bytes, scaled));
        QCOMPARE(picture.image().size(), orientation == 6 ? scaled.transposed() : scaled);
    }

    // Files the path does not take decode as the whole file does, or fail as it does.
    void othersDecodeAsBefore_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QImage picture = detailed(QSize(296, 184));
        Encoding e;
        const QByteArray simple = encode(picture, e);
        e.progressive = false;
        QTest::newRow("baseline") << encode(picture, e);
        e.progressive = true;
        e.arithmetic = true;
        QTest::newRow("arithmetic coding") << encode(picture, e);
        QTest::newRow("cut short") << simple.left(simple.size() * 3 / 5);
        // With a coefficient band never completed the decoder smooths the blocks.
        e.arithmetic = false;
        e.scans = {scan({0, 1, 2}, 0, 0, 0, 1), scan({0}, 1, 63, 0, 0), scan({1}, 1, 63, 0, 1),
                   scan({2}, 1, 63, 0, 0), scan({0, 1, 2}, 0, 0, 1, 0)};
        QTest::newRow("chroma never refined") << encode(picture, e);
        // A scan 1/8 steps over, naming a table that was never defined: the whole decode fails.
        QByteArray undefinedTable = simple;
        undefinedTable[startOfScan(simple, 1) + 6] = char(0x03);
        QTest::newRow("a luma AC scan with an undefined table") << undefinedTable;
        // The DC refinement, which reads plain bits, lists its components 2, 3, 1: libjpeg-turbo refuses it.
        qsizetype refinement = -1;
        for (int n = 0; (refinement = startOfScan(simple, n)) >= 0; ++n) {
            if (simple[refinement + 4] == 3 && simple[refinement + 13] == 0x10) {
                break;
            }
        }
        QByteArray reordered = simple;
        const qsizetype components = refinement + 5;
        reordered.replace(components, 6, simple.mid(components + 2, 4) + simple.mid(components, 2));
        QTest::newRow("components out of the frame's order") << reordered;
        QByteArray corrupted = simple;
        for (qsizetype at = startOfScan(simple, 0) + 20; at < startOfScan(simple, 0) + 400; at += 37) {
            corrupted[at] = char(corrupted[at] ^ 0x5A);
        }
        QTest::newRow("DC data corrupted") << corrupted;
    }
    void othersDecodeAsBefore() {
        QFETCH(QByteArray, bytes);
        const QSize scaled(37, 23);
        const QImage whole = wholeFileDecode(bytes, scaled);
        if (QTest::currentDataTag() != QLatin1String("DC data corrupted")) {
            QVERIFY(!takenAtEighth(bytes, scaled));
        }
        QCOMPARE(loaded(bytes, 37).image(), whole);
    }
};

QTEST_GUILESS_MAIN(TestProgressiveJpeg)
#include "test_progressive_jpeg.moc"

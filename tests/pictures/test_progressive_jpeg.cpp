// Progressive JPEGs read at 1/8 from the scans that scale uses, against the reader's decode of the whole
// file: the same pixels for every progression, sampling, size and restart layout, and the whole-file decode
// for every file that path does not vouch for; and the stream of a large file, handed from the thread that
// makes it to the reader piece by piece, whole and once, however the two keep pace and however the file
// gives out.
#include "pictures/progressivejpeg.h"
#include "pictures/raster.h"

#include <QBuffer>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTest>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
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
    const platform::Picture picture = pictures::loadRasterPicture(buffer, neededLongSide);
    return {picture.image().convertToFormat(QImage::Format_ARGB32_Premultiplied),
            QSizeF(picture.width(), picture.height())};
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

// A file that the test paces. Reads on the thread that made it (the survey when the stream is made) pass at
// once; the stream's own thread counts its reads and, while the file is held, waits at each until the test
// lets it through. From a chosen byte on, that thread finds the file ended there, or failing, as a file cut
// short or a lost disk would after the survey.
class PacedFile : public QIODevice {
public:
    enum class Cut { None, Ends, Fails };

    explicit PacedFile(QByteArray bytes) : m_bytes(std::move(bytes)) { open(ReadOnly | Unbuffered); }

    void hold() { m_holding = true; }
    void cutFrom(qint64 position, Cut how) {
        m_cutFrom = position;
        m_cut = how;
    }
    // The reads the stream's thread has made or stands at.
    int arrived() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrived;
    }
    // Until the stream's thread stands at its read n (from 1), or until `over` holds; true in the first case.
    template <typename Over> bool waitForRead(int n, Over over) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_arrived >= n || over(); });
        return m_arrived >= n;
    }
    void release(int n) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_released = n;
        }
        m_changed.notify_all();
    }
    void releaseAll() {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_holding = false;
        }
        m_changed.notify_all();
    }
    // Wakes a waitForRead to look at its `over` again.
    void wake() {
        { const std::lock_guard<std::mutex> lock(m_mutex); }
        m_changed.notify_all();
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        qint64 end = m_bytes.size();
        if (std::this_thread::get_id() != m_owner) {
            std::unique_lock<std::mutex> lock(m_mutex);
            const int n = ++m_arrived;
            m_changed.notify_all();
            m_changed.wait(lock, [&] { return !m_holding || m_released >= n; });
            if (m_cut == Cut::Fails && pos() + maxSize > m_cutFrom) {
                return -1;
            }
            if (m_cut == Cut::Ends) {
                end = m_cutFrom;
            }
        }
        const qint64 count = std::clamp<qint64>(end - pos(), 0, maxSize);
        std::copy_n(m_bytes.constData() + pos(), count, data);
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const QByteArray m_bytes;
    const std::thread::id m_owner = std::this_thread::get_id();
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_holding = false;
    int m_arrived = 0;
    int m_released = 0;
    qint64 m_cutFrom = 0;
    Cut m_cut = Cut::None;
};

// The size of the pieces the stream's thread hands over.
constexpr qsizetype kPieceBytes = 16 * 1024;

// A photograph's size, 4:2:0: its stream at 1/8 carries the chroma's every coefficient and runs to many
// pieces. The last scan that stream needs is the second of the blue chroma's, kLastNeededScan.
constexpr int kLastNeededScan = 6;
QByteArray longFile() {
    static const QByteArray bytes = [] {
        Encoding e;
        e.scans = {scan({0, 1, 2}, 0, 0, 0, 1), scan({0}, 1, 63, 0, 1),      scan({2}, 1, 63, 0, 1),
                   scan({1}, 1, 63, 0, 1),      scan({0, 1, 2}, 0, 0, 1, 0), scan({2}, 1, 63, 1, 0),
                   scan({1}, 1, 63, 1, 0),      scan({0}, 1, 63, 1, 0)};
        return encode(detailed(QSize(1024, 768)), e);
    }();
    return bytes;
}

// The stream read to its end on a thread of its own, in the decoder's 4 KiB bites.
struct Reader {
    QByteArray got;
    qint64 last = 0;     // what the read that ended it returned
    qint64 afterEnd = 0; // what one more read returned
    std::atomic<bool> done = false;
    std::thread thread;

    Reader(pictures::EighthScaleJpeg& stream, PacedFile& file)
        : thread([this, &stream, &file] {
              char bite[4096];
              while ((last = stream.read(bite, sizeof bite)) > 0) {
                  got.append(bite, last);
              }
              afterEnd = stream.read(bite, sizeof bite);
              done = true;
              file.wake();
          }) {}
    ~Reader() {
        if (thread.joinable()) {
            thread.join();
        }
    }
};
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

    // A photo-sized file whose stream spans many of the pieces its thread hands over: read whole and once
    // when the reader waits for the pieces, and where the file gives out part of the way, read up to the last
    // sound piece and then told as failed, never a piece twice.
    void aLongStreamIsHandedOverWholeAndOnce_data() {
        QTest::addColumn<int>("cut");
        QTest::newRow("made slower than it is read") << int(PacedFile::Cut::None);
        QTest::newRow("the file ends part of the way") << int(PacedFile::Cut::Ends);
        QTest::newRow("the file fails part of the way") << int(PacedFile::Cut::Fails);
    }
    void aLongStreamIsHandedOverWholeAndOnce() {
        QFETCH(int, cut);
        const QByteArray bytes = longFile();
        // The stream as it comes when nothing holds it back.
        PacedFile free(bytes);
        const std::unique_ptr<pictures::EighthScaleJpeg> reference = pictures::EighthScaleJpeg::make(free);
        QVERIFY(reference);
        const QByteArray whole = reference->readAll();
        QVERIFY(reference->complete());
        QVERIFY2(whole.size() > 8 * kPieceBytes, qPrintable(QString::number(whole.size())));
        // Ended once: no piece handed over again after the last.
        QCOMPARE(whole.indexOf("\xFF\xD9"), whole.size() - 2);

        // The stream's thread let through one read at a time, each once the test sees it waiting there: the
        // reader, which only copies, keeps finding the pieces used up.
        PacedFile file(bytes);
        file.hold();
        // From the middle of the last scan the stream needs: about half its rows are made.
        file.cutFrom((startOfScan(bytes, kLastNeededScan) + startOfScan(bytes, kLastNeededScan + 1)) / 2,
                     PacedFile::Cut(cut));
        const std::unique_ptr<pictures::EighthScaleJpeg> stream = pictures::EighthScaleJpeg::make(file);
        QVERIFY(stream);
        Reader reader(*stream, file);
        for (int n = 1; file.waitForRead(n, [&done = reader.done] { return done.load(); }); ++n) {
            file.release(n);
        }
        reader.thread.join();
        const QByteArray& got = reader.got;
        QCOMPARE(reader.afterEnd, reader.last); // and nothing more once it has ended
        if (cut == int(PacedFile::Cut::None)) {
            QCOMPARE(reader.last, qint64(0));
            QCOMPARE(got.size(), whole.size());
            QVERIFY(got == whole);
            QVERIFY(stream->complete());
            // And the pieces, read as the decoder reads them, give the whole file's pixels.
            QCOMPARE(loaded(bytes, 128).image(), wholeFileDecode(bytes, QSize(128, 96)));
        } else {
            QCOMPARE(reader.last, qint64(-1));
            QVERIFY2(got.size() >= 2 * kPieceBytes && got.size() < whole.size(),
                     qPrintable(QStringLiteral("%1 of %2").arg(got.size()).arg(whole.size())));
            QVERIFY(whole.startsWith(got));
            QVERIFY(!stream->complete());
        }
    }

    // A reader that stops after its first bite, as the decoder does at a bad scan: the stream ends at once,
    // its thread stopped wherever it stood, making pieces or waiting for room for them.
    void aStreamLeftPartWayStopsItsThread() {
        PacedFile file(longFile());
        std::unique_ptr<pictures::EighthScaleJpeg> stream = pictures::EighthScaleJpeg::make(file);
        QVERIFY(stream);
        QCOMPARE(stream->read(4096).size(), 4096);
        stream.reset();
    }
};

QTEST_GUILESS_MAIN(TestProgressiveJpeg)
#include "test_progressive_jpeg.moc"

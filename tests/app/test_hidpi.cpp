// At a device-pixel ratio of 2 the preview, the tile faces and the numbers keep the detail of device pixels,
// not of logical pixels blown up.
#include "pictures/painting.h"
#include "platform/picturebox.h"
#include "platform/twips.h"
#include "support/support.h"
#include "ufmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPainter>
#include <QTest>
#include <cmath>

namespace {

QImage plain(const QImage& image) {
    QImage out = image.convertToFormat(QImage::Format_RGB32);
    out.setDevicePixelRatio(1);
    return out;
}

// Mean absolute difference per channel, over the top-left part both images share.
double difference(const QImage& a, const QImage& b, QSize area) {
    const QImage pa = plain(a);
    const QImage pb = plain(b);
    double sum = 0;
    for (int y = 0; y < area.height(); ++y) {
        const auto* ra = reinterpret_cast<const QRgb*>(pa.constScanLine(y));
        const auto* rb = reinterpret_cast<const QRgb*>(pb.constScanLine(y));
        for (int x = 0; x < area.width(); ++x) {
            sum += std::abs(qRed(ra[x]) - qRed(rb[x])) + std::abs(qGreen(ra[x]) - qGreen(rb[x])) +
                   std::abs(qBlue(ra[x]) - qBlue(rb[x]));
        }
    }
    return sum / (3.0 * area.width() * area.height());
}

// What the same image looks like when it only had half the pixels: down to half, back up.
QImage halfResolution(const QImage& image) {
    const QImage p = plain(image);
    return p.scaled(p.size() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .scaled(p.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The picture region stretched over a square of the given device pixels, the part past the picture white.
QImage reference(const platform::Picture& picture, const QRectF& sourcePixels, double side) {
    const int whole = int(std::ceil(side));
    QImage out(whole, whole, QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRectF(0, 0, side, side), picture.image(), sourcePixels);
    return out;
}

// The checks shared by the preview and the tiles: the backing has device pixels, it matches the full-detail
// picture region, and it is much closer to it than the same region at logical-pixel detail would be.
void verifySharp(const platform::PictureBox& box, const QImage& full, QSize compared) {
    const QImage& backing = box.backing();
    QCOMPARE(backing.devicePixelRatio(), 2.0);
    const QSize inner = box.size() - QSize(2, 2) * box.borderPixels();
    QCOMPARE(backing.size(), inner * 2);
    const double sharp = difference(backing, full, compared);
    const double blurred = difference(halfResolution(full), full, compared);
    QVERIFY2(blurred > 2.0, qPrintable(QStringLiteral("region without fine detail: %1").arg(blurred)));
    QVERIFY2(sharp < 0.5 * blurred,
             qPrintable(QStringLiteral("backing differs by %1, half-res by %2").arg(sharp).arg(blurred)));
}

} // namespace

class TestHiDpi : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void previewIsSharp();
    void tileFacesAreSharp_data();
    void tileFacesAreSharp();
    void numbersAreSharp();

private:
    void startGame(int sizeEntry, bool numbers);
    std::unique_ptr<UFMain> m_window;
};

void TestHiDpi::initTestCase() {
    QCOMPARE(qApp->devicePixelRatio(), 2.0);
}

void TestHiDpi::init() {
    UFMain::Services services;
    services.random = std::make_unique<platform::ClockSeededSource>(7);
    services.clock = std::make_unique<testing::ManualClock>();
    services.sound = std::make_unique<testing::RecordingSound>();
    m_window = std::make_unique<UFMain>(std::move(services));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCOMPARE(m_window->devicePixelRatioF(), 2.0);
}

void TestHiDpi::cleanup() {
    m_window.reset();
}

void TestHiDpi::startGame(int sizeEntry, bool numbers) {
    m_window->findChild<QComboBox*>(QStringLiteral("Combo1"))->setCurrentIndex(sizeEntry);
    m_window->findChild<QCheckBox*>(QStringLiteral("Check1"))->setChecked(numbers);
    m_window->Command2_Click();
    QTRY_VERIFY(m_window->isPlaying());
}

void TestHiDpi::previewIsSharp() {
    const auto* preview = m_window->findChild<platform::PictureBox*>(QStringLiteral("Picture2"));
    QVERIFY(preview);
    const platform::Picture& picture = m_window->currentPicture();
    const double side = pictures::sourceSide(picture);
    const QRectF source = picture.sourcePixels(QRectF(0, 0, side, side));
    const double deviceSide = platform::twipsToPixels(pictures::kPreviewSide) * 2;
    const QImage full = reference(picture, source, deviceSide);
    // Only the part the picture covers: past its narrow side the preview is plain white either way.
    const double covered = picture.image().width() / source.width();
    const QSize compared(int(preview->backing().width() * std::min(1.0, covered)) - 4,
                         preview->backing().height());
    verifySharp(*preview, full, compared);
}

void TestHiDpi::tileFacesAreSharp_data() {
    QTest::addColumn<int>("sizeEntry");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("tile");
    QTest::newRow("3x3 first") << 0 << 3 << 0;
    QTest::newRow("3x3 centre") << 0 << 3 << 4;
    QTest::newRow("5x5 last row") << 2 << 5 << 21;
}

void TestHiDpi::tileFacesAreSharp() {
    QFETCH(int, sizeEntry);
    QFETCH(int, n);
    QFETCH(int, tile);
    startGame(sizeEntry, false);
    QCOMPARE(int(m_window->board().myGridN), n);
    const platform::Picture& picture = m_window->currentPicture();
    const double q = pictures::pieceSide(picture, n);
    const QRectF source = picture.sourcePixels(QRectF((tile % n) * q, (tile / n) * q, q, q));
    const double deviceSide = platform::twipsToPixels(m_window->board().myTileSize) * 2;
    const QImage full = reference(picture, source, deviceSide);
    const platform::PictureBox& box = *m_window->tile(tile);
    verifySharp(box, full, box.backing().size());
}

void TestHiDpi::numbersAreSharp() {
    startGame(0, false);
    const QImage face = plain(m_window->tile(1)->backing());
    startGame(0, true);
    const QImage numbered = plain(m_window->tile(1)->backing());
    // What the number adds to the face, alone: glyph strokes on black.
    QImage glyphs(face.size(), QImage::Format_RGB32);
    for (int y = 0; y < face.height(); ++y) {
        for (int x = 0; x < face.width(); ++x) {
            const QRgb a = face.pixel(x, y);
            const QRgb b = numbered.pixel(x, y);
            glyphs.setPixel(x, y,
                            qRgb(std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                 std::abs(qBlue(a) - qBlue(b))));
        }
    }
    const QImage corner = glyphs.copy(0, 0, glyphs.width() / 2, glyphs.height() / 2);
    QImage black(corner.size(), QImage::Format_RGB32);
    black.fill(Qt::black);
    QVERIFY2(difference(corner, black, corner.size()) > 1.0, "the number was not printed in the corner");
    // Glyph edges drawn at device pixels carry detail that a half-res copy loses; a copy that was
    // half-res already loses far less again.
    const double detail = difference(corner, halfResolution(corner), corner.size());
    const QImage soft = halfResolution(corner);
    const double softDetail = difference(soft, halfResolution(soft), soft.size());
    QVERIFY2(detail > 2 * softDetail,
             qPrintable(QStringLiteral("number detail %1, half-res %2").arg(detail).arg(softDetail)));
}

int main(int argc, char* argv[]) {
    // Before the application exists, so every screen and window reports twice the device pixels.
    qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestHiDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_hidpi.moc"

// At device-pixel ratios of 2 and fractional ones (1.25, 1.5, 1.75: ctest runs this program at each) the
// preview, the tile faces and the numbers keep the detail of device pixels, not of logical pixels blown up,
// and the tiles meet as laid out: no gap or overlap beyond the designed one.
#include "application.h"
#include "pictures/painting.h"
#include "platform/picturebox.h"
#include "platform/twips.h"
#include "ranking/module1.h"
#include "support/support.h"
#include "ufmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

namespace {
// The ratio this run was started with; 2 unless ctest asked for another.
double ratio() {
    return qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                                                        : 2.0;
}

// The window as it paints itself at this ratio, in device pixels. (The offscreen screen's own grab
// returns only the window's logical size.)
QImage onScreen(QWidget& window) {
    QTest::qWait(50); // let the repaints after a start settle
    QImage shot = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    shot.setDevicePixelRatio(1);
    if (qEnvironmentVariableIsSet("DUMP_SHOT")) {
        shot.save(qEnvironmentVariable("DUMP_SHOT"));
    }
    return shot;
}

// The device pixel boundary a widget's edge at a logical position lands on: rounded half up, as the
// toolkit rounds a widget's clip.
int deviceEdge(double logical) {
    return int(std::floor(logical * ratio() + 0.5));
}

enum class Kind { Face, Border, Gap };

// What a pixel between two plain red tile faces is: face, border (the window text colour) or anything else.
Kind kindOf(QRgb pixel, QRgb border) {
    if (qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60) {
        return Kind::Face;
    }
    return pixel == border ? Kind::Border : Kind::Gap;
}

// Runs of kinds along a line of pixels, as "F12 B2 G2 B2 F12".
QString runsOf(const std::vector<Kind>& line) {
    QString out;
    for (std::size_t i = 0; i < line.size();) {
        std::size_t j = i;
        while (j < line.size() && line[j] == line[i]) {
            ++j;
        }
        out += (out.isEmpty() ? QString() : QStringLiteral(" ")) +
               QLatin1Char(line[i] == Kind::Face     ? 'F'
                           : line[i] == Kind::Border ? 'B'
                                                     : 'G') +
               QString::number(j - i);
        i = j;
    }
    return out;
}

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
    QCOMPARE(backing.devicePixelRatio(), ratio());
    const QSize inner = box.size() - QSize(2, 2) * box.borderPixels();
    QCOMPARE(backing.size(),
             QSize(int(std::ceil(inner.width() * ratio())), int(std::ceil(inner.height() * ratio()))));
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
    void tilesMeetAsLaidOut_data();
    void tilesMeetAsLaidOut();
    void facesShownPixelForPixel();
    void clockCaptionWhole();

private:
    void startGame(int sizeEntry, bool numbers);
    QTemporaryDir m_rankingFolder;
    ranking::Module1 m_ranking{m_rankingFolder.path()};
    std::unique_ptr<UFMain> m_window;
};

void TestHiDpi::initTestCase() {
    QCOMPARE(qApp->devicePixelRatio(), ratio());
}

void TestHiDpi::init() {
    UFMain::Services services;
    services.random = std::make_unique<platform::ClockSeededSource>(7);
    services.clock = std::make_unique<testing::ManualClock>();
    services.sound = std::make_unique<testing::RecordingSound>();
    m_window = std::make_unique<UFMain>(m_ranking, std::move(services));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCOMPARE(m_window->devicePixelRatioF(), ratio());
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
    const double deviceSide = platform::twipsToPixels(pictures::kPreviewSide) * ratio();
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
    const double deviceSide = platform::twipsToPixels(m_window->board().myTileSize) * ratio();
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

void TestHiDpi::tilesMeetAsLaidOut_data() {
    QTest::addColumn<int>("sizeEntry");
    QTest::newRow("3x3") << 0;
    QTest::newRow("5x5") << 2;
    QTest::newRow("7x7") << 4;
    QTest::newRow("10x10") << 7;
}

// Between the plain faces of neighbouring tiles the screen shows border, gap, border and nothing else: no
// face pixel strays past its border, no border is missing or doubled, and the gap is the laid-out one.
void TestHiDpi::tilesMeetAsLaidOut() {
    QFETCH(int, sizeEntry);
    QImage red(300, 300, QImage::Format_RGB32);
    red.fill(QColor(255, 0, 0));
    m_window->setCurrentPicture(testing::rasterPictureFromImage(red));
    startGame(sizeEntry, false);
    const engine::Board& b = m_window->board();
    const QImage shot = onScreen(*m_window);
    const QRgb border = m_window->tile(0)->palette().color(QPalette::WindowText).rgb();
    const int n = b.myGridN;
    const int thickness = std::max(1, int(std::lround(ratio())));
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            for (const bool across : {true, false}) {
                const int x2 = across ? x + 1 : x;
                const int y2 = across ? y : y + 1;
                const bool blank =
                    (x == b.myBlankX && y == b.myBlankY) || (x2 == b.myBlankX && y2 == b.myBlankY);
                if (x2 >= n || y2 >= n || blank) {
                    continue;
                }
                const QWidget* first = m_window->tile(b.myBoard[x][y]);
                const QWidget* second = m_window->tile(b.myBoard[x2][y2]);
                const QRect a(first->mapTo(m_window.get(), QPoint(0, 0)), first->size());
                const QRect c(second->mapTo(m_window.get(), QPoint(0, 0)), second->size());
                std::vector<Kind> line;
                const int from = deviceEdge(across ? a.center().x() : a.center().y());
                const int to = deviceEdge(across ? c.center().x() : c.center().y());
                const int at = deviceEdge(across ? a.center().y() : a.center().x());
                for (int k = from; k < to; ++k) {
                    line.push_back(kindOf(across ? shot.pixel(k, at) : shot.pixel(at, k), border));
                }
                const int laidOutGap = across ? c.left() - a.right() - 1 : c.top() - a.bottom() - 1;
                const QString runs = runsOf(line);
                const QStringList parts = runs.split(u' ');
                const QString where =
                    QStringLiteral("cells %1,%2 and %3,%4: %5").arg(x).arg(y).arg(x2).arg(y2).arg(runs);
                QVERIFY2(parts.size() == 5 && parts[0][0] == u'F' && parts[1][0] == u'B' &&
                             parts[2][0] == u'G' && parts[3][0] == u'B' && parts[4][0] == u'F',
                         qPrintable(where));
                QVERIFY2(parts[1].mid(1).toInt() == thickness && parts[3].mid(1).toInt() == thickness,
                         qPrintable(where));
                QVERIFY2(std::abs(parts[2].mid(1).toInt() - laidOutGap * ratio()) <= 1.0, qPrintable(where));
            }
        }
    }
}

// The screen shows each tile's face as its backing image holds it, pixel for pixel: nothing resampled.
void TestHiDpi::facesShownPixelForPixel() {
    startGame(2, true);
    const QImage shot = onScreen(*m_window);
    for (const int t : {0, 6, 12, 23}) {
        const platform::PictureBox& box = *m_window->tile(t);
        const QImage face = plain(box.backing());
        const QPoint origin = box.mapTo(m_window.get(), QPoint(0, 0));
        const int left = deviceEdge(origin.x()) + std::max(1, int(std::lround(ratio())));
        const int top = deviceEdge(origin.y()) + std::max(1, int(std::lround(ratio())));
        const int right = deviceEdge(origin.x() + box.width()) - std::max(1, int(std::lround(ratio())));
        const int bottom = deviceEdge(origin.y() + box.height()) - std::max(1, int(std::lround(ratio())));
        int differing = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) {
                differing += shot.pixel(x, y) != face.pixel(x - left, y - top) ? 1 : 0;
            }
        }
        QVERIFY2(differing == 0,
                 qPrintable(QStringLiteral("tile %1: %2 pixels differ").arg(t).arg(differing)));
    }
}

// The clock's caption stands whole in its label: its strokes reach as far as the caption's advance and
// stop short of the label's last device column, which would cut them.
void TestHiDpi::clockCaptionWhole() {
    auto* clock = m_window->findChild<QLabel*>(QStringLiteral("Label1"));
    const QImage shot = onScreen(*m_window);
    const QPoint origin = clock->mapTo(m_window.get(), QPoint(0, 0));
    const int left = deviceEdge(origin.x());
    const int right = deviceEdge(origin.x() + clock->width()); // one past the label's last column
    const QRgb panel = QColor(192, 255, 192).rgb();
    int inkEnd = left;
    for (int y = deviceEdge(origin.y()); y < deviceEdge(origin.y() + clock->height()); ++y) {
        for (int x = left; x < right; ++x) {
            if (shot.pixel(x, y) != panel) {
                inkEnd = std::max(inkEnd, x + 1);
            }
        }
    }
    const double advance = QFontMetricsF(clock->font()).horizontalAdvance(clock->text()) * ratio();
    QVERIFY2(inkEnd < right,
             qPrintable(QStringLiteral("strokes up to the label's edge (%1)").arg(right - left)));
    QVERIFY2(inkEnd - left >= advance - 3 * ratio(),
             qPrintable(QStringLiteral("strokes end at %1 of %2").arg(inkEnd - left).arg(advance)));
}

int main(int argc, char* argv[]) {
    // Before the application exists, so every screen and window reports the device pixels of that ratio.
    if (!qEnvironmentVariableIsSet("QT_SCALE_FACTOR")) {
        qputenv("QT_SCALE_FACTOR", "2");
    }
    QApplication app(argc, argv);
    setupApplication(app); // the game's own interface font, whose captions must stay whole
    TestHiDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_hidpi.moc"

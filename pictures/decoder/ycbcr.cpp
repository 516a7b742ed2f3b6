#include "ycbcr.h"

#include <algorithm>
#include <vector>

namespace decoder {

namespace {
struct Weights {
    double kr, kb;
};

Weights weightsOf(int matrix) {
    switch (matrix) {
    case 1:
        return {0.2126, 0.0722};
    case 9:
        return {0.2627, 0.0593};
    default: // 5, 6 and unspecified: BT.601
        return {0.299, 0.114};
    }
}

// The plane averaged over the boxes that the target's pixels cover: first along each row, then down each
// column, in sums of whole source pixels.
std::vector<float> boxScaled(const Plane& plane, QSize target) {
    const int w = plane.size.width(), h = plane.size.height();
    auto edges = [](int from, int to) {
        std::vector<int> e(std::size_t(to) + 1);
        for (int i = 0; i <= to; ++i) {
            e[std::size_t(i)] = int(std::int64_t(i) * from / to);
        }
        for (int i = 1; i <= to; ++i) { // each box at least one pixel wide
            e[std::size_t(i)] = std::clamp(e[std::size_t(i)], e[std::size_t(i) - 1] + 1, from);
        }
        return e;
    };
    const std::vector<int> xs = edges(w, target.width()), ys = edges(h, target.height());
    std::vector<float> rows(std::size_t(target.width()) * std::size_t(h));
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* line = plane.data + std::ptrdiff_t(y) * plane.stride;
        float* out = &rows[std::size_t(y) * std::size_t(target.width())];
        for (int x = 0; x < target.width(); ++x) {
            unsigned sum = 0;
            for (int i = xs[std::size_t(x)]; i < xs[std::size_t(x) + 1]; ++i) {
                sum += line[i];
            }
            out[x] = float(sum) / float(xs[std::size_t(x) + 1] - xs[std::size_t(x)]);
        }
    }
    std::vector<float> scaled(std::size_t(target.width()) * std::size_t(target.height()), 0.0f);
    for (int y = 0; y < target.height(); ++y) {
        float* out = &scaled[std::size_t(y) * std::size_t(target.width())];
        for (int r = ys[std::size_t(y)]; r < ys[std::size_t(y) + 1]; ++r) {
            const float* in = &rows[std::size_t(r) * std::size_t(target.width())];
            for (int x = 0; x < target.width(); ++x) {
                out[x] += in[x];
            }
        }
        const float n = float(ys[std::size_t(y) + 1] - ys[std::size_t(y)]);
        for (int x = 0; x < target.width(); ++x) {
            out[x] /= n;
        }
    }
    return scaled;
}
} // namespace

bool knownMatrix(int matrix) {
    return matrix == 1 || matrix == 2 || matrix == 5 || matrix == 6 || matrix == 9;
}

QImage scaledToRgb(const Plane& y, const Plane& cb, const Plane& cr, QSize target, YcbcrCoding coding) {
    if (!knownMatrix(coding.matrix) || target.isEmpty() || target.width() > y.size.width() ||
        target.height() > y.size.height() || target.width() > cb.size.width() ||
        target.height() > cb.size.height() || cb.size != cr.size) {
        return {};
    }
    const std::vector<float> ys = boxScaled(y, target), cbs = boxScaled(cb, target),
                             crs = boxScaled(cr, target);
    const Weights k = weightsOf(coding.matrix);
    const double kg = 1 - k.kr - k.kb;
    const float lumaScale = coding.fullRange ? 1.0f : 255.0f / 219.0f;
    const float chromaScale = coding.fullRange ? 1.0f : 255.0f / 224.0f;
    const float lumaOffset = coding.fullRange ? 0.0f : 16.0f;
    const auto crToR = float(2 * (1 - k.kr)), cbToB = float(2 * (1 - k.kb));
    const auto crToG = float(2 * k.kr * (1 - k.kr) / kg), cbToG = float(2 * k.kb * (1 - k.kb) / kg);
    QImage image(target, QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    auto byte = [](float v) { return int(std::clamp(v + 0.5f, 0.0f, 255.0f)); };
    for (int row = 0; row < target.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
        const std::size_t at = std::size_t(row) * std::size_t(target.width());
        for (int x = 0; x < target.width(); ++x) {
            const float l = (ys[at + std::size_t(x)] - lumaOffset) * lumaScale;
            const float b = (cbs[at + std::size_t(x)] - 128.0f) * chromaScale;
            const float r = (crs[at + std::size_t(x)] - 128.0f) * chromaScale;
            line[x] = qRgb(byte(l + crToR * r), byte(l - crToG * r - cbToG * b), byte(l + cbToB * b));
        }
    }
    return image;
}

} // namespace decoder

#include "iccprofile.h"

#include <QIODevice>
#include <algorithm>
#include <vector>

namespace pictures {

namespace {
constexpr char kIccSignature[] = "ICC_PROFILE"; // and its terminating zero: 12 bytes
constexpr qsizetype kIccHeader = 14;            // the signature, then the sequence number and the count
// Segments before the first scan stepped over before giving up on a file made of nothing else.
constexpr int kMaxSegments = 10000;
} // namespace

QByteArray assembleIccProfile(const QList<QByteArray>& app2Payloads) {
    struct Piece {
        int number;
        QByteArrayView data;
    };
    std::vector<Piece> pieces;
    int count = 0;
    for (const QByteArray& payload : app2Payloads) {
        if (payload.size() < kIccHeader || !payload.startsWith(QByteArrayView(kIccSignature, 12))) {
            continue;
        }
        const int number = quint8(payload[12]), total = quint8(payload[13]);
        if (number == 0 || total == 0 || number > total || (count != 0 && total != count)) {
            return {};
        }
        count = total;
        pieces.push_back({number, QByteArrayView(payload).sliced(kIccHeader)});
    }
    if (pieces.size() != std::size_t(count)) {
        return {};
    }
    std::sort(pieces.begin(), pieces.end(),
              [](const Piece& a, const Piece& b) { return a.number < b.number; });
    QByteArray profile;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (pieces[i].number != int(i) + 1) {
            return {}; // a number twice, so another missing
        }
        profile += pieces[i].data;
    }
    return profile;
}

QByteArray jpegIccProfile(QIODevice& device) {
    if (device.isSequential()) {
        return {};
    }
    const qint64 was = device.pos();
    QList<QByteArray> app2;
    qint64 at = 2; // after the start of image
    for (int n = 0; n < kMaxSegments && at + 4 <= device.size() && device.seek(at); ++n) {
        const QByteArray head = device.read(4);
        if (head.size() != 4 || quint8(head[0]) != 0xFF) {
            break;
        }
        const int marker = quint8(head[1]);
        if (marker == 0xFF) { // fill bytes before a marker
            at += 1;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) { // the first scan, or the end: no profile comes after
            break;
        }
        const int length = quint8(head[2]) << 8 | quint8(head[3]);
        if (length < 2) {
            break;
        }
        if (marker == 0xE2) {
            app2.append(device.read(length - 2));
        }
        at += 2 + length;
    }
    device.seek(was);
    return assembleIccProfile(app2);
}

} // namespace pictures

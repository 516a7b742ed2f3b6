// Small WMF and EMF files written record by record, so the tests (and the benchmark) know exactly what
// a decoded metafile must show: by default a red left half and a blue right half, 1 × 0.5 inch.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QRect>
#include <QSize>
#include <QtEndian>
#include <vector>

namespace fixtures {

struct Fill {
    QRect rect; // in the drawing's own units
    QColor colour;
};

inline std::vector<Fill> twoHalves(int width, int height) {
    return {{QRect(0, 0, width / 2, height), QColor(255, 0, 0)},
            {QRect(width / 2, 0, width - width / 2, height), QColor(0, 0, 255)}};
}

class Writer {
public:
    void u16(int v) { put<quint16>(quint16(v)); }
    void u32(quint32 v) { put<quint32>(v); }
    void s32(int v) { put<qint32>(qint32(v)); }
    QByteArray bytes;

private:
    template <typename T> void put(T v) {
        const T le = qToLittleEndian(v);
        bytes.append(reinterpret_cast<const char*>(&le), sizeof le);
    }
};

inline quint32 colorRef(const QColor& c) {
    return quint32(c.red() | (c.green() << 8) | (c.blue() << 16));
}

// A placeable WMF: its bounding box is (0, 0, width, height) at unitsPerInch.
inline QByteArray wmf(int width = 1000, int height = 500, int unitsPerInch = 1000,
                      const std::vector<Fill>& fills = twoHalves(1000, 500)) {
    Writer records;
    auto record = [&records](int words, int function) {
        records.u32(quint32(words));
        records.u16(function);
    };
    record(5, 0x020B); // SETWINDOWORG y, x
    records.u16(0);
    records.u16(0);
    record(5, 0x020C); // SETWINDOWEXT height, width
    records.u16(height);
    records.u16(width);
    record(8, 0x02FA); // CREATEPENINDIRECT: a null pen, object 0
    records.u16(5);
    records.u16(0);
    records.u16(0);
    records.u32(0);
    record(4, 0x012D); // SELECTOBJECT 0
    records.u16(0);
    for (const Fill& f : fills) {
        record(7, 0x02FC); // CREATEBRUSHINDIRECT solid: object 1
        records.u16(0);
        records.u32(colorRef(f.colour));
        records.u16(0);
        record(4, 0x012D); // SELECTOBJECT 1
        records.u16(1);
        record(7, 0x041B); // RECTANGLE bottom, right, top, left
        records.u16(f.rect.y() + f.rect.height());
        records.u16(f.rect.x() + f.rect.width());
        records.u16(f.rect.y());
        records.u16(f.rect.x());
        record(4, 0x01F0); // DELETEOBJECT 1
        records.u16(1);
    }
    record(3, 0x0000); // EOF

    Writer out;
    const quint16 head[10] = {0xCDD7, 0x9AC6, 0, 0, 0, quint16(width), quint16(height), quint16(unitsPerInch),
                              0,      0};
    quint16 checksum = 0;
    for (quint16 w : head) {
        checksum ^= w;
        out.u16(w);
    }
    out.u16(checksum);
    out.u16(1); // META_HEADER: memory metafile, 9 words, version 3
    out.u16(9);
    out.u16(0x0300);
    out.u32(quint32(9 + records.bytes.size() / 2));
    out.u16(2);
    out.u32(8);
    out.u16(0);
    return out.bytes + records.bytes;
}

// The EMR_HEADER before the records and the EOF record after them: bounds in device pixels, frame in
// hundredths of a millimetre, count the records written so far.
inline QByteArray emfFile(QSize pixels, QSize frame, quint16 handles, Writer records, int count) {
    records.u32(14); // EOF
    records.u32(20);
    records.u32(0);
    records.u32(16);
    records.u32(20);
    Writer out;
    out.u32(1); // EMR_HEADER, 88 bytes
    out.u32(88);
    for (int v : {0, 0, pixels.width() - 1, pixels.height() - 1, 0, 0, frame.width(), frame.height()}) {
        out.s32(v);
    }
    out.u32(0x464D4520u);
    out.u32(0x10000);
    out.u32(quint32(88 + records.bytes.size()));
    out.u32(quint32(count + 2)); // the header and the EOF record too
    out.u16(handles);
    out.u16(0);
    out.u32(0);
    out.u32(0);
    out.u32(0);
    out.s32(1920); // reference device: 1920 × 1080 pixels at 96 dpi
    out.s32(1080);
    out.s32(508);
    out.s32(286);
    return out.bytes + records.bytes;
}

// An EMF of width × height device pixels whose frame is frameW × frameH hundredths of a millimetre.
inline QByteArray emf(int width = 96, int height = 48, int frameW = 2540, int frameH = 1270,
                      const std::vector<Fill>& fills = twoHalves(96, 48)) {
    Writer records;
    int count = 0;
    auto record = [&](int type, int size) {
        records.u32(quint32(type));
        records.u32(quint32(size));
        ++count;
    };
    record(37, 12); // SELECTOBJECT the stock null pen
    records.u32(0x80000008u);
    for (const Fill& f : fills) {
        record(39, 24); // CREATEBRUSHINDIRECT object 1, solid
        records.u32(1);
        records.u32(0);
        records.u32(colorRef(f.colour));
        records.u32(0);
        record(37, 12); // SELECTOBJECT 1
        records.u32(1);
        record(43, 24); // RECTANGLE
        records.s32(f.rect.x());
        records.s32(f.rect.y());
        records.s32(f.rect.x() + f.rect.width());
        records.s32(f.rect.y() + f.rect.height());
        record(40, 12); // DELETEOBJECT 1
        records.u32(1);
    }
    return emfFile(QSize(width, height), QSize(frameW, frameH), 2, records, count);
}

// An EMF of 400 × 100 device pixels (frame 10.58 × 2.65 cm): a white page with one line of black text.
inline QByteArray emfWithText(const QString& text, const QString& face = QStringLiteral("IPAGothic")) {
    Writer records;
    int count = 0;
    auto record = [&](int type, int size) {
        records.u32(quint32(type));
        records.u32(quint32(size));
        ++count;
    };
    record(37, 12); // SELECTOBJECT the stock null pen
    records.u32(0x80000008u);
    record(39, 24); // a white page
    records.u32(1);
    records.u32(0);
    records.u32(colorRef(Qt::white));
    records.u32(0);
    record(37, 12);
    records.u32(1);
    record(43, 24);
    for (int v : {0, 0, 400, 100}) {
        records.s32(v);
    }
    record(82, 104); // EXTCREATEFONTINDIRECTW object 2: 60 units high
    records.u32(2);
    for (int v : {-60, 0, 0, 0, 400}) {
        records.s32(v);
    }
    records.u32(0x00800000u); // not italic, underlined or struck out; SHIFTJIS_CHARSET
    records.u32(0);
    for (int i = 0; i < 32; ++i) {
        records.u16(i < face.size() ? face.at(i).unicode() : 0);
    }
    record(37, 12);
    records.u32(2);
    record(24, 12); // SETTEXTCOLOR black
    records.u32(0);
    record(18, 12); // SETBKMODE transparent
    records.u32(1);
    const int chars = int(text.size());
    const int stringBytes = (chars * 2 + 3) / 4 * 4;
    record(84, 76 + stringBytes + 4 * chars); // EXTTEXTOUTW
    for (int v : {10, 10, 390, 90}) {
        records.s32(v);
    }
    records.u32(1);
    records.u32(0); // exScale, eyScale: 0.0f
    records.u32(0);
    records.s32(10); // reference point
    records.s32(20);
    records.u32(quint32(chars));
    records.u32(76);
    records.u32(0);
    for (int v : {0, 0, -1, -1}) {
        records.s32(v);
    }
    records.u32(quint32(76 + stringBytes));
    for (int i = 0; i < stringBytes / 2; ++i) {
        records.u16(i < chars ? text.at(i).unicode() : 0);
    }
    for (int i = 0; i < chars; ++i) {
        records.u32(64);
    }
    return emfFile(QSize(400, 100), QSize(10583, 2646), 3, records, count);
}

} // namespace fixtures

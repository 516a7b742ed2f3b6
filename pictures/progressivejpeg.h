// Progressive JPEGs read at 1/8 of their size from only the scans that scale needs.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <memory>

namespace pictures {

namespace jpeg {
class EighthScaleProducer;
}

// A progressive JPEG spreads each block's coefficients over many scans, and its decoder reads every scan
// into coefficient buffers of the whole picture before it gives any pixel, even at 1/8, where it uses only
// a block's DC coefficient (and, for a component it scales up in the transform, such as chroma halved both
// ways, that component's other coefficients). This device gives the same picture as a baseline JPEG: the
// file's frame, tables and markers, with just those coefficients, decoded from the scans that carry them
// and zeros elsewhere, which the JPEG decoder turns at 1/8 into the same pixels as the whole file. The
// stream is made a row of blocks at a time, from a cursor in each needed scan, on a thread of its own a few
// rows ahead of the reader, so that neither the coefficients nor the stream are ever held whole; the other
// scans are stepped over.
class EighthScaleJpeg : public QIODevice {
public:
    // The stream of a progressive JPEG read from the start of `file`, which must outlive it; null for a file
    // this does not vouch for: baseline or arithmetic coding, 12 bits, other than one or three components,
    // an incomplete or irregular progression, anything malformed in its markers. Such files decode as
    // they are.
    static std::unique_ptr<EighthScaleJpeg> make(QIODevice& file);
    ~EighthScaleJpeg() override;

    bool isSequential() const override { return true; }
    // Whether the whole stream was read and came out of sound scans. Otherwise (a scan's data proved bad
    // on the way) what was decoded from it is not the file's picture.
    bool complete() const;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    explicit EighthScaleJpeg(std::unique_ptr<jpeg::EighthScaleProducer> producer);

    std::unique_ptr<jpeg::EighthScaleProducer> m_producer;
    QByteArray m_chunk; // handed over and not yet read
    qsizetype m_at = 0;
    bool m_ended = false; // the producer has nothing more
};

} // namespace pictures

// zorupa-decoder: decodes one picture file for the game. The game's request comes on standard input with the
// long side it needs and the picture file's descriptor, open for reading; the helper writes the pixels (in
// sRGB) into the memory it was started with (descriptor 3) and the answer's header, with the picture's
// natural extent, to standard output. Every picture a player gives is parsed here and nowhere else, because
// picture parsers face untrusted files: the game starts this process under time and memory limits, and it
// confines itself before it looks at the picture, so that whatever a crafted file makes of a parser stays
// inside a process that can do nothing but answer. The answer is whole once its header has come and the
// channel has closed; the helper then waits for the game to end it. An exit is a failure. Its one argument:
// how long, in milliseconds, it waits for the request (a helper started ahead of a choice).
#include "confinement.h"
#include "format.h"
#include "formats.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef ZORUPA_DECODER_PROBE
#include "decoderprobe.h"
#endif

namespace {
using decoder::Decoded;

// Whether the request has come, waiting up to timeoutMs for it.
bool requestArrives(int timeoutMs) {
    pollfd in{STDIN_FILENO, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&in, 1, timeoutMs);
        if (ready >= 0 || errno != EINTR) {
            return ready > 0;
        }
    }
}

// The request and its descriptor: the picture file.
struct Received {
    metafile::Request request;
    int picture = -1;
};

std::optional<Received> receiveRequest() {
    Received received;
    iovec part{&received.request, sizeof received.request};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n = 0;
    do {
        n = ::recvmsg(STDIN_FILENO, &message, MSG_CMSG_CLOEXEC | MSG_WAITALL);
    } while (n < 0 && errno == EINTR);
    const cmsghdr* rights = n > 0 ? CMSG_FIRSTHDR(&message) : nullptr;
    if (n != ssize_t(sizeof received.request) || rights == nullptr || rights->cmsg_level != SOL_SOCKET ||
        rights->cmsg_type != SCM_RIGHTS || rights->cmsg_len != CMSG_LEN(sizeof(int)) ||
        std::memcmp(received.request.magic, "ZRQ1", 4) != 0) {
        return std::nullopt;
    }
    std::memcpy(&received.picture, CMSG_DATA(rights), sizeof received.picture);
    return received;
}

// The picture file, read where it lies.
std::optional<decoder::Bytes> mapped(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > qint64(metafile::kMaxFileBytes)) {
        return std::nullopt;
    }
    if (st.st_size == 0) {
        return decoder::Bytes();
    }
    // Mapped whole at once: a decoder reads every byte, and one call costs far less than a fault a page.
    void* data = ::mmap(nullptr, std::size_t(st.st_size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (data == MAP_FAILED) {
        return std::nullopt;
    }
    return decoder::Bytes(static_cast<const unsigned char*>(data), std::size_t(st.st_size));
}

bool writeAll(const void* data, std::size_t length) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (length > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, p, length);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            return false;
        }
        p += n;
        length -= std::size_t(n);
    }
    return true;
}

// The first part of the answer's memory, mapped while the player still chooses (see format.h).
void* g_mappedAhead = nullptr;

void mapAnswerAhead() {
    void* mapped = ::mmap(nullptr, metafile::kPreparedAnswerBytes, PROT_READ | PROT_WRITE, MAP_SHARED,
                          metafile::kAnswerDescriptor, 0);
    g_mappedAhead = mapped == MAP_FAILED ? nullptr : mapped;
    if (g_mappedAhead != nullptr) {
        metafile::touchPages(g_mappedAhead, metafile::kPreparedAnswerBytes);
    }
}

// The pixels into the game's memory, then the header on the channel.
bool answer(const platform::Picture& picture, std::uint32_t layers) {
    const bool opaque = !picture.image().hasAlphaChannel();
    // 32 bits a pixel: rows follow each other with no gap.
    const QImage image =
        picture.image().convertToFormat(opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
    if (image.isNull() || image.width() > metafile::kMaxSide || image.height() > metafile::kMaxSide) {
        return false;
    }
    const auto length = std::size_t(image.sizeInBytes());
    void* pixels = g_mappedAhead;
    if (pixels == nullptr || length > metafile::kPreparedAnswerBytes) {
        // Its pages made at once, rather than a fault each as the copy reaches them.
        pixels =
            ::mmap(nullptr, length, PROT_WRITE, MAP_SHARED | MAP_POPULATE, metafile::kAnswerDescriptor, 0);
    }
    if (pixels == MAP_FAILED) {
        return false;
    }
    std::memcpy(pixels, image.constBits(), length);
    metafile::OutputHeader header;
    header.width = std::uint32_t(image.width());
    header.height = std::uint32_t(image.height());
    header.layers = std::uint16_t(layers);
    header.opaque = opaque ? 1 : 0;
    header.extentWidth = picture.width();
    header.extentHeight = picture.height();
    if (!writeAll(&header, sizeof header)) {
        return false;
    }
    // The channel closed at once tells the game the answer is whole, without its waiting for this process's
    // end.
    ::close(STDOUT_FILENO);
    ::close(STDIN_FILENO);
    return true;
}

Decoded decodeBytes(const QByteArray& bytes, int longSide) {
    return decoder::decode(
        decoder::Bytes(reinterpret_cast<const unsigned char*>(bytes.constData()), std::size_t(bytes.size())),
        longSide);
}

// Each common reader loaded and run once on a picture of our own, large enough to start what a photo's
// decode starts (Qt's conversion threads, the 1/8 path's producer); the font database filled. A first
// decode in a fresh process takes several times as long as the next.
void warmUp() {
    QImage photo(1024, 1024, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(photo.scanLine(y));
        for (int x = 0; x < photo.width(); ++x) {
            row[x] = qRgb(x / 4, y / 4, (x + y) / 8);
        }
    }
    for (const char* format : {"jpeg", "png", "gif", "bmp"}) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, format);
        if (writer.write(std::strcmp(format, "jpeg") == 0 ? photo : photo.scaled(64, 64))) {
            (void)decodeBytes(bytes, metafile::kMaxSide);
        }
    }
    QByteArray progressive;
    QBuffer buffer(&progressive);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    if (writer.write(photo)) {
        (void)decodeBytes(progressive, 128);
    }
    (void)QImageReader::supportedImageFormats();
    (void)QFontDatabase::families();
}

int waitArgument(int argc, char** argv) {
    const long ms = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
    return int(std::clamp<long>(ms, 0, 24 * 3600 * 1000));
}

int decodeOne(int argc, char** argv) {
    const int waitMs = waitArgument(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen"); // no window is ever shown
    int guiArgc = 1;
    char* guiArgv[] = {argv[0], nullptr};
    static std::optional<QGuiApplication> gui; // never taken down: see main()
    // Started ahead of a choice: what decoding would load later (Qt's application, its image plugins,
    // fontconfig's fonts) is loaded while the player still chooses.
    if (!requestArrives(0)) {
        gui.emplace(guiArgc, guiArgv);
        warmUp();
        mapAnswerAhead();
    }
    const std::uint32_t layers = confinement::confine();
    if (!(layers & metafile::kSyscallFilter)) {
        return 3; // never unconfined
    }
    std::optional<Received> received;
    if (!requestArrives(waitMs) || !(received = receiveRequest())) {
        return 2;
    }
    const std::optional<decoder::Bytes> input = mapped(received->picture);
    if (!input) {
        return 2;
    }
    const decoder::Bytes file = *input;
    const int longSide = std::clamp(int(received->request.longSide), 1, metafile::kMaxSide);
#ifdef ZORUPA_DECODER_PROBE
    if (probe::marked(file)) {
        return answer(probe::run(file), layers) ? 0 : 4;
    }
#endif
    if (decoder::formatOf(file).needsGui && !gui) {
        gui.emplace(guiArgc, guiArgv);
    }
    const Decoded picture = decoder::decode(file, longSide);
    if (!picture) {
        return 1;
    }
    return answer(*picture, layers) ? 0 : 4;
}

// Once it has answered, the helper waits for the game to end it, when the picture has been painted: taking
// down its memory now would take a core from the painting.
[[noreturn]] void waitToBeEnded() {
    for (;;) {
        ::pause();
    }
}
} // namespace

int main(int argc, char** argv) {
    // A failure ends the process at once, without taking down Qt, fontconfig and the decoders' thread pools
    // one by one, which the game would otherwise wait for.
    const int status = decodeOne(argc, argv);
    if (status == 0) {
        waitToBeEnded();
    }
    ::_exit(status);
}

// Running the decoder helper and checking what it hands back.
#include "decoderhelper.h"

#include "decoder/format.h"
#include "platform/services.h"

#include <QElapsedTimer>
#include <QProcess>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace pictures {

namespace {
QString& helperOverride() {
    static QString path;
    return path;
}

std::chrono::milliseconds& timeLimitOverride() {
    static std::chrono::milliseconds limit{0};
    return limit;
}

std::span<const unsigned char> bytesOf(const QByteArray& a) {
    return {reinterpret_cast<const unsigned char*>(a.constData()), std::size_t(a.size())};
}

constexpr int kDecoderNiceness = 5;

constexpr qint64 kMaxOutputBytes =
    qint64(sizeof(metafile::OutputHeader)) + qint64(metafile::kMaxSide) * metafile::kMaxSide * 4;

// Runs in the child between fork and exec, so only async-signal-safe calls.
void limitHelper(rlim_t cpuSeconds) {
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    const rlimit noFiles{0, 0}; // it writes no files
    ::setrlimit(RLIMIT_FSIZE, &noFiles);
    // A write past that limit fails rather than ending the helper: fontconfig tries to save its cache when it
    // finds one out of date, and the picture is drawn all the same without it.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, nullptr);
    const rlimit cpu{cpuSeconds, cpuSeconds + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
    // Decoding is work the window waits for, not the window itself: on a machine with as many decoder
    // threads as cores, the game's own thread still gets the processor when it has something to paint.
    ::setpriority(PRIO_PROCESS, 0, kDecoderNiceness);
#if !ZORUPA_ADDRESS_SANITIZER
    // AddressSanitizer reserves terabytes of address space for itself; a sanitizer build goes without.
    const rlimit memory{rlim_t(kDecoderMemoryLimit), rlim_t(kDecoderMemoryLimit)};
    ::setrlimit(RLIMIT_AS, &memory);
#endif
}

// Reads the helper's answer until it ends, the time limit passes or it says more than any picture needs.
std::optional<QByteArray> collectOutput(QProcess& helper, const QElapsedTimer& clock,
                                        std::chrono::milliseconds limit) {
    QByteArray out;
    while (helper.state() != QProcess::NotRunning) {
        const qint64 left = limit.count() - clock.elapsed();
        if (left <= 0 || (!helper.waitForReadyRead(int(left)) && helper.state() != QProcess::NotRunning)) {
            return std::nullopt; // out of time
        }
        out += helper.readAllStandardOutput();
        if (out.size() > kMaxOutputBytes) {
            return std::nullopt;
        }
    }
    out += helper.readAllStandardOutput();
    if (out.size() > kMaxOutputBytes || helper.exitStatus() != QProcess::NormalExit ||
        helper.exitCode() != 0) {
        return std::nullopt;
    }
    return out;
}
} // namespace

void setDecoderHelper(const QString& path) {
    helperOverride() = path;
}

void setDecoderTimeLimit(std::chrono::milliseconds limit) {
    timeLimitOverride() = limit;
}

std::chrono::milliseconds decoderTimeLimit() {
    return timeLimitOverride().count() > 0 ? timeLimitOverride() : kDecoderTimeLimit;
}

QString decoderHelper() {
    if (!helperOverride().isEmpty()) {
        return helperOverride();
    }
    return platform::programFolder() + QStringLiteral("/zorupa-decoder");
}

std::optional<QByteArray> runDecoderHelper(const QByteArray& input, int neededLongSide) {
    QElapsedTimer clock;
    clock.start();
    QProcess helper;
    helper.setProgram(decoderHelper());
    helper.setArguments({QString::number(neededLongSide)});
    helper.setStandardErrorFile(QProcess::nullDevice());
    const std::chrono::milliseconds limit = decoderTimeLimit();
    // The CPU limit, in whole seconds, backs up the clock that collectOutput watches: it also ends a helper
    // that this process no longer waits for.
    const auto cpuSeconds = rlim_t(limit.count() / 1000 + 1);
    helper.setChildProcessModifier([cpuSeconds] { limitHelper(cpuSeconds); });
    helper.start(QIODevice::ReadWrite);
    if (!helper.waitForStarted(int(limit.count()))) {
        return std::nullopt;
    }
    helper.write(input);
    helper.closeWriteChannel();
    std::optional<QByteArray> out = collectOutput(helper, clock, limit);
    if (!out) {
        helper.kill();
        helper.waitForFinished(1000);
    }
    return out;
}

platform::Picture decodeInHelper(const QByteArray& file, int neededLongSide) {
    if (file.size() > qsizetype(metafile::kMaxFileBytes)) {
        return {};
    }
    const std::optional<QByteArray> out = runDecoderHelper(file, neededLongSide);
    return out ? pictureFromHelperOutput(*out) : platform::Picture();
}

platform::Picture pictureFromHelperOutput(const QByteArray& output) {
    const std::optional<metafile::OutputHeader> header = metafile::parseOutput(bytesOf(output));
    if (!header) {
        return {};
    }
    QImage image(int(header->width), int(header->height), QImage::Format_ARGB32);
    if (image.isNull()) {
        return {};
    }
    const char* pixels = output.constData() + sizeof(metafile::OutputHeader);
    const std::size_t rowBytes = std::size_t(header->width) * 4;
    for (int y = 0; y < image.height(); ++y) {
        std::memcpy(image.scanLine(y), pixels + std::size_t(y) * rowBytes, rowBytes);
    }
    return {image.convertToFormat(QImage::Format_ARGB32_Premultiplied),
            QSizeF(header->extentWidth, header->extentHeight)};
}

} // namespace pictures

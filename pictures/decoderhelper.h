// Every picture a player gives is decoded by the helper program zorupa-decoder, one process per picture,
// under a time and a memory limit and in a confinement of its own: a crash, a hang, a decompression bomb, a
// parser taken over by a crafted file or nonsense there is a picture that cannot be shown.
#pragma once

#include "platform/picture.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

#if defined(__SANITIZE_ADDRESS__)
#define ZORUPA_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZORUPA_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef ZORUPA_ADDRESS_SANITIZER
#define ZORUPA_ADDRESS_SANITIZER 0
#endif

namespace pictures {

// A helper built with AddressSanitizer (the sanitizer test build) runs its largest renders several times
// slower: it is given the time the game's own helper needs, times four.
inline constexpr std::chrono::milliseconds kDecoderTimeLimit{ZORUPA_ADDRESS_SANITIZER ? 20000 : 5000};
inline constexpr qint64 kDecoderMemoryLimit = 1024LL * 1024 * 1024; // address space of the helper
// How long a helper started ahead of a choice waits for its picture before it ends by itself.
inline constexpr std::chrono::milliseconds kPreparedDecoderLife{60000};

// Which helper decodes and under which limits. The game's own by default; the tests and the benchmark, which
// run from elsewhere, name the built helper, and tests that must not depend on the machine's speed give
// their own time limits.
struct DecoderSettings {
    QString helper; // empty: zorupa-decoder beside the game (platform::programFolder())
    std::chrono::milliseconds timeLimit = kDecoderTimeLimit;
    std::chrono::milliseconds preparedLife = kPreparedDecoderLife;
    // NAME=value entries added to the helper's reduced environment; the game adds none.
    QStringList environment;

    QString program() const;
    bool operator==(const DecoderSettings&) const = default;
};

// Starts a helper ahead of need, so that the next decode with the same settings finds it started (the file
// dialog opening). It ends after settings.preparedLife unused, when the next
// decode has used it, or at endPreparedDecoder(); at most one waits at a time. Callable from any thread.
void prepareDecoder(const DecoderSettings& settings = {});
// Ends the helper started ahead, if one waits (the choice ended without a picture, the game ends).
void endPreparedDecoder();
// The process id of the helper that waits, or 0.
qint64 preparedDecoderProcess();

// The picture file open for reading on this descriptor, handed to the helper, which reads it through the
// descriptor and needs no access to the file system; its pixels come back at no more than neededLongSide on
// its long side (metafiles keep the size their extent gives). Empty on any failure. Callable from any thread.
platform::Picture decodeFileInHelper(int descriptor, int neededLongSide = platform::kMaxDecodedSide,
                                     const DecoderSettings& settings = {});

// A whole file's bytes, to the helper and back, at no more than neededLongSide on its long side
// (metafiles keep the size their extent gives). Empty on any failure. Callable from any thread.
platform::Picture decodeInHelper(const QByteArray& file, int neededLongSide = platform::kMaxDecodedSide,
                                 const DecoderSettings& settings = {});

// One run of the helper under its limits: what it said on its channel, if it ended well within the time
// limit and said no more than an answer's header needs.
std::optional<QByteArray> runDecoderHelper(const QByteArray& file,
                                           int neededLongSide = platform::kMaxDecodedSide,
                                           const DecoderSettings& settings = {});

// An answer given as one stream (its header, then its pixels) turned into a picture; empty unless it is
// complete and well-formed.
platform::Picture pictureFromHelperOutput(const QByteArray& output);

} // namespace pictures

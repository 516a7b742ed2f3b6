// Untrusted pictures (metafiles, SVG, and every photo format beyond JPEG, GIF, BMP, ICO and PNG) decoded by
// the helper program zorupa-decoder, one process per picture, under a time and a memory limit: a crash, a
// hang, a decompression bomb or nonsense there is a picture that cannot be shown.
#pragma once

#include "platform/picture.h"

#include <QByteArray>
#include <QString>
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

// The time limit of each run, kDecoderTimeLimit unless set here. Tests that must not depend on the machine's
// speed set their own: a long one for large renders on a loaded machine, a short one to see a hang cut off.
// Zero returns to the default.
void setDecoderTimeLimit(std::chrono::milliseconds limit);
std::chrono::milliseconds decoderTimeLimit();

// The helper lives beside the game (platform::programFolder()). Programs that run from elsewhere, the
// tests and the benchmark, name the built helper here; an empty path returns to the default.
void setDecoderHelper(const QString& path);
QString decoderHelper();

// The whole file as read from disk, to the helper and back, at no more than neededLongSide on its long side
// (metafiles keep the size their extent gives). Empty on any failure.
platform::Picture decodeInHelper(const QByteArray& file, int neededLongSide = platform::kMaxDecodedSide);

// One run of the helper under its limits: what it wrote, if it ended well within the time limit and
// wrote no more than the largest answer.
std::optional<QByteArray> runDecoderHelper(const QByteArray& input,
                                           int neededLongSide = platform::kMaxDecodedSide);

// The helper's answer turned into a picture; empty unless it is complete and well-formed.
platform::Picture pictureFromHelperOutput(const QByteArray& output);

} // namespace pictures

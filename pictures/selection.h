// Choosing a picture: the open-file dialog's filter, the loader, and what a drop carries.
#pragma once

#include "decoderhelper.h"
#include "platform/picture.h"

#include <QString>
#include <optional>

class QMimeData;

namespace pictures {

// The dialog's filter: six description|patterns pairs, "all readable picture types" first.
QString pictureFilter();

// Any picture file the game can show, decided by its content, in sRGB: the one entry for every load (the
// built-in photograph, the dialog, a drop). A player's file, whatever its format, is read here and decoded
// only in the decoder helper; the program's own pictures (Qt resources) are decoded here. A picture is
// decoded no larger than neededLongSide requires. Empty when the file cannot be shown. Callable from any
// thread.
platform::Picture loadPicture(const QString& path, int neededLongSide = platform::kMaxDecodedSide,
                              const DecoderSettings& settings = {});

// The first local file a drop carries, in the drop's own order; nothing for text or a remote address.
std::optional<QString> firstDroppedFile(const QMimeData* data);

} // namespace pictures

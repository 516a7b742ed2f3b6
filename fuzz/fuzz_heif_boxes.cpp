// libFuzzer harness: any bytes through the decoder's own reading of a HEIF file's boxes (which properties its
// primary item has), as a dropped HEIC or AVIF reaches it inside the helper before libheif decodes it.
#include "heifboxes.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    (void)decoder::primaryItemTurns(decoder::Bytes(data, size));
    return 0;
}

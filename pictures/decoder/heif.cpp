// HEIF and HEIC, as phones write them: libheif puts the grid of tiles together and turns and mirrors the
// picture as its primary item's irot and imir properties say; a picture without them is turned as its EXIF
// block says.
#include "colour.h"
#include "heifboxes.h"
#include "orientation.h"
#include "photos.h"
#include "raster.h"
#include "ycbcr.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <libheif/heif.h>
#include <memory>
#include <optional>
#include <vector>

namespace decoder {

namespace {
struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleRelease {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageRelease {
    void operator()(heif_image* i) const { heif_image_release(i); }
};

// The orientation of the picture's EXIF block, which starts with the offset of its TIFF header; 0 for none.
int exifOrientationOf(const heif_image_handle* handle, std::size_t fileSize) {
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) != 1) {
        return 0;
    }
    const std::size_t size = heif_image_handle_get_metadata_size(handle, id);
    if (size < 4 || size > fileSize) {
        return 0;
    }
    std::vector<unsigned char> exif(size);
    if (heif_image_handle_get_metadata(handle, id, exif.data()).code != heif_error_Ok) {
        return 0;
    }
    const std::uint64_t header = 4 + bigEndian(exif, 0, 4);
    return header < size ? pictures::exifOrientation(Bytes(exif).subspan(std::size_t(header))) : 0;
}

// The picture as it is to be seen, and its extent, after the turn its EXIF block asks for, where the file has
// none of its own.
platform::Picture upright(QImage image, QSize stored, int exifOrientation) {
    const QSize extent = pictures::exchangesSides(exifOrientation) ? stored.transposed() : stored;
    return platform::Picture(pictures::turnedUpright(std::move(image), exifOrientation),
                             platform::extentOfPixels(extent));
}

QImage inSrgb(QImage image, const heif_image_handle* handle) {
    switch (heif_image_handle_get_color_profile_type(handle)) {
    case heif_color_profile_type_prof:
    case heif_color_profile_type_rICC: {
        QByteArray icc(qsizetype(heif_image_handle_get_raw_color_profile_size(handle)), Qt::Uninitialized);
        if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok) {
            return image;
        }
        return pictures::toSrgb(std::move(image), icc);
    }
    case heif_color_profile_type_nclx: {
        heif_color_profile_nclx* nclx = nullptr;
        if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok ||
            nclx == nullptr) {
            return image;
        }
        const pictures::Cicp cicp{int(nclx->color_primaries), int(nclx->transfer_characteristics)};
        heif_nclx_color_profile_free(nclx);
        return pictures::toSrgb(std::move(image), cicp);
    }
    default:
        return image;
    }
}
// The coding of the decoded planes: the image's own colour description, or the file's, or libheif's default
// (BT.601, the whole byte).
YcbcrCoding codingOf(const heif_image* image, const heif_image_handle* handle) {
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_get_nclx_color_profile(image, &nclx).code != heif_error_Ok || nclx == nullptr) {
        nclx = nullptr;
        if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok) {
            nclx = nullptr;
        }
    }
    YcbcrCoding coding;
    if (nclx != nullptr) {
        coding = {int(nclx->matrix_coefficients), nclx->full_range_flag != 0};
        heif_nclx_color_profile_free(nclx);
    }
    return coding;
}

// A photo shown at less than half its size, decoded to its own YCbCr planes and brought down to that size
// before it becomes RGB: libheif's conversion of every pixel of a 12-megapixel photo costs more than its
// decoding. Null where the picture has alpha, more than 8 bits or a matrix this does not know: it then goes
// the whole way through libheif.
QImage decodedSmall(const heif_image_handle* handle, QSize target) {
    const QSize size(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
    if (heif_image_handle_has_alpha_channel(handle) ||
        heif_image_handle_get_luma_bits_per_pixel(handle) != 8 ||
        heif_image_handle_get_chroma_bits_per_pixel(handle) != 8 || target.width() * 2 > size.width() ||
        target.height() * 2 > size.height()) {
        return {};
    }
    heif_image* raw = nullptr;
    if (heif_decode_image(handle, &raw, heif_colorspace_YCbCr, heif_chroma_undefined, nullptr).code !=
        heif_error_Ok) {
        return {};
    }
    const std::unique_ptr<heif_image, ImageRelease> image(raw);
    const heif_chroma chroma = heif_image_get_chroma_format(image.get());
    if (heif_image_get_colorspace(image.get()) != heif_colorspace_YCbCr ||
        (chroma != heif_chroma_420 && chroma != heif_chroma_422 && chroma != heif_chroma_444)) {
        return {};
    }
    Plane planes[3];
    const heif_channel channels[] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    for (int i = 0; i < 3; ++i) {
        if (heif_image_get_bits_per_pixel_range(image.get(), channels[i]) != 8) {
            return {};
        }
        planes[i].data = heif_image_get_plane_readonly(image.get(), channels[i], &planes[i].stride);
        planes[i].size = QSize(heif_image_get_width(image.get(), channels[i]),
                               heif_image_get_height(image.get(), channels[i]));
        if (planes[i].data == nullptr || planes[i].size.isEmpty() ||
            planes[i].stride < planes[i].size.width()) {
            return {};
        }
    }
    return scaledToRgb(planes[0], planes[1], planes[2], target, codingOf(image.get(), handle));
}
} // namespace

std::optional<platform::Picture> decodeHeif(Bytes file, int longSide) {
    const std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context) {
        return std::nullopt;
    }
    heif_context_set_max_decoding_threads(context.get(), 2);
    if (heif_context_read_from_memory_without_copy(context.get(), file.data(), file.size(), nullptr).code !=
        heif_error_Ok) {
        return std::nullopt;
    }
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok) {
        return std::nullopt;
    }
    const std::unique_ptr<heif_image_handle, HandleRelease> handle(rawHandle);
    // The size after the turn, from the header: a bomb is refused before anything is decoded.
    const qint64 width = heif_image_handle_get_width(handle.get());
    const qint64 height = heif_image_handle_get_height(handle.get());
    if (width <= 0 || height <= 0 || width * height > platform::kMaxSourcePixels) {
        return std::nullopt;
    }
    // The size shown: the long side at most longSide, as pictures::fitted makes it.
    const double scale = std::min(1.0, double(longSide) / double(std::max(width, height)));
    const QSize shown(std::max(1, int(std::lround(double(width) * scale))),
                      std::max(1, int(std::lround(double(height) * scale))));
    const int exifTurn = primaryItemTurns(file) ? 0 : exifOrientationOf(handle.get(), file.size());
    if (QImage small = decodedSmall(handle.get(), shown); !small.isNull()) {
        return upright(inSrgb(std::move(small), handle.get()), {int(width), int(height)}, exifTurn);
    }
    heif_image* rawImage = nullptr;
    if (heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr)
            .code != heif_error_Ok) {
        return std::nullopt;
    }
    std::unique_ptr<heif_image, ImageRelease> decoded(rawImage);
    int stride = 0;
    const uint8_t* pixels = heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    const int w = heif_image_get_width(decoded.get(), heif_channel_interleaved);
    const int h = heif_image_get_height(decoded.get(), heif_channel_interleaved);
    if (pixels == nullptr || w <= 0 || h <= 0 || stride < w * 4) {
        return std::nullopt;
    }
    QImage image(w, h, QImage::Format_RGBA8888);
    if (image.isNull()) {
        return std::nullopt;
    }
    for (int y = 0; y < h; ++y) {
        std::memcpy(image.scanLine(y), pixels + std::ptrdiff_t(y) * stride, std::size_t(w) * 4);
    }
    decoded.reset(); // the decoder's copy goes before the scaling makes a third
    return upright(inSrgb(pictures::fitted(std::move(image), longSide), handle.get()), {w, h}, exifTurn);
}

} // namespace decoder

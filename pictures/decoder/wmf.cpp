// WMF decoding with libwmf's gd device into true-colour pixels.
#include "render.h"

#include <libwmf/api.h>
#include <libwmf/gd.h>
#include <memory>

namespace metafile {

namespace {
struct ApiDeleter {
    void operator()(wmfAPI* api) const { wmf_api_destroy(api); }
};
using Api = std::unique_ptr<wmfAPI, ApiDeleter>;

Api createApi() {
    wmfAPI_Options options{};
    options.function = wmf_gd_function;
    wmfAPI* api = nullptr;
    const unsigned long flags =
        WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None) {
        if (api != nullptr) {
            wmf_api_destroy(api);
        }
        return nullptr;
    }
    return Api(api);
}

std::optional<Extent> measuredExtent(wmfAPI* api, std::span<const unsigned char> file) {
    if (std::optional<Extent> placeable = placeableExtent(file)) {
        return placeable;
    }
    if (isPlaceableWmf(file)) {
        return std::nullopt; // a placeable header that measures nothing
    }
    // Without a placeable header libwmf sizes the drawing itself; asked at 2540 dpi it answers in 0.01 mm.
    unsigned int w = 0, h = 0;
    if (wmf_display_size(api, &w, &h, 2540.0, 2540.0) != wmf_E_None) {
        return std::nullopt;
    }
    const Extent e{double(w), double(h)};
    return plausible(e) ? std::optional(e) : std::nullopt;
}

// gd keeps 7-bit alpha with 127 meaning transparent; ARGB wants 8-bit opacity.
std::uint32_t argbOfGd(int gd) {
    const auto g = static_cast<std::uint32_t>(gd);
    const std::uint32_t transparency = (g >> 24) & 0x7F;
    const std::uint32_t alpha = 255 - (transparency * 255 + 63) / 127;
    return (alpha << 24) | (g & 0x00FFFFFF);
}
} // namespace

std::optional<Rendered> renderWmf(std::span<const unsigned char> file) {
    if (!wmfRecordsFit(file)) {
        return std::nullopt;
    }
    Api api = createApi();
    if (!api) {
        return std::nullopt;
    }
    std::vector<unsigned char> data(file.begin(), file.end()); // libwmf wants a mutable buffer
    if (wmf_mem_open(api.get(), data.data(), long(data.size())) != wmf_E_None) {
        return std::nullopt;
    }
    wmfD_Rect bbox{};
    if (wmf_scan(api.get(), 0, &bbox) != wmf_E_None) {
        return std::nullopt;
    }
    const std::optional<Extent> extent = measuredExtent(api.get(), file);
    if (!extent) {
        return std::nullopt;
    }
    const PixelSize size = renderSize(*extent);
    wmf_gd_t* gd = WMF_GD_GetData(api.get());
    gd->type = wmf_gd_image;
    gd->width = unsigned(size.width);
    gd->height = unsigned(size.height);
    gd->bbox = bbox;
    if (wmf_play(api.get(), 0, &bbox) != wmf_E_None || gd->gd_image == nullptr) {
        return std::nullopt;
    }
    const int* pixels = wmf_gd_image_pixels(gd->gd_image);
    if (pixels == nullptr) {
        return std::nullopt;
    }
    Rendered out{*extent, size.width, size.height, {}};
    out.argb.resize(std::size_t(size.width) * std::size_t(size.height));
    for (std::size_t i = 0; i < out.argb.size(); ++i) {
        out.argb[i] = argbOfGd(pixels[i]);
    }
    return out;
}

} // namespace metafile

// SVG drawings through librsvg, which implements the whole of SVG 1.1 and CSS (masks, filters, percentages),
// drawn like metafiles at the size the game needs; their extent comes from the root's width and height, in
// CSS units (a pixel is 1/96 inch).
#include "photos.h"

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

// GLib's headers name a structure field "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <librsvg/rsvg.h>
#pragma pop_macro("signals")

namespace decoder {

namespace {
struct ObjectUnref {
    void operator()(void* object) const { g_object_unref(object); }
};
struct SurfaceDestroy {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDestroy {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

// HiMetric of one unit of each CSS length; none for percentages and units relative to a font, which mean
// nothing on their own.
double himetricPerUnit(RsvgUnit unit) {
    switch (unit) {
    case RSVG_UNIT_PX:
        return 2540.0 / 96;
    case RSVG_UNIT_MM:
        return 100;
    case RSVG_UNIT_CM:
        return 1000;
    case RSVG_UNIT_IN:
        return 2540;
    case RSVG_UNIT_PT:
        return 2540.0 / 72;
    case RSVG_UNIT_PC:
        return 2540.0 / 6;
    default:
        return 0;
    }
}

// The extent the root element gives, or its view box taken in pixels.
QSizeF extentOf(RsvgHandle* handle) {
    gboolean hasWidth = FALSE, hasHeight = FALSE, hasViewBox = FALSE;
    RsvgLength width{}, height{};
    RsvgRectangle viewBox{};
    rsvg_handle_get_intrinsic_dimensions(handle, &hasWidth, &width, &hasHeight, &height, &hasViewBox,
                                         &viewBox);
    const double w = hasWidth ? width.length * himetricPerUnit(width.unit) : 0;
    const double h = hasHeight ? height.length * himetricPerUnit(height.unit) : 0;
    if (w > 0 && h > 0) {
        return {w, h};
    }
    if (hasViewBox && viewBox.width > 0 && viewBox.height > 0) {
        return QSizeF(viewBox.width, viewBox.height) * (2540.0 / 96);
    }
    return {};
}

// The helper parses one drawing and ends: GIO is kept from loading its modules (GVfs would reach for the
// session bus) and from any settings backend that writes.
void keepGioLocal() {
    static const bool once = [] {
        ::setenv("GIO_USE_VFS", "local", 1);
        ::setenv("GIO_USE_VOLUME_MONITOR", "unix", 1);
        ::setenv("GSETTINGS_BACKEND", "memory", 1);
        return true;
    }();
    (void)once;
}
} // namespace

std::optional<platform::Picture> drawSvg(const QByteArray& file, int longSide) {
    keepGioLocal();
    // Without a base file, references to other files are refused: the drawing is what the file holds.
    const std::unique_ptr<RsvgHandle, ObjectUnref> handle(rsvg_handle_new_from_data(
        reinterpret_cast<const guint8*>(file.constData()), gsize(file.size()), nullptr));
    if (!handle) {
        return std::nullopt;
    }
    const QSizeF extent = extentOf(handle.get());
    if (!(extent.width() > 0 && extent.height() > 0 && extent.width() <= 1e7 && extent.height() <= 1e7)) {
        return std::nullopt;
    }
    const double scale = longSide / std::max(extent.width(), extent.height());
    const QSize size(std::max(1, int(std::lround(extent.width() * scale))),
                     std::max(1, int(std::lround(extent.height() * scale))));
    // Cairo's ARGB32 is Qt's premultiplied ARGB32: one native-endian word a pixel.
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        return std::nullopt;
    }
    image.fill(Qt::transparent);
    const std::unique_ptr<cairo_surface_t, SurfaceDestroy> surface(cairo_image_surface_create_for_data(
        image.bits(), CAIRO_FORMAT_ARGB32, size.width(), size.height(), int(image.bytesPerLine())));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        return std::nullopt;
    }
    {
        const std::unique_ptr<cairo_t, ContextDestroy> cairo(cairo_create(surface.get()));
        const RsvgRectangle viewport{0, 0, double(size.width()), double(size.height())};
        if (!rsvg_handle_render_document(handle.get(), cairo.get(), &viewport, nullptr)) {
            return std::nullopt;
        }
    }
    cairo_surface_flush(surface.get());
    return platform::Picture(std::move(image), extent);
}

} // namespace decoder

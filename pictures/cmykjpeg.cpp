#include "cmykjpeg.h"

#include "lcmshandles.h"

#include <QColorSpace>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <lcms2.h>
#include <memory>
#include <vector>

namespace pictures {

namespace {
using InkProfile = lcms::Profile;

InkProfile cmykProfile(const QByteArray& icc) {
    InkProfile profile(icc.isEmpty() ? nullptr
                                     : cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size())));
    if (profile && cmsGetColorSpace(profile.get()) != cmsSigCmykData) {
        profile.reset();
    }
    return profile;
}

struct Errors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};
[[noreturn]] void leave(j_common_ptr info) {
    std::longjmp(reinterpret_cast<Errors*>(info->err)->jump, 1);
}
void quiet(j_common_ptr, int) {}

struct Decompress {
    jpeg_decompress_struct info{};
    ~Decompress() { jpeg_destroy_decompress(&info); }
};
} // namespace

bool isCmykProfile(const QByteArray& iccProfile) {
    return cmykProfile(iccProfile) != nullptr;
}

QImage decodeCmykJpeg(const QByteArray& file, int denominator, const QByteArray& iccProfile) {
    const InkProfile cmyk = cmykProfile(iccProfile);
    if (!cmyk) {
        return {};
    }
    const InkProfile srgb(cmsCreate_sRGBProfile());
    // Whatever a jump out of libjpeg leaves behind lives on the heap, reached through a pointer that is set
    // once before the jump is armed, so that it is released however the decode ends.
    struct State {
        Decompress decompress;
        Errors errors;
        QImage image;
        std::vector<JSAMPLE> row;
        lcms::Transform transform;
    };
    const auto state = std::make_unique<State>();
    jpeg_decompress_struct& info = state->decompress.info;
    info.err = jpeg_std_error(&state->errors.manager);
    state->errors.manager.error_exit = leave;
    state->errors.manager.emit_message = quiet;
    jpeg_create_decompress(&info);
    if (setjmp(state->errors.jump) != 0) {
        return {};
    }
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(file.constData()),
                 static_cast<unsigned long>(file.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || info.num_components != 4) {
        return {};
    }
    info.out_color_space = JCS_CMYK; // from YCCK too
    info.scale_num = 1;
    info.scale_denom = unsigned(denominator);
    jpeg_calc_output_dimensions(&info);
    constexpr cmsUInt32Number kOut = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TYPE_BGRA_8 : TYPE_ARGB_8;
    state->transform.reset(cmsCreateTransform(cmyk.get(),
                                              info.saw_Adobe_marker ? TYPE_CMYK_8_REV : TYPE_CMYK_8,
                                              srgb.get(), kOut, INTENT_PERCEPTUAL, 0));
    state->image = QImage(int(info.output_width), int(info.output_height), QImage::Format_RGB32);
    if (!state->transform || state->image.isNull()) {
        return {};
    }
    state->image.fill(Qt::black); // the alpha bytes, which the transform leaves as they are
    state->row.resize(std::size_t(info.output_width) * 4);
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[] = {state->row.data()};
        const int y = int(info.output_scanline);
        if (jpeg_read_scanlines(&info, rows, 1) != 1) {
            return {};
        }
        cmsDoTransform(state->transform.get(), state->row.data(), state->image.scanLine(y),
                       info.output_width);
    }
    jpeg_finish_decompress(&info);
    state->image.setColorSpace(QColorSpace::SRgb);
    return std::move(state->image);
}

} // namespace pictures

// JPEG XL through libjxl on two threads; the decoder itself turns the picture as its header says.
#include "colour.h"
#include "photos.h"
#include "raster.h"

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/resizable_parallel_runner.h>
#include <jxl/resizable_parallel_runner_cxx.h>
#include <jxl/version.h>

namespace decoder {

namespace {
constexpr JxlPixelFormat kFormat{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};

// The colour space of the pixels the decoder gives, as an ICC profile (synthesised when the file names one).
QByteArray targetProfile(JxlDecoder* decoder) {
    std::size_t size = 0;
#if JPEGXL_NUMERIC_VERSION < JPEGXL_COMPUTE_NUMERIC_VERSION(0, 9, 0)
    if (JxlDecoderGetICCProfileSize(decoder, &kFormat, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
        JXL_DEC_SUCCESS) {
        return {};
    }
    QByteArray icc(qsizetype(size), Qt::Uninitialized);
    if (JxlDecoderGetColorAsICCProfile(decoder, &kFormat, JXL_COLOR_PROFILE_TARGET_DATA,
                                       reinterpret_cast<uint8_t*>(icc.data()), size) != JXL_DEC_SUCCESS) {
        return {};
    }
#else
    if (JxlDecoderGetICCProfileSize(decoder, JXL_COLOR_PROFILE_TARGET_DATA, &size) != JXL_DEC_SUCCESS) {
        return {};
    }
    QByteArray icc(qsizetype(size), Qt::Uninitialized);
    if (JxlDecoderGetColorAsICCProfile(decoder, JXL_COLOR_PROFILE_TARGET_DATA,
                                       reinterpret_cast<uint8_t*>(icc.data()), size) != JXL_DEC_SUCCESS) {
        return {};
    }
#endif
    return icc;
}
} // namespace

std::optional<platform::Picture> decodeJpegXl(Bytes file, int longSide) {
    const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    const JxlResizableParallelRunnerPtr runner = JxlResizableParallelRunnerMake(nullptr);
    if (!decoder || !runner ||
        JxlDecoderSetParallelRunner(decoder.get(), JxlResizableParallelRunner, runner.get()) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                                     JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), file.data(), file.size()) != JXL_DEC_SUCCESS) {
        return std::nullopt;
    }
    JxlDecoderCloseInput(decoder.get());
    JxlBasicInfo info{};
    QByteArray icc;
    QImage image;
    for (;;) {
        switch (JxlDecoderProcessInput(decoder.get())) {
        case JXL_DEC_BASIC_INFO: {
            if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS || info.xsize == 0 ||
                info.ysize == 0 || qint64(info.xsize) * info.ysize > platform::kMaxSourcePixels) {
                return std::nullopt;
            }
            JxlResizableParallelRunnerSetThreads(runner.get(), 2);
            break;
        }
        case JXL_DEC_COLOR_ENCODING:
            icc = targetProfile(decoder.get());
            break;
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            // Orientations 5 to 8 turn by a quarter: the picture comes out with its sides exchanged.
            const bool turned = info.orientation >= JXL_ORIENT_TRANSPOSE;
            image = QImage(int(turned ? info.ysize : info.xsize), int(turned ? info.xsize : info.ysize),
                           QImage::Format_RGBA8888);
            std::size_t needed = 0;
            if (image.isNull() ||
                JxlDecoderImageOutBufferSize(decoder.get(), &kFormat, &needed) != JXL_DEC_SUCCESS ||
                needed != std::size_t(image.sizeInBytes()) ||
                JxlDecoderSetImageOutBuffer(decoder.get(), &kFormat, image.bits(), needed) !=
                    JXL_DEC_SUCCESS) {
                return std::nullopt;
            }
            break;
        }
        case JXL_DEC_FULL_IMAGE: { // the first frame of an animation is the picture
            const QSize size = image.size();
            return platform::Picture(pictures::toSrgb(pictures::fitted(std::move(image), longSide), icc),
                                     platform::extentOfPixels(size));
        }
        default: // an error, or a file that ends before its picture does
            return std::nullopt;
        }
    }
}

} // namespace decoder

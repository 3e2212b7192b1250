#include "CompactImage.h"

#include "ParallelRunner.h"

#include <QColorSpace>

#include <sys/mman.h>

#ifdef __SSE4_1__
#include <smmintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

// JFIF's full-range YCbCr, in 16-bit fixed point. Chroma is averaged over each
// 2 x 2 block and, on the way back, widened with JPEG's own triangle filter
// (each sample weighs 3/4 at its near pixels, 1/4 at the next), so a colour
// edge comes back as soft as a camera JPEG's, never blocky.

namespace {

// The planes' memory. A screen image's (6.5 MB) is mapped with its pages
// filled in one call: touched page by page it would take 1,600 page faults,
// which cost more here than the conversion itself.
class Planes {
public:
    Planes() = default;
    explicit Planes(size_t size)
        : size_(size) {
        constexpr size_t kMapFrom = size_t(1) << 20;
        if (size >= kMapFrom) {
            void* mapped = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                                  MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
            data_ = mapped == MAP_FAILED ? nullptr : static_cast<uint8_t*>(mapped);
            mapped_ = data_ != nullptr;
        } else {
            data_ = new (std::nothrow) uint8_t[size];
        }
    }
    ~Planes() {
        if (mapped_)
            ::munmap(data_, size_);
        else
            delete[] data_;
    }
    Planes(const Planes&) = delete;
    Planes& operator=(const Planes&) = delete;
    Planes& operator=(Planes&& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(mapped_, other.mapped_);
        return *this;
    }

    uint8_t* data() const { return data_; }

private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    bool mapped_ = false;
};

} // namespace

struct CompactImage::Data {
    QSize size;
    QImage::Format format = QImage::Format_RGBX8888;
    QColorSpace colorSpace;
    qint64 key = 0;
    QSize chroma;
    Planes planes; // Y, then Cb, then Cr, each row packed

    uint8_t* luma() const { return planes.data(); }
    uint8_t* cb() const { return planes.data() + qsizetype(size.width()) * size.height(); }
    uint8_t* cr() const { return cb() + qsizetype(chroma.width()) * chroma.height(); }
    size_t bytes() const {
        return size_t(size.width()) * size.height() + 2 * size_t(chroma.width()) * chroma.height();
    }
};

namespace {

std::atomic<qint64> lastKey{0};

// Rows a helper takes at a time.
constexpr int kRowGrain = 64;

qint64 nextKey() {
    return lastKey.fetch_add(1, std::memory_order_relaxed) + 1;
}

int pixelBytes(QImage::Format format) {
    switch (format) {
    case QImage::Format_RGBX8888:
        return 4;
    case QImage::Format_RGB888:
        return 3;
    default:
        return 0;
    }
}

inline uint8_t clamped(int value) {
    return uint8_t(std::clamp(value, 0, 255));
}

// Luma in 15-bit and chroma (over a block's four pixels) in 14-bit fixed point.
constexpr int16_t kLumaR = 9798, kLumaG = 19235, kLumaB = 3735;
constexpr int16_t kCbR = -2765, kCbG = -5427, kCbB = 8192;
constexpr int16_t kCrR = 8192, kCrG = -6860, kCrB = -1332;
constexpr int kChromaBias = (128 << 16) + (1 << 15);

inline uint8_t lumaOf(const uint8_t* p) {
    return uint8_t((kLumaR * p[0] + kLumaG * p[1] + kLumaB * p[2] + (1 << 14)) >> 15);
}

#ifdef __SSE4_1__
// Eight RGBX pixels to eight luma bytes (the low half of the answer).
inline __m128i lumaOf8(__m128i first, __m128i second) {
    const __m128i factors = _mm_setr_epi16(kLumaR, kLumaG, kLumaB, 0, kLumaR, kLumaG, kLumaB, 0);
    const __m128i half = _mm_set1_epi32(1 << 14);
    const auto four = [&](__m128i pixels) {
        const __m128i a = _mm_madd_epi16(_mm_cvtepu8_epi16(pixels), factors);
        const __m128i b = _mm_madd_epi16(_mm_cvtepu8_epi16(_mm_srli_si128(pixels, 8)), factors);
        return _mm_srai_epi32(_mm_add_epi32(_mm_hadd_epi32(a, b), half), 15);
    };
    const __m128i words = _mm_packs_epi32(four(first), four(second));
    return _mm_packus_epi16(words, words);
}

// The RGB sums of two 2 x 2 blocks from four RGBX pixels of each of two rows.
inline __m128i blockSums(__m128i top, __m128i bottom) {
    const __m128i low = _mm_add_epi16(_mm_cvtepu8_epi16(top), _mm_cvtepu8_epi16(bottom));
    const __m128i high = _mm_add_epi16(_mm_cvtepu8_epi16(_mm_srli_si128(top, 8)),
                                       _mm_cvtepu8_epi16(_mm_srli_si128(bottom, 8)));
    return _mm_unpacklo_epi64(_mm_add_epi16(low, _mm_srli_si128(low, 8)),
                              _mm_add_epi16(high, _mm_srli_si128(high, 8)));
}

// Four chroma bytes (low quarter of the answer) from the sums of four blocks.
inline __m128i chromaOf4(__m128i blocks01, __m128i blocks23, __m128i factors) {
    const __m128i sums = _mm_hadd_epi32(_mm_madd_epi16(blocks01, factors), _mm_madd_epi16(blocks23, factors));
    const __m128i values = _mm_srai_epi32(_mm_add_epi32(sums, _mm_set1_epi32(kChromaBias)), 16);
    const __m128i words = _mm_packs_epi32(values, values);
    return _mm_packus_epi16(words, words);
}
#endif

// Chroma rows [begin, end) and the luma rows they cover.
template <int Bytes>
void compressRows(const QImage& image, CompactImage::Data& d, int begin, int end) {
    const int width = d.size.width();
    const int height = d.size.height();
    const int chromaWidth = d.chroma.width();
    for (int row = begin; row < end; ++row) {
        const int top = 2 * row;
        const bool pair = top + 1 < height;
        const uint8_t* upper = image.constScanLine(top);
        const uint8_t* lower = image.constScanLine(pair ? top + 1 : top);
        uint8_t* lumaUpper = d.luma() + qsizetype(top) * width;
        uint8_t* lumaLower = lumaUpper + width;
        uint8_t* cb = d.cb() + qsizetype(row) * chromaWidth;
        uint8_t* cr = d.cr() + qsizetype(row) * chromaWidth;
        int x = 0;
#ifdef __SSE4_1__
        if constexpr (Bytes == 4) {
            const __m128i cbFactors = _mm_setr_epi16(kCbR, kCbG, kCbB, 0, kCbR, kCbG, kCbB, 0);
            const __m128i crFactors = _mm_setr_epi16(kCrR, kCrG, kCrB, 0, kCrR, kCrG, kCrB, 0);
            for (; x + 8 <= width; x += 8) {
                const auto load = [](const uint8_t* at) {
                    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
                };
                const __m128i u0 = load(upper + 4 * x), u1 = load(upper + 4 * x + 16);
                const __m128i l0 = load(lower + 4 * x), l1 = load(lower + 4 * x + 16);
                _mm_storel_epi64(reinterpret_cast<__m128i*>(lumaUpper + x), lumaOf8(u0, u1));
                if (pair)
                    _mm_storel_epi64(reinterpret_cast<__m128i*>(lumaLower + x), lumaOf8(l0, l1));
                const __m128i blocks01 = blockSums(u0, l0);
                const __m128i blocks23 = blockSums(u1, l1);
                const int cbValues = _mm_cvtsi128_si32(chromaOf4(blocks01, blocks23, cbFactors));
                const int crValues = _mm_cvtsi128_si32(chromaOf4(blocks01, blocks23, crFactors));
                std::memcpy(cb + x / 2, &cbValues, 4);
                std::memcpy(cr + x / 2, &crValues, 4);
            }
        }
#endif
        for (int at = x; at < width; ++at) {
            lumaUpper[at] = lumaOf(upper + at * Bytes);
            if (pair)
                lumaLower[at] = lumaOf(lower + at * Bytes);
        }
        for (int k = x / 2; k < chromaWidth; ++k) {
            const int left = 2 * k * Bytes;
            const int right = std::min(2 * k + 1, width - 1) * Bytes;
            int sum[3];
            for (int c = 0; c < 3; ++c)
                sum[c] = upper[left + c] + upper[right + c] + lower[left + c] + lower[right + c];
            cb[k] = clamped((kCbR * sum[0] + kCbG * sum[1] + kCbB * sum[2] + kChromaBias) >> 16);
            cr[k] = clamped((kCrR * sum[0] + kCrG * sum[1] + kCrB * sum[2] + kChromaBias) >> 16);
        }
    }
}

// Fixed-point factors of JFIF's YCbCr to RGB for chroma held at 16 times its
// value, applied as (c * f + 2^14) >> 15: the rounding multiply of SSSE3, so
// the vector and the plain loops give the same bytes.
constexpr int16_t kRedFromCr = 2871;    // 1.402 / 16 * 2^15
constexpr int16_t kGreenFromCb = -705;  // -0.344136 / 16 * 2^15
constexpr int16_t kGreenFromCr = -1463; // -0.714136 / 16 * 2^15
constexpr int16_t kBlueFromCb = 3629;   // 1.772 / 16 * 2^15

inline int scaled(int chroma, int factor) {
    return (chroma * factor + (1 << 14)) >> 15;
}

// One chroma plane widened to a row of `width` samples at 16 times their
// value, less 128 (so -2048 to 2032): `near` is the chroma row the output row
// lies in, `far` the one beside it. `out` has room for 2 * chromaWidth.
void widenChroma(const uint8_t* __restrict near, const uint8_t* __restrict far, int chromaWidth,
                 int16_t* __restrict out, int16_t* __restrict column) {
    int k = 0;
#ifdef __SSE4_1__
    for (; k + 8 <= chromaWidth; k += 8) {
        const __m128i n = _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(near + k)));
        const __m128i f = _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(far + k)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(column + k),
                         _mm_add_epi16(_mm_add_epi16(n, _mm_add_epi16(n, n)), f));
    }
#endif
    for (; k < chromaWidth; ++k)
        column[k] = int16_t(3 * near[k] + far[k]);

    const auto edge = [&](int at) {
        const int centre = 3 * column[at];
        out[2 * at] = int16_t(centre + column[std::max(at - 1, 0)] - 2048);
        out[2 * at + 1] = int16_t(centre + column[std::min(at + 1, chromaWidth - 1)] - 2048);
    };
    edge(0);
    k = 1;
#ifdef __SSE4_1__
    const __m128i offset = _mm_set1_epi16(2048);
    for (; k + 8 < chromaWidth; k += 8) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(column + k));
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(column + k - 1));
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(column + k + 1));
        const __m128i c3 = _mm_sub_epi16(_mm_add_epi16(c, _mm_add_epi16(c, c)), offset);
        const __m128i even = _mm_add_epi16(c3, l);
        const __m128i odd = _mm_add_epi16(c3, r);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * k), _mm_unpacklo_epi16(even, odd));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * k + 8), _mm_unpackhi_epi16(even, odd));
    }
#endif
    for (; k < chromaWidth; ++k)
        edge(k);
}

// Output pixels [from, width) of one row, in plain code.
template <int Bytes>
void convertPixels(const uint8_t* luma, const int16_t* cb, const int16_t* cr, uint8_t* out, int from,
                   int width) {
    for (int x = from; x < width; ++x) {
        const int l = luma[x];
        uint8_t* p = out + x * Bytes;
        p[0] = clamped(l + scaled(cr[x], kRedFromCr));
        p[1] = clamped(l + scaled(cb[x], kGreenFromCb) + scaled(cr[x], kGreenFromCr));
        p[2] = clamped(l + scaled(cb[x], kBlueFromCb));
        if constexpr (Bytes == 4)
            p[3] = 255;
    }
}

// The same for RGBX, eight pixels at a time; answers where it stopped.
int convertPixelsRgbx(const uint8_t* luma, const int16_t* cb, const int16_t* cr, uint8_t* out, int width) {
    int x = 0;
#ifdef __SSE4_1__
    const __m128i red = _mm_set1_epi16(kRedFromCr);
    const __m128i greenB = _mm_set1_epi16(kGreenFromCb);
    const __m128i greenR = _mm_set1_epi16(kGreenFromCr);
    const __m128i blue = _mm_set1_epi16(kBlueFromCb);
    const __m128i opaque = _mm_set1_epi8(char(0xFF));
    for (; x + 8 <= width; x += 8) {
        const __m128i l = _mm_cvtepu8_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(luma + x)));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x));
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x));
        const __m128i r16 = _mm_add_epi16(l, _mm_mulhrs_epi16(r, red));
        const __m128i g16 =
            _mm_add_epi16(_mm_add_epi16(l, _mm_mulhrs_epi16(b, greenB)), _mm_mulhrs_epi16(r, greenR));
        const __m128i b16 = _mm_add_epi16(l, _mm_mulhrs_epi16(b, blue));
        const __m128i rg = _mm_unpacklo_epi8(_mm_packus_epi16(r16, r16), _mm_packus_epi16(g16, g16));
        const __m128i bx = _mm_unpacklo_epi8(_mm_packus_epi16(b16, b16), opaque);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), _mm_unpacklo_epi16(rg, bx));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x + 16), _mm_unpackhi_epi16(rg, bx));
    }
#endif
    return x;
}

// Rows are written through a pointer taken once: QImage::scanLine from
// several threads would each touch the image's shared header.
template <int Bytes>
void expandRows(const CompactImage::Data& d, uint8_t* pixels, qsizetype stride, int begin, int end) {
    const int width = d.size.width();
    const int chromaWidth = d.chroma.width();
    const int chromaHeight = d.chroma.height();
    std::vector<int16_t> scratch(size_t(4 * chromaWidth + chromaWidth + 16));
    int16_t* cbRow = scratch.data();
    int16_t* crRow = cbRow + 2 * chromaWidth;
    int16_t* column = crRow + 2 * chromaWidth;
    for (int y = begin; y < end; ++y) {
        const int row = y / 2;
        const int beside = (y & 1) ? std::min(row + 1, chromaHeight - 1) : std::max(row - 1, 0);
        widenChroma(d.cb() + qsizetype(row) * chromaWidth, d.cb() + qsizetype(beside) * chromaWidth,
                    chromaWidth, cbRow, column);
        widenChroma(d.cr() + qsizetype(row) * chromaWidth, d.cr() + qsizetype(beside) * chromaWidth,
                    chromaWidth, crRow, column);
        const uint8_t* luma = d.luma() + qsizetype(y) * width;
        uint8_t* out = pixels + y * stride;
        const int done = Bytes == 4 ? convertPixelsRgbx(luma, cbRow, crRow, out, width) : 0;
        convertPixels<Bytes>(luma, cbRow, crRow, out, done, width);
    }
}

} // namespace

CompactImage CompactImage::from(const QImage& image, const PixelResources& resources) {
    CompactImage compact;
    const int bytes = pixelBytes(image.format());
    if (bytes == 0 || image.width() < 2 || image.height() < 2) {
        compact.plain_ = image;
        return compact;
    }
    auto d = std::make_shared<Data>();
    d->size = image.size();
    d->format = image.format();
    d->colorSpace = image.colorSpace();
    d->key = nextKey();
    d->chroma = QSize((image.width() + 1) / 2, (image.height() + 1) / 2);
    d->planes = Planes(d->bytes());
    if (!d->planes.data()) {
        compact.plain_ = image;
        return compact;
    }
    ParallelRunner::run(resources.runner, d->chroma.height(), kRowGrain, [&](int begin, int end) {
        if (bytes == 4)
            compressRows<4>(image, *d, begin, end);
        else
            compressRows<3>(image, *d, begin, end);
    });
    compact.data_ = std::move(d);
    return compact;
}

QImage CompactImage::image(const PixelResources& resources) const {
    if (!data_)
        return plain_;
    const Data& d = *data_;
    QImage image = d.format == QImage::Format_RGBX8888
                       ? resources.newImage(d.size.width(), d.size.height(), d.format)
                       : QImage(d.size, d.format);
    if (image.isNull())
        return {};
    image.setColorSpace(d.colorSpace);
    uint8_t* pixels = image.bits();
    const qsizetype stride = image.bytesPerLine();
    ParallelRunner::run(resources.runner, d.size.height(), kRowGrain, [&](int begin, int end) {
        if (d.format == QImage::Format_RGBX8888)
            expandRows<4>(d, pixels, stride, begin, end);
        else
            expandRows<3>(d, pixels, stride, begin, end);
    });
    return image;
}

QSize CompactImage::size() const {
    return data_ ? data_->size : plain_.size();
}

size_t CompactImage::bytes() const {
    return data_ ? data_->bytes() : size_t(plain_.sizeInBytes());
}

qint64 CompactImage::key() const {
    return data_ ? data_->key : plain_.cacheKey();
}

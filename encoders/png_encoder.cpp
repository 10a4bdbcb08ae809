#include "encoders/png_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace numarika {
namespace {

using Byte = unsigned char;

constexpr Byte kUpFilter = 2;
// A strip's filtered rows fit zlib's 64 KiB window buffer (less its lookahead): beyond that,
// deflate slides the window and rebases its hash tables every 32 KiB, and the rows no longer
// stay in the cache beside them. 4K screen on one core: 69 ms with 1 MiB strips, 43 ms with
// these, 54 ms with 32 KiB ones (new Huffman tables and a flush for each). A strip is one row
// where a row is longer.
constexpr std::size_t kStripBytes = 65536 - 512;
// Beyond this a row could not be given to deflate in one piece.
constexpr std::size_t kMaxRowBytes = std::size_t{1} << 30;
// Below this share of pixels whose difference to the pixel above equals their left
// neighbour's, a strip is photograph-like: deflate at level 1 then finds little to repeat and
// spends two and a half times as long as run-length coding for no smaller a result. Screen
// strips, text included, have 0.7 or more; noise under 0.1.
constexpr double kMinRepeatShare = 0.5;

// a - b in each of the four bytes, without borrows between them.
inline std::uint32_t bytewiseDifference(std::uint32_t a, std::uint32_t b) {
    constexpr std::uint32_t high = 0x80808080u;
    return ((a | high) - (b & ~high)) ^ ((a ^ ~b) & high);
}

// R, G, B of a pixel in memory order in the three low-addressed bytes of the word.
inline std::uint32_t rgbInMemoryOrder(std::uint32_t pixel) {
    if constexpr (std::endian::native == std::endian::little) {
        return __builtin_bswap32(pixel) >> 8;
    } else {
        return pixel << 8;
    }
}

// Pixels [from, width) of one picture row as PNG bytes with the Up filter: R, G, B of each
// pixel minus those of the pixel above (nothing above the first row), written from `out` on.
// Screens repeat most of a row in the next one, so most bytes become runs of zeros that
// deflate takes in long matches. `left` is the difference of the pixel before `from`.
// Returns how many pixels differ from the pixel above as their left neighbour does: how much
// deflate will find to repeat.
std::size_t filterPixels(const std::uint32_t* row, const std::uint32_t* above, int from, int width,
                         Byte* out, std::uint32_t left) {
    std::size_t repeats = 0;
    const int last = width - 1;
    for (int x = from; x < last; ++x) {
        const std::uint32_t d = above ? bytewiseDifference(row[x], above[x]) : row[x];
        repeats += ((d ^ left) & 0xFFFFFF) == 0;
        left = d;
        // Four bytes written, three kept: the next pixel overwrites the fourth.
        const std::uint32_t rgb = rgbInMemoryOrder(d);
        std::memcpy(out + 3 * static_cast<std::size_t>(x - from), &rgb, 4);
    }
    const std::uint32_t d = above ? bytewiseDifference(row[last], above[last]) : row[last];
    repeats += ((d ^ left) & 0xFFFFFF) == 0;
    Byte* end = out + 3 * static_cast<std::size_t>(last - from);
    end[0] = static_cast<Byte>(d >> 16);
    end[1] = static_cast<Byte>(d >> 8);
    end[2] = static_cast<Byte>(d);
    return repeats;
}

// A whole row: the filter type, then its pixels.
std::size_t filterRowPlain(const std::uint32_t* row, const std::uint32_t* above, int width,
                           Byte* out) {
    *out = kUpFilter;
    return filterPixels(row, above, 0, width, out + 1, 0);
}

uLong adler32Plain(uLong adler, const Byte* data, std::size_t n) {
    return adler32_z(adler, data, n);
}

struct Kernels {
    std::size_t (*filterRow)(const std::uint32_t*, const std::uint32_t*, int, Byte*);
    uLong (*adler32)(uLong, const Byte*, std::size_t);
};

#if defined(__x86_64__) || defined(__i386__)
// The plain filter loop takes a sixth of the time of a screen, and zlib's Adler-32 a tenth:
// with SSSE3 (every x86-64 processor of the last fifteen years) each takes a fraction of that.

// filterRowPlain four pixels at a time: the difference in one subtraction, the padding bytes
// dropped by one shuffle.
__attribute__((target("ssse3"))) std::size_t filterRowSsse3(const std::uint32_t* row,
                                                            const std::uint32_t* above, int width,
                                                            Byte* out) {
    *out++ = kUpFilter;
    const __m128i toRgb = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
    __m128i left = _mm_setzero_si128();  // the last four differences; the last one counts
    __m128i repeats = _mm_setzero_si128();
    int x = 0;
    // Each store writes 16 bytes for 12: the last pixels are left to the plain loop.
    for (; x + 6 <= width; x += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
        const __m128i d =
            above
                ? _mm_sub_epi8(pixels, _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + x)))
                : pixels;
        const __m128i leftOfEach = _mm_alignr_epi8(d, left, 12);
        const __m128i same = _mm_cmpeq_epi32(_mm_and_si128(_mm_xor_si128(d, leftOfEach), colour),
                                             _mm_setzero_si128());
        repeats = _mm_sub_epi32(repeats, same);  // all ones where the same: minus one
        left = d;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * static_cast<std::size_t>(x)),
                         _mm_shuffle_epi8(d, toRgb));
    }
    alignas(16) std::uint32_t counts[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(counts), repeats);
    const auto lastLeft = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(left, 12)));
    return std::size_t{counts[0]} + counts[1] + counts[2] + counts[3] +
           filterPixels(row, above, x, width, out + 3 * static_cast<std::size_t>(x), lastLeft);
}

// Adler-32 sixteen bytes at a time. Over a run of n bytes b[0..n-1], s1 grows by their sum and
// s2 by n * s1 + the sum of (n - i) * b[i]; split into 16-byte pieces, the weight n - i is 16
// for each piece that follows plus 16 - i within the piece.
__attribute__((target("ssse3"))) uLong adler32Ssse3(uLong adler, const Byte* data, std::size_t n) {
    constexpr std::uint32_t kBase = 65521;
    // zlib's bound on a run before s2 could overflow 32 bits, in whole pieces.
    constexpr std::size_t kRun = 5552 / 16 * 16;
    std::uint32_t s1 = adler & 0xFFFF;
    std::uint32_t s2 = (adler >> 16) & 0xFFFF;
    const __m128i weights = _mm_setr_epi8(16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i zero = _mm_setzero_si128();
    const auto sum = [](__m128i v) {
        v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
        v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_cvtsi128_si32(v)));
    };
    while (n >= 16) {
        const std::size_t run = std::min(n, kRun) & ~std::size_t{15};
        n -= run;
        __m128i bytes = zero;     // the sum of the bytes so far
        __m128i before = zero;    // the sums before each piece, added up
        __m128i weighted = zero;  // the bytes weighted 16..1 within their piece
        for (const Byte* end = data + run; data < end; data += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
            before = _mm_add_epi32(before, bytes);
            bytes = _mm_add_epi32(bytes, _mm_sad_epu8(v, zero));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_maddubs_epi16(v, weights), ones));
        }
        const std::uint64_t t2 =
            s2 + static_cast<std::uint64_t>(run) * s1 + 16 * sum(before) + sum(weighted);
        s1 = static_cast<std::uint32_t>((s1 + sum(bytes)) % kBase);
        s2 = static_cast<std::uint32_t>(t2 % kBase);
    }
    return adler32_z((uLong{s2} << 16) | s1, data, n);
}

const Kernels kPortable{filterRowPlain, adler32Plain};

const Kernels& fastestKernels() {
    static const Kernels chosen =
        __builtin_cpu_supports("ssse3") ? Kernels{filterRowSsse3, adler32Ssse3} : kPortable;
    return chosen;
}
#else
const Kernels kPortable{filterRowPlain, adler32Plain};

const Kernels& fastestKernels() { return kPortable; }
#endif

struct Strip {
    int firstRow = 0;
    int rows = 0;
    std::unique_ptr<Byte[]> deflated;
    std::size_t size = 0;
    uLong adler = 0;  // of the filtered rows
    uLong crc = 0;    // of the deflated bytes
};

// Filters and deflates strips, one after another, on one thread. A strip becomes raw deflate
// data that ends on a byte boundary with a sync flush (the last one: with the final block), so
// that the strips one after another are one deflate stream. Each starts with an empty window:
// the last row before it as a preset dictionary would save 2 to 4 % of a screen's file for 6
// to 13 % more time, as zlib hashes every byte of a dictionary, and time counts for more here.
class StripDeflater {
  public:
    StripDeflater(const QImage& picture, const Kernels& kernels)
        : picture_(picture),
          kernels_(kernels),
          rowBytes_(1 + 3 * static_cast<std::size_t>(picture.width())) {}
    ~StripDeflater() {
        if (fastReady_) deflateEnd(&fast_);
        if (rleReady_) deflateEnd(&rle_);
    }
    StripDeflater(const StripDeflater&) = delete;
    StripDeflater& operator=(const StripDeflater&) = delete;

    bool deflateStrip(Strip& strip, bool last) {
        const std::size_t stripBytes = strip.rows * rowBytes_;
        rows_.resize(stripBytes);
        std::size_t repeats = 0;
        for (int i = 0; i < strip.rows; ++i)
            repeats += filter(strip.firstRow + i, rows_.data() + i * rowBytes_);
        const bool photo =
            static_cast<double>(repeats) < kMinRepeatShare * strip.rows * picture_.width();
        strip.adler = kernels_.adler32(adler32_z(0, nullptr, 0), rows_.data(), stripBytes);

        // Level 1 for screens: its matches run over the flat areas at memory speed, and higher
        // levels gain a few per cent for much more time on text. Half zlib's default hash is as
        // good on a strip of 64 KiB and half as much to clear for each. Run-length coding uses
        // no hash; the largest blocks make it 4 % faster and smaller than the default ones.
        z_stream* z = photo ? stream(rle_, rleReady_, Z_RLE, 9)
                            : stream(fast_, fastReady_, Z_DEFAULT_STRATEGY, 7);
        if (!z) return false;
        // Room for all of it stored, plus block headers and the flush marker.
        const std::size_t capacity = deflateBound(z, stripBytes) + 16;
        if (out_.size() < capacity) out_.resize(capacity);
        z->next_in = rows_.data();
        z->avail_in = static_cast<uInt>(stripBytes);
        z->next_out = out_.data();
        z->avail_out = static_cast<uInt>(capacity);
        const int status = deflate(z, last ? Z_FINISH : Z_SYNC_FLUSH);
        if (status != (last ? Z_STREAM_END : Z_OK) || z->avail_in != 0 || z->avail_out == 0)
            return false;
        strip.size = capacity - z->avail_out;
        strip.deflated = std::make_unique_for_overwrite<Byte[]>(strip.size);
        std::memcpy(strip.deflated.get(), out_.data(), strip.size);
        strip.crc = crc32_z(crc32_z(0, nullptr, 0), out_.data(), strip.size);
        return true;
    }

  private:
    std::size_t filter(int y, Byte* out) const {
        const auto* row = reinterpret_cast<const std::uint32_t*>(picture_.constScanLine(y));
        const auto* above =
            y > 0 ? reinterpret_cast<const std::uint32_t*>(picture_.constScanLine(y - 1)) : nullptr;
        return kernels_.filterRow(row, above, picture_.width(), out);
    }

    z_stream* stream(z_stream& z, bool& ready, int strategy, int memLevel) {
        if (!ready) {
            // Raw deflate: the zlib header and checksum are written once for all strips.
            ready = deflateInit2(&z, 1, Z_DEFLATED, -15, memLevel, strategy) == Z_OK;
            return ready ? &z : nullptr;
        }
        return deflateReset(&z) == Z_OK ? &z : nullptr;
    }

    const QImage& picture_;
    const Kernels& kernels_;
    const std::size_t rowBytes_;
    z_stream fast_{};
    z_stream rle_{};
    bool fastReady_ = false;
    bool rleReady_ = false;
    std::vector<Byte> rows_;
    std::vector<Byte> out_;
};

Byte* put32(Byte* out, std::uint32_t v) {
    out[0] = static_cast<Byte>(v >> 24);
    out[1] = static_cast<Byte>(v >> 16);
    out[2] = static_cast<Byte>(v >> 8);
    out[3] = static_cast<Byte>(v);
    return out + 4;
}

uLong crcOf(const Byte* data, std::size_t n, uLong crc = crc32_z(0, nullptr, 0)) {
    return crc32_z(crc, data, n);
}

Byte* writeChunk(Byte* out, const char* type, const Byte* data, std::size_t size) {
    out = put32(out, static_cast<std::uint32_t>(size));
    Byte* const typeAndData = out;
    std::memcpy(out, type, 4);
    out = std::copy_n(data, size, out + 4);
    return put32(out, static_cast<std::uint32_t>(crcOf(typeAndData, 4 + size)));
}

std::vector<Strip> planStrips(int width, int height) {
    const std::size_t rowBytes = 1 + 3 * static_cast<std::size_t>(width);
    const int rowsPerStrip = static_cast<int>(
        std::clamp<std::size_t>(kStripBytes / rowBytes, 1, static_cast<std::size_t>(height)));
    std::vector<Strip> strips;
    strips.reserve(static_cast<std::size_t>((height + rowsPerStrip - 1) / rowsPerStrip));
    for (int y = 0; y < height; y += rowsPerStrip) {
        Strip& s = strips.emplace_back();
        s.firstRow = y;
        s.rows = std::min(rowsPerStrip, height - y);
    }
    return strips;
}

// Bytes of the image data with their CRC, to be put into IDAT chunks.
struct Piece {
    const Byte* data;
    std::size_t size;
    uLong crc;
};

// Writes the pieces in as few IDAT chunks as the chunk length limit allows, cut between pieces
// (with no `out`, only counts); the CRC of each chunk is put together from its pieces' own,
// computed on their threads. Returns the bytes of the chunks.
std::size_t writeIdat(const std::vector<Piece>& pieces, Byte* out) {
    constexpr std::size_t kMaxChunk = 0x7FFFFFFF;
    std::size_t total = 0;
    for (auto piece = pieces.begin(); piece != pieces.end();) {
        auto end = piece;
        std::size_t length = 0;
        do length += (end++)->size;
        while (end != pieces.end() && length + end->size <= kMaxChunk);
        total += 12 + length;
        if (out) {
            out = put32(out, static_cast<std::uint32_t>(length));
            std::memcpy(out, "IDAT", 4);
            uLong crc = crcOf(out, 4);
            out += 4;
            for (; piece != end; ++piece) {
                out = std::copy_n(piece->data, piece->size, out);
                crc = crc32_combine(crc, piece->crc, static_cast<z_off_t>(piece->size));
            }
            out = put32(out, static_cast<std::uint32_t>(crc));
        }
        piece = end;
    }
    return total;
}

// encodePng but for its guard: running out of memory for a converted copy, the strips or the
// file gives an empty result (no image on the clipboard), not the end of the program.
QByteArray encode(const QImage& image, int threads, const Kernels& kernels) {
    QImage converted;
    if (image.format() != QImage::Format_RGB32) {
        converted = image.convertToFormat(QImage::Format_RGB32);
        if (converted.isNull()) return {};
    }
    const QImage& picture = converted.isNull() ? image : converted;
    const int width = picture.width();
    const int height = picture.height();
    const std::size_t rowBytes = 1 + 3 * static_cast<std::size_t>(width);
    if (rowBytes > kMaxRowBytes) return {};

    if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<Strip> strips = planStrips(width, height);
    threads = std::min<int>(threads, static_cast<int>(strips.size()));

    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    auto work = [&] {
        try {
            StripDeflater deflater(picture, kernels);
            while (!failed) {
                const std::size_t i = next++;
                if (i >= strips.size()) break;
                if (!deflater.deflateStrip(strips[i], i + 1 == strips.size())) failed = true;
            }
        } catch (const std::bad_alloc&) {
            failed = true;
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(static_cast<std::size_t>(threads));  // no reallocation while they run
    try {
        for (int i = 1; i < threads; ++i) helpers.emplace_back(work);
    } catch (const std::system_error&) {
        // Fewer helpers than asked for: the others do their share.
    }
    work();
    for (std::thread& t : helpers) t.join();
    if (failed) return {};

    // The zlib stream around the strips: a header for a 32 KiB window at the fastest level,
    // and the Adler-32 of all filtered rows, put together from the strips' own.
    const Byte zlibHeader[2] = {0x78, 0x01};
    uLong adler = adler32_z(0, nullptr, 0);
    std::vector<Piece> pieces{
        {zlibHeader, sizeof zlibHeader, crcOf(zlibHeader, sizeof zlibHeader)}};
    pieces.reserve(strips.size() + 2);
    for (const Strip& s : strips) {
        adler = adler32_combine(adler, s.adler, static_cast<z_off_t>(s.rows * rowBytes));
        pieces.push_back({s.deflated.get(), s.size, s.crc});
    }
    Byte zlibTrailer[4];
    put32(zlibTrailer, static_cast<std::uint32_t>(adler));
    pieces.push_back({zlibTrailer, sizeof zlibTrailer, crcOf(zlibTrailer, sizeof zlibTrailer)});

    const Byte signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    // 8 bits a sample, RGB, deflate, adaptive filters, no interlace.
    Byte header[13] = {0, 0, 0, 0, 0, 0, 0, 0, 8, 2, 0, 0, 0};
    put32(header, static_cast<std::uint32_t>(width));
    put32(header + 4, static_cast<std::uint32_t>(height));
    QByteArray png(static_cast<qsizetype>(sizeof signature + 12 + sizeof header +
                                          writeIdat(pieces, nullptr) + 12),
                   Qt::Uninitialized);
    Byte* out =
        std::copy(std::begin(signature), std::end(signature), reinterpret_cast<Byte*>(png.data()));
    out = writeChunk(out, "IHDR", header, sizeof header);
    out += writeIdat(pieces, out);
    writeChunk(out, "IEND", nullptr, 0);
    return png;
}

}  // namespace

QByteArray encodePng(const QImage& image, int threads, PngKernels kernels) {
    if (image.isNull()) return {};
    try {
        return encode(image, threads,
                      kernels == PngKernels::Portable ? kPortable : fastestKernels());
    } catch (const std::bad_alloc&) {
        return {};
    }
}

}  // namespace numarika

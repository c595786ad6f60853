#include "payload/ZLibOpen.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include <libdeflate.h>
#include <zlib.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "payload/UnPack.h"

#ifdef _WIN32
// zlib's CRC-32, which inflate needs for gzip streams only (the program's
// streams are zlib streams). The Windows programs link zlib statically; this
// definition keeps the library's own, with its 12 KB of tables, out of them.
// Same function, same results, one 1 KB table built on first use. (A
// program that needs another function of zlib's crc32 or adler32 object
// fails to link with a duplicate definition, never silently.)
extern "C" uLong ZEXPORT crc32(uLong crc, const Bytef* buf, uInt len) {
  struct Table {
    uint32_t v[256];
    Table() {
      for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        v[n] = c;
      }
    }
  };
  static const Table table;
  if (!buf) return 0;
  uint32_t c = static_cast<uint32_t>(crc) ^ 0xFFFFFFFFu;
  while (len--) c = table.v[(c ^ *buf++) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

// zlib's Adler-32 (the check of every zlib stream), without the library's
// combine functions that share its object file.
extern "C" uLong ZEXPORT adler32(uLong adler, const Bytef* buf, uInt len) {
  return Adler32(static_cast<uint32_t>(adler), buf, len);
}
#endif

uint32_t Adler32(uint32_t adler, const unsigned char* buf, size_t len) {
  const uint32_t KAdlerBase = 65521;
  if (!buf) return 1;
  uint32_t a = adler & 0xFFFF;
  uint64_t b = adler >> 16 & 0xFFFF;
#ifdef __SSE2__
  // 16 bytes a step: the byte sums, the sums before each step (each weighs
  // 16 in b) and the bytes weighted 16 .. 1, reduced every 5552 bytes.
  const __m128i zero = _mm_setzero_si128();
  const __m128i weightsHi = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
  const __m128i weightsLo = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
  while (len >= 16) {
    size_t n = (len < 5552 ? len : 5552) & ~(size_t)15;
    len -= n;
    b += (uint64_t)a * n;
    __m128i sums = zero, before = zero, weighted = zero;
    for (size_t i = 0; i < n; i += 16) {
      __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + i));
      before = _mm_add_epi32(before, sums);
      sums = _mm_add_epi32(sums, _mm_sad_epu8(c, zero));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(c, zero), weightsHi));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(c, zero), weightsLo));
    }
    buf += n;
    uint32_t s[4], p[4], w[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(s), sums);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), before);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(w), weighted);
    b += 16 * ((uint64_t)p[0] + p[2]) + (uint64_t)w[0] + w[1] + w[2] + w[3];
    a = (uint32_t)((a + (uint64_t)s[0] + s[2]) % KAdlerBase);
    b %= KAdlerBase;
  }
#endif
  while (len) {
    size_t n = len < 5552 ? len : 5552;
    len -= n;
    while (n--) {
      a += *buf++;
      b += a;
    }
    a %= KAdlerBase;
    b %= KAdlerBase;
  }
  return (uint32_t)b << 16 | a;
}

// libdeflate checks the zlib streams it inflates with this Adler-32 (its
// own stays out of the programs).
extern "C" uint32_t libdeflate_adler32(uint32_t adler, const void* buffer, size_t len) {
  return Adler32(adler, static_cast<const unsigned char*>(buffer), len);
}

namespace {

void NoPump() {}
void (*GPumpHook)() = NoPump;

// The block grows by the step size this many times before it grows
// geometrically: ordinary records (a few times their compressed size) keep
// the plain step, highly compressible ones are not copied quadratically.
const int KLinearSteps = 16;

// zlib's memory requests go to the program's own allocator.
voidpf ZAlloc(voidpf, uInt items, uInt size) {
  return std::calloc(items, size);
}

void ZFree(voidpf, voidpf p) {
  std::free(p);
}

// Owns the output block until it is handed to the caller.
struct TBlock {
  unsigned char* P = nullptr;
  size_t Size = 0;
  ~TBlock() { std::free(P); }
  void Resize(size_t n) {
    void* q = std::realloc(P, n ? n : 1);
    if (!q) throw EZLibError(Z_MEM_ERROR);
    P = static_cast<unsigned char*>(q);
    Size = n;
  }
};

// Ends the inflation exactly once, also when an error is on its way.
struct TInflateGuard {
  z_stream* S;
  bool Active = true;
  explicit TInflateGuard(z_stream* s) : S(s) {}
  int End() {
    Active = false;
    return inflateEnd(S);
  }
  ~TInflateGuard() {
    if (Active) inflateEnd(S);
  }
};

}  // namespace

EZLibError::EZLibError(int code, const std::string& message) : FCode(code), FMessage(message) {}

EZLibError::EZLibError(int code) : EZLibError(code, ZLibMessage(code)) {}

std::string ZLibMessage(int result) {
  switch (result) {
    case Z_NEED_DICT:
      return "need dictionary";
    case Z_STREAM_END:
      return "stream end";
    case Z_OK:
      return "";
    case Z_ERRNO:
      return "file error";
    case Z_STREAM_ERROR:
      return "stream error";
    case Z_DATA_ERROR:
      return "data error";
    case Z_MEM_ERROR:
      return "insufficient memory";
    case Z_BUF_ERROR:
      return "buffer error";
    case Z_VERSION_ERROR:
      return "incompatible version";
    default:
      return "";
  }
}

int ZLibCheck(int result) {
  if (result < 0) throw EZLibError(result);
  return result;
}

void SetInflatePumpHook(void (*hook)()) {
  GPumpHook = hook ? hook : NoPump;
}

size_t InflateBuffer(const void* inBuf, size_t inBytes, size_t outEstimate, void*& outBuf,
                     size_t& outBytes, TInflateProgress progress) {
  outBuf = nullptr;
  outBytes = 0;
  // Step: the input length rounded up to 256 bytes.
  size_t step = (inBytes + 255) & ~(size_t)255;
  if (step == 0) step = 256;
  TBlock block;
  if (outEstimate > KMaxRecordContent) outEstimate = KMaxRecordContent;
  block.Resize(outEstimate ? outEstimate : step < KMaxRecordContent ? step : KMaxRecordContent);

  z_stream s;
  std::memset(&s, 0, sizeof s);
  s.zalloc = ZAlloc;
  s.zfree = ZFree;
  const unsigned char* in = static_cast<const unsigned char*>(inBuf);
  size_t inLeft = inBytes;
  ZLibCheck(inflateInit_(&s, "1.1.4", (int)sizeof(z_stream)));
  TInflateGuard guard(&s);

  if (progress) progress(0, 0, (int64_t)inBytes, 0, 1, std::string());

  size_t produced = 0;
  int grown = 0;
  for (;;) {
    // zlib counts in 32 bits; hand it at most that much at a time.
    if (s.avail_in == 0 && inLeft > 0) {
      uInt n = inLeft > UINT_MAX ? UINT_MAX : (uInt)inLeft;
      s.next_in = const_cast<Bytef*>(in);
      s.avail_in = n;
      in += n;
      inLeft -= n;
    }
    size_t freeBytes = block.Size - produced;
    s.next_out = block.P + produced;
    s.avail_out = freeBytes > UINT_MAX ? UINT_MAX : (uInt)freeBytes;
    uInt before = s.avail_out;
    int rc = inflate(&s, Z_NO_FLUSH);
    produced += before - s.avail_out;
    if (rc == Z_NEED_DICT) throw EZLibError(Z_NEED_DICT);  // no dictionary is ever supplied
    if (ZLibCheck(rc) == Z_STREAM_END) break;
    if (s.avail_out > 0 && s.avail_in == 0 && inLeft == 0) {
      // All input used and room left, yet no stream end: the next step
      // could make no progress. zlib says so with "buffer error".
      throw EZLibError(Z_BUF_ERROR);
    }
    GPumpHook();
    if (progress) progress(0, 0, (int64_t)inBytes, (int64_t)produced, 1, std::string());
    if (s.avail_out == 0) {
      if (block.Size >= KMaxRecordContent) throw EZLibError(Z_DATA_ERROR);
      size_t grow = step;
      if (++grown > KLinearSteps && block.Size / 2 > step) grow = block.Size / 2;
      if (grow > KMaxRecordContent - block.Size) grow = KMaxRecordContent - block.Size;
      block.Resize(block.Size + grow);
    }
  }
  ZLibCheck(guard.End());
  block.Resize(produced);
  outBuf = block.P;
  outBytes = produced;
  block.P = nullptr;
  return produced;
}

std::string InflateText(const std::string& text) {
  void* buf = nullptr;
  size_t n = 0;
  InflateBuffer(text.data(), text.size(), 0, buf, n, nullptr);
  TBlock block;  // frees the plain bytes also when the copy fails
  block.P = static_cast<unsigned char*>(buf);
  try {
    return std::string(reinterpret_cast<const char*>(block.P), n);
  } catch (const std::bad_alloc&) {
    throw EZLibError(Z_MEM_ERROR);
  }
}

TInflater::~TInflater() {
  if (FStream) {
    inflateEnd(FStream);
    delete FStream;
  }
}

void TInflater::Begin() {
  if (FStream) {
    ZLibCheck(inflateReset(FStream));
    return;
  }
  z_stream* s = new (std::nothrow) z_stream();
  if (!s) throw EZLibError(Z_MEM_ERROR);
  s->zalloc = ZAlloc;
  s->zfree = ZFree;
  int rc = inflateInit_(s, "1.1.4", (int)sizeof(z_stream));
  if (rc != Z_OK) {
    delete s;
    ZLibCheck(rc < 0 ? rc : Z_STREAM_ERROR);
  }
  FStream = s;
}

size_t TInflater::Step(const unsigned char*& in, size_t& inLeft, bool lastInput, unsigned char* out,
                       size_t outSize, bool& ended) {
  z_stream& s = *FStream;
  s.next_in = const_cast<Bytef*>(in);
  s.avail_in = inLeft > UINT_MAX ? UINT_MAX : (uInt)inLeft;
  s.next_out = out;
  s.avail_out = outSize > UINT_MAX ? UINT_MAX : (uInt)outSize;
  uInt inBefore = s.avail_in, outBefore = s.avail_out;
  int rc = inflate(&s, Z_NO_FLUSH);
  size_t used = inBefore - s.avail_in, produced = outBefore - s.avail_out;
  in += used;
  inLeft -= used;
  ended = rc == Z_STREAM_END;
  if (rc == Z_NEED_DICT) throw EZLibError(Z_NEED_DICT);  // no dictionary is ever supplied
  // "Buffer error" only says that this step could do nothing; it is damage
  // when no further input can come.
  if (rc == Z_BUF_ERROR && !lastInput) return produced;
  ZLibCheck(rc);
  if (!ended && produced == 0 && inLeft == 0 && lastInput) throw EZLibError(Z_BUF_ERROR);
  return produced;
}

TWholeInflater::~TWholeInflater() {
  if (FDecoder) libdeflate_free_decompressor(FDecoder);
}

bool TWholeInflater::Inflate(const unsigned char* in, size_t inSize, unsigned char* out,
                             size_t outSize, size_t& produced) {
  produced = 0;
  if (inSize < 2 || (in[0] >> 4) != 7) return false;
  if (!FDecoder) FDecoder = libdeflate_alloc_decompressor();
  if (!FDecoder) return false;
  return libdeflate_zlib_decompress(FDecoder, in, inSize, out, outSize, &produced) ==
         LIBDEFLATE_SUCCESS;
}

int32_t VolumeChecksum(const std::string& path, int64_t trailerLength) {
  TPayloadFile f(path);
  if (!f.IsOpen()) return KNoVolumeChecksum;
  int64_t s = (int64_t)f.Size();
  if (s > 51200) return KNoVolumeChecksum;
  uint64_t offset = 0;
  bool pointerSet = false;
  if (IsExeContainer(f)) {
    uint8_t w[4];
    if (f.ReadExact(252, w, 4)) {
      uint32_t low = w[0] | (w[1] << 8) | (w[2] << 16) | ((uint32_t)w[3] << 24);
      if (low > 0) {
        s = low;
        pointerSet = true;
      }
    }
  }
  int64_t r = s - trailerLength;
  if (pointerSet) {
    r -= 512;
    offset = 512;
  }
  uint32_t sum = 0;
  uint8_t block[4096];
  for (;;) {
    size_t got = f.ReadAt(offset, block, sizeof block);
    offset += got;
    for (size_t i = 0; i + 4 <= got; i += 4) {
      r -= 4;
      if (r > 4)
        sum +=
            block[i] | (block[i + 1] << 8) | (block[i + 2] << 16) | ((uint32_t)block[i + 3] << 24);
    }
    if (r > 4) sum += 1234;
    if (got < sizeof block) break;
  }
  return (int32_t)sum;
}

bool ChecksumMatches(int32_t computed, int32_t stored) {
  return computed == stored || computed == KNoVolumeChecksum || stored == KNoVolumeChecksum;
}

#pragma once
// Decompression of the payload's file records (zlib streams) and the volume
// checksum a container file may carry.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

// The one error class that leaves its module: a failing zlib result. The
// message is zlib's own text for the result code ("data error", ...).
// Derived from std::exception directly: std::runtime_error would bring its
// own string type into the stub (about 1 KB).
class EZLibError : public std::exception {
public:
  EZLibError(int code, const std::string& message);
  explicit EZLibError(int code);
  int Code() const { return FCode; }
  const char* what() const noexcept override { return FMessage.c_str(); }

private:
  int FCode;
  std::string FMessage;
};

// zlib's standard message for a result code (empty for 0).
std::string ZLibMessage(int result);

// Adler-32 as zlib computes it (1 for a null buffer); the Windows programs
// give it to zlib as the check of every stream.
uint32_t Adler32(uint32_t adler, const unsigned char* buf, size_t len);

// Returns `result`; raises EZLibError when it is negative.
int ZLibCheck(int result);

// Progress while inflating: called with (0, 0, input length, bytes produced
// so far, 1, "") before the first inflate step and after every step that
// did not end the stream. The six parameters follow the program's progress
// procedure: kind, reserved, maximum, position, step, text.
typedef void (*TInflateProgress)(int kind, int reserved, int64_t maximum, int64_t position,
                                 int step, const std::string& text);

// Hook that lets the program's windows run between inflate steps
// (default: nothing). The Windows program wires its message pump here.
void SetInflatePumpHook(void (*hook)());

// Inflates one complete zlib stream held in memory into a newly allocated
// block (std::malloc); the caller owns `outBuf` and frees it with std::free.
// The block grows in steps of the input length rounded up to 256 bytes;
// after many such steps it grows geometrically, so highly compressible
// records cost linear time. Returns the number of bytes produced (also in
// `outBytes`). Raises EZLibError on damaged, truncated or dictionary
// streams ("need dictionary"), and for a stream that goes on past
// KMaxRecordContent; running out of memory raises EZLibError with
// "insufficient memory". On any error the block is freed and `outBuf` is
// null.
size_t InflateBuffer(const void* inBuf, size_t inBytes, size_t outEstimate, void*& outBuf,
                     size_t& outBytes, TInflateProgress progress = nullptr);

// InflateBuffer on the bytes of a text: the plain bytes as a text.
std::string InflateText(const std::string& text);

// The most plain bytes one record may inflate to: a stream that goes on is
// damaged ("data error"), whatever memory the machine has.
const size_t KMaxRecordContent = (size_t)256 << 20;

struct z_stream_s;

// One zlib inflater kept for many streams: its state and window are
// allocated on the first stream and reset for each further one.
class TInflater {
public:
  TInflater() {}
  ~TInflater();
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;

  // Starts a new stream.
  void Begin();
  // Inflates from `in` (advancing it and `inLeft`) into `out`; returns the
  // bytes written there. `ended` becomes true at the stream end. Raises
  // EZLibError on a damaged or dictionary stream; when no input is left
  // (`lastInput`) and the stream cannot go on, "buffer error".
  size_t Step(const unsigned char*& in, size_t& inLeft, bool lastInput, unsigned char* out,
              size_t outSize, bool& ended);

private:
  z_stream_s* FStream = nullptr;
};

struct libdeflate_decompressor;

// Inflates whole zlib streams held in memory in one pass, several times as
// fast as zlib's streaming inflate (the decoder is libdeflate's, built from
// third_party/). One decoder is kept for many streams.
class TWholeInflater {
public:
  TWholeInflater() {}
  ~TWholeInflater();
  TWholeInflater(const TWholeInflater&) = delete;
  TWholeInflater& operator=(const TWholeInflater&) = delete;

  // Inflates the stream in `in` into `out`; bytes after its end are
  // ignored, as TInflater ignores them. True, with `produced` set, when the
  // whole stream fitted `outSize`. False for a stream that did not fit, that
  // declares a window under 32 KiB (zlib holds its distances to that
  // window), or that the decoder finds damaged, truncated or asking for a
  // dictionary: the caller then streams it through TInflater, so that what
  // zlib finds is what is reported. (It also reads the length codes 286 and
  // 287, which zlib refuses, as 258; what it reads still matches the
  // stream's Adler-32.)
  bool Inflate(const unsigned char* in, size_t inSize, unsigned char* out, size_t outSize,
               size_t& produced);

private:
  libdeflate_decompressor* FDecoder = nullptr;
};

// The checksum of one container file as the authoring tool stores it at
// trailer offset 16. Files larger than 51,200 bytes (and files that cannot
// be opened) give 1234, "no checksum".
const int32_t KNoVolumeChecksum = 1234;
int32_t VolumeChecksum(const std::string& path, int64_t trailerLength);

// True when the values are equal or either of them is 1234.
bool ChecksumMatches(int32_t computed, int32_t stored);

// One-shot inflation of a zlib stream: the engine reads the compressed parts
// of a module's data block with it, the delivery layer the archives it packs.
//
// Any thread; it allocates (not for hooks).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "rtl/SysUtils.h"

namespace crash {

// A zlib failure. The message is zlib's own text for the code ("data error"
// for -3, "buffer error" for -5, "need dictionary" for 2).
class EZLibError : public rtl::Exception {
public:
    RTL_CLASS(EZLibError)
    explicit EZLibError(int code);
    int Code() const noexcept { return FCode; }

private:
    int FCode;
};

// Inflates a whole zlib stream (zlib header and Adler-32 trailer). The output
// grows in steps of the input size rounded up to a multiple of 256. Succeeds
// only when the stream ends cleanly; bytes after its end are ignored. A damaged,
// truncated or dictionary stream raises EZLibError and yields nothing, so that
// corrupt data never passes for good. May also throw std::bad_alloc.
std::vector<std::uint8_t> ZDecompress(const void* inBuffer, std::size_t inCount);

}  // namespace crash

// One-shot inflation of a zlib stream.
#include "crash/engine/EZlib.h"

#include <zlib.h>

namespace crash {
namespace {

// Ends the inflation on every way out, so that an exception leaks nothing.
class InflateSession {
public:
    explicit InflateSession(z_stream& stream) : FStream(stream)
    {
        if (const int rc = inflateInit(&FStream); rc < 0) throw EZLibError(rc);
        FActive = true;
    }
    ~InflateSession()
    {
        if (FActive) inflateEnd(&FStream);
    }
    InflateSession(const InflateSession&) = delete;
    InflateSession& operator=(const InflateSession&) = delete;

    void End()
    {
        FActive = false;
        if (const int rc = inflateEnd(&FStream); rc < 0) throw EZLibError(rc);
    }

private:
    z_stream& FStream;
    bool FActive = false;
};

// zError indexes a table with the code, so a code zlib does not define must
// not reach it.
std::string ZlibMessage(int code)
{
    if (code < Z_VERSION_ERROR || code > Z_NEED_DICT) return "unknown zlib error " + std::to_string(code);
    return zError(code);
}

}  // namespace

EZLibError::EZLibError(int code) : rtl::Exception(ZlibMessage(code)), FCode(code) {}

std::vector<std::uint8_t> ZDecompress(const void* inBuffer, std::size_t inCount)
{
    // The smallest multiple of 256 not below the input, and never 0, or an
    // empty input would grow the output by nothing for ever.
    const std::size_t step = inCount == 0 ? 256 : (inCount + 255) / 256 * 256;
    std::vector<std::uint8_t> out(step);

    z_stream stream{};
    stream.next_in = static_cast<Bytef*>(const_cast<void*>(inBuffer));
    stream.avail_in = static_cast<uInt>(inCount);
    InflateSession session(stream);

    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    int rc = inflate(&stream, Z_NO_FLUSH);
    while (rc == Z_OK) {
        const std::size_t produced = stream.total_out;
        out.resize(out.size() + step);
        stream.next_out = out.data() + produced;
        stream.avail_out = static_cast<uInt>(out.size() - produced);
        rc = inflate(&stream, Z_NO_FLUSH);
    }
    // Only the stream's own end is success: a data error half-way, a stream
    // cut short (buffer error) or one that needs a dictionary would otherwise
    // hand back a prefix as if it were the whole.
    if (rc != Z_STREAM_END) throw EZLibError(rc);

    const std::size_t produced = stream.total_out;
    session.End();
    out.resize(produced);
    out.shrink_to_fit();
    return out;
}

}  // namespace crash

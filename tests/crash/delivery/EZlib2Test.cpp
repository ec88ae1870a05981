// One-shot inflation against streams made by Python's zlib.
#include "crash/delivery/EZlib2.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "ZlibStreams.h"

namespace crash {
namespace {

TEST(ZDecompress, InflatesStreamsOfAnotherZlibUser)
{
    for (const auto& s : zlib_streams::kGood) {
        SCOPED_TRACE(s.name);
        std::vector<std::uint8_t> out;
        ASSERT_NO_THROW(out = ZDecompress(s.bytes, s.size));
        EXPECT_EQ(out.size(), s.dataSize);
        EXPECT_EQ(crc32(0, out.data(), static_cast<uInt>(out.size())), s.dataCrc32);
    }
}

// Half a stream must never pass for the whole: every damage raises, with the
// code that Python's inflation met in the same place.
TEST(ZDecompress, DamagedStreamRaises)
{
    for (const auto& s : zlib_streams::kDamaged) {
        SCOPED_TRACE(s.name);
        try {
            ZDecompress(s.bytes, s.size);
            ADD_FAILURE() << "no exception";
        } catch (const EZLibError& e) {
            EXPECT_EQ(e.Code(), s.error);
            EXPECT_EQ(e.Message(), EZLibError(s.error).Message());
        }
    }
    const unsigned char notZlib[] = {0x00, 0x01, 0x02, 0x03};
    EXPECT_THROW(ZDecompress(notZlib, sizeof notZlib), rtl::Exception);
}

TEST(EZLibError, MessageIsZlibsTextForTheCode)
{
    static constexpr struct {
        int code;
        const char* message;
    } kCases[] = {
        {Z_DATA_ERROR, "data error"},     {Z_BUF_ERROR, "buffer error"},
        {Z_NEED_DICT, "need dictionary"}, {Z_VERSION_ERROR, "incompatible version"},
        {-7, "unknown zlib error -7"},  // outside zlib's own table
        {3, "unknown zlib error 3"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(EZLibError(c.code).Message(), c.message);
        EXPECT_EQ(EZLibError(c.code).Code(), c.code);
    }
}

}  // namespace
}  // namespace crash

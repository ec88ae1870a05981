// One-shot inflation against streams made by Python's zlib.
#include "crash/delivery/EZlib2.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "ZlibStreams.h"

namespace crash {
namespace {

TEST(ZDecompress, InflatesStreamsOfAnotherZlibUser) {
    for (const auto& s : zlib_streams::kGood) {
        SCOPED_TRACE(s.name);
        std::vector<std::uint8_t> out;
        ASSERT_NO_THROW(out = ZDecompress(s.bytes, s.size));
        EXPECT_EQ(out.size(), s.dataSize);
        EXPECT_EQ(crc32(0, out.data(), static_cast<uInt>(out.size())), s.dataCrc32);
    }
}

// Half a stream must never pass for the whole: every damage raises, with
// zlib's text for the code that Python's inflation met in the same place.
TEST(ZDecompress, DamagedStreamRaisesWithZlibsMessage) {
    static constexpr struct {
        int code;
        const char* message;
    } kMessages[] = {
        {Z_DATA_ERROR, "data error"},
        {Z_BUF_ERROR, "buffer error"},
        {Z_NEED_DICT, "need dictionary"},
    };
    for (const auto& s : zlib_streams::kDamaged) {
        SCOPED_TRACE(s.name);
        const char* expected = nullptr;
        for (const auto& m : kMessages)
            if (m.code == s.error)
                expected = m.message;
        ASSERT_NE(expected, nullptr) << "no message known for code " << s.error;
        try {
            ZDecompress(s.bytes, s.size);
            ADD_FAILURE() << "no exception";
        } catch (const EZLibError& e) {
            EXPECT_EQ(e.Code(), s.error);
            EXPECT_EQ(e.Message(), expected);
        }
    }
}

TEST(ZDecompress, ErrorIsARuntimeException) {
    const unsigned char notZlib[] = {0x00, 0x01, 0x02, 0x03};
    EXPECT_THROW(ZDecompress(notZlib, sizeof notZlib), rtl::Exception);
}

}  // namespace
}  // namespace crash

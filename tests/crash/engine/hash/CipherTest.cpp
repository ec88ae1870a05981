// The options cipher: known answers and round trips.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "HashVectors.h"
#include "crash/engine/EEncrypt.h"

namespace crash {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Pattern(std::size_t size)
{
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = vectors::PatternByte(i);
    return data;
}

Bytes FromText(const char* data, std::size_t size)
{
    return Bytes(reinterpret_cast<const std::uint8_t*>(data), reinterpret_cast<const std::uint8_t*>(data) + size);
}

TEST(Cipher, KnownAnswersFromTheIndependentScript)
{
    for (const auto& c : vectors::kCipher) {
        const std::string key(c.key, c.keySize);
        SCOPED_TRACE("key \"" + key + "\", " + std::to_string(c.size) + " bytes");
        const Bytes plain = Pattern(c.size);
        const Bytes expected = FromText(c.cipher, c.cipherSize);

        TCipherContext context;
        InitKey(context, key);
        Bytes out(c.size);
        Encrypt(context, plain.data(), out.data(), plain.size());
        EXPECT_EQ(out, expected);
        Bytes back(c.size);
        Decrypt(context, expected.data(), back.data(), expected.size());
        EXPECT_EQ(back, plain);

        // The process-default key gives the same bytes.
        InitKey(key);
        Bytes viaDefault(c.size);
        Encrypt(plain.data(), viaDefault.data(), plain.size());
        EXPECT_EQ(viaDefault, expected);
        Decrypt(expected.data(), viaDefault.data(), expected.size());
        EXPECT_EQ(viaDefault, plain);
    }
}

TEST(Cipher, RoundTripsInPlaceAndApart)
{
    static constexpr std::size_t kSizes[] = {0, 1, 7, 8, 9, 13, 16, 100};
    TCipherContext context;
    InitKey(context, "round trip");
    for (std::size_t size : kSizes) {
        SCOPED_TRACE(size);
        const Bytes plain = Pattern(size);
        Bytes apart(size);
        Encrypt(context, plain.data(), apart.data(), size);
        Bytes inPlace = plain;
        Encrypt(context, inPlace.data(), inPlace.data(), size);
        EXPECT_EQ(inPlace, apart);
        if (size >= 8) {
            EXPECT_NE(apart, plain);
        }

        Bytes again(size);
        Encrypt(context, plain.data(), again.data(), size);
        EXPECT_EQ(again, apart);  // every call starts its chain afresh

        Decrypt(context, inPlace.data(), inPlace.data(), size);
        EXPECT_EQ(inPlace, plain);
        Bytes back(size);
        Decrypt(context, apart.data(), back.data(), size);
        EXPECT_EQ(back, plain);
    }
}

TEST(Cipher, ZeroBlocksAndKeysThatDiffer)
{
    const Bytes zeros(13, 0);
    TCipherContext first;
    TCipherContext second;
    InitKey(first, "first key");
    InitKey(second, "second key");
    Bytes a(13);
    Bytes b(13);
    Encrypt(first, zeros.data(), a.data(), 13);
    Encrypt(second, zeros.data(), b.data(), 13);
    EXPECT_NE(a, b);
    EXPECT_NE(a, zeros);
    Bytes back(13);
    Decrypt(second, a.data(), back.data(), 13);
    EXPECT_NE(back, zeros);  // the wrong key gives no plain text
    Decrypt(first, a.data(), back.data(), 13);
    EXPECT_EQ(back, zeros);
}

// Threads that each own a key context never disturb one another.
struct CipherWorker {
    std::string Key;
    Bytes Plain;
    Bytes Expected;
    int Mismatches = 0;

    static DWORD WINAPI Run(void* self)
    {
        auto& worker = *static_cast<CipherWorker*>(self);
        TCipherContext context;
        Bytes buffer(worker.Plain.size());
        for (int i = 0; i < 2000; ++i) {
            InitKey(context, worker.Key);
            Encrypt(context, worker.Plain.data(), buffer.data(), buffer.size());
            if (buffer != worker.Expected) ++worker.Mismatches;
            Decrypt(context, buffer.data(), buffer.data(), buffer.size());
            if (buffer != worker.Plain) ++worker.Mismatches;
        }
        return 0;
    }
};

TEST(Cipher, OwnContextsAreSafeOnParallelThreads)
{
    CipherWorker workers[2] = {{"first key", Pattern(61), {}}, {"second key", Pattern(61), {}}};
    for (auto& worker : workers) {
        TCipherContext context;
        InitKey(context, worker.Key);
        worker.Expected.resize(worker.Plain.size());
        Encrypt(context, worker.Plain.data(), worker.Expected.data(), worker.Plain.size());
    }
    HANDLE threads[2];
    for (int i = 0; i < 2; ++i) {
        threads[i] = CreateThread(nullptr, 0, &CipherWorker::Run, &workers[i], 0, nullptr);
        ASSERT_NE(threads[i], nullptr);
    }
    ASSERT_EQ(WaitForMultipleObjects(2, threads, TRUE, 60000), WAIT_OBJECT_0);
    for (HANDLE thread : threads) CloseHandle(thread);
    EXPECT_EQ(workers[0].Mismatches, 0);
    EXPECT_EQ(workers[1].Mismatches, 0);
}

}  // namespace
}  // namespace crash

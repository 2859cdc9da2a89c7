#include <gtest/gtest.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include "crc32.h"
#include "lanes.h"
#include "settings.h"
#include "support.h"

namespace {

namespace fs = std::filesystem;

struct known_answer {
    std::string content;
    const char* hex[alg_count];  // sfv, md5, sha1, sha256, sha512
};

const known_answer answers[] = {
    {"",
     {"00000000", "d41d8cd98f00b204e9800998ecf8427e", "da39a3ee5e6b4b0d3255bfef95601890afd80709",
      "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
      "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e"}},
    {"abc",
     {"352441c2", "900150983cd24fb0d6963f7d28e17f72", "a9993e364706816aba3e25717850c26c9cd0d89d",
      "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
      "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"}},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     {"171a3f5f", "8215ef0796a20bcaaae116d3876c664a", "84983e441c3bd26ebaae4aa1f95129e5e54670f1",
      "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
      "204a8fc6dda82f0a0ced7beb8e08a41657c16ef468b228a8279be331a703c33596fd15c13b1b07f9aa1d3bea57789ca031ad85c7a71dd70354ec631238ca3445"}},
    {std::string(1000000, 'a'),
     {"dc25bfbc", "7707d6ae4e027c70eea2a935c2296f21", "34aa973cd4c4daa4f61eeb2bdbad27316534016f",
      "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
      "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa2e4eadb217ad8cc09b"}},
};

std::string hex_of(const uint8_t* bytes, size_t size)
{
    std::string out;
    char two[3];
    for (size_t i = 0; i < size; i++) {
        snprintf(two, sizeof two, "%02x", bytes[i]);
        out += two;
    }
    return out;
}

class Lanes : public testing::Test {
protected:
    static fs::path folder;

    static void SetUpTestSuite()
    {
        if (!long_path_buffer)
            long_path_buffer = static_cast<pchar*>(mem_alloc(string_units * sizeof(pchar)));
        if (!crc_table)
            crc32_build_table();
        // A name of its own per run: test runs at the same time must not share the folder.
        auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        folder = fs::temp_directory_path() / ("quillmar-lanes-" + std::to_string(stamp));
        fs::create_directories(folder);
        for (size_t i = 0; i < sizeof answers / sizeof answers[0]; i++) {
            std::ofstream out(folder / std::to_string(i), std::ios::binary);
            out << answers[i].content;
        }
        start_lanes();
    }

    static void TearDownTestSuite()
    {
        stop_lanes();
        fs::remove_all(folder);
    }

    // Hashes answer i with the algorithms in mask, blocks of bufsize bytes.
    static void check(size_t i, int mask, int32_t bufsize)
    {
        settings.opt_bufsize = bufsize;
        read_buffer = static_cast<uint8_t*>(mem_alloc(static_cast<size_t>(bufsize)));
        std::basic_string<pchar> path = (folder / std::to_string(i)).native();
        uint32_t crc = 0x5A5A5A5A;
        uint8_t out[alg_count][64];
        memset(out, 0x5A, sizeof out);
        uint8_t* outs[alg_count] = {};
        for (int a = 1; a < alg_count; a++)
            outs[a] = (mask & (1 << a)) ? out[a] : nullptr;
        uint64_t before = total_bytes;
        hash_file(nullptr, path.c_str(), path.c_str(), (mask & 1) ? &crc : nullptr, outs[1], outs[2], outs[3], outs[4]);
        EXPECT_EQ(total_bytes - before, answers[i].content.size());
        std::string where = "answer " + std::to_string(i) + " mask " + std::to_string(mask) + " bufsize " + std::to_string(bufsize);
        if (mask & 1) {
            char text[9];
            snprintf(text, sizeof text, "%08x", crc);
            EXPECT_EQ(std::string(text), answers[i].hex[0]) << where;
        } else {
            EXPECT_EQ(crc, 0x5A5A5A5Au) << where;
        }
        for (int a = 1; a < alg_count; a++) {
            if (mask & (1 << a))
                EXPECT_EQ(hex_of(out[a], algorithms[a].digest_size), answers[i].hex[a]) << where << " alg " << a;
            else
                EXPECT_EQ(out[a][0], 0x5A) << where;
        }
        mem_free(read_buffer);
        read_buffer = nullptr;
    }
};

fs::path Lanes::folder;

TEST_F(Lanes, EverySubsetAtEveryBlockSizeOnBothPaths)
{
    uint32_t saved_limit = inline_block_limit;
    for (uint32_t limit : {0u, 0xFFFFFFFFu}) {  // all blocks to the lanes; all on the main thread
        inline_block_limit = limit;
        for (size_t i = 0; i < 3; i++) {
            int32_t size = static_cast<int32_t>(answers[i].content.size());
            for (int32_t bufsize : {1, 2, 3, size - 1, size, size + 1, 65536}) {
                if (bufsize < 1)
                    continue;
                for (int mask = 0; mask < 32; mask++)
                    check(i, mask, bufsize);
            }
        }
        for (int32_t bufsize : {999999, 1000000, 1000001, 65536, 8388608, 4093})
            for (int mask : {31, 1, 2, 4, 8, 16, 0, 17, 6})
                check(3, mask, bufsize);
    }
    inline_block_limit = saved_limit;
}

TEST_F(Lanes, BlocksEitherSideOfTheInlineLimitGiveTheSameDigests)
{
    uint32_t saved_limit = inline_block_limit;
    inline_block_limit = 1000;  // blocks of 999 here, 1000 and 1001 to the lanes
    for (int32_t bufsize : {999, 1000, 1001})
        check(3, 31, bufsize);
    inline_block_limit = saved_limit;
}

TEST_F(Lanes, FilesMixingBothPathsAtTheRealThresholdGiveTheSameDigests)
{
    // With the threshold as built, a file read in blocks of about the
    // threshold sends its full blocks one way and its shorter last block the
    // other (1,000,000 bytes in blocks of 65536: fifteen to the lanes, the
    // last 16,960 bytes on the main thread).
    ASSERT_EQ(inline_block_limit, inline_block_threshold);
    int32_t t = static_cast<int32_t>(inline_block_threshold);
    for (int32_t bufsize : {t - 1, t, t + 1, 2 * t - 1, 2 * t})
        for (int mask : {31, 1, 2, 8, 17, 30})
            check(3, mask, bufsize);
}

}  // namespace

// Single-core speed of each engine quillmar uses, measured through its own
// code (crc32_update and the platform's digest provider) over one block.
// Prints "speed alg=<name> mb_s=<MB/s>" lines, MB being 10^6 bytes.
// Usage: algo_speed [block-bytes] [seconds-per-algorithm]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "algorithms.h"
#include "crc32.h"
#include "support.h"

static double now_seconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int main(int argc, char** argv)
{
    uint32_t block = argc > 1 ? static_cast<uint32_t>(strtoul(argv[1], nullptr, 10)) : 8388608u;
    double seconds = argc > 2 ? strtod(argv[2], nullptr) : 1.0;
    uint8_t* data = static_cast<uint8_t*>(mem_alloc(block));
    uint32_t x = 2463534242u;
    for (uint32_t i = 0; i < block; i++) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        data[i] = static_cast<uint8_t>(x);
    }
    crc32_build_table();

    const char* names[alg_count] = {"crc32", "md5", "sha1", "sha256", "sha512"};
    for (int a = 0; a < alg_count; a++) {
        uint32_t crc = 0xFFFFFFFFu;
        plat_crypt_prov prov = 0;
        plat_crypt_hash hash = 0;
        if (a != alg_sfv && (!plat_crypt_acquire(algorithms[a].provider_type, &prov) ||
                             !plat_crypt_create_hash(prov, algorithms[a].alg_id, &hash))) {
            fprintf(stderr, "algo_speed: no provider for %s\n", names[a]);
            return 3;
        }
        // One untimed pass warms the caches and the code.
        uint64_t bytes = 0;
        double start = 0;
        for (int pass = 0;; pass++) {
            if (pass == 1)
                start = now_seconds();
            if (a == alg_sfv)
                crc = crc32_update(crc, data, block);
            else if (!plat_crypt_hash_data(hash, data, block))
                return 3;
            if (pass == 0)
                continue;
            bytes += block;
            if (now_seconds() - start >= seconds)
                break;
        }
        double elapsed = now_seconds() - start;
        uint8_t out[max_digest_size];
        uint32_t size = sizeof out;
        if (a != alg_sfv) {
            plat_crypt_get_hash(hash, out, &size);
            plat_crypt_destroy_hash(hash);
            plat_crypt_release(prov);
        }
        printf("speed alg=%s mb_s=%.0f\n", names[a], static_cast<double>(bytes) / elapsed / 1e6);
        fflush(stdout);
        if (crc == 0x12345678u)  // keeps the CRC loop from being optimised away
            puts("");
    }
    mem_free(data);
    return 0;
}

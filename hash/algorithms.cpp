#include "algorithms.h"

const algorithm_info algorithms[alg_count] = {
    {"sfv", &run_settings::opt_sfv, NT(".sfv"), 4, true, 0, 0, nullptr},
    {"md5", &run_settings::opt_md5, NT(".md5"), 16, false, 1, 0x8003, "md5_hash_size\n"},
    {"sha1", &run_settings::opt_sha1, NT(".sha1"), 20, false, 1, 0x8004, "sha1_hash_size\n"},
    {"sha256", &run_settings::opt_sha256, NT(".sha256"), 32, false, 24, 0x800c, "sha256_hash_size\n"},
    {"sha512", &run_settings::opt_sha512, NT(".sha512"), 64, false, 24, 0x800e, "sha512_hash_size\n"},
};

const algorithm digest_order[4] = {alg_md5, alg_sha1, alg_sha256, alg_sha512};
const algorithm handoff_order[alg_count] = {alg_md5, alg_sha1, alg_sha256, alg_sha512, alg_sfv};
const algorithm stop_order[alg_count] = {alg_sha512, alg_sha256, alg_sha1, alg_md5, alg_sfv};

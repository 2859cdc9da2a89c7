// The five algorithms, in the order every part takes them.
#pragma once
#include <cstdint>
#include "platform.h"
#include "settings.h"

enum algorithm { alg_sfv, alg_md5, alg_sha1, alg_sha256, alg_sha512, alg_count };

struct algorithm_info {
    const char* option;            // after the '-' or '/'
    bool run_settings::*opt;       // its switch
    const pchar* extension;        // of its digest files
    uint32_t digest_size;          // bytes; 4 for the CRC-32 value
    bool name_first;               // .sfv lines: name, space, CRC
    uint32_t provider_type;        // digest provider type; 0 for CRC-32
    uint32_t alg_id;               // digest provider algorithm; 0 for CRC-32
    const char* size_message;      // when the provider's digest has the wrong length
};

extern const algorithm_info algorithms[alg_count];

// Per-file set-up and finishing of the digest lanes.
extern const algorithm digest_order[4];
// Handing a block over and waiting for it.
extern const algorithm handoff_order[alg_count];
// Ending the lanes.
extern const algorithm stop_order[alg_count];

// Longest digest, in bytes.
const uint32_t max_digest_size = 64;

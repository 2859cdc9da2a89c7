#include "lanes.h"
#include <cstdio>
#include "crc32.h"
#include "settings.h"
#include "support.h"

lane lanes[alg_count];
uint8_t* read_buffer = nullptr;
uint32_t block_length = 0;
plat_handle quit_event = invalid_handle;
uint64_t total_bytes = 0;
uint32_t inline_block_limit = inline_block_threshold;

static void hash_block(lane* l)
{
    if (l->alg == alg_sfv)
        l->crc_state = crc32_update(l->crc_state, read_buffer, block_length);
    else if (!plat_crypt_hash_data(l->hash_handle, read_buffer, block_length))
        fatal_message(3, "CryptHashData\n");
}

static uint32_t lane_loop(lane* l)
{
    for (;;) {
        plat_event_wait(l->start_event, plat_infinite);
        plat_event_reset(l->start_event);
        if (plat_event_wait(quit_event, 0))
            return 0;
        hash_block(l);
        plat_event_set(l->done_event);
    }
}

uint32_t crc_worker(void* parameter)
{
    return lane_loop(static_cast<lane*>(parameter));
}

uint32_t digest_worker(void* parameter)
{
    return lane_loop(static_cast<lane*>(parameter));
}

plat_handle start_worker(plat_thread_proc proc, lane* l)
{
    return plat_thread_start(proc, l);
}

static plat_handle must_have(plat_handle h, const char* message)
{
    if (h == invalid_handle)
        fatal_message(3, message);
    return h;
}

void start_lanes()
{
    quit_event = must_have(plat_event_create(false), "CreateEventW\n");
    for (int a = 0; a < alg_count; a++) {
        lane* l = &lanes[a];
        l->alg = static_cast<algorithm>(a);
        l->start_event = must_have(plat_event_create(false), "CreateEventW\n");
        l->done_event = must_have(plat_event_create(false), "CreateEventW\n");
        l->thread = must_have(start_worker(a == alg_sfv ? crc_worker : digest_worker, l), "CreateThread\n");
    }
}

void stop_lanes()
{
    plat_event_set(quit_event);
    for (algorithm a : stop_order) {
        lane* l = &lanes[a];
        plat_event_set(l->start_event);
        plat_thread_join(l->thread);
        l->thread = invalid_handle;
        plat_event_close(l->done_event);
        plat_event_close(l->start_event);
    }
    plat_event_close(quit_event);
}

void hash_file(plat_dir* folder, const pchar* name, const pchar* path, uint32_t* crc_out,
               uint8_t* md5_out, uint8_t* sha1_out, uint8_t* sha256_out, uint8_t* sha512_out)
{
    uint8_t* outs[alg_count] = {nullptr, md5_out, sha1_out, sha256_out, sha512_out};
    bool wanted[alg_count] = {crc_out != nullptr, md5_out != nullptr, sha1_out != nullptr,
                              sha256_out != nullptr, sha512_out != nullptr};

    to_long_path(path, long_path_buffer);
    plat_handle file = plat_file_open_read({folder, name, long_path_buffer});
    if (file == invalid_handle) {
        printf("Open %s\n", plat_utf8(long_path_buffer, nullptr));
        fatal_stop(4);
    }

    plat_crypt_prov provs[alg_count] = {};
    for (algorithm a : digest_order) {
        if (!wanted[a])
            continue;
        if (!plat_crypt_acquire(algorithms[a].provider_type, &provs[a]))
            fatal_message(3, "CryptAcquireContextW\n");
        if (!plat_crypt_create_hash(provs[a], algorithms[a].alg_id, &lanes[a].hash_handle))
            fatal_message(3, "CryptCreateHash\n");
    }
    if (wanted[alg_sfv])
        lanes[alg_sfv].crc_state = 0xFFFFFFFFu;

    for (;;) {
        uint32_t got = 0;
        if (!plat_file_read(file, read_buffer, static_cast<uint32_t>(settings.opt_bufsize), &got)) {
            printf("Read %s\n", plat_utf8(long_path_buffer, nullptr));
            fatal_stop(4);
        }
        if (got == 0)
            break;
        total_bytes += got;
        block_length = got;
        if (got < inline_block_limit) {
            // The lanes are idle: hashing here, in their order, shares nothing.
            for (algorithm a : handoff_order)
                if (wanted[a])
                    hash_block(&lanes[a]);
            continue;
        }
        for (algorithm a : handoff_order) {
            if (wanted[a]) {
                plat_event_reset(lanes[a].done_event);
                plat_event_set(lanes[a].start_event);
            }
        }
        for (algorithm a : handoff_order)
            if (wanted[a])
                plat_event_wait(lanes[a].done_event, plat_infinite);
    }

    for (algorithm a : digest_order) {
        if (!wanted[a])
            continue;
        uint32_t size = algorithms[a].digest_size;
        if (!plat_crypt_get_hash(lanes[a].hash_handle, outs[a], &size))
            fatal_message(3, "CryptGetHashParam\n");
        if (size != algorithms[a].digest_size)
            fatal_message(3, algorithms[a].size_message);
        if (!plat_crypt_destroy_hash(lanes[a].hash_handle))
            fatal_message(3, "CryptDestroyHash\n");
        if (!plat_crypt_release(provs[a]))
            fatal_message(3, "CryptDestroyHash\n");
    }
    if (wanted[alg_sfv])
        *crc_out = ~lanes[alg_sfv].crc_state;
    plat_file_close(file);
}

// The parallel file hasher: one read of each file, every block hashed by the
// requested algorithms at once, one lane thread per algorithm.
#pragma once
#include <cstdint>
#include "algorithms.h"
#include "platform.h"

struct lane {
    algorithm alg;
    plat_handle start_event;
    plat_handle done_event;
    plat_handle thread;
    uint32_t crc_state;           // CRC-32 lane
    plat_crypt_hash hash_handle;  // digest lanes
};

extern lane lanes[alg_count];
extern uint8_t* read_buffer;      // allocated by the run after start_lanes
extern uint32_t block_length;     // bytes of the current block
extern plat_handle quit_event;
extern uint64_t total_bytes;      // every byte hash_file has read this run

// Measured crossing on two cores: at 64 KiB one hand-off to the lanes (about
// 0.1 ms of wake-ups) costs what a second core saves; smaller blocks are
// hashed faster by the main thread alone.
const uint32_t inline_block_threshold = 65536;
// Blocks shorter than this are hashed by the main thread itself, with each
// lane's own state; inline_block_threshold, moved only by tests.
extern uint32_t inline_block_limit;

// Creates quit_event and the five lanes and starts their threads; ends the
// process with code 3 when an event or a thread cannot be made.
void start_lanes();
// Wakes every lane for its end, joins the threads and closes every handle.
void stop_lanes();
// Hashes the file at path (folder and name locate it) in one reading, filling
// each non-null output; ends the process on any failure ("Open %S" or
// "Read %S": code 4; provider failures: code 3).
void hash_file(plat_dir* folder, const pchar* name, const pchar* path, uint32_t* crc_out,
               uint8_t* md5_out, uint8_t* sha1_out, uint8_t* sha256_out, uint8_t* sha512_out);

// The lanes' thread procedures.
uint32_t crc_worker(void* parameter);
uint32_t digest_worker(void* parameter);
// Starts one lane thread running proc for that lane.
plat_handle start_worker(plat_thread_proc proc, lane* l);

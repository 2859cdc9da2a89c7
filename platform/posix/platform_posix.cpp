// POSIX backend: *at calls relative to the folder being listed, so paths of
// any depth work; pthreads; OpenSSL's libcrypto for the digests.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <openssl/evp.h>
#include "platform.h"
#include "support.h"

static int saved_argc = 0;
static char** saved_argv = nullptr;

void plat_start(int argc, char** argv)
{
    saved_argc = argc;
    saved_argv = argv;
    // A deep walk holds one listing and up to five digest files per level.
    struct rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    // One progress line per file: buffer them fully unless a person is watching.
    if (!isatty(STDOUT_FILENO))
        setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
}

pchar** plat_arguments(int* count)
{
    *count = saved_argc;
    return saved_argv;
}

void plat_exit(int code)
{
    fflush(stdout);
    _exit(code);
}

uint32_t plat_ticks()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u + now.tv_nsec / 1000000);
}

const char* plat_usage_head()
{
    return "Usage: quillmar [options] <path>\n"
           "Example: quillmar -sha256 \"/backup\"\n";
}

const char* plat_utf8(const pchar* s, size_t* length)
{
    if (length)
        *length = strlen(s);
    return s;
}

long long plat_to_integer(const pchar* s)
{
    return strtoll(s, nullptr, 10);
}

void plat_normalize_path(pchar* dest, const pchar* source)
{
    // Lexical: "." segments go, ".." takes back the segment before it, never
    // climbing above the start of a relative path or the root.
    bool absolute = source[0] == '/';
    size_t out = 0;
    size_t kept = 0;  // segments in dest that a ".." may take back
    if (absolute)
        dest[out++] = '/';
    size_t base = out;
    const pchar* p = source;
    while (*p) {
        while (*p == '/')
            p++;
        const pchar* start = p;
        while (*p && *p != '/')
            p++;
        size_t length = static_cast<size_t>(p - start);
        if (length == 0 || (length == 1 && start[0] == '.'))
            continue;
        if (length == 2 && start[0] == '.' && start[1] == '.') {
            if (kept > 0) {
                while (out > base && dest[out - 1] != '/')
                    out--;
                if (out > base)
                    out--;  // the separator before the removed segment
                kept--;
                continue;
            }
            if (absolute)
                continue;
        } else {
            kept++;
        }
        if (out > base)
            dest[out++] = '/';
        memcpy(dest + out, start, length);
        out += length;
    }
    if (out == 0 && source[0])
        dest[out++] = '.';
    dest[out] = 0;
}

// ---- folders

struct plat_dir {
    DIR* stream;
    int fd;
};

static int at_fd(const plat_loc& where)
{
    return where.folder ? where.folder->fd : AT_FDCWD;
}

static const char* at_name(const plat_loc& where)
{
    return where.folder ? where.name : where.path;
}

// Opens relative to where; running out of descriptors ends the run, since
// passing the entry over would leave part of the tree unhashed unnoticed.
static int open_at(const plat_loc& where, int flags, mode_t mode = 0)
{
    int fd = openat(at_fd(where), at_name(where), flags | O_CLOEXEC, mode);
    if (fd < 0 && (errno == EMFILE || errno == ENFILE))
        fatal_message(1, "Too many open files\n");
    return fd;
}

plat_dir* plat_list_open(const plat_loc& where)
{
    int fd = open_at(where, O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return nullptr;
    DIR* stream = fdopendir(fd);
    if (!stream) {
        close(fd);
        return nullptr;
    }
    plat_dir* dir = static_cast<plat_dir*>(mem_alloc(sizeof(plat_dir)));
    dir->stream = stream;
    dir->fd = fd;
    return dir;
}

bool plat_list_next(plat_dir* dir, plat_entry* entry)
{
    struct dirent* d = readdir(dir->stream);
    if (!d)
        return false;
    entry->name = d->d_name;
    entry->kind = entry_other;
    if (d->d_type == DT_REG) {
        entry->kind = entry_file;
        return true;
    }
    if (d->d_type != DT_DIR && d->d_type != DT_LNK && d->d_type != DT_UNKNOWN)
        return true;
    if (d->d_name[0] == '.' && (d->d_name[1] == 0 || (d->d_name[1] == '.' && d->d_name[2] == 0))) {
        entry->kind = entry_folder;  // "." and "..": never walked, so never looked at
        return true;
    }
    struct stat st;
    if (fstatat(dir->fd, d->d_name, &st, 0) != 0) {
        // A link whose target is gone is a file that cannot be opened.
        entry->kind = d->d_type == DT_DIR ? entry_other : entry_file;
        return true;
    }
    if (S_ISDIR(st.st_mode)) {
        entry->kind = entry_folder;
        entry->write_time = {static_cast<int64_t>(st.st_mtim.tv_sec), static_cast<int64_t>(st.st_mtim.tv_nsec)};
    } else if (S_ISREG(st.st_mode)) {
        entry->kind = entry_file;
    }
    return true;
}

bool plat_list_id(plat_dir* dir, plat_id* id)
{
    struct stat st;
    if (fstat(dir->fd, &st) != 0)
        return false;
    *id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return true;
}

void plat_list_close(plat_dir* dir)
{
    if (!dir)
        return;
    closedir(dir->stream);
    mem_free(dir);
}

plat_handle plat_folder_open(const plat_loc& where)
{
    // O_PATH opens a folder that may not be read, as attribute access does on Windows.
    int fd = open_at(where, O_PATH | O_DIRECTORY);
    return fd < 0 ? invalid_handle : fd;
}

bool plat_get_write_time(plat_handle folder, plat_time* time)
{
    struct stat st;
    if (fstat(static_cast<int>(folder), &st) != 0)
        return false;
    *time = {static_cast<int64_t>(st.st_mtim.tv_sec), static_cast<int64_t>(st.st_mtim.tv_nsec)};
    return true;
}

bool plat_set_write_time(plat_handle folder, const plat_time& time)
{
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(time.sec);
    times[1].tv_nsec = static_cast<long>(time.nsec);
    return utimensat(static_cast<int>(folder), "", times, AT_EMPTY_PATH) == 0;
}

void plat_folder_close(plat_handle folder)
{
    close(static_cast<int>(folder));
}

// ---- files

bool plat_file_has_data(const plat_loc& where)
{
    struct stat st;
    if (fstatat(at_fd(where), at_name(where), &st, 0) != 0)
        return false;
    return !S_ISDIR(st.st_mode) && st.st_size != 0;
}

// Opens with flags and keeps the result only when it is a regular file;
// *size, when asked for, receives its size at that moment.
static plat_handle open_regular(const plat_loc& where, int flags, mode_t mode, off_t* size)
{
    int fd = open_at(where, flags | O_NONBLOCK, mode);
    if (fd < 0)
        return invalid_handle;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return invalid_handle;
    }
    if (size)
        *size = st.st_size;
    return fd;
}

// The file opened last for reading. A short read that reaches the size it had
// when opened is its end, so the read that would return 0 is not made: one
// system call fewer for every file smaller than a block.
static int reading_fd = -1;
static off_t reading_left = 0;
static bool reading_ended = false;

plat_handle plat_file_create(const plat_loc& where)
{
    // Never through a link: a digest file is created in the folder itself.
    return open_regular(where, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0666, nullptr);
}

plat_handle plat_file_open_read(const plat_loc& where)
{
    off_t size = 0;
    plat_handle file = open_regular(where, O_RDONLY, 0, &size);
    if (file != invalid_handle) {
        reading_fd = static_cast<int>(file);
        reading_left = size;
        reading_ended = false;
    }
    return file;
}

bool plat_file_read(plat_handle file, void* buffer, uint32_t size, uint32_t* got)
{
    bool tracked = static_cast<int>(file) == reading_fd;
    if (tracked && reading_ended && size > 0) {
        *got = 0;
        return true;
    }
    for (;;) {
        ssize_t n = read(static_cast<int>(file), buffer, size);
        if (n >= 0) {
            *got = static_cast<uint32_t>(n);
            if (tracked) {
                reading_left -= n;
                reading_ended = n > 0 && static_cast<uint32_t>(n) < size && reading_left == 0;
            }
            return true;
        }
        if (errno != EINTR)
            return false;
    }
}

bool plat_file_write(plat_handle file, const void* data, uint32_t size)
{
    int fd = static_cast<int>(file);
    for (;;) {
        ssize_t n = write(fd, data, size);
        if (n >= 0 && static_cast<size_t>(n) == size)
            return true;
        if (n >= 0) {
            // A full disk took part of the line: cut it off, so the file keeps whole lines only.
            off_t end = lseek(fd, 0, SEEK_CUR);
            if (n > 0 && end >= n && ftruncate(fd, end - n) == 0)
                lseek(fd, end - n, SEEK_SET);
            return false;
        }
        if (errno != EINTR)
            return false;
    }
}

void plat_file_close(plat_handle file)
{
    if (static_cast<int>(file) == reading_fd)
        reading_fd = -1;
    close(static_cast<int>(file));
}

// ---- threads and events

// A manual-reset event on a futex word: setting, resetting and testing cost
// no system call; only a wait that must sleep, and a set that has a sleeper
// to wake, enter the kernel. Sequentially consistent operations order the
// memory: what one thread wrote before setting is seen after the wait.
struct posix_event {
    std::atomic<uint32_t> state;    // 1 while set
    std::atomic<uint32_t> waiters;  // threads inside a blocking wait
};

static void futex_call(std::atomic<uint32_t>* word, int op, uint32_t value)
{
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), op, value, nullptr, nullptr, 0);
}

plat_handle plat_event_create(bool signalled)
{
    posix_event* e = new (mem_alloc(sizeof(posix_event))) posix_event;
    e->state.store(signalled ? 1 : 0);
    e->waiters.store(0);
    return reinterpret_cast<plat_handle>(e);
}

void plat_event_set(plat_handle event)
{
    posix_event* e = reinterpret_cast<posix_event*>(event);
    e->state.store(1);
    // A waiter counts itself before it tests the state, so either it sees 1
    // or this sees it and wakes it.
    if (e->waiters.load() != 0)
        futex_call(&e->state, FUTEX_WAKE_PRIVATE, INT_MAX);
}

void plat_event_reset(plat_handle event)
{
    reinterpret_cast<posix_event*>(event)->state.store(0);
}

bool plat_event_wait(plat_handle event, uint32_t timeout_ms)
{
    posix_event* e = reinterpret_cast<posix_event*>(event);
    if (e->state.load() != 0)
        return true;
    // Only waits of INFINITE and 0 are used.
    if (timeout_ms != plat_infinite)
        return false;
    e->waiters.fetch_add(1);
    // The kernel sleeps only while the word is still 0; wakes for other
    // reasons come back here and test again.
    while (e->state.load() == 0)
        futex_call(&e->state, FUTEX_WAIT_PRIVATE, 0);
    e->waiters.fetch_sub(1);
    return true;
}

void plat_event_close(plat_handle event)
{
    posix_event* e = reinterpret_cast<posix_event*>(event);
    e->~posix_event();
    mem_free(e);
}

struct thread_start {
    pthread_t thread;
    plat_thread_proc proc;
    void* parameter;
};

static void* thread_main(void* p)
{
    thread_start* start = static_cast<thread_start*>(p);
    start->proc(start->parameter);
    return nullptr;
}

plat_handle plat_thread_start(plat_thread_proc proc, void* parameter)
{
    thread_start* start = static_cast<thread_start*>(mem_alloc(sizeof(thread_start)));
    start->proc = proc;
    start->parameter = parameter;
    if (pthread_create(&start->thread, nullptr, thread_main, start) != 0) {
        mem_free(start);
        return invalid_handle;
    }
    return reinterpret_cast<plat_handle>(start);
}

void plat_thread_join(plat_handle thread)
{
    thread_start* start = reinterpret_cast<thread_start*>(thread);
    pthread_join(start->thread, nullptr);
    mem_free(start);
}

// ---- digest provider

// Each algorithm is fetched once per run; hash objects that a file has
// finished with are kept and initialised afresh for the next file, so a file
// costs no allocation.
struct posix_hash;

struct digest_kind {
    uint32_t alg_id;
    const char* name;
    EVP_MD* md;
    posix_hash* spare[8];
    int spares;
};

static digest_kind digest_kinds[] = {
    {0x8003, "MD5", nullptr, {}, 0},
    {0x8004, "SHA1", nullptr, {}, 0},
    {0x800c, "SHA256", nullptr, {}, 0},
    {0x800e, "SHA512", nullptr, {}, 0},
};

struct posix_hash {
    EVP_MD_CTX* ctx;
    digest_kind* kind;
};

bool plat_crypt_acquire(uint32_t provider_type, plat_crypt_prov* prov)
{
    *prov = provider_type;
    return provider_type == 1 || provider_type == 24;
}

bool plat_crypt_create_hash(plat_crypt_prov, uint32_t alg_id, plat_crypt_hash* hash)
{
    digest_kind* kind = nullptr;
    for (digest_kind& k : digest_kinds)
        if (k.alg_id == alg_id)
            kind = &k;
    if (!kind)
        return false;
    if (!kind->md && !(kind->md = EVP_MD_fetch(nullptr, kind->name, nullptr)))
        return false;
    posix_hash* h = kind->spares ? kind->spare[--kind->spares] : nullptr;
    if (!h) {
        EVP_MD_CTX* ctx = EVP_MD_CTX_new();
        if (!ctx)
            return false;
        h = static_cast<posix_hash*>(mem_alloc(sizeof(posix_hash)));
        h->ctx = ctx;
        h->kind = kind;
    }
    if (!EVP_DigestInit_ex2(h->ctx, kind->md, nullptr)) {
        EVP_MD_CTX_free(h->ctx);
        mem_free(h);
        return false;
    }
    *hash = reinterpret_cast<plat_crypt_hash>(h);
    return true;
}

bool plat_crypt_hash_data(plat_crypt_hash hash, const uint8_t* data, uint32_t size)
{
    return EVP_DigestUpdate(reinterpret_cast<posix_hash*>(hash)->ctx, data, size) == 1;
}

bool plat_crypt_get_hash(plat_crypt_hash hash, uint8_t* out, uint32_t* size)
{
    posix_hash* h = reinterpret_cast<posix_hash*>(hash);
    uint32_t needed = static_cast<uint32_t>(EVP_MD_get_size(h->kind->md));
    if (needed > *size) {
        *size = needed;  // the caller's size check reports it
        return true;
    }
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(h->ctx, out, &length) != 1)
        return false;
    *size = length;
    return true;
}

bool plat_crypt_destroy_hash(plat_crypt_hash hash)
{
    posix_hash* h = reinterpret_cast<posix_hash*>(hash);
    digest_kind* kind = h->kind;
    if (kind->spares < static_cast<int>(sizeof kind->spare / sizeof kind->spare[0])) {
        kind->spare[kind->spares++] = h;
        return true;
    }
    EVP_MD_CTX_free(h->ctx);
    mem_free(h);
    return true;
}

bool plat_crypt_release(plat_crypt_prov)
{
    return true;
}

// Win32 backend: the kernel's files, listings, events and threads, the shell's
// argument splitting and path canonicalisation, and CryptoAPI for the digests.
#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <wincrypt.h>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include "platform.h"
#include "support.h"

static HANDLE to_native(plat_handle h)
{
    return reinterpret_cast<HANDLE>(h);
}

static plat_handle from_native(HANDLE h)
{
    return h == INVALID_HANDLE_VALUE ? invalid_handle : reinterpret_cast<plat_handle>(h);
}

// ---- process

void plat_start(int, char**)
{
    // Names go out as UTF-8 bytes; a console shows them only in its UTF-8 code page.
    DWORD mode;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode))
        SetConsoleOutputCP(CP_UTF8);
    else
        setvbuf(stdout, nullptr, _IOFBF, 1 << 16);  // one line per file: buffer them unless a person is watching
}

pchar** plat_arguments(int* count)
{
    // The vector lives until the process ends.
    pchar** argv = CommandLineToArgvW(GetCommandLineW(), count);
    if (!argv)
        *count = 0;
    return argv;
}

void plat_exit(int code)
{
    fflush(stdout);
    ExitProcess(static_cast<UINT>(code));
}

uint32_t plat_ticks()
{
    return GetTickCount();
}

const char* plat_usage_head()
{
    return "Usage: quillmar.exe [options] <path>\n"
           "Example: quillmar.exe -sha256 \"D:\\Backup\"\n";
}

// ---- text

const char* plat_utf8(const pchar* s, size_t* length)
{
    // Main thread only; grows to the longest text converted so far.
    static char* buffer = nullptr;
    static int capacity = 0;
    int needed = WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        needed = 1;
    if (needed > capacity) {
        mem_free(buffer);
        capacity = needed + 256;
        buffer = static_cast<char*>(mem_alloc(static_cast<size_t>(capacity)));
    }
    int written = WideCharToMultiByte(CP_UTF8, 0, s, -1, buffer, capacity, nullptr, nullptr);
    if (written <= 0)
        written = 1;
    buffer[written - 1] = 0;
    if (length)
        *length = static_cast<size_t>(written - 1);
    return buffer;
}

long long plat_to_integer(const pchar* s)
{
    return wcstoll(s, nullptr, 10);
}

void plat_normalize_path(pchar* dest, const pchar* source)
{
    pchar* copy = static_cast<pchar*>(mem_alloc(string_units * sizeof(pchar)));
    wstr_copy(copy, source);
    for (pchar* p = copy; *p; p++)
        if (*p == L'/')
            *p = L'\\';
    // The shell canonicalises only what fits MAX_PATH; longer paths stay as given.
    if (wstr_length(copy) >= MAX_PATH || !PathCanonicalizeW(dest, copy))
        wstr_copy(dest, copy);
    size_t length = wstr_length(dest);
    if (length > 0 && dest[length - 1] == L'\\')
        dest[length - 1] = 0;
    mem_free(copy);
}

// ---- folders

// "D:" names the current folder of drive D; as a folder to walk it stands for
// the drive's root, which its listing "D:\*.*" shows.
static const pchar* whole_folder(const pchar* path)
{
    static pchar root[4];
    if (path[0] && path[1] == L':' && !path[2]) {
        root[0] = path[0];
        root[1] = L':';
        root[2] = L'\\';
        root[3] = 0;
        return root;
    }
    return path;
}

struct plat_dir {
    HANDLE find;
    WIN32_FIND_DATAW data;
    bool pending;  // data holds the first entry, not yet given out
    bool has_id;
    plat_id id;
};

// Opens the object at path and asks for its volume and file index; the
// attribute-only access is granted even while another handle denies sharing.
static bool identity_of(const pchar* path, plat_id* id)
{
    HANDLE h = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (ok) {
        id->volume = info.dwVolumeSerialNumber;
        id->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    return ok;
}

plat_dir* plat_list_open(const plat_loc& where)
{
    // An empty path would list the root of the current drive.
    if (!where.path[0])
        return nullptr;
    plat_id id;
    bool has_id = identity_of(whole_folder(where.path), &id);

    // The search pattern "<folder>\*.*", itself prepared: it may pass 260 units
    // where the folder's path did not.
    static pchar* pattern = nullptr;
    if (!pattern)
        pattern = static_cast<pchar*>(mem_alloc(string_units * sizeof(pchar)));
    wstr_copy(pattern, where.path);
    wstr_append(pattern, L"\\*.*");
    if (pattern[0] == L'\\' && pattern[1] == L'\\' && pattern[2] == L'?' && pattern[3] == L'\\')
        wstr_copy(long_path_buffer, pattern);
    else
        to_long_path(pattern, long_path_buffer);

    plat_dir* dir = static_cast<plat_dir*>(mem_alloc(sizeof(plat_dir)));
    dir->find = FindFirstFileW(long_path_buffer, &dir->data);
    if (dir->find == INVALID_HANDLE_VALUE) {
        mem_free(dir);
        return nullptr;
    }
    dir->pending = true;
    dir->has_id = has_id;
    dir->id = id;
    return dir;
}

bool plat_list_next(plat_dir* dir, plat_entry* entry)
{
    if (dir->pending)
        dir->pending = false;
    else if (!FindNextFileW(dir->find, &dir->data))
        return false;
    entry->name = dir->data.cFileName;
    // Junctions and links to folders carry the directory bit; everything else is a file.
    entry->kind = (dir->data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? entry_folder : entry_file;
    entry->write_time = {dir->data.ftLastWriteTime.dwLowDateTime, dir->data.ftLastWriteTime.dwHighDateTime};
    return true;
}

bool plat_list_id(plat_dir* dir, plat_id* id)
{
    if (dir->has_id)
        *id = dir->id;
    return dir->has_id;
}

void plat_list_close(plat_dir* dir)
{
    if (!dir)
        return;
    FindClose(dir->find);
    mem_free(dir);
}

plat_handle plat_folder_open(const plat_loc& where)
{
    return from_native(CreateFileW(whole_folder(where.path), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool plat_get_write_time(plat_handle folder, plat_time* time)
{
    FILETIME t;
    if (!GetFileTime(to_native(folder), nullptr, nullptr, &t))
        return false;
    *time = {t.dwLowDateTime, t.dwHighDateTime};
    return true;
}

bool plat_set_write_time(plat_handle folder, const plat_time& time)
{
    FILETIME t;
    t.dwLowDateTime = time.low;
    t.dwHighDateTime = time.high;
    return SetFileTime(to_native(folder), nullptr, nullptr, &t) != 0;
}

void plat_folder_close(plat_handle folder)
{
    CloseHandle(to_native(folder));
}

// ---- files

bool plat_file_has_data(const plat_loc& where)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(where.path, GetFileExInfoStandard, &data))
        return false;
    return data.nFileSizeLow != 0 || data.nFileSizeHigh != 0;
}

plat_handle plat_file_create(const plat_loc& where)
{
    // A ':' in the name would name a stream of another file: a drive root's
    // "D:\D:.sfv" is the stream ".sfv" of a file "D".
    const pchar* name = where.path;
    for (const pchar* p = where.path; *p; p++)
        if (*p == L'\\')
            name = p + 1;
    for (const pchar* p = name; *p; p++)
        if (*p == L':')
            return invalid_handle;
    // Never through a link: a digest file is created in the folder itself.
    // (Windows reports a link's own attributes here; Wine shows a Unix link
    // to a file as the file itself.)
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(where.path, GetFileExInfoStandard, &data) &&
        (data.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))
        return invalid_handle;
    return from_native(CreateFileW(where.path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
}

plat_handle plat_file_open_read(const plat_loc& where)
{
    return from_native(CreateFileW(where.path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
}

bool plat_file_read(plat_handle file, void* buffer, uint32_t size, uint32_t* got)
{
    DWORD n = 0;
    if (!ReadFile(to_native(file), buffer, size, &n, nullptr))
        return false;
    *got = n;
    return true;
}

bool plat_file_write(plat_handle file, const void* data, uint32_t size)
{
    DWORD n = 0;
    return WriteFile(to_native(file), data, size, &n, nullptr) && n == size;
}

void plat_file_close(plat_handle file)
{
    CloseHandle(to_native(file));
}

// ---- threads and events

plat_handle plat_event_create(bool signalled)
{
    HANDLE h = CreateEventW(nullptr, TRUE, signalled ? TRUE : FALSE, nullptr);
    return h ? reinterpret_cast<plat_handle>(h) : invalid_handle;
}

void plat_event_set(plat_handle event)
{
    SetEvent(to_native(event));
}

void plat_event_reset(plat_handle event)
{
    ResetEvent(to_native(event));
}

bool plat_event_wait(plat_handle event, uint32_t timeout_ms)
{
    return WaitForSingleObject(to_native(event), timeout_ms) == WAIT_OBJECT_0;
}

void plat_event_close(plat_handle event)
{
    CloseHandle(to_native(event));
}

// The lanes' procedures use the C calling convention; a 32-bit thread
// procedure is __stdcall, so each thread starts here and calls its procedure.
struct thread_start {
    plat_thread_proc proc;
    void* parameter;
};

static DWORD WINAPI thread_main(LPVOID p)
{
    thread_start start = *static_cast<thread_start*>(p);
    mem_free(p);
    return start.proc(start.parameter);
}

plat_handle plat_thread_start(plat_thread_proc proc, void* parameter)
{
    thread_start* start = static_cast<thread_start*>(mem_alloc(sizeof(thread_start)));
    start->proc = proc;
    start->parameter = parameter;
    DWORD id;
    HANDLE h = CreateThread(nullptr, 0, thread_main, start, 0, &id);
    if (!h) {
        mem_free(start);
        return invalid_handle;
    }
    return reinterpret_cast<plat_handle>(h);
}

void plat_thread_join(plat_handle thread)
{
    WaitForSingleObject(to_native(thread), INFINITE);
    CloseHandle(to_native(thread));
}

// ---- digest provider

bool plat_crypt_acquire(uint32_t provider_type, plat_crypt_prov* prov)
{
    HCRYPTPROV p = 0;
    if (!CryptAcquireContextW(&p, nullptr, nullptr, provider_type, CRYPT_VERIFYCONTEXT))
        return false;
    *prov = static_cast<plat_crypt_prov>(p);
    return true;
}

bool plat_crypt_create_hash(plat_crypt_prov prov, uint32_t alg_id, plat_crypt_hash* hash)
{
    HCRYPTHASH h = 0;
    if (!CryptCreateHash(static_cast<HCRYPTPROV>(prov), alg_id, 0, 0, &h))
        return false;
    *hash = static_cast<plat_crypt_hash>(h);
    return true;
}

bool plat_crypt_hash_data(plat_crypt_hash hash, const uint8_t* data, uint32_t size)
{
    return CryptHashData(static_cast<HCRYPTHASH>(hash), data, size, 0) != 0;
}

bool plat_crypt_get_hash(plat_crypt_hash hash, uint8_t* out, uint32_t* size)
{
    DWORD length = *size;
    if (!CryptGetHashParam(static_cast<HCRYPTHASH>(hash), HP_HASHVAL, out, &length, 0))
        return false;
    *size = length;
    return true;
}

bool plat_crypt_destroy_hash(plat_crypt_hash hash)
{
    return CryptDestroyHash(static_cast<HCRYPTHASH>(hash)) != 0;
}

bool plat_crypt_release(plat_crypt_prov prov)
{
    return CryptReleaseContext(static_cast<HCRYPTPROV>(prov), 0) != 0;
}

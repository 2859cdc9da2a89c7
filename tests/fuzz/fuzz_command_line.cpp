// Fuzzes the command line: the input is an argument vector, its arguments
// separated by 0 bytes. Checks option matching, path normalisation, the top
// folder's name and parse_command_line, whose refusals come back here as
// process_ended instead of ending the process.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "command_line.h"
#include "support.h"

namespace {

struct process_ended {
    int code;
};

const char* const option_names[] = {"sfv", "md5", "sha1", "sha256", "sha512", "bufsize", "s", "nosubfolders"};

void require(bool condition, const char* what)
{
    if (!condition) {
        fprintf(stderr, "check failed: %s\n", what);
        abort();
    }
}

// A buffer of exactly string_units units, so that a write past the bound is seen.
struct bounded {
    pchar* units = static_cast<pchar*>(malloc(string_units * sizeof(pchar)));
    ~bounded() { free(units); }
};

bool same_option(const std::string& argument, const char* option)
{
    if (argument.empty() || (argument[0] != '-' && argument[0] != '/'))
        return false;
    std::string rest = argument.substr(1);
    if (rest.size() != strlen(option))
        return false;
    for (size_t i = 0; i < rest.size(); i++) {
        unsigned char c = static_cast<unsigned char>(rest[i]);
        if ((c >= 'A' && c <= 'Z' ? c + 32 : c) != static_cast<unsigned char>(option[i]))
            return false;
    }
    return true;
}

std::string normalized(const std::string& source)
{
    bounded copy, dest;
    wstr_copy(copy.units, source.c_str());
    plat_normalize_path(dest.units, copy.units);
    return dest.units;
}

void check_normalized(const std::string& source)
{
    std::string bounded_source = source.substr(0, string_bound);
    std::string out = normalized(source);
    require(out.size() <= bounded_source.size(), "normalising never lengthens a path");
    require(out.empty() == bounded_source.empty(), "only an empty path stays empty");
    bool absolute = !bounded_source.empty() && bounded_source[0] == '/';
    require(absolute == (!out.empty() && out[0] == '/'), "absolute stays absolute");
    require(out.find("//") == std::string::npos, "no empty segment");
    require(out.size() <= 1 || out.back() != '/', "no trailing separator");
    bool leading = !absolute;
    size_t start = absolute ? 1 : 0;
    while (start < out.size()) {
        size_t end = out.find('/', start);
        if (end == std::string::npos)
            end = out.size();
        std::string segment = out.substr(start, end - start);
        require(segment != "." || out == ".", "no '.' segment");
        require(segment != ".." || leading, "'..' only leads a relative path");
        leading = leading && segment == "..";
        start = end + 1;
    }
    require(normalized(out) == out, "normalising twice changes nothing");

    const pchar* top = out.c_str();
    const pchar* name = find_top_name(top);
    require(name >= top && name <= top + out.size(), "the top name lies in the path");
    require(strchr(name, '/') == nullptr, "the top name holds no separator");
    require(strcmp(name, ".") != 0 && strcmp(name, "..") != 0, "'.' and '..' name no folder");
}

}  // namespace

extern "C" [[noreturn]] void __wrap__Z9plat_exiti(int code)
{
    throw process_ended{code};
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The usage text goes nowhere; the fuzzer's own output is on standard error.
    if (!freopen("/dev/null", "w", stdout))
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> arguments{"quillmar"};
    std::string current;
    for (size_t i = 0; i < size; i++) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    if (size)
        arguments.push_back(current);
    if (arguments.size() > 64)
        return -1;

    const std::string* path = nullptr;
    int paths = 0;
    bool skip_next = false;
    for (size_t i = 1; i < arguments.size(); i++) {
        const std::string& a = arguments[i];
        bool any = false;
        for (const char* option : option_names) {
            bool matched = is_option(a.c_str(), option);
            require(matched == same_option(a, option), "is_option matches its options only");
            any = any || matched;
        }
        check_normalized(a);
        if (skip_next) {
            skip_next = false;
        } else if (is_option(a.c_str(), "bufsize")) {
            skip_next = true;
        } else if (!any) {
            path = &a;
            paths++;
        }
    }
    // A path beyond the string bound is cut before it is normalised: a first
    // argument that ends in a separator is also tried repeated past the bound.
    if (arguments.size() > 1 && !arguments[1].empty() && arguments[1].back() == '/') {
        std::string long_path;
        while (long_path.size() <= string_bound)
            long_path += arguments[1] + "/";
        check_normalized(long_path);
    }

    // Every argument in a buffer of its own size, so that reading past one is seen.
    std::vector<pchar*> argv;
    for (const std::string& a : arguments) {
        pchar* copy = static_cast<pchar*>(malloc(a.size() + 1));
        memcpy(copy, a.c_str(), a.size() + 1);
        argv.push_back(copy);
    }
    bounded top;
    top.units[0] = 0;
    settings = run_settings();
    bool accepted = false;
    try {
        parse_command_line(argv.data(), static_cast<int>(argv.size()), top.units);
        accepted = true;
    } catch (const process_ended& ended) {
        require(ended.code == 2, "a refused command line ends with code 2");
    }
    for (pchar* copy : argv)
        free(copy);
    if (accepted) {
        require(paths == 1, "exactly one path is accepted");
        require(settings.opt_bufsize != 0, "a zero-byte read size is refused");
        require(settings.opt_sfv || settings.opt_md5 || settings.opt_sha1 || settings.opt_sha256 ||
                settings.opt_sha512, "some algorithm is chosen");
        require(normalized(*path) == top.units, "the top path is the normalised path");
    }
    return 0;
}

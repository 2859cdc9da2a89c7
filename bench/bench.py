#!/usr/bin/env python3
"""quillmar's benchmark: quillmar against RHash, hashdeep and the coreutils/SFV
sequence on two corpora it makes itself, with the machine's two-core bound.

Every result is one line of key=value fields, so two runs can be compared
line by line (diff, grep). Times are medians of the runs, in seconds.

The tools take turns within each round, with the corpus read into the page
cache before every run:
  quillmar   default algorithms (CRC-32, MD5, SHA-1, SHA-256) over a fresh
             digest-less copy of the tree (new folders, files hard-linked;
             copying is not timed)
  quillmar-check  over the tree the quillmar run before it wrote, when built
  rhash-c         rhash -c over a --bsd list of the corpus made beforehand (quillmar-check's peer)
  rhash      rhash --crc32 --md5 --sha1 --sha256 -r .
  hashdeep   hashdeep -c md5,sha1,sha256 -r .
  coreutils  md5sum, sha1sum and sha256sum one after another (find | xargs),
             then rhash --sfv -r . for the SFV file: coreutils 9.1 has no
             CRC-32 of the SFV kind (cksum's CRC is another one)
The two-core bound is the least time two cores need for the four
algorithms at the single-core speeds measured through quillmar's own code:
max(slowest algorithm alone, sum of all / 2); reading is not counted in it.
"""
import argparse
import os
import random
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

BIG_FILES = 4
BIG_SIZE = 256 << 20
SMALL_FOLDERS = 200
SMALL_FILES = 20000
SMALL_MAX = 8192
MEMORY_HEADROOM = 16 << 20     # peak memory target: read buffer + 16 MiB
READ_BUFFER = 8388608          # quillmar's default read size
DEFAULT_ALGORITHMS = ("crc32", "md5", "sha1", "sha256")

TARGETS = {
    # (corpus, peer): largest allowed ratio quillmar / peer
    ("big", "rhash"): 0.6,
    ("small", "rhash"): 1.0,
}
BOUND_TARGET = 1.25            # big files: quillmar / two-core bound


def say(line):
    print(line, flush=True)


def load_average():
    with open("/proc/loadavg") as f:
        return f.read().split()[0]


# ---- corpora (deterministic: the same bytes on every machine and run)

def make_big(folder):
    os.makedirs(folder, exist_ok=True)
    for i in range(BIG_FILES):
        path = os.path.join(folder, "big%d.bin" % i)
        if os.path.exists(path) and os.path.getsize(path) == BIG_SIZE:
            continue
        # AES-CTR over zeros with a fixed key: fast, incompressible, repeatable.
        key = "%032x" % (0x5157494C4C4D4152 + i)
        with open(path + ".tmp", "wb") as out:
            zeros = subprocess.Popen(["head", "-c", str(BIG_SIZE), "/dev/zero"], stdout=subprocess.PIPE)
            subprocess.run(["openssl", "enc", "-aes-128-ctr", "-nosalt", "-K", key, "-iv", "0" * 32],
                           stdin=zeros.stdout, stdout=out, check=True)
            zeros.stdout.close()
            zeros.wait()
        os.rename(path + ".tmp", path)


def make_small(folder):
    stamp = os.path.join(os.path.dirname(folder), "small.done")
    if os.path.exists(stamp):
        return
    shutil.rmtree(folder, ignore_errors=True)
    rng = random.Random(20000)
    per_folder = SMALL_FILES // SMALL_FOLDERS
    for d in range(SMALL_FOLDERS):
        sub = os.path.join(folder, "d%03d" % d)
        os.makedirs(sub)
        for f in range(per_folder):
            size = rng.randint(0, SMALL_MAX)
            with open(os.path.join(sub, "f%05d.dat" % f), "wb") as out:
                out.write(rng.randbytes(size))
    open(stamp, "w").close()


def tree_bytes(folder):
    total = files = 0
    for base, _, names in os.walk(folder):
        for n in names:
            total += os.path.getsize(os.path.join(base, n))
            files += 1
    return total, files


def warm(folder):
    # Reads every file once so that every run finds it in the page cache.
    for base, _, names in os.walk(folder):
        for n in names:
            with open(os.path.join(base, n), "rb") as f:
                while f.read(1 << 20):
                    pass


# ---- tools

def quillmar_tool(binary):
    def prepare(corpus, work, run):
        # A fresh digest-less tree: new folders, the files hard-linked, so the
        # copy costs nothing and shares the originals' page cache. Copies are
        # removed only after the last round: a file system that has just
        # freed many inodes is slower to allocate new ones for a while.
        copy = os.path.join(work, "copies", "run%d" % run)
        shutil.rmtree(copy, ignore_errors=True)
        os.makedirs(os.path.dirname(copy), exist_ok=True)
        subprocess.run(["cp", "-al", corpus, copy], check=True)
        return copy

    def command(tree, out):
        return [binary, tree]

    return {"name": "quillmar", "prepare": prepare, "command": command, "cwd_tree": False}


def plain_tool(name, argv):
    def command(tree, out):
        return argv
    return {"name": name, "prepare": None, "command": command, "cwd_tree": True}


def sequence_tool():
    # One tool per algorithm, one after the other, as a user without a
    # multi-hash tool would; "rhash --sfv" writes the SFV file.
    script = ("find . -type f -print0 | xargs -0 md5sum > \"$1.md5\" && "
              "find . -type f -print0 | xargs -0 sha1sum > \"$1.sha1\" && "
              "find . -type f -print0 | xargs -0 sha256sum > \"$1.sha256\" && "
              "rhash --sfv -r . > \"$1.sfv\"")

    def command(tree, out):
        return ["bash", "-c", script, "sequence", out]
    return {"name": "coreutils", "prepare": None, "command": command, "cwd_tree": True}


def check_tool(argv):
    # quillmar-check over the tree that quillmar has just written, so each of
    # its runs verifies the digest files of the quillmar run before it.
    def command(tree, out):
        return [*argv, tree]
    return {"name": "quillmar-check", "prepare": "after-quillmar", "command": command, "cwd_tree": False}


def rhash_check_tool():
    # rhash -c over a tagged (--bsd) list of the corpus made once, untimed, beside
    # it: the peer of quillmar-check. rhash's default multi-column output is
    # much slower to check, as every column is tried against many algorithms.
    def command(tree, out):
        return ["sh", "-c", 'exec rhash -c "../$(basename "$PWD").bsd"']
    return {"name": "rhash-c", "prepare": None, "command": command, "cwd_tree": True}


def write_bsd_list(corpus):
    with open(corpus + ".bsd", "wb") as out:
        subprocess.run(["rhash", "--bsd", "--crc32", "--md5", "--sha1", "--sha256", "-r", "."],
                       cwd=corpus, stdout=out, check=True)


def run_timed(launcher, argv, cwd, out_path):
    """Runs argv; returns (wall seconds, peak RSS KiB over the process tree)."""
    result = out_path + ".run"
    with open(out_path, "wb") as out:
        done = subprocess.run([launcher, result, *argv], cwd=cwd, stdout=out, stderr=subprocess.PIPE)
    if done.returncode != 0:
        sys.exit("bench: cannot run %s" % " ".join(argv))
    with open(result) as f:
        wall, peak, code = f.read().split()
    if int(code) != 0:
        sys.exit("bench: %s failed with %s: %s" % (" ".join(argv), code,
                                                   done.stderr.decode(errors="replace")[-500:]))
    return float(wall), int(peak)


def bench_corpus(label, corpus, work, tools, runs, launcher):
    out_dir = os.path.join(work, "out")
    os.makedirs(out_dir, exist_ok=True)
    nbytes, nfiles = tree_bytes(corpus)
    say("corpus name=%s files=%d bytes=%d runs=%d load=%s" % (label, nfiles, nbytes, runs, load_average()))
    times = {t["name"]: [] for t in tools}
    peaks = {t["name"]: 0 for t in tools}
    last_quillmar_tree = None
    for run in range(runs):
        for t in tools:
            out = os.path.join(out_dir, t["name"])
            if t["prepare"] == "after-quillmar":
                if last_quillmar_tree is None:
                    continue
                tree = last_quillmar_tree
            elif t["prepare"]:
                tree = t["prepare"](corpus, work, run)
            else:
                tree = corpus
            argv = t["command"](tree if not t["cwd_tree"] else ".", out)
            # This machine lets the page cache drain slowly: fill it before each run.
            warm(corpus)
            wall, peak = run_timed(launcher, argv, tree if t["cwd_tree"] else None, out)
            times[t["name"]].append(wall)
            peaks[t["name"]] = max(peaks[t["name"]], peak)
            if t["name"] == "quillmar":
                last_quillmar_tree = tree
    result = {}
    for t in tools:
        name = t["name"]
        if not times[name]:
            continue
        med = statistics.median(times[name])
        result[name] = med
        say("time corpus=%s tool=%s median_s=%.3f min_s=%.3f max_s=%.3f peak_kib=%d" %
            (label, name, med, min(times[name]), max(times[name]), peaks[name]))
    q = result["quillmar"]
    for name, med in result.items():
        if name in ("quillmar", "quillmar-check", "rhash-c"):
            continue
        target = TARGETS.get((label, name))
        verdict = "" if target is None else " target<=%.2f %s" % (target, "ok" if q / med <= target else "MISSED")
        say("ratio corpus=%s quillmar/%s=%.2f%s" % (label, name, q / med, verdict))
    if "quillmar-check" in result:
        c = result["quillmar-check"]
        say("ratio corpus=%s quillmar-check/quillmar=%.2f target<=1.00 %s" % (label, c / q, "ok" if c <= q else "MISSED"))
        if "rhash-c" in result:
            say("ratio corpus=%s quillmar-check/rhash-c=%.2f" % (label, c / result["rhash-c"]))
    shutil.rmtree(os.path.join(work, "copies"), ignore_errors=True)
    say("load corpus=%s after=%s" % (label, load_average()))
    return result, peaks, nbytes


def helper(build, name, libraries):
    """Builds bench/<name>.cpp into the build folder when it is missing or stale."""
    binary = os.path.join(build, "bench_" + name)
    source = os.path.join(ROOT, "bench", name + ".cpp")
    inputs = [source] + ([os.path.join(build, "libquillmar_core.a")] if libraries else [])
    if not os.path.exists(binary) or any(os.path.getmtime(binary) < os.path.getmtime(i) for i in inputs):
        includes = ["-I" + os.path.join(ROOT, d)
                    for d in ("platform", "platform/posix", "support", "hash", "walk", "run")]
        extra = [*inputs[1:], "-lcrypto", "-lpthread"] if libraries else []
        subprocess.run(["c++", "-O2", "-std=c++17", *includes, source, *extra, "-o", binary], check=True)
    return binary


def algorithm_speeds(build):
    binary = helper(build, "algo_speed", True)
    text = subprocess.run([binary, str(READ_BUFFER), "1"], capture_output=True, text=True, check=True).stdout
    speeds = {}
    for line in text.splitlines():
        fields = dict(f.split("=") for f in line.split()[1:])
        speeds[fields["alg"]] = float(fields["mb_s"]) * 1e6
        say(line)
    return speeds


def memory_folder():
    """/dev/shm when it has room: the corpora then stay in memory, and what
    other programs do to the machine's disk (a file system busy with recent
    deletions is slow to create files) does not weigh on the figures."""
    try:
        st = os.statvfs("/dev/shm")
        if st.f_bavail * st.f_frsize > 3 * BIG_FILES * BIG_SIZE:
            return "/dev/shm"
    except OSError:
        pass
    return None


def two_core_bound(speeds, nbytes):
    # Each algorithm is one sequential stream: no faster than its own core,
    # and all of them together no faster than two cores sharing the work.
    seconds = [nbytes / speeds[a] for a in DEFAULT_ALGORITHMS]
    return max(max(seconds), sum(seconds) / 2)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--runs", type=int, default=5, help="rounds; each runs every tool once (default 5)")
    parser.add_argument("--work", help="folder for corpora and outputs, kept afterwards (default: a temporary one)")
    parser.add_argument("--build", default=os.path.join(ROOT, "build-bench"), help="quillmar's Release build folder")
    parser.add_argument("--corpus", choices=("big", "small", "both"), default="both")
    parser.add_argument("--only-quillmar", action="store_true", help="time quillmar alone (quick profiling runs)")
    parser.add_argument("--boost", action="store_true",
                        help="as root on a shared machine: run every tool ahead of other work (own autogroup, nice -15)")
    args = parser.parse_args()
    if args.boost:
        # Every tool inherits the boost, so the ratios stay fair; the figures
        # then show the machine as if it were idle.
        if os.getpgrp() == os.getpid():
            sys.exit("bench: --boost needs to run as a child of a shell, not as a process group leader")
        os.setsid()
        with open("/proc/self/autogroup", "w") as f:
            f.write("-15")

    quillmar = os.path.join(args.build, "quillmar")
    if not os.path.exists(quillmar):
        sys.exit("bench: %s not found; build it with scripts/build.sh %s" % (quillmar, args.build))
    work = args.work or tempfile.mkdtemp(prefix="quillmar-bench-", dir=memory_folder())
    os.makedirs(work, exist_ok=True)

    try:
        where = "memory" if os.path.realpath(work).startswith("/dev/shm/") else "disk"
        say("machine cpus=%d load=%s boost=%s work=%s" % (os.cpu_count(), load_average(),
                                                       "yes" if args.boost else "no", where))
        speeds = algorithm_speeds(args.build)
        launcher = helper(args.build, "peak_run", False)

        tools = [quillmar_tool(quillmar)]
        # quillmar-check is timed when it is built (or named by QUILLMAR_CHECK_CMD, as in the tests).
        check = os.environ.get("QUILLMAR_CHECK_CMD")
        checker = shlex.split(check) if check else [os.path.join(args.build, "quillmar-check")]
        if os.path.exists(checker[0]):
            tools.append(check_tool(checker))
        if not args.only_quillmar:
            tools += [plain_tool("rhash", ["rhash", "--crc32", "--md5", "--sha1", "--sha256", "-r", "."]),
                      plain_tool("hashdeep", ["hashdeep", "-c", "md5,sha1,sha256", "-r", "."]),
                      sequence_tool()]
            if len(tools) > 1 and tools[1]["name"] == "quillmar-check":
                tools.append(rhash_check_tool())

        for label in ("big", "small"):
            if args.corpus not in (label, "both"):
                continue
            corpus = os.path.join(work, label)
            (make_big if label == "big" else make_small)(corpus)
            if any(t["name"] == "rhash-c" for t in tools):
                write_bsd_list(corpus)
            result, peaks, nbytes = bench_corpus(label, corpus, work, tools, args.runs, launcher)
            bound = two_core_bound(speeds, nbytes)
            q = result["quillmar"]
            verdict = " target<=%.2f %s" % (BOUND_TARGET, "ok" if q / bound <= BOUND_TARGET else "MISSED") \
                if label == "big" else ""
            say("bound corpus=%s two_core_s=%.3f quillmar/bound=%.2f%s" % (label, bound, q / bound, verdict))
            limit = (READ_BUFFER + MEMORY_HEADROOM) >> 10
            say("memory corpus=%s quillmar_peak_kib=%d limit_kib=%d %s" %
                (label, peaks["quillmar"], limit, "ok" if peaks["quillmar"] <= limit else "MISSED"))
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()

"""scripts/lint: static analysis of the program's own code (render/, shell/, platform/):
cppcheck with .cppcheck-suppressions, then clang-tidy with .clang-tidy over the compile
commands the linux preset exports, and for platform/web, which only Emscripten compiles, over
the web preset's; then clang-format --dry-run over every C and C++ file of the tree, against
.clang-format. Any finding fails the run."""
import concurrent.futures
import os
import re
import subprocess
import sys

import lib

DIRS = ("render", "shell", "platform")
LINUX = os.path.join(lib.ROOT, "build", "linux")
WEB = os.path.join(lib.ROOT, "build", "web")
# clang-tidy's chatter about the warnings it suppressed.
CHATTER = re.compile(r"^[0-9]+ warnings? (and [0-9]+ errors? )?generated|"
                     r"^Suppressed [0-9]+ warnings|^Use -header-filter")


def sources(top, suffixes, skip=()):
    """The files under top with those endings, relative to the tree, sorted; build folders,
    hidden ones and Node.js's packages are not the tree's."""
    found = []
    for folder, dirs, files in os.walk(os.path.join(lib.ROOT, top)):
        dirs[:] = [d for d in dirs if not d.startswith((".", "build")) and d != "node_modules"]
        found += [os.path.relpath(os.path.join(folder, f), lib.ROOT) for f in files
                  if f.endswith(suffixes)]
    return sorted(f for f in found if not f.startswith(skip))


def tidy(arguments):
    """Run clang-tidy (findings are errors, .clang-tidy says so): whether it found nothing,
    and what it said, its chatter left out."""
    result = subprocess.run(["timeout", "600", "clang-tidy", "--quiet", *arguments], cwd=lib.ROOT,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    said = "".join(line for line in result.stdout.splitlines(True) if not CHATTER.match(line))
    return result.returncode == 0, said


def cppcheck():
    print("== cppcheck")
    return subprocess.run(
        ["timeout", "600", "cppcheck", "--std=c++17", "--language=c++", "--quiet",
         "--enable=warning,performance,portability,style", "--inconclusive", "--inline-suppr",
         "--library=posix", "--error-exitcode=1", "--suppressions-list=.cppcheck-suppressions",
         "-Iplatform/include", "-Iplatform", "-Irender", "-Ishell",
         "--template={file}:{line}:{column}: {severity} [{id}] {message}", *DIRS],
        cwd=lib.ROOT).returncode == 0


def clang_tidy():
    print("== clang-tidy")
    linux = [s for d in DIRS for s in sources(d, ".cpp", skip="platform/web/")]

    # A file the build does not know would be checked with guessed flags, or not at all:
    # configure again, and fail if that does not bring it in.
    def unknown():
        try:
            with open(os.path.join(LINUX, "compile_commands.json")) as f:
                known = f.read()
        except OSError:
            known = ""
        return [s for s in linux if f'"file": "{os.path.join(lib.ROOT, s)}"' not in known]
    missing = unknown()
    if missing:
        subprocess.run(["cmake", "--preset", "linux"], cwd=lib.ROOT, stdout=subprocess.DEVNULL)
        missing = unknown()
    clean = not missing
    if missing:
        print(f"not in build/linux/compile_commands.json: {' '.join(missing)}", file=sys.stderr)
    known = [s for s in linux if s not in missing]
    batches = [["-p", LINUX, *known[i:i + 4]] for i in range(0, len(known), 4)]
    with concurrent.futures.ThreadPoolExecutor(int(lib.JOBS)) as pool:
        for ok, said in pool.map(tidy, batches):
            clean &= ok
            print(said, end="")

    # The web backend, with the flags em++ hands to clang: its target, its system headers.
    # Configuring is enough to export the commands.
    if not os.path.exists(os.path.join(WEB, "compile_commands.json")):
        subprocess.run(["cmake", "--preset", "web"], cwd=lib.ROOT, stdout=subprocess.DEVNULL)
    flags = subprocess.run(["em++", "--cflags"], capture_output=True, text=True).stdout.split()
    ok, said = tidy(["-p", WEB, *(f"--extra-arg={flag}" for flag in flags),
                     *sources("platform/web", ".cpp")])
    print(said, end="")
    return clean and ok


def clang_format():
    print("== clang-format")
    return subprocess.run(["clang-format", "--dry-run", "-Werror",
                           *sources("", (".c", ".cpp", ".h"))], cwd=lib.ROOT).returncode == 0


def main():
    lib.ensure_packages("cppcheck", "clang-tidy", "clang-format", "emscripten")
    # All three run, whatever the first ones find.
    results = [cppcheck(), clang_tidy(), clang_format()]
    if not all(results):
        print("lint: findings above", file=sys.stderr)
        return 1
    print(f"lint: clean (cppcheck and clang-tidy over {' '.join(DIRS)}, clang-format over the "
          "tree)")
    return 0


if __name__ == "__main__":
    lib.main(main)

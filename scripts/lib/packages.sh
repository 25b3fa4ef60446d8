# The Debian packages the project needs, in one place, and the function that
# installs whichever of them are missing. Sourced by the scripts and by CI.

# Building the plug-in, the tools, the tests and the benchmarks; the LV2
# edition's headers, our LV2 host's liblilv, and Debian's LV2 tools its tests
# run (lv2_validate needs sordi's sord_validate; the tools test reads WAV
# files with python3).
build_packages=(cmake make g++ libgtest-dev libgmock-dev libbenchmark-dev libsndfile1-dev
                nlohmann-json3-dev lv2-dev liblilv-dev pkg-config lilv-utils lv2file sordi
                python3)

# Cross-building for Windows: the posix flavour of MinGW-w64, and GoogleTest's
# sources for the cross-built tests, which run under Wine.
windows_packages=(g++-mingw-w64-x86-64-posix googletest wine64)

# Cross-building for 64-bit ARM Linux: the cross compiler (with the target's
# C and C++ libraries), GoogleTest's sources, and qemu-user, which runs the
# cross-built tests and the validator on this machine.
aarch64_packages=(g++-aarch64-linux-gnu googletest qemu-user nlohmann-json3-dev)

# Making the release packages: the Windows cross build (without Wine) and the
# Debian package with the tools' manual pages.
package_packages=(g++-mingw-w64-x86-64-posix googletest dpkg-dev file lintian help2man
                  g++-aarch64-linux-gnu qemu-user)

# The fuzzers: clang, its libFuzzer and sanitizer runtimes, and the
# symbolizer for readable crash reports.
fuzz_packages=(clang libclang-rt-14-dev llvm)

# The check in a real DAW: Debian's Ardour (headless, its Lua session tool)
# and python3 for the analysis of the exported file.
daw_packages=(ardour python3)

# What CI needs beyond the build.
ci_packages=(clang-format clang-tidy valgrind "${fuzz_packages[@]}" "${daw_packages[@]}"
             "${package_packages[@]}" "${aarch64_packages[@]}" wine64)

# Installs the named packages that are not installed yet, with apt-get as root
# or through sudo. Fails with a one-line reason when it cannot.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    ((${#missing[@]} == 0)) && return 0

    local apt_get
    if [[ $(id -u) -eq 0 ]]; then
        apt_get=(apt-get)
    elif command -v sudo >/dev/null 2>&1; then
        apt_get=(sudo apt-get)
    else
        echo "error: missing packages ${missing[*]} and no way to install them (not root, no sudo)" >&2
        return 1
    fi
    echo "Installing missing packages: ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive "${apt_get[@]}" update -q
    DEBIAN_FRONTEND=noninteractive "${apt_get[@]}" install -y -q --no-install-recommends "${missing[@]}"
}

# Installs the Debian packages the build, the tests and the program need, only when missing.
# Sourced by the other scripts.
ba_packages=(cmake g++ ninja-build pkg-config qt6-base-dev libfftw3-dev libgtest-dev libgmock-dev
    libbenchmark-dev fonts-liberation xvfb xauth locales xdotool imagemagick clang libclang-rt-14-dev
    libsndfile1-dev qt6-multimedia-dev pulseaudio pulseaudio-utils sox hyperfine)

ba_install_deps() {
    local missing=() p
    for p in "${ba_packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

ba_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ba_jobs="$(nproc 2>/dev/null || echo 2)"

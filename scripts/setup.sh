# Shared by scripts/run and scripts/test: installs what the build needs and builds.
# Sourced, not run.

QARV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian packages the build, the programs and the tests need.
QARV_PACKAGES=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-webengine-dev libtinyxml-dev libavformat-dev libpulse-dev libxcb1-dev libxcb-keysyms1-dev
    libjsoncpp-dev libcurl4-openssl-dev libcpp-httplib-dev libssl-dev
    ffmpeg
    libgtest-dev libgmock-dev
    libgif-dev qt6-image-formats-plugins
    xvfb xdotool xclip pulseaudio pulseaudio-utils procps
    fonts-wqy-zenhei
)

qarv_install_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq >/dev/null
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# qarv_build BUILD_DIR [extra cmake arguments...]
qarv_build() {
    local build_dir=$1
    shift
    cmake -S "$QARV_ROOT" -B "$build_dir" -G Ninja -Wno-dev "$@" >/dev/null
    cmake --build "$build_dir" -- -k 0
}

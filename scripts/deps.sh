# Installs the Debian packages the build needs, when they are missing.
# Sourced by ./test and ./run.

K417_PACKAGES="cmake make g++ pkg-config desktop-file-utils appstream qt6-base-dev qt6-charts-dev qt6-svg-dev libgl-dev libgtest-dev libgmock-dev zlib1g-dev emf2svg libwmf-bin nlohmann-json3-dev libtoml11-dev libsqlite3-dev libpq-dev postgresql poppler-utils"

k417_install_deps() {
    local missing=""
    local pkg
    for pkg in $K417_PACKAGES; do
        dpkg -s "$pkg" >/dev/null 2>&1 || missing="$missing $pkg"
    done
    [ -z "$missing" ] && return 0
    echo "Installing missing packages:$missing"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo="sudo"
        else
            echo "error: these Debian packages are missing:$missing" >&2
            echo "       run as root, or install them with: apt-get install$missing" >&2
            return 1
        fi
    fi
    if ! $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing; then
        $sudo apt-get update -q || true
        if ! $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing; then
            echo "error: could not install:$missing" >&2
            echo "       check the network connection and the apt sources, then run again" >&2
            return 1
        fi
    fi
}

# Configures and builds into the given folder (default: build): everything,
# or only the targets named in K417_TARGETS.
k417_build() {
    local dir="${1:-build}"
    shift || true
    cmake -S "$K417_ROOT" -B "$K417_ROOT/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null || return 1
    # shellcheck disable=SC2086 # K417_TARGETS is a list of target names
    cmake --build "$K417_ROOT/$dir" -j"$(nproc)" ${K417_TARGETS:+--target $K417_TARGETS} || return 1
}

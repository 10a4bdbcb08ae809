#!/usr/bin/env bash
# Checks that a built numarika (BUILD_DIR, configured and built) installs like a desktop
# application:
#   1. `cmake --install`, with --prefix and with DESTDIR, lays out exactly the expected files;
#      the desktop entry, the AppStream metadata and the manual page validate cleanly.
#   2. `cpack -G DEB` builds the package: its files, its fields and computed dependencies; the
#      unpacked program answers --version, --help and a wrong argument without a display.
#   3. As root: the package is installed with dpkg, `numarika` started from PATH on a private
#      Xvfb opens its main window with the launcher's icon, and `dpkg --purge` takes away every
#      file it brought. Without root these steps are skipped, saying so.
# All files are written under a scratch folder, except the install manifest that cmake keeps
# in BUILD_DIR. The system is changed only by step 3, which holds an flock on /var/lib/dpkg
# throughout (so that concurrent runs on one machine take turns with the one package name)
# and purges the package on every way out.
set -euo pipefail

fail() {
    echo "check-package: FAIL: $*" >&2
    exit 1
}

[ $# -eq 1 ] || fail "usage: scripts/check-package.sh BUILD_DIR"
build=$(cd "$1" && pwd)
if [ ! -f "$build/CPackConfig.cmake" ] || [ ! -x "$build/numarika" ]; then
    fail "$build is not a built numarika build folder"
fi

app_id=com.example.numarika
icon_sizes=(16 24 32 48 64 128 256)
expected=(
    bin/numarika
    libexec/numarika/numarika
    "share/applications/$app_id.desktop"
    "share/icons/hicolor/scalable/apps/$app_id.svg"
    share/man/man1/numarika.1
    "share/metainfo/$app_id.metainfo.xml"
)
for size in "${icon_sizes[@]}"; do
    expected+=("share/icons/hicolor/${size}x$size/apps/$app_id.png")
done
mapfile -t expected < <(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)

start=$SECONDS
scratch=$(mktemp -d "${TMPDIR:-/tmp}/numarika-check-package.XXXXXX")
groups=()         # process groups started here (each with setsid), ended at exit
installed=no      # yes from the moment dpkg is asked to install until the purge succeeded
lock=             # the file descriptor holding the flock on /var/lib/dpkg

# A group's leader is the process started; just after the start it may not lead it yet.
_group_alive() { kill -0 -- "-$1" 2>/dev/null || kill -0 "$1" 2>/dev/null; }

# Ends a process group: politely, then (after 5 s) by force.
_end_group() {
    local g=$1 deadline=$((SECONDS + 5))
    kill -TERM -- "-$g" "$g" 2>/dev/null
    while _group_alive "$g" && ((SECONDS < deadline)); do sleep 0.05; done
    if _group_alive "$g"; then kill -KILL -- "-$g" "$g" 2>/dev/null; fi
    wait "$g" 2>/dev/null
}

# Runs on every way out; must not stop half-way itself, whatever fails in it.
_cleanup() {
    local status=$? i log
    set +e
    # Newest first: the program before its X server.
    for ((i = ${#groups[@]} - 1; i >= 0; i--)); do _end_group "${groups[i]}"; done
    if [ "$installed" = yes ]; then
        if ! dpkg_run --purge numarika; then
            echo "check-package: could not purge numarika; remove it by hand:" \
                "dpkg --purge numarika" >&2
            status=1
        fi
    fi
    [ -z "$lock" ] || exec {lock}<&-
    if [ "$status" -ne 0 ]; then
        for log in "$scratch"/*.log; do
            [ -s "$log" ] || continue
            echo "--- ${log##*/}" >&2
            tail -n 40 "$log" >&2
        done
    fi
    rm -rf "$scratch"
    exit "$status"
}
trap _cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# Every directory above the expected files, each once.
_expected_dirs() {
    printf '%s\n' "${expected[@]}" |
        awk -F/ '{ p = $1; for (i = 2; i <= NF; i++) { print p; p = p "/" $i } }' |
        LC_ALL=C sort -u
}

# check_tree ROOT PREFIX WHAT: ROOT holds exactly the expected files under PREFIX (a path
# inside ROOT, or empty), and no other file or directory.
check_tree() {
    local root=$1 prefix=$2 what=$3 want got
    want=$( (
        p=
        for dir in ${prefix//\// }; do
            p=${p:+$p/}$dir
            echo "$p"
        done
        { _expected_dirs && printf '%s\n' "${expected[@]}"; } | sed "s|^|${prefix:+$prefix/}|"
    ) | LC_ALL=C sort)
    got=$(cd "$root" && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort)
    [ "$got" = "$want" ] ||
        fail "$what: not the expected files (< missing, > extra):"$'\n'"$(
            diff <(echo "$want") <(echo "$got") | grep '^[<>]')"
    echo "ok: $what lays out exactly ${#expected[@]} files"
}

# --- 1. install tree and its validation -------------------------------------------------------
cmake --install "$build" --prefix "$scratch/prefix" >"$scratch/install.log" 2>&1 ||
    fail "cmake --install --prefix failed"
check_tree "$scratch/prefix" "" "cmake --install --prefix P"
[ -x "$scratch/prefix/bin/numarika" ] || fail "the installed bin/numarika is not executable"
DESTDIR="$scratch/destdir" cmake --install "$build" --prefix /usr >>"$scratch/install.log" 2>&1 ||
    fail "cmake --install with DESTDIR failed"
check_tree "$scratch/destdir" usr "DESTDIR=D cmake --install --prefix /usr"
share=$scratch/destdir/usr/share

# desktop-file-validate: errors and warnings fail; hints are shown.
desktop=$share/applications/$app_id.desktop
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
if grep -v ': hint: ' <<<"$out" | grep -q .; then fail "desktop-file-validate: $out"; fi
echo "ok: desktop-file-validate${out:+ (hint: ${out##*: hint: })}"

metainfo=$share/metainfo/$app_id.metainfo.xml
out=$(appstreamcli validate --no-net --strict "$metainfo" 2>&1) ||
    fail "appstreamcli validate: $out"
# The whole tree: the metadata's launchable must name the desktop entry installed beside it.
out=$(appstreamcli validate-tree --no-net --strict "$scratch/destdir" 2>&1) ||
    fail "appstreamcli validate-tree: $out"
echo "ok: appstreamcli validate and validate-tree --no-net --strict"

manual=$share/man/man1/numarika.1
for locale in C C.UTF-8; do
    err=$(LC_ALL=$locale MANWIDTH=80 man --warnings -l "$manual" 2>&1 >"$scratch/manual.txt") ||
        fail "man -l $manual failed ($locale): $err"
    [ -z "$err" ] || fail "the manual page renders with warnings ($locale): $err"
done
for section in NAME SYNOPSIS DESCRIPTION OPTIONS ENVIRONMENT 'EXIT STATUS' FILES; do
    grep -q "^$section\$" "$scratch/manual.txt" || fail "the manual page has no $section"
done
echo "ok: man --warnings renders the manual page silently"

# The version, as the program shows it, everywhere the same.
version_line=$(env -u DISPLAY -u WAYLAND_DISPLAY "$build/numarika" --version) ||
    fail "numarika --version failed"
version=${version_line#numarika }
[[ $version =~ ^[0-9]+\.[0-9]{2}$ ]] || fail "numarika --version printed '$version_line'"
grep -q "^\.TH NUMARIKA 1 [0-9-]* \"numarika $version\"" "$manual" ||
    fail "the manual page is not of version $version"
release=$(grep -o -m 1 '<release version="[^"]*"' "$metainfo")
[ "$release" = "<release version=\"$version\"" ] ||
    fail "the newest release in the metadata is not $version: $release"
echo "ok: version $version in the program, the manual page and the metadata"

# --- 2. the package --------------------------------------------------------------------------
(cd "$build" && cpack -G DEB -B "$scratch/cpack") >"$scratch/cpack.log" 2>&1 ||
    fail "cpack -G DEB failed"
arch=$(dpkg --print-architecture)
deb=$scratch/cpack/numarika_$version-1_$arch.deb
mapfile -t debs < <(find "$scratch/cpack" -maxdepth 1 -name '*.deb')
[ "${debs[*]}" = "$deb" ] || fail "expected only ${deb##*/}, cpack made: ${debs[*]##*/}"

# Its files: the installed tree under /usr, owned by root, with plain modes.
dpkg-deb -c "$deb" >"$scratch/contents.txt"
listing=$(awk '{ print $1, $2, $6 }' "$scratch/contents.txt")
while read -r mode owner path; do
    case $path in
    */) want_mode=drwxr-xr-x ;;
    ./usr/bin/numarika | ./usr/libexec/numarika/numarika) want_mode=-rwxr-xr-x ;;
    *) want_mode=-rw-r--r-- ;;
    esac
    [ "$mode $owner" = "$want_mode root/root" ] || fail "in the package: $mode $owner $path"
done <<<"$listing"
# The listing as a tree, to hold it against the expected one.
mapfile -t package_dirs < <(awk '$3 ~ /\/$/ { print substr($3, 2, length($3) - 2) }' <<<"$listing")
mapfile -t package_files < <(awk '$3 !~ /\/$/ { print substr($3, 2) }' <<<"$listing")
for path in "${package_dirs[@]}"; do mkdir -p "$scratch/listed$path"; done
for path in "${package_files[@]}"; do touch "$scratch/listed$path"; done
check_tree "$scratch/listed" usr "the package (dpkg-deb -c)"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = numarika ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version-1" ] || fail "Version: $(field Version), not $version-1"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = graphics ] || fail "Section: $(field Section)"
[ "$(field Homepage)" = https://www.example.com/sorameto/ ] || fail "Homepage: $(field Homepage)"
[[ $(field Maintainer) == *'<info@example.com>' ]] || fail "Maintainer: $(field Maintainer)"
[[ $(field Recommends) == *'fonts-noto-cjk | fonts-ipafont-gothic'* ]] ||
    fail "Recommends: $(field Recommends)"
depends=$(field Depends)
for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 libturbojpeg0 libxcb1; do
    # Debian 13 renamed some libraries for the 64-bit time_t transition (libqt6core6t64).
    [[ ", $depends," =~ ,\ ${library}(t64)?[\ ,] ]] || fail "Depends lacks $library: $depends"
done
echo "ok: ${deb##*/}: files, modes and fields"
echo "    Depends: $depends"

# The program inside, without any display.
dpkg-deb -x "$deb" "$scratch/unpacked"
packed=$scratch/unpacked/usr/bin/numarika
for binary in "$packed" "$scratch/unpacked/usr/libexec/numarika/numarika"; do
    if readelf -S "$binary" | grep -q '\.debug_info'; then fail "the packed $binary is not stripped"; fi
done
no_display=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
[ "$("${no_display[@]}" "$packed" --version)" = "numarika $version" ] ||
    fail "the packed numarika --version: $("${no_display[@]}" "$packed" --version 2>&1)"
"${no_display[@]}" "$packed" --help >"$scratch/help.txt" || fail "numarika --help failed"
grep -q '^Usage: numarika \[--scan\]$' "$scratch/help.txt" || fail "numarika --help: no usage"
code=0
err=$("${no_display[@]}" "$packed" --no-such-option 2>&1 >/dev/null) || code=$?
if [ "$code" != 2 ] || [[ $err != *'unknown argument --no-such-option'* ]]; then
    fail "a wrong argument gave exit code $code and: $err"
fi
echo "ok: the packed numarika answers --version, --help and a wrong argument"

# --- 3. install, start, purge ----------------------------------------------------------------
if [ "$(id -u)" -ne 0 ]; then
    echo "check-package: SKIPPED the install, start and purge of the package on this system:" \
        "they need root"
    echo "PASS (without the install steps, $((SECONDS - start)) s)"
    exit 0
fi

# dpkg refuses at once while another dpkg or apt holds its own lock: wait for that in turns.
dpkg_run() {
    local deadline=$((SECONDS + 300))
    until timeout 300 dpkg "$@" >>"$scratch/dpkg.log" 2>&1; do
        if ! tail -n 3 "$scratch/dpkg.log" | grep -q 'locked by another process' ||
            ((SECONDS >= deadline)); then
            return 1
        fi
        sleep 1
    done
}

echo "... waiting for /var/lib/dpkg (other runs of this check install the same package)"
exec {lock}</var/lib/dpkg
waited=$SECONDS
flock -w 1200 "$lock" || fail "/var/lib/dpkg stayed locked for 20 minutes"
echo "ok: /var/lib/dpkg is ours (after $((SECONDS - waited)) s)"

state=$(dpkg-query -W -f='${Status}' numarika 2>/dev/null) || true
[ -z "$state" ] || [[ $state == *not-installed ]] ||
    fail "a numarika package is already installed here ($state); this check installs and" \
        "purges its own, so remove that one first: dpkg --purge numarika"
# The package's directories that other packages do not already make.
own_dirs=()
for path in "${package_dirs[@]}"; do [ -e "$path" ] || own_dirs+=("$path"); done

installed=yes
dpkg_run -i "$deb" || fail "dpkg -i ${deb##*/} failed"
mapfile -t registered < <(dpkg-query -L numarika | while read -r p; do
    [ -d "$p" ] || echo "$p"
done | LC_ALL=C sort)
[ "$(printf '%s\n' "${registered[@]}")" = "$(printf '/usr/%s\n' "${expected[@]}")" ] ||
    fail "dpkg -L numarika lists other files: ${registered[*]}"
run_path=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
[ "$(PATH=$run_path command -v numarika)" = /usr/bin/numarika ] ||
    fail "numarika from PATH is $(PATH=$run_path command -v numarika), not /usr/bin/numarika"
echo "ok: dpkg -i installed ${#registered[@]} files"

# A private desktop: its own X server, home, runtime folder and no session bus to reach.
export HOME=$scratch/home XDG_RUNTIME_DIR=$scratch/runtime
mkdir -p "$HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export DBUS_SESSION_BUS_ADDRESS=unix:path=$scratch/no-session-bus LANG=C.UTF-8 LC_ALL=C.UTF-8
unset WAYLAND_DISPLAY QT_QPA_PLATFORM QT_QPA_PLATFORMTHEME XDG_CURRENT_DESKTOP DESKTOP_SESSION
unset XDG_DATA_DIRS XDG_DATA_HOME XDG_CONFIG_HOME XDG_CONFIG_DIRS XDG_CACHE_HOME

mkfifo "$scratch/displayfd"
setsid Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset \
    3>"$scratch/displayfd" >"$scratch/xvfb.log" 2>&1 {lock}<&- &
groups+=($!)
read -r -t 20 display <"$scratch/displayfd" || fail "Xvfb did not start"
export DISPLAY=:$display

PATH=$run_path setsid numarika >"$scratch/numarika.log" 2>&1 {lock}<&- &
app=$!
groups+=("$app")
wid=$(timeout 30 xdotool search --all --sync --onlyvisible --pid "$app" \
    --name '^ヌマリカ Ver1\.00$' 2>/dev/null | head -n 1) || true
[ -n "$wid" ] || fail "the installed numarika showed no main window"

# The launcher's icon from the icon theme, every size of it, not the built-in 32 x 32 one.
icons=$(xprop -len 4000000 -id "$wid" _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' |
    sort -t '(' -k 2 -n | tr '\n' ' ')
want_icons=
for size in "${icon_sizes[@]}"; do want_icons+="Icon ($size x $size) "; done
[ "$icons" = "$want_icons" ] || fail "window icons: $icons; wanted the theme's $want_icons"
wm_class=$(xprop -id "$wid" -notype WM_CLASS)
startup_class=$(sed -n 's/^StartupWMClass=//p' "/usr/share/applications/$app_id.desktop")
[[ $wm_class == *"\"$startup_class\""* ]] ||
    fail "WM_CLASS ($wm_class) does not match StartupWMClass=$startup_class"
echo "ok: numarika from PATH shows its window with the launcher's icons and WM_CLASS"

kill -TERM "$app"
deadline=$((SECONDS + 10))
while kill -0 "$app" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.05; done
kill -0 "$app" 2>/dev/null && fail "numarika did not end within 10 s of SIGTERM"
code=0
wait "$app" || code=$?
unset 'groups[-1]' # reaped: its number may now go to another process
[ "$code" = 0 ] || fail "numarika ended with exit code $code after SIGTERM"

dpkg_run --purge numarika || fail "dpkg --purge numarika failed"
installed=no
state=$(dpkg-query -W -f='${Status}' numarika 2>/dev/null) || true
[ -z "$state" ] || fail "after the purge dpkg still knows numarika: $state"
left=()
for path in "${package_files[@]}" "${own_dirs[@]}"; do [ ! -e "$path" ] || left+=("$path"); done
mapfile -t -O "${#left[@]}" left < <(compgen -G '/var/lib/dpkg/info/numarika.*' || true)
[ "${#left[@]}" = 0 ] || fail "left behind after the purge: ${left[*]}"
echo "ok: dpkg --purge removed all ${#registered[@]} files and ${#own_dirs[@]} own directories"
echo "PASS ($((SECONDS - start)) s)"

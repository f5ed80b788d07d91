# Shared shell helpers for running Windows programs under Wine in throwaway prefixes.
# Source it; every function works on the prefix named by its argument, never on ~/.wine.
#
# BV_WINE_ARCH picks the kind of Windows: win64 (the default: 64-bit Windows, which runs 32-bit
# programs too where wine32 is installed) or win32 (32-bit Windows). BV_WINE_LOADER,
# BV_WINE_SERVER and BV_WINE_TEMPLATE override the loader, the server and the template prefix.
#
# Loaders with wine32 and wine64 installed (Debian 12, Wine 8.0): on a win64 prefix wine64
# starts 64-bit programs (cmd, regedit: the 64-bit editor and view) and a 32-bit program as an
# x86 process of its own; `wine` there would start the 32-bit cmd and regedit. A win32 prefix
# takes only `wine`: wine64 refuses it ("is a 32-bit installation"). wineserver32 and
# wineserver64 each served both kinds of prefix; each kind gets the server of its loader.

BV_ROOT=${BV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
BV_WINE_ARCH=${BV_WINE_ARCH:-win64}
if [[ $BV_WINE_ARCH == win32 ]]; then
    BV_WINE_LOADER=${BV_WINE_LOADER:-/usr/lib/wine/wine}
    BV_WINE_SERVER=${BV_WINE_SERVER:-/usr/lib/wine/wineserver32}
    BV_WINE_TEMPLATE=${BV_WINE_TEMPLATE:-$BV_ROOT/build/wine-template-win32}
else
    BV_WINE_LOADER=${BV_WINE_LOADER:-/usr/lib/wine/wine64}
    BV_WINE_SERVER=${BV_WINE_SERVER:-/usr/lib/wine/wineserver64}
    BV_WINE_TEMPLATE=${BV_WINE_TEMPLATE:-$BV_ROOT/build/wine-template}
fi

# Quiet, no Mono/Gecko install prompts; Debian's `wine` wrapper would pick the 32-bit loader.
wine_env_init() {
    if [[ ! -x $BV_WINE_LOADER ]]; then
        echo "wine-env: $BV_WINE_LOADER not found (install wine64, and wine32 for win32)" >&2
        return 1
    fi
    export WINELOADER=$BV_WINE_LOADER
    export WINESERVER=$BV_WINE_SERVER
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEARCH=$BV_WINE_ARCH
    # Console programs need no display; GUI runs go through wine_run_gui.
    export DISPLAY=${BV_WINE_DISPLAY:-}
}

# Keeps PREFIX's server running until wine_stop: every program then starts in a fraction of a
# second instead of waiting out the server's start and its linger after the last program.
# A first program starts Wine's background services with no inherited output: they outlive
# every program and would otherwise hold a caller's pipe open.
wine_server_start() {
    WINEPREFIX=$1 "$BV_WINE_SERVER" -p
    WINEPREFIX=$1 "$BV_WINE_LOADER" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Runs a Windows program (host path or Windows path) in PREFIX. Exit status is the program's.
wine_run() {
    local prefix=$1
    shift
    local status=0
    WINEPREFIX=$prefix "$BV_WINE_LOADER" "$@" || status=$?
    return "$status"
}

# The same under a virtual X display when one is available (windows, message boxes).
wine_run_gui() {
    local prefix=$1
    shift
    local status=0
    if [[ -n ${DISPLAY:-} ]]; then
        WINEPREFIX=$prefix "$BV_WINE_LOADER" "$@" || status=$?
    elif command -v xvfb-run >/dev/null 2>&1; then
        WINEPREFIX=$prefix xvfb-run -a -s "-screen 0 1280x1024x24" "$BV_WINE_LOADER" "$@" ||
            status=$?
    else
        WINEPREFIX=$prefix "$BV_WINE_LOADER" "$@" || status=$?
    fi
    return "$status"
}

# Stops every Wine process of PREFIX; the server writes the registry files as it goes.
wine_stop() {
    WINEPREFIX=$1 "$BV_WINE_SERVER" -k >/dev/null 2>&1 || true
    WINEPREFIX=$1 "$BV_WINE_SERVER" -w >/dev/null 2>&1 || true
}

# Builds the template prefix once (wineboot is the slow part) and reuses it while the Wine
# version stays the same. Serialised with a lock: several test scripts may start together.
wine_template() {
    local template=$BV_WINE_TEMPLATE
    local version
    version=$("$BV_WINE_LOADER" --version 2>/dev/null || echo unknown)
    mkdir -p "$(dirname "$template")"
    (
        flock 9
        if [[ -f $template/.bv-ready && $(cat "$template/.bv-ready") == "$version" ]]; then
            exit 0
        fi
        rm -rf "$template"
        mkdir -p "$template"
        echo "wine-env: creating template prefix $template" >&2
        WINEPREFIX=$template "$BV_WINE_LOADER" wineboot -i >/dev/null 2>&1 || true
        WINEPREFIX=$template "$BV_WINE_SERVER" -w || true
        if [[ ! -f $template/system.reg ]]; then
            echo "wine-env: wineboot did not create $template" >&2
            exit 1
        fi
        echo "$version" >"$template/.bv-ready"
    ) 9>"$template.lock"
}

# A fresh prefix at DEST, copied from the template. The Windows folder (hundreds of megabytes of
# DLLs that no test writes) is hard-linked when the file system allows it.
wine_fresh_prefix() {
    local dest=$1
    wine_template || return 1
    if [[ -e $dest ]]; then
        if [[ -f $dest/system.reg || -z $(ls -A "$dest") ]]; then
            wine_stop "$dest"
            rm -rf "$dest"
        else
            echo "wine-env: $dest exists and is not a Wine prefix; not replacing it" >&2
            return 1
        fi
    fi
    mkdir -p "$dest/drive_c"
    local entry
    for entry in "$BV_WINE_TEMPLATE"/* "$BV_WINE_TEMPLATE"/.update-timestamp; do
        [[ -e $entry || -L $entry ]] || continue
        case $(basename "$entry") in
            drive_c | wineserver) continue ;;
        esac
        cp -a "$entry" "$dest/"
    done
    for entry in "$BV_WINE_TEMPLATE"/drive_c/*; do
        if [[ $(basename "$entry") == windows ]]; then
            cp -al "$entry" "$dest/drive_c/" 2>/dev/null || {
                rm -rf "$dest/drive_c/windows"
                cp -a "$entry" "$dest/drive_c/"
            }
        else
            cp -a "$entry" "$dest/drive_c/"
        fi
    done
}

# The profile folder name Wine gave the user (the Unix login name).
wine_user_name() {
    local prefix=$1 dir
    for dir in "$prefix"/drive_c/users/*/; do
        dir=$(basename "$dir")
        [[ $dir == Public ]] && continue
        echo "$dir"
        return 0
    done
    id -un
}

# A host path as Wine's Z: drive sees it.
wine_host_path() {
    local path
    path=$(realpath -m "$1")
    path=${path//\//\\}
    printf 'Z:%s' "$path"
}

# Resolves a drive-C Windows path (C:\a\b) to a host path inside PREFIX, reusing existing folder
# names without regard to letter case as Windows would. Prints nothing for other drives.
wine_c_path() {
    local prefix=$1 winpath=$2
    [[ ${winpath:1:1} == : ]] || return 1
    local letter
    letter=$(printf '%s' "${winpath:0:1}" | tr '[:upper:]' '[:lower:]')
    [[ -d $prefix/drive_$letter ]] || return 1
    local rest=${winpath:2}
    rest=${rest//\\//}
    local host=$prefix/drive_$letter part match
    local IFS=/
    for part in $rest; do
        [[ -z $part ]] && continue
        match=""
        if [[ -d $host ]]; then
            local pattern=$part
            pattern=${pattern//\[/\\[}
            pattern=${pattern//\]/\\]}
            pattern=${pattern//\*/\\*}
            pattern=${pattern//\?/\\?}
            match=$(find "$host" -mindepth 1 -maxdepth 1 -iname "$pattern" -print -quit 2>/dev/null)
        fi
        if [[ -n $match ]]; then
            host=$match
        else
            host=$host/$part
        fi
    done
    printf '%s' "$host"
}

# Converts a registry editor file (UTF-8 with or without mark, or UTF-16LE with mark) to what
# Wine's regedit reads: UTF-16LE with a mark, root short forms spelled out.
wine_convert_reg() {
    local src=$1 dst=$2
    local head
    head=$(head -c 3 "$src" | od -An -tx1 | tr -d ' \n')
    local decode=(cat)
    case $head in
        fffe*) decode=(iconv -f UTF-16LE -t UTF-8) ;;
        feff*) decode=(iconv -f UTF-16BE -t UTF-8) ;;
    esac
    {
        printf '\xff\xfe'
        "${decode[@]}" <"$src" | sed -e '1s/^\xEF\xBB\xBF//' \
            -e 's/^\[\(-\?\)HKCR\([]\\]\)/[\1HKEY_CLASSES_ROOT\2/' \
            -e 's/^\[\(-\?\)HKCU\([]\\]\)/[\1HKEY_CURRENT_USER\2/' \
            -e 's/^\[\(-\?\)HKLM\([]\\]\)/[\1HKEY_LOCAL_MACHINE\2/' |
            iconv -f UTF-8 -t UTF-16LE
    } >"$dst"
}

# The guest's disk image: what it holds and how it is built (sourced by scripts/guest, which
# rebuilds the image whenever this file or the guest's first process changes).
# Needs: root, dir (build/guest), image (the disk file), log.

# What the guest holds.
guest_base_packages=(linux-image-amd64 initramfs-tools kmod udev procps iproute2 util-linux
                     bsdextrautils file python3 xvfb xauth x11-utils x11-apps imagemagick)
guest_wine_packages=(wine wine64 wine32:i386 fonts-wine)
guest_disk_size=12G
# Wine's template prefixes are made at build time, in the root file system on the host's own
# processor: wineboot takes over a minute per prefix in the emulated guest.
guest_templates=/var/cache/bv

host_packages() {
    local missing=() p
    for p in qemu-system-x86 debootstrap e2fsprogs; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    ((${#missing[@]} == 0)) && return 0
    log "installing ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            "${missing[@]}" >/dev/null
}

# The Debian archive the machine's apt sources name for the bookworm suite (deb822 .sources
# files or one-line lists).
debian_mirror() {
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [[ -f $f ]] || continue
        awk 'BEGIN { RS = ""; FS = "\n" }
             {
                 uris = ""; suites = ""; types = ""
                 for (i = 1; i <= NF; i++) {
                     if ($i ~ /^URIs:/) uris = substr($i, 6)
                     else if ($i ~ /^Suites:/) suites = substr($i, 8)
                     else if ($i ~ /^Types:/) types = substr($i, 7)
                 }
                 if (types ~ /(^|[ \t])deb([ \t]|$)/ && (" " suites " ") ~ /[ \t]bookworm[ \t]/) {
                     split(uris, u, /[ \t]+/)
                     for (j in u) if (u[j] != "") { print u[j]; exit }
                 }
             }' "$f"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [[ -f $f ]] || continue
        sed -E 's/\[[^]]*\]//' "$f" | awk '$1 == "deb" && $3 == "bookworm" { print $2 }'
    done
}

# Every deb line of the machine's sources for the bookworm suites, for the guest's own apt.
debian_sources() {
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [[ -f $f ]] || continue
        awk 'BEGIN { RS = ""; FS = "\n" }
             {
                 uris = ""; suites = ""; comps = ""; types = ""
                 for (i = 1; i <= NF; i++) {
                     if ($i ~ /^URIs:/) uris = substr($i, 6)
                     else if ($i ~ /^Suites:/) suites = substr($i, 8)
                     else if ($i ~ /^Components:/) comps = substr($i, 12)
                     else if ($i ~ /^Types:/) types = substr($i, 7)
                 }
                 if (types !~ /(^|[ \t])deb([ \t]|$)/) next
                 nu = split(uris, u, /[ \t]+/); ns = split(suites, s, /[ \t]+/)
                 for (a = 1; a <= nu; a++) for (b = 1; b <= ns; b++)
                     if (u[a] != "" && s[b] ~ /^bookworm/) print "deb " u[a] " " s[b] " " comps
             }' "$f"
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [[ -f $f ]] || continue
        sed -E 's/\[[^]]*\]//' "$f" | awk '$1 == "deb" && $3 ~ /^bookworm/'
    done
}

definition_hash() {
    cat scripts/lib/guest-image.sh scripts/lib/guest-init.sh | sha256sum | cut -d' ' -f1
}

image_current() {
    [[ -f $image && -f $dir/vmlinuz && -f $dir/initrd.img && -f $dir/stamp &&
        $(cat "$dir/stamp") == "$(definition_hash)" ]]
}

# Runs a bash script as root inside the root file system, with its own /proc, /sys, /dev and
# /tmp in a private mount namespace (they vanish with it, also on failure).
in_root() {  # $1 root folder, $2 script
    unshare --mount --propagation private -- bash -c '
        set -e
        r=$1
        mount -t proc proc "$r/proc"
        mount -t sysfs sysfs "$r/sys"
        mount --rbind /dev "$r/dev"
        mount -t tmpfs tmpfs "$r/tmp"
        mount -t tmpfs tmpfs "$r/run"
        exec chroot "$r" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
            LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive bash -euo pipefail -c "$2"' _ "$1" "$2"
}

build_image() {
    local start=$SECONDS
    host_packages || { log "could not install qemu and debootstrap"; return 1; }
    local mirror
    mirror=$(debian_mirror | head -1)
    if [[ -z $mirror ]]; then
        log "no Debian bookworm archive in the apt sources"
        return 1
    fi
    local work=$dir/work
    rm -rf "$work" "$image" "$dir/stamp"
    mkdir -p "$work"
    local rootfs=$work/root buildlog=$dir/build.log
    : >"$buildlog"
    log "building the image (log: build/guest/build.log)"

    log "[$((SECONDS - start)) s] debootstrap bookworm"
    debootstrap --variant=minbase --arch=amd64 bookworm "$rootfs" "$mirror" >>"$buildlog" 2>&1 || {
        tail -20 "$buildlog" >&2
        return 1
    }
    debian_sources >"$rootfs/etc/apt/sources.list"
    rm -f "$rootfs"/etc/apt/sources.list.d/*
    # The machine's own fetch settings (such as date checks of its archive), not its hooks.
    local f
    for f in /etc/apt/apt.conf.d/*; do
        [[ -f $f ]] || continue
        if grep -q '^Acquire::' "$f" && ! grep -qiE 'Invoke|Pre-Install|Post-Install' "$f"; then
            cp "$f" "$rootfs/etc/apt/apt.conf.d/"
        fi
    done
    cp /etc/resolv.conf "$rootfs/etc/resolv.conf" 2>/dev/null || true
    printf '#!/bin/sh\nexit 101\n' >"$rootfs/usr/sbin/policy-rc.d"
    chmod +x "$rootfs/usr/sbin/policy-rc.d"
    echo bvguest >"$rootfs/etc/hostname"

    log "[$((SECONDS - start)) s] packages: ${guest_base_packages[*]} ${guest_wine_packages[*]}"
    in_root "$rootfs" "
        dpkg --add-architecture i386
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends ${guest_base_packages[*]}
        apt-get install -y -qq ${guest_wine_packages[*]}
        apt-get clean
        rm -rf /var/lib/apt/lists/*" >>"$buildlog" 2>&1 || {
        tail -20 "$buildlog" >&2
        return 1
    }

    install -m 755 scripts/lib/guest-init.sh "$rootfs/usr/local/sbin/bv-init"
    mkdir -p "$rootfs/bv" "$rootfs$guest_templates"
    cp scripts/lib/wine-env.sh "$rootfs$guest_templates/wine-env.sh"
    log "[$((SECONDS - start)) s] Wine prefixes (win64, win32)"
    local arch
    for arch in win64 win32; do
        in_root "$rootfs" "
            export BV_WINE_ARCH=$arch BV_WINE_TEMPLATE=$guest_templates/wine-template-$arch
            source $guest_templates/wine-env.sh
            wine_env_init
            wine_template" >>"$buildlog" 2>&1 || {
            tail -20 "$buildlog" >&2
            return 1
        }
    done

    local kernel initrd
    kernel=$(find "$rootfs/boot" -maxdepth 1 -name 'vmlinuz-*' | sort -V | tail -1)
    initrd=$(find "$rootfs/boot" -maxdepth 1 -name 'initrd.img-*' | sort -V | tail -1)
    if [[ -z $kernel || -z $initrd ]]; then
        log "no kernel or initrd in the root file system"
        return 1
    fi
    cp "$kernel" "$work/vmlinuz"
    cp "$initrd" "$work/initrd.img"

    log "[$((SECONDS - start)) s] disk image ($guest_disk_size)"
    truncate -s "$guest_disk_size" "$work/disk.img"
    mkfs.ext4 -q -F -L bvguest -d "$rootfs" "$work/disk.img" >>"$buildlog" 2>&1 || {
        tail -20 "$buildlog" >&2
        return 1
    }
    mv "$work/vmlinuz" "$work/initrd.img" "$dir/"
    mv "$work/disk.img" "$image"
    rm -rf "$work"
    definition_hash >"$dir/stamp"
    log "image built in $((SECONDS - start)) s"
}

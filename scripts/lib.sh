# Shell functions shared by the scripts (sourced, not run). Nothing here installs or builds.

# The Wine loaders: wine64 runs 64-bit programs and hands 32-bit ones to the 32-bit loader (package wine32).
NT_WINE64=/usr/lib/wine/wine64
NT_WINE32=/usr/lib/wine/wine

# True if this kernel executes 32-bit x86 programs. Some kernels are built or booted without 32-bit
# emulation (the kernel log then says "32-bit emulation disabled"); no package can change that, and the
# 32-bit Wine loader cannot start there. The probe is a 96-byte 32-bit ELF program that exits with 42.
nt_kernel_runs_32bit() {
    local dir probe rc
    dir=$(mktemp -d "${TMPDIR:-/tmp}/nt-probe32.XXXXXX") || return 1
    probe="$dir/exit42"
    printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
    chmod +x "$probe"
    "$probe" 2>/dev/null
    rc=$?
    rm -rf "$dir"
    [ "$rc" -eq 42 ]
}

# One line on why 32-bit programs cannot run on this machine.
NT_NO32_REASON="this machine's kernel cannot execute 32-bit x86 code (32-bit emulation is disabled; a kernel booted with ia32_emulation=on can)"

# True if the 32-bit Wine loader is installed and starts.
nt_wine32_installed() {
    [ -x "$NT_WINE32" ] && "$NT_WINE32" --version >/dev/null 2>&1
}

# The architecture whose programs the scripts run: the i686 product wherever 32-bit programs run, else
# x86_64 (with one line on stderr that says why). NACHTRIEGEL_ARCH=i686|x86_64 chooses explicitly.
nt_run_arch() {
    case "${NACHTRIEGEL_ARCH:-}" in
        i686 | x86_64) echo "$NACHTRIEGEL_ARCH"; return 0 ;;
        "") ;;
        *) echo "NACHTRIEGEL_ARCH must be i686 or x86_64, not '$NACHTRIEGEL_ARCH'" >&2; return 2 ;;
    esac
    if ! nt_kernel_runs_32bit; then
        echo "note: running the x86_64 build instead of the i686 product: $NT_NO32_REASON" >&2
        echo x86_64
    elif ! nt_wine32_installed; then
        echo "note: running the x86_64 build instead of the i686 product: the 32-bit Wine (package wine32) is missing" >&2
        echo x86_64
    else
        echo i686
    fi
}

# Puts Wine's own TrueType fonts where Windows keeps its fonts in a prefix: a new prefix lacks them, and
# without Marlett the title-bar buttons show as letters (Tahoma is the dialog font).
nt_install_fonts() { # PREFIX
    mkdir -p "$1/drive_c/windows/Fonts"
    if compgen -G "/usr/share/wine/fonts/*.ttf" >/dev/null; then
        cp /usr/share/wine/fonts/*.ttf "$1/drive_c/windows/Fonts/"
    fi
}

# Puts the recorder program in place of shutdown.exe and rundll32.exe in a Wine prefix: in system32 and,
# for 32-bit programs (whose system32 is redirected there), in syswow64. Fails unless every copy is in place.
nt_install_recorders() { # PREFIX RECORDER.exe
    local prefix=$1 recorder=$2 dir tool
    for dir in system32 syswow64; do
        [ "$dir" = syswow64 ] && [ ! -d "$prefix/drive_c/windows/syswow64" ] && continue
        for tool in shutdown.exe rundll32.exe; do
            cp "$recorder" "$prefix/drive_c/windows/$dir/$tool" &&
                cmp -s "$recorder" "$prefix/drive_c/windows/$dir/$tool" || {
                echo "recorder not in place as $dir/$tool" >&2
                return 1
            }
        done
    done
}

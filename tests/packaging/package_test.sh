#!/usr/bin/env bash
# The Debian package made from this build: its files and control fields, the desktop
# entry and metainfo as the validators see them, both manual pages as groff and man
# render them, and the completion of quillfen-cli in a scripted bash session.
#   package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
expect() { # expect WHAT ACTUAL EXPECTED
    [ "$2" = "$3" ] || fail "$1: got '$2', expected '$3'"
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" ||
    { cat "$work/cpack.log"; exit 1; }
arch=$(dpkg --print-architecture)
deb=$work/quillfen_${version}_$arch.deb
[ -f "$deb" ] || { echo "no $deb"; ls "$work"; exit 1; }

# The files, and nothing else.
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
expected=$(sort <<LIST
./usr/bin/quillfen
./usr/bin/quillfen-cli
./usr/share/applications/quillfen.desktop
./usr/share/bash-completion/completions/quillfen-cli
./usr/share/doc/quillfen/changelog.gz
./usr/share/doc/quillfen/copyright
./usr/share/icons/hicolor/64x64/apps/quillfen.png
./usr/share/man/man1/quillfen-cli.1.gz
./usr/share/man/man1/quillfen.1.gz
./usr/share/metainfo/org.quillfen.quillfen.metainfo.xml
LIST
)
expect "file list" "$files" "$expected"

# The control fields; the dependencies are the libraries' packages.
expect Package "$(dpkg-deb -f "$deb" Package)" quillfen
expect Version "$(dpkg-deb -f "$deb" Version)" "$version"
expect Architecture "$(dpkg-deb -f "$deb" Architecture)" "$arch"
expect Section "$(dpkg-deb -f "$deb" Section)" video
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libqt6widgets6 libjpeg62-turbo; do
    [[ $depends == *"$lib "* || $depends == *"$lib," ]] || fail "Depends lacks $lib: $depends"
done
expect Recommends "$(dpkg-deb -f "$deb" Recommends)" mkvtoolnix
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no Maintainer"
[[ $(dpkg-deb -f "$deb" Description) == *quillfen-cli* ]] || fail "short Description"

root=$work/root
dpkg-deb -x "$deb" "$root"
expect "--version" "$("$root/usr/bin/quillfen-cli" --version)" "quillfen-cli $version"
grep -q "<release version=\"$version\"" "$root"/usr/share/metainfo/*.xml || fail "metainfo version"

desktop-file-validate "$root/usr/share/applications/quillfen.desktop" || fail desktop-file-validate
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.xml >"$work/appstream.log" ||
    { cat "$work/appstream.log"; fail "appstreamcli validate"; }

for page in quillfen-cli quillfen; do
    gz=$root/usr/share/man/man1/$page.1.gz
    warnings=$(zcat "$gz" | groff -ww -z -man 2>&1) || fail "groff on $page"
    expect "groff warnings of $page(1)" "$warnings" ""
    text=$(MANWIDTH=80 man --warnings -l "$gz" 2>"$work/man.err")
    expect "man warnings of $page(1)" "$(cat "$work/man.err")" ""
    [[ $text == *"$version"* && $text == *SYNOPSIS* ]] || fail "$page(1) renders without its parts"
done
man_cli=$(MANWIDTH=80 man -l "$root/usr/share/man/man1/quillfen-cli.1.gz" 2>/dev/null)
for word in demux --select --codec-ext --no-overwrite "EXIT STATUS" "JSON REPORT" EXAMPLES; do
    [[ $man_cli == *"$word"* ]] || fail "quillfen-cli(1) lacks $word"
done

# Completion, as bash runs it after a Tab.
mkdir -p "$work/disc/sub"
touch "$work/disc/a.XPL" "$work/disc/b.EVO" "$work/disc/c.txt"
completions=$(
    cd "$work/disc"
    bash --norc --noprofile -s "$root" <<'BASH'
source /usr/share/bash-completion/bash_completion
source "$1/usr/share/bash-completion/completions/quillfen-cli"
tab() {
    COMP_LINE=$1 COMP_POINT=${#1}
    read -ra COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _quillfen_cli quillfen-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    echo "$1|${COMPREPLY[*]}"
}
tab "quillfen-cli "
tab "quillfen-cli re"
tab "quillfen-cli demux --no-o"
tab "quillfen-cli demux --co"
tab "quillfen-cli read --co"
tab "quillfen-cli xpl "
tab "quillfen-cli rebuild "
tab "quillfen-cli demux b.EVO -o "
BASH
)
expect completion "$completions" "quillfen-cli |read demux rebuild xpl sample titles help --help --version
quillfen-cli re|read rebuild
quillfen-cli demux --no-o|--no-overwrite
quillfen-cli demux --co|--codec-ext
quillfen-cli read --co|
quillfen-cli xpl |a.XPL sub
quillfen-cli rebuild |b.EVO sub
quillfen-cli demux b.EVO -o |sub"

# The binaries carry the hardening Debian's own packages have.
hardening() { # hardening DEB: the hardening tags lintian reports
    lintian -I --tag-display-limit 0 "$1" 2>&1 | grep -o 'hardening-[a-z-]*' | sort -u | tr '\n' ' '
}
if command -v lintian >/dev/null; then
    expect "lintian hardening tags" "$(hardening "$deb")" ""
    # CI also makes the release package the way a user does, warnings as errors.
    if [ "${CI:-}" = true ]; then
        release=$(BUILD_DIR="$work/release" "$(dirname "$0")/../../scripts/package" | tail -1) ||
            fail "scripts/package"
        [ -f "$release" ] && expect "lintian hardening tags (release)" "$(hardening "$release")" ""
    fi
else
    echo "lintian is not installed: hardening not checked"
fi

[ "$failures" = 0 ] && echo "package: every check passed"

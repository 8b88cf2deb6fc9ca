#!/usr/bin/env bash
# Installs the build into a staging folder and checks what lands there: the tool alone in
# its component, the simulator in its own, each package's manual page, copyright and
# changelog, the AppStream metainfo, the desktop entry (desktop-file-validate), the
# icon at the size its folder names, and the udev rules, every line of which must be a
# comment, a blank line or a rule made of known udev keys.
#   check-install.sh BUILD_DIR STAGING_DIR
set -euo pipefail
build=$1
staging=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$staging"
cmake --install "$build" --prefix "$staging/tool" --component quorvane >/dev/null
cmake --install "$build" --prefix "$staging/devsim" --component devsim >/dev/null
tool=$staging/tool
rules=$(ls "$tool"/lib/udev/rules.d/*-quorvane.rules 2>/dev/null | head -n 1 || true)

# Each component carries its own program and nothing of the other's.
[ -x "$tool/bin/quorvane" ] || fail "bin/quorvane not installed"
[ -e "$tool/bin/quorvane-devsim" ] && fail "the simulator is installed with the tool"
[ -x "$staging/devsim/bin/quorvane-devsim" ] || fail "bin/quorvane-devsim not installed"
# Beside its program, the simulator's package holds only its own papers: its manual page,
# its copyright, Debian changelog and lintian overrides.
extra=$(cd "$staging/devsim" && find . -type f ! -path ./bin/quorvane-devsim ! -path ./share/man/man1/quorvane-devsim.1.gz \
          ! -path './share/doc/quorvane-devsim/*' ! -path ./share/lintian/overrides/quorvane-devsim)
[ -z "$extra" ] || fail "the simulator's component holds more than its program and its papers:" $extra

# Each package's papers: a manual page that man can read, the copyright in Debian's
# machine-readable format, and the Debian changelog, compressed.
for package in quorvane quorvane-devsim; do
  prefix=$tool
  [ "$package" = quorvane-devsim ] && prefix=$staging/devsim
  page=$prefix/share/man/man1/$package.1.gz
  if [ ! -f "$page" ]; then
    fail "no manual page $package.1.gz"
  elif command -v man >/dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man warns about $package.1: $warnings"
  fi
  head -n 1 "$prefix/share/doc/$package/copyright" 2>/dev/null \
    | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    || fail "no machine-readable copyright for $package"
  gzip -t "$prefix/share/doc/$package/changelog.Debian.gz" 2>/dev/null || fail "no changelog.Debian.gz for $package"
done
metainfo=$(ls "$tool"/share/metainfo/*.metainfo.xml 2>/dev/null | head -n 1 || true)
if [ -z "$metainfo" ]; then
  fail "no AppStream metainfo in share/metainfo"
else
  grep -q '<launchable type="desktop-id">quorvane.desktop</launchable>' "$metainfo" \
    || fail "the metainfo does not name the desktop entry"
fi

desktop=$tool/share/applications/quorvane.desktop
if [ ! -f "$desktop" ]; then
  fail "desktop entry not installed"
else
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop entry does not validate"
  fi
  grep -qx 'Exec=quorvane' "$desktop" || fail "desktop entry does not start quorvane"
  grep -qx 'Icon=quorvane' "$desktop" || fail "desktop entry does not name the icon"
  grep -q '^Categories=.*Utility;.*Electronics;' "$desktop" || fail "desktop entry not under Utility and Electronics"
  # Found by either spelling, and by its Chinese name.
  for keyword in 'Keywords=.*licence;' 'Keywords=.*license;' 'Keywords\[zh_CN\]=.*进网许可;'; do
    grep -q "^$keyword" "$desktop" || fail "desktop entry lacks the keyword $keyword"
  done
fi

# PNG width and height: big-endian at bytes 16 and 20 of the header.
icons=0
for icon in "$tool"/share/icons/hicolor/*/apps/quorvane.png; do
  [ -f "$icon" ] || continue
  icons=$((icons + 1))
  folder=$(basename "$(dirname "$(dirname "$icon")")")
  size=$(od -An -tu1 -j16 -N8 "$icon" | awk '{printf "%dx%d", $1*2^24+$2*2^16+$3*2^8+$4, $5*2^24+$6*2^16+$7*2^8+$8}')
  [ "$size" = "$folder" ] || fail "icon in $folder is $size"
done
[ "$icons" -ge 1 ] || fail "no icon installed"
[ -f "$tool/share/icons/hicolor/48x48/apps/quorvane.png" ] || fail "no 48x48 icon, the size menus ask for first"

# The rules: blank lines, comments, and rules of KEY OP "VALUE" items joined by ", ".
# Templates are comments that hold a rule right after the "#": they are checked as rules.
match_keys='ACTION|DEVPATH|KERNEL|KERNELS|NAME|SYMLINK|SUBSYSTEM|SUBSYSTEMS|DRIVER|DRIVERS|TAG|TAGS|TEST|PROGRAM|RESULT|ATTR\{[^}]+\}|ATTRS\{[^}]+\}|SYSCTL\{[^}]+\}|ENV\{[^}]+\}|CONST\{[^}]+\}|TEST\{[0-7]+\}'
assign_keys='NAME|SYMLINK|OWNER|GROUP|MODE|TAG|OPTIONS|LABEL|GOTO|RUN|RUN\{[a-z]+\}|IMPORT\{[a-z]+\}|ATTR\{[^}]+\}|SYSCTL\{[^}]+\}|ENV\{[^}]+\}|SECLABEL\{[^}]+\}'
item_re="^(($match_keys)(==|!=)|($assign_keys)(=|\+=|-=|:=))\"[^\"]*\"\$"
labels=() gotos=() rules_seen=0 templates=0
if [ ! -f "$rules" ]; then
  fail "udev rules not installed in lib/udev/rules.d"
else
  # After 60-serial.rules imports the USB IDs; before 71-seat.rules tags the devices that
  # have "uaccess" for the seat (73-seat-late.rules then grants the access), and before
  # ModemManager's 80-mm-candidate.rules.
  order=$(basename "$rules" | cut -d- -f1)
  [[ $order =~ ^[0-9]+$ ]] && (( 10#$order > 60 && 10#$order < 71 )) || fail "rules file $(basename "$rules") is not ordered between 60 and 71"
  number=0
  while IFS= read -r line || [ -n "$line" ]; do
    number=$((number + 1))
    rule=$line
    if [[ $line =~ ^#([A-Z]+[{=!+:-].*)$ ]]; then
      rule=${BASH_REMATCH[1]}
      templates=$((templates + 1))
    elif [[ -z ${line//[[:space:]]/} || $line =~ ^[[:space:]]*# ]]; then
      continue
    else
      rules_seen=$((rules_seen + 1))
    fi
    rest=$rule
    while [ -n "$rest" ]; do
      item=${rest%%, *}
      [ "$item" = "$rest" ] && rest="" || rest=${rest#*, }
      if [[ ! $item =~ $item_re ]]; then
        fail "rules line $number: '$item' is not a known udev key with an operator and a quoted value"
        continue
      fi
      [[ $item =~ ^LABEL=\"(.*)\"$ ]] && labels+=("${BASH_REMATCH[1]}")
      [[ $item =~ ^GOTO=\"(.*)\"$ ]] && gotos+=("${BASH_REMATCH[1]}")
    done
  done <"$rules"
  for goto in "${gotos[@]}"; do
    printf '%s\n' "${labels[@]}" | grep -qx -- "$goto" || fail "GOTO=\"$goto\" has no LABEL"
  done
  [ "$rules_seen" -ge 1 ] && [ "$templates" -ge 1 ] || fail "no active rule or no template in the rules file"
  # The one active port rule: the CH340 gets its Windows description, is left alone by
  # ModemManager and is opened by the user at the seat.
  grep -qx 'ATTRS{idVendor}=="1a86", ATTRS{idProduct}=="7523", ENV{ID_MODEL}="USB-SERIAL CH340", ENV{ID_MM_DEVICE_IGNORE}="1", TAG+="uaccess"' "$rules" \
    || fail "the CH340 rule is not active as written"
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "install checks passed: $icons icons, $rules_seen rules, $templates templates"

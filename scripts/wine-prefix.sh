# shellcheck shell=bash
# Fresh Wine prefixes, quick and small. wineboot fills a prefix with copies of
# Wine's own programs and libraries (C:\windows\system32, syswow64 and winsxs:
# 1.2 GB a prefix, and several seconds), so it runs once, into a template kept
# in build-wine/ of the checkout (PM_WINE_TEMPLATES elsewhere), one per Wine
# version; every prefix after that is a copy of the template in which those
# three folders are hard links to its files. Wine replaces them in place only
# when its version changes, which a template of that version never sees; a test
# that puts a file of its own there makes a new one. Where no hard link can be
# made (another file system) the files are copied.
# Sourced by scripts/wine-run and scripts/wine-windows.sh.

wine_templates=${PM_WINE_TEMPLATES:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build-wine}

# The template of this Wine version, made on first use; prints its path. Two
# runs at once wait for one another; a template that was not finished (a killed
# run) is made again.
wine_template() {
  local version template
  version=$(/usr/lib/wine/wine64 --version) || return 1
  template="$wine_templates/template-${version//[^A-Za-z0-9.-]/_}"
  mkdir -p "$wine_templates" || return 1
  (
    flock 9
    if [ ! -f "$template/.complete" ]; then
      rm -rf "$template" "$template.new"
      # No Mono or Gecko installers, and no menu entries on the host's desktop.
      WINEPREFIX="$template.new" WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" \
        /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
      # The registry reaches its files when the server ends.
      WINEPREFIX="$template.new" /usr/lib/wine/wineserver -w
      [ -f "$template.new/system.reg" ] || { echo "wineboot made no prefix" >&2; exit 1; }
      touch "$template.new/.complete"
      mv "$template.new" "$template"
    fi
  ) 9>"$wine_templates/template.lock" || return 1
  echo "$template"
}

# Fills DIR, a folder that is new or empty, as a fresh prefix.
new_prefix() {  # new_prefix DIR
  local template dir=$1 big
  template=$(wine_template) || return 1
  mkdir -p "$dir/drive_c/windows"
  big=(system32 syswow64 winsxs)
  (cd "$template" && tar --exclude=./.complete \
    --exclude="${big[0]}" --exclude="${big[1]}" --exclude="${big[2]}" -cf - .) |
    (cd "$dir" && tar -xpf -) || return 1
  for sub in "${big[@]}"; do
    [ -d "$template/drive_c/windows/$sub" ] || continue
    if ! cp -a --link "$template/drive_c/windows/$sub" "$dir/drive_c/windows/" 2>/dev/null; then
      # Copying over half-made links would write into the template's files.
      rm -rf "$dir/drive_c/windows/$sub"
      cp -a "$template/drive_c/windows/$sub" "$dir/drive_c/windows/" || return 1
    fi
  done
}

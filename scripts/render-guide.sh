#!/usr/bin/env bash
# Renders the guide as a reader sees it, with headless Chromium, into build/docs/:
#   guide-400.png    the whole page in a window 400 pixels wide (a phone, a narrow window)
#   guide-1200.png   the whole page 1200 pixels wide
#   guide.pdf        printed (the page size is Chromium's default, Letter; the style fits A4 too)
# The guide is copied beside its pictures first, as every package ships it. Says so when
# the page is wider than the window (something would be cut off or need scrolling).
#
#   scripts/render-guide.sh      (installs Chromium: scripts/install-deps.sh --docs)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$root/build/docs
bash "$root/scripts/install-deps.sh" --docs
rm -rf "$out"
mkdir -p "$out"
cp "$root/docs/user-guide.html" "$out/Quvara guide.html"
cp "$root/docs/setup-dialog.png" "$root/docs/notice.png" "$out/"
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
chrome() {
  rm -rf "${profile:?}"/*
  timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --virtual-time-budget=5000 "$@" 2>/dev/null
}

# The page at a width: a copy laid out that wide (Chromium's window is at least 500 pixels
# wide when it only reads a page) writes into its body, once loaded, its height and the
# elements whose content is wider than they are (cut off, or in need of a scroll bar).
measure='onload = () => document.body.dataset.size = document.documentElement.scrollHeight + " " +
  [...document.querySelectorAll("body *")].filter(e => e.scrollWidth > e.clientWidth + 1 && e.clientWidth > 0)
  .map(e => e.tagName + " (" + e.textContent.replace(/\s+/g, " ").trim().slice(0, 40) + ")").join(", ");'
for width in 400 1200; do
  { sed '/<\/body>/,$d' "$out/Quvara guide.html"
    echo "<style>html { width: ${width}px; }</style><script>$measure</script></body></html>"; } >"$out/measure.html"
  size=$(chrome --window-size="$width,800" --dump-dom "file://$out/measure.html" | sed -n 's/.*data-size="\([^"]*\)".*/\1/p' | sed 's/&quot;/"/g; s/&amp;/\&/g')
  height=${size%% *}
  [ -n "$height" ] || { echo "could not measure the guide at $width pixels" >&2; exit 1; }
  [ "$size" = "$height " ] || echo "at $width pixels, wider than their place: ${size#* }" >&2
  chrome --window-size="$width,$height" --screenshot="$out/guide-$width.png" "file://$out/Quvara guide.html" >/dev/null
  echo "$out/guide-$width.png (${width}x$height)"
done
rm "$out/measure.html"
chrome --no-pdf-header-footer --print-to-pdf="$out/guide.pdf" "file://$out/Quvara guide.html" >/dev/null
echo "$out/guide.pdf"

#!/bin/sh
# Redraws every picture: those quvara.rc includes (program.ico, app.ico, note.ico,
# header_logo.bmp and header_title.bmp) and the installer's installer-side.bmp. The
# results are kept in the repository, so the build never needs this script.
#
# Needs ImageMagick 6 (Debian: imagemagick), fonts-dejavu-core and python3.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
CONVERT=${CONVERT:-/usr/bin/convert}
FONT_DIR=${FONT_DIR:-/usr/share/fonts/truetype/dejavu}
BOLD="$FONT_DIR/DejaVuSans-Bold.ttf"
REGULAR="$FONT_DIR/DejaVuSans.ttf"

# Installs ImageMagick and the fonts when they are missing.
bash "$here/../scripts/install-deps.sh" --pictures

for f in "$CONVERT" "$BOLD" "$REGULAR"; do
    [ -e "$f" ] || { echo "missing $f" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Strokes are given in a 256-unit design space; at small sizes they are
# widened so that an outline still covers at least one pixel.
stroke() { # size
    w=$((256 / $1))
    [ "$w" -lt 6 ] && w=6
    echo "$w"
}

printer_mvg() { # size
    sw=$(stroke "$1")
    cat <<MVG
scale $(awk "BEGIN{print $1/256}"),$(awk "BEGIN{print $1/256}")
stroke-linejoin round
stroke #202020 stroke-width $sw
fill #ffffff rectangle 72,14 184,106
stroke #808080 stroke-width 12
line 96,42 160,42
line 96,66 148,66
stroke #000060 stroke-width $sw
fill #00207f roundrectangle 14,90 242,198 22,22
stroke none
fill #2850e0 rectangle 26,100 230,122
fill #101010 rectangle 50,150 206,166
fill #20e020 circle 212,138 222,138
stroke #202020 stroke-width $sw
fill #ffffff polygon 62,158 194,158 202,242 54,242
stroke none fill #000000
rectangle 76,186 84,226
rectangle 92,186 96,226
rectangle 104,186 116,226
rectangle 124,186 128,226
rectangle 136,186 144,226
rectangle 152,186 156,226
rectangle 164,186 180,226
MVG
}

bubble_mvg() { # size
    sw=$(stroke "$1")
    lw=$((sw * 2))
    [ "$lw" -lt 16 ] && lw=16
    cat <<MVG
scale $(awk "BEGIN{print $1/256}"),$(awk "BEGIN{print $1/256}")
stroke-linejoin round stroke-linecap round
stroke #1a4a8a stroke-width $sw fill #e4f0ff
path 'M 60,24 H 196 A 40,40 0 0 1 236,64 V 142 A 40,40 0 0 1 196,182 H 126 L 58,238 L 76,182 H 60 A 40,40 0 0 1 20,142 V 64 A 40,40 0 0 1 60,24 Z'
stroke #1a4a8a stroke-width $lw fill none
MVG
    if [ "$1" -le 24 ]; then
        # Two lines of "text" still read at 24 pixels; three blur together.
        echo "line 66,80 190,80"
        echo "line 66,128 160,128"
    else
        echo "line 64,72 192,72"
        echo "line 64,104 192,104"
        echo "line 64,136 150,136"
    fi
}

# At 16 pixels smooth outlines blur into grey, so that size is drawn pixel
# by pixel, without anti-aliasing.
printer16_mvg() {
    cat <<MVG
stroke none
fill #202020 rectangle 4,0 11,6
fill #ffffff rectangle 5,1 10,6
fill #808080 rectangle 6,2 9,2 rectangle 6,4 8,4
fill #000060 rectangle 1,6 14,11 rectangle 0,7 15,10
fill #00207f rectangle 1,8 14,10
fill #2850e0 rectangle 1,7 14,7
fill #20e020 point 13,9
fill #202020 rectangle 3,10 12,15
fill #ffffff rectangle 4,11 11,14
fill #000000 rectangle 5,12 5,14 rectangle 7,12 8,14 rectangle 10,12 10,14
MVG
}

bubble16_mvg() {
    cat <<MVG
stroke none
fill #1a4a8a rectangle 1,1 14,11 rectangle 0,2 15,10
fill #e4f0ff rectangle 1,2 14,10
fill #1a4a8a rectangle 3,12 6,12 rectangle 3,13 5,13 rectangle 3,14 4,14
fill #e4f0ff rectangle 4,11 5,12 point 4,13
fill #1a4a8a rectangle 3,4 12,4 rectangle 3,6 12,6 rectangle 3,8 9,8
MVG
}

render() { # kind size out.png
    if [ "$2" -eq 16 ]; then
        "$CONVERT" -size 16x16 xc:none +antialias -draw "$("$1"16_mvg)" "$3"
    else
        "$CONVERT" -size "$2x$2" xc:none -draw "$("$1_mvg" "$2")" "$3"
    fi
}

# The 16 colours of the standard VGA palette, which 4-bit icons use.
"$CONVERT" xc:#000000 xc:#800000 xc:#008000 xc:#808000 xc:#000080 xc:#800080 \
    xc:#008080 xc:#c0c0c0 xc:#808080 xc:#ff0000 xc:#00ff00 xc:#ffff00 \
    xc:#0000ff xc:#ff00ff xc:#00ffff xc:#ffffff +append "$work/vga.png"

# Prints one pack-icon.py argument for a picture at a size and depth.
image() { # kind size bpp
    src="$work/$1-$2.png"
    [ -e "$src" ] || render "$1" "$2" "$src"
    out="$work/$1-$2-$3"
    case $3 in
    png)
        "$CONVERT" "$src" -strip -define png:exclude-chunks=date,time PNG32:"$out.png"
        echo "$2:png:$out.png"; return ;;
    32) "$CONVERT" "$src" -depth 8 rgba:"$out" ;;
    # Palette images: colours reduced without dithering (flat areas stay
    # flat), alpha kept for the mask.
    8)  "$CONVERT" "$src" \( -clone 0 -alpha off +dither -colors 256 \) \
            \( -clone 0 -alpha extract \) -delete 0 -alpha off \
            -compose CopyOpacity -composite -depth 8 rgba:"$out" ;;
    4)  "$CONVERT" "$src" \( -clone 0 -alpha off +dither -remap "$work/vga.png" \) \
            \( -clone 0 -alpha extract \) -delete 0 -alpha off \
            -compose CopyOpacity -composite -depth 8 rgba:"$out" ;;
    esac
    echo "$2:$3:$out"
}

pack() { # out.ico kind size:bpp...
    ico=$1 kind=$2
    shift 2
    # Split on purpose: one argument per image, and mktemp paths have no blanks.
    # shellcheck disable=SC2046
    set -- $(for item in "$@"; do image "$kind" "${item%:*}" "${item#*:}"; done)
    python3 "$here/pack-icon.py" "$here/$ico" "$@"
}

pack program.ico printer 32:4 16:4
pack app.ico printer 16:4 32:4 48:4 16:8 32:8 48:8 \
    16:32 24:32 32:32 48:32 64:32 128:32 256:png
pack note.ico bubble 16:8 24:8 32:8 48:8 16:32 24:32 32:32 48:32

# Header band of the setup dialog: 24-bit bottom-up BMPs on white.
bmp24() { # out.bmp convert-arguments...
    out=$1
    shift
    "$CONVERT" "$@" -alpha off -type TrueColor -define bmp:format=bmp3 "BMP3:$out"
}

render printer 52 "$work/logo-printer.png"
bmp24 "$here/header_logo.bmp" -size 150x57 xc:white \
    "$work/logo-printer.png" -geometry +4+3 -composite \
    -stroke '#202020' -strokewidth 2 -fill white -draw "roundrectangle 64,12 144,46 6,6" \
    -stroke none -fill black \
    -draw "rectangle 72,20 74,38 rectangle 77,20 78,38 rectangle 81,20 84,38 rectangle 87,20 88,38 rectangle 91,20 93,38 rectangle 96,20 97,38 rectangle 100,20 103,38" \
    -fill '#00207f' -draw "rectangle 110,20 136,23 rectangle 110,28 132,31 rectangle 110,36 128,39"

bmp24 "$here/header_title.bmp" -size 293x34 xc:white \
    -font "$BOLD" -pointsize 20 -fill '#00207f' -annotate +4+25 'Quvara' \
    -font "$REGULAR" -pointsize 13 -fill '#404040' -annotate +104+25 'Label printing setup'

# The installer's welcome and finish pages (164 x 314): the header's printer and name,
# on white above a band in the header's blue.
render printer 112 "$work/side-printer.png"
bmp24 "$here/installer-side.bmp" -size 164x314 xc:white \
    "$work/side-printer.png" -geometry +26+40 -composite \
    -font "$BOLD" -pointsize 24 -fill '#00207f' -gravity north -annotate +0+170 'Quvara' \
    -font "$REGULAR" -pointsize 12 -fill '#404040' -annotate +0+204 'Label printing' \
    -gravity northwest -fill '#00207f' -draw "rectangle 0,262 163,313" \
    -fill '#2850e0' -draw "rectangle 0,256 163,261"

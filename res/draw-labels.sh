#!/usr/bin/env bash
# Draws the licence-label pictures of res/ with ImageMagick. The artwork is ours: each
# picture is a network-access licence label of one device model, in that model's colours,
# with a dark band across its lower part where the tool draws the licence text in white.
# Run it after changing the artwork, then commit the pictures; the build only reads them.
set -euo pipefail
cd "$(dirname "$0")"

source ./drawing.sh draw-labels   # $convert, $font, code_block

# file | encoding | width | height | paper | ink | maker | model | emblem
labels=(
  "LBL01.jpg | jpeg-prog | 243 | 121 | #dff3e4 | #1e7a3c | Hanlu Telecom | HL-A101 | circle"
  "LBL02.jpg | jpeg-prog | 243 | 121 | #e3ecfa | #1f4f9c | Hanlu Telecom | HL-A102 | square"
  "LBL03.jpg | jpeg-prog | 243 | 121 | #fbeadd | #b4521a | Qingrui Mobile | QR-C3 | diamond"
  "LBL04.jpg | jpeg-prog | 243 | 121 | #f5e1ee | #8e2465 | Qingrui Mobile | QR-C4 Pro | triangle"
  "LBL05.jpg | jpeg-prog | 243 | 121 | #fff6d6 | #8a6a00 | Beiyun Devices | BY-5G05 | hexagon"
  "LBL06.jpg | jpeg-prog | 243 | 121 | #e0f4f6 | #0f6f7a | Beiyun Devices | BY-5G06 | ring"
  "LBL07.jpg | jpeg-prog | 243 | 121 | #ece4f7 | #5b2d9a | Zhixin Terminals | ZX-M7 | star"
  "LBL08.jpg | jpeg-base | 246 | 122 | #f0f0e6 | #4d5a1c | Zhixin Terminals | ZX-M8 | cross"
  "LBL09.png | png-rgba | 243 | 121 | #fde4e4 | #a11d2b | Lanqiao IoT | LQ-N9 | circle"
  "LBL10.jpg | jpeg-base | 243 | 121 | #e6f1fb | #165d8c | Lanqiao IoT | LQ-N10 | square"
  "LBL11.png | png-rgba | 243 | 121 | #e9f7dc | #3f7d12 | Huaxing Modem | HX-T11 | diamond"
  "LBL12.png | png-rgba | 243 | 121 | #fdeedd | #a6540b | Huaxing Modem | HX-T12 v2 | triangle"
  "LBL13.png | png-rgba | 243 | 121 | #eef0f2 | #3b4a5a | Huaxing Modem | HX-T12 v1 | hexagon"
  "LBL14.png | png-pal4 | 230 | 116 | #ddeeff | #003c78 | Anda Wireless | AD-R14 | ring"
  "LBL15.png | png-rgba | 243 | 121 | #e2f5ee | #0d6b4f | Jinghai Router | JH-W15 | star"
  "LBL16.png | png-rgba | 243 | 121 | #f7e6f0 | #7c1f5a | Jinghai Router | JH-W16 | cross"
  "LBL17.png | png-rgba | 246 | 122 | #fff0db | #95520a | Kexun USB Module | KX-U17 | square"
  "BKG00.png | png-rgba | 243 | 121 | #eaeaea | #404040 | Generic Module | SN reader | circle"
)

emblem() { # shape, centre x, centre y, colour: an ImageMagick draw command
  local s=$1 x=$2 y=$3 c=$4
  case $s in
    circle)   echo "fill $c circle $x,$y $((x+11)),$y" ;;
    ring)     echo "fill none stroke $c stroke-width 4 circle $x,$y $((x+9)),$y" ;;
    square)   echo "fill $c rectangle $((x-10)),$((y-10)) $((x+10)),$((y+10))" ;;
    diamond)  echo "fill $c polygon $x,$((y-12)) $((x+12)),$y $x,$((y+12)) $((x-12)),$y" ;;
    triangle) echo "fill $c polygon $x,$((y-12)) $((x+12)),$((y+10)) $((x-12)),$((y+10))" ;;
    hexagon)  echo "fill $c polygon $((x-6)),$((y-11)) $((x+6)),$((y-11)) $((x+12)),$y $((x+6)),$((y+11)) $((x-6)),$((y+11)) $((x-12)),$y" ;;
    star)     echo "fill $c polygon $x,$((y-12)) $((x+3)),$((y-4)) $((x+12)),$((y-4)) $((x+5)),$((y+2)) $((x+8)),$((y+11)) $x,$((y+6)) $((x-8)),$((y+11)) $((x-5)),$((y+2)) $((x-12)),$((y-4)) $((x-3)),$((y-4))" ;;
    cross)    echo "fill $c rectangle $((x-4)),$((y-12)) $((x+4)),$((y+12)) rectangle $((x-12)),$((y-4)) $((x+12)),$((y+4))" ;;
  esac
}

for row in "${labels[@]}"; do
  IFS='|' read -r file encoding w h paper ink maker model shape <<<"${row// | /|}"
  band_top=$(( h - 27 ))   # the licence text is centred about 107 px below the top
  code_seed=$(printf '%s' "$model" | cksum | cut -d' ' -f1)   # each model's code its own
  out_opts=()
  case $encoding in
    jpeg-prog) out_opts=(-type TrueColor -interlace JPEG -quality 92 "$file") ;;
    jpeg-base) out_opts=(-type TrueColor -interlace none -quality 92 "$file") ;;
    png-rgba)  out_opts=(-alpha on "PNG32:$file") ;;
    png-pal4)  out_opts=(-alpha off -colors 16 -define png:bit-depth=4 -define png:color-type=3 "PNG8:$file") ;;
  esac
  "$convert" -size "${w}x${h}" "xc:$paper" \
    -fill none -stroke "$ink" -strokewidth 2 -draw "roundrectangle 1,1 $((w-2)),$((h-2)) 8,8" \
    -stroke none -draw "$(emblem "$shape" 20 22 "$ink")" \
    -font "$font" -fill "$ink" \
    -pointsize 13 -annotate +38+20 "电信设备进网许可证" \
    -pointsize 9 -annotate +38+33 "$maker" \
    -fill "#222222" -pointsize 11 -annotate +10+54 "型号 $model" \
    -pointsize 9 -fill "#555555" -annotate +10+70 "工业和信息化部监制" \
    -fill "#555555" -annotate +10+$((band_top - 6)) "进网许可证编号" \
    -draw "$(code_block "$code_seed" $((w - 40)) 40 4 4 "$ink")" \
    -fill "#1b1b1b" -draw "roundrectangle 6,$band_top $((w-7)),$((h-5)) 5,5" \
    -fill "$ink" -draw "rectangle 6,$((band_top)) 10,$((h-5))" \
    "${out_opts[@]}"
  echo "drew $file"
done

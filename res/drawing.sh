# What the drawing scripts share, res/draw-labels.sh and packaging/draw-icon.sh: ImageMagick
# and the font, both checked before anything is drawn, and the square of dots that stands
# in for a label's 2-D code. Sourced, not run:
#   source drawing.sh NAME      NAME: the sourcing script's own, for its messages

convert=/usr/bin/convert   # ImageMagick itself, not a stand-in earlier on the PATH
font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
[ -x "$convert" ] || { echo "$1: needs ImageMagick (apt-get install imagemagick)" >&2; exit 1; }
[ -f "$font" ] || { echo "$1: needs fonts-wqy-microhei" >&2; exit 1; }

# A 7 by 7 square of dots, the three finder corners always set and the others drawn from
# a seed: an ImageMagick draw command. A dot is SIZE px wide, one every PITCH px.
code_block() { # seed, left x, top y, pitch, size, colour
  local seed=$1 x y cmds=""
  for y in 0 1 2 3 4 5 6; do
    for x in 0 1 2 3 4 5 6; do
      seed=$(( (seed * 1103515245 + 12345) % 2147483648 ))
      if (( (seed >> 16) % 2 == 0 )) || (( (x < 2 && y < 2) || (x > 4 && y < 2) || (x < 2 && y > 4) )); then
        cmds+=" rectangle $(( $2 + x*$4 )),$(( $3 + y*$4 )) $(( $2 + x*$4 + $5 - 1 )),$(( $3 + y*$4 + $5 - 1 ))"
      fi
    done
  done
  echo "fill $6$cmds"
}

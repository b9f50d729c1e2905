#!/bin/bash
# Makes the slide pictures of the skin tests: each slide has a left and a right
# half in two flat colours, so a screenshot shows how far a slide has moved.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 150x120 xc:'rgb(200,40,40)' -size 150x120 xc:'rgb(240,160,30)' +append slide_a.png
convert -size 150x120 xc:'rgb(40,170,60)' -size 150x120 xc:'rgb(40,80,200)' +append slide_b.png
convert -size 150x120 xc:'rgb(150,60,170)' -size 150x120 xc:'rgb(230,230,230)' +append slide_c.png
convert -size 64x48 xc:'rgb(10,120,200)' -quality 95 photo.jpg
# Not a picture: decoding it must fail cleanly.
printf 'not a picture' > broken.png

#!/usr/bin/env python3
"""Draws the status page's slides of the demo for every language and scale.

Writes language/<id>/slides/<scale>/slide<N>.jpg under the demo folder with
ImageMagick's "convert". The slide area of the status page is 660 x 284 pixels
at 100 % and grows with the scale (125, 150 and 200 %). Run it again after
changing the texts; the JPEG files are committed.
"""

import os
import shutil
import subprocess
import sys

DEMO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BASE_WIDTH, BASE_HEIGHT = 660, 284
SCALES = (100, 125, 150, 200)
FONT_CANDIDATES = (
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf",
)
FONT_REGULAR_CANDIDATES = (
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
)

# (gradient top colour, gradient bottom colour, accent colour)
PALETTES = (
    ("#1b2a4a", "#0a7fa8", "#07a5d8"),
    ("#3a1846", "#b4532a", "#f4be17"),
    ("#123524", "#2f7d6d", "#8ee3c8"),
)

TEXTS = {
    2052: (  # the installer's starting language shows the built-in English texts
        ("Cut in real time", "Edit 4K timelines without waiting for previews."),
        ("Colour that tells the story", "Grade every shot with curves, wheels and looks."),
        ("Share with one click", "Export for the web, phones and the big screen."),
    ),
    1031: (
        ("Schnitt in Echtzeit", "4K-Zeitleisten bearbeiten, ohne auf Vorschauen zu warten."),
        ("Farbe, die Geschichten erzählt", "Jede Einstellung mit Kurven, Rädern und Looks graduieren."),
        ("Mit einem Klick teilen", "Exportieren für das Web, Telefone und die große Leinwand."),
    ),
}


def first_existing(paths):
    for path in paths:
        if os.path.exists(path):
            return path
    sys.exit("no TrueType font found; install fonts-dejavu-core")


def draw(convert, bold, regular, size, palette, number, title, line, target):
    width, height = size
    scale = width / BASE_WIDTH
    top, bottom, accent = palette
    subprocess.run([
        convert, "-size", f"{width}x{height}", f"gradient:{top}-{bottom}",
        # a soft light spot, so that the slides differ in more than colour
        "(", "-size", f"{width}x{height}", "radial-gradient:#ffffff30-#ffffff00",
        "-roll", f"+{int(width * 0.28)}-{int(height * 0.2)}", ")", "-compose", "screen", "-composite",
        "-fill", accent, "-draw", f"rectangle {int(40 * scale)},{int(96 * scale)} "
                                  f"{int(46 * scale)},{int(196 * scale)}",
        "-font", regular, "-fill", "#ffffffb0", "-pointsize", str(13 * scale),
        "-annotate", f"+{int(40 * scale)}+{int(48 * scale)}", "ZUNDER PRO VIDEO EDITOR 8",
        "-font", bold, "-fill", "white", "-pointsize", str(30 * scale),
        "-annotate", f"+{int(62 * scale)}+{int(136 * scale)}", title,
        "-font", regular, "-fill", "#e8e8e8", "-pointsize", str(16 * scale),
        "-annotate", f"+{int(62 * scale)}+{int(176 * scale)}", line,
        "-font", regular, "-fill", "#ffffff80", "-pointsize", str(12 * scale),
        "-gravity", "southeast", "-annotate", f"+{int(24 * scale)}+{int(18 * scale)}", f"{number} / 3",
        "-quality", "86", "-sampling-factor", "4:2:0", "-strip", target,
    ], check=True)


def main():
    convert = shutil.which("convert")
    if not convert:
        sys.exit("ImageMagick's convert is missing (Debian package imagemagick)")
    bold = first_existing(FONT_CANDIDATES)
    regular = first_existing(FONT_REGULAR_CANDIDATES)
    for language, slides in TEXTS.items():
        for scale in SCALES:
            folder = os.path.join(DEMO, "language", str(language), "slides", str(scale))
            os.makedirs(folder, exist_ok=True)
            size = (BASE_WIDTH * scale // 100, BASE_HEIGHT * scale // 100)
            for number, ((title, line), palette) in enumerate(zip(slides, PALETTES), start=1):
                target = os.path.join(folder, f"slide{number}.jpg")
                draw(convert, bold, regular, size, palette, number, title, line, target)
                print(target)


if __name__ == "__main__":
    main()

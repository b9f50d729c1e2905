#!/bin/bash
# Folders of the test prefix that are symbolic links, which a Windows program
# under Wine sees as reparse points (Wine itself cannot make a link or a
# junction). Made anew before the tests that refuse them:
#   C:\ProgramData\KelmTrustTests\linked             -> C:\KelmTrustTarget
#   C:\ProgramData\Kelmware\Web Installer\ZP80-LINKED -> C:\KelmTrustTarget
# Usage: make-links.sh <build folder>
set -euo pipefail
export KELM_BUILD_DIR="$1"
. "$(cd "$(dirname "$0")/../harness" && pwd)/wine-env.sh"
drive="$WINEPREFIX/drive_c"
# Whatever stands where the folders go (a file an earlier test left) gives way.
for folder in "$drive/KelmTrustTarget" "$drive/ProgramData/KelmTrustTests" "$drive/ProgramData/Kelmware"; do
    if [ -e "$folder" ] && [ ! -d "$folder" ]; then rm -f "$folder"; fi
done
mkdir -p "$drive/KelmTrustTarget" "$drive/ProgramData/KelmTrustTests" "$drive/ProgramData/Kelmware/Web Installer"
ln -sfn "$drive/KelmTrustTarget" "$drive/ProgramData/KelmTrustTests/linked"
ln -sfn "$drive/KelmTrustTarget" "$drive/ProgramData/Kelmware/Web Installer/ZP80-LINKED"
echo "links made under $drive/ProgramData"

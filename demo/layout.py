#!/usr/bin/env python3
"""Lays out the demo: the installer folder and the package server's site.

  layout.py installer --source DEMO --build BUILD --target FOLDER --base-url URL
      FOLDER/KelmWebInstaller.exe, FOLDER/config/manifest.xml, FOLDER/language/...
  layout.py publish --source DEMO --build BUILD --site SITE --base-url URL --release VERSION
      SITE/zunder/*.html and SITE/zunder/8/: version.xml, packages/, packages/update/, client/

The committed files address the server as http://127.0.0.1:8470; every copied text
file gets URL instead (the string tables keep their UTF-16LE form). In the manifest
and the descriptors a build output's path (relative to the build folder) after
"@size:" or "@sha256:" and before a closing "@" becomes that file's size or SHA-256.
"""

import argparse
import hashlib
import os
import re
import shutil
import sys

DEFAULT_BASE = "http://127.0.0.1:8470"
INSTALLER_EXE = "KelmWebInstaller.exe"


def build_figures(text, build):
    """Replaces every size or SHA-256 named by a build output's path by its figure."""
    def figure(match):
        path = os.path.join(build, match.group(2))
        if not os.path.isfile(path):
            sys.exit(f"missing build output: {path}")
        if match.group(1) == "size":
            return str(os.path.getsize(path))
        digest = hashlib.sha256()
        with open(path, "rb") as f:
            for block in iter(lambda: f.read(1 << 20), b""):
                digest.update(block)
        return digest.hexdigest()
    return re.sub(r"@(size|sha256):([\w./-]+)@", figure, text)


def copy_text(source, target, base_url, build=None):
    os.makedirs(os.path.dirname(target), exist_ok=True)
    with open(source, "rb") as f:
        data = f.read()
    if data.startswith(b"\xff\xfe"):
        text = data.decode("utf-16-le").replace(DEFAULT_BASE, base_url)
        data = text.encode("utf-16-le")
    else:
        text = data.decode("utf-8").replace(DEFAULT_BASE, base_url)
        data = (build_figures(text, build) if build else text).encode("utf-8")
    with open(target + ".tmp", "wb") as f:
        f.write(data)
    os.replace(target + ".tmp", target)


def copy_binary(source, target):
    if not os.path.isfile(source):
        sys.exit(f"missing build output: {source}")
    os.makedirs(os.path.dirname(target), exist_ok=True)
    shutil.copyfile(source, target + ".tmp")
    os.replace(target + ".tmp", target)


def lay_out_installer(arguments):
    target = arguments.target
    copy_binary(os.path.join(arguments.build, "app", INSTALLER_EXE), os.path.join(target, INSTALLER_EXE))
    copy_text(os.path.join(arguments.source, "config", "manifest.xml"),
              os.path.join(target, "config", "manifest.xml"), arguments.base_url, arguments.build)
    language_source = os.path.join(arguments.source, "language")
    shutil.rmtree(os.path.join(target, "language"), ignore_errors=True)
    for folder, _, files in os.walk(language_source):
        for name in files:
            source = os.path.join(folder, name)
            copied = os.path.join(target, "language", os.path.relpath(source, language_source))
            if name.lower().endswith(".ini"):
                copy_text(source, copied, arguments.base_url)
            else:
                copy_binary(source, copied)


def publish_release(arguments):
    site_source = os.path.join(arguments.source, "site")
    zunder = os.path.join(arguments.site, "zunder")
    for name in os.listdir(os.path.join(site_source, "zunder")):
        copy_text(os.path.join(site_source, "zunder", name), os.path.join(zunder, name), arguments.base_url)
    product = os.path.join(zunder, "8")
    release = os.path.join(arguments.build, "demo", f"release-{arguments.release}")
    copy_binary(os.path.join(release, "ZunderPro8.msi"), os.path.join(product, "packages", "ZunderPro8.msi"))
    copy_binary(os.path.join(release, "ZunderPro8.msi"),
                os.path.join(product, "packages", "update", "ZunderPro8.msi"))
    copy_binary(os.path.join(arguments.build, "demo", "zunder_runtime_setup.exe"),
                os.path.join(product, "packages", "zunder_runtime_setup.exe"))
    copy_binary(os.path.join(arguments.build, "app", INSTALLER_EXE),
                os.path.join(product, "client", INSTALLER_EXE))
    # The descriptor goes last: a client never reads a version whose packages are not there yet.
    copy_text(os.path.join(site_source, "releases", arguments.release, "version.xml"),
              os.path.join(product, "version.xml"), arguments.base_url, arguments.build)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("what", choices=("installer", "publish"))
    parser.add_argument("--source", required=True, help="the demo folder of the sources")
    parser.add_argument("--build", required=True, help="the build folder")
    parser.add_argument("--base-url", default=DEFAULT_BASE)
    parser.add_argument("--target", help="installer folder")
    parser.add_argument("--site", help="the server's folder")
    parser.add_argument("--release", help="product version to publish")
    arguments = parser.parse_args()
    arguments.base_url = arguments.base_url.rstrip("/")
    if arguments.what == "installer":
        if not arguments.target:
            parser.error("installer needs --target")
        lay_out_installer(arguments)
    else:
        if not arguments.site or not arguments.release:
            parser.error("publish needs --site and --release")
        publish_release(arguments)


if __name__ == "__main__":
    main()

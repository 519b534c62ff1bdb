#!/usr/bin/env python3
"""Prints the browser build's download as a Markdown table of bytes.

    tools/web-sizes.py SITE FILE...

`make web-dist` runs it over the files it packs and keeps the table beside
the zip (download-sizes.md), so the sizes the README refers to are always
the build's own.
"""
import os
import struct
import sys


def main():
    site, files = sys.argv[1], sys.argv[2:]
    sizes = {name: os.path.getsize(os.path.join(site, name)) for name in files}
    big = ["voidcrawl.data.gz", "voidcrawl.wasm", "voidcrawl.js"]
    rows = []
    for name in big:
        label = f"`{name}`"
        if name.endswith(".gz"):
            # gzip keeps the unpacked size (mod 4 GiB) in its last four bytes.
            with open(os.path.join(site, name), "rb") as data:
                data.seek(-4, os.SEEK_END)
                unpacked = struct.unpack("<I", data.read(4))[0]
            label += f" ({unpacked / 1e6:.1f} MB unpacked)"
        rows.append((label, sizes[name]))
    page = [name for name in files if name not in big]
    rows.append((", ".join(f"`{name}`" for name in page), sum(sizes[name] for name in page)))
    total = sum(sizes.values())
    print("| file | bytes |")
    print("|---|---|")
    for label, size in rows:
        print(f"| {label} | {size:,} |")
    print(f"| total | {total:,} ({total / 1e6:.2f} MB) |")


if __name__ == "__main__":
    main()

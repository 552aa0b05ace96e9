#!/usr/bin/env python3
"""Installs the build into a scratch prefix and checks what the desktop, `man` and the user find there.

Usage: CheckInstall.py BUILD_DIR SCRATCH_PREFIX
"""
import gzip
import html.parser
import os
import re
import shutil
import struct
import subprocess
import sys

APP = "org.tarnlet.Tarnlet"
EXPECTED = {
    "bin/tarnlet",
    "bin/tarnlet-cli",
    f"share/applications/{APP}.desktop",
    f"share/metainfo/{APP}.metainfo.xml",
    f"share/icons/hicolor/scalable/apps/{APP}.svg",
    f"share/icons/hicolor/48x48/apps/{APP}.png",
    f"share/icons/hicolor/128x128/apps/{APP}.png",
    "share/tarnlet/tarnlet.hlp",
    "share/man/man1/tarnlet.1.gz",
    "share/man/man1/tarnlet-cli.1.gz",
}

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def run(*args):
    return subprocess.run(args, capture_output=True, text=True)


def normalized(text):
    return " ".join(text.split())


def check_files(prefix):
    found = set()
    for folder, _, files in os.walk(prefix):
        found.update(os.path.relpath(os.path.join(folder, f), prefix) for f in files)
    check(found == EXPECTED, f"installed files differ: missing {sorted(EXPECTED - found)}, "
                             f"unexpected {sorted(found - EXPECTED)}")
    for exe in ("bin/tarnlet", "bin/tarnlet-cli"):
        check(os.access(os.path.join(prefix, exe), os.X_OK), f"{exe} is not executable")


def check_desktop(prefix):
    desktop = os.path.join(prefix, f"share/applications/{APP}.desktop")
    metainfo = os.path.join(prefix, f"share/metainfo/{APP}.metainfo.xml")
    r = run("desktop-file-validate", desktop)
    check(r.returncode == 0 and not r.stdout.strip(), f"desktop-file-validate: {r.stdout}{r.stderr}")
    r = run("appstreamcli", "validate", "--no-net", "--strict", metainfo)
    check(r.returncode == 0, f"appstreamcli validate: {r.stdout}{r.stderr}")

    entry = dict(line.rstrip("\n").split("=", 1) for line in open(desktop) if "=" in line)
    check(entry.get("Exec", "").split()[0:1] == ["tarnlet"], "the desktop entry does not start tarnlet")
    check(entry.get("Icon") == APP, "the desktop entry names another icon")
    check(f'<launchable type="desktop-id">{APP}.desktop</launchable>' in open(metainfo).read(),
          "the metainfo does not launch the desktop entry")
    for size in (48, 128):
        with open(os.path.join(prefix, f"share/icons/hicolor/{size}x{size}/apps/{APP}.png"), "rb") as f:
            head = f.read(24)
        check(head[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", head[16:24]) == (size, size),
              f"the {size}x{size} icon is not a {size}x{size} PNG")


class Anchors(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.names, self.links = set(), []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        for key in ("name", "id"):
            if key in a and (key == "id" or tag == "a"):
                self.names.add(a[key])
        if tag == "a" and a.get("href", "").startswith("#"):
            self.links.append(a["href"][1:])


def check_help(prefix):
    parser = Anchors()
    parser.feed(open(os.path.join(prefix, "share/tarnlet/tarnlet.hlp"), encoding="utf-8").read())
    dangling = [link for link in parser.links if link not in parser.names]
    check(not dangling, f"help links without a target: {dangling}")


def render_page(prefix, name):
    with gzip.open(os.path.join(prefix, f"share/man/man1/{name}.1.gz"), "rt") as f:
        source = f.read()
    r = subprocess.run(["groff", "-man", "-ww", "-z"], input=source, capture_output=True, text=True)
    check(r.returncode == 0 and not r.stderr, f"{name}.1 has warnings: {r.stderr}")
    # Unwrapped lines, so paragraphs and synopses can be compared as text.
    r = subprocess.run(["groff", "-man", "-Tascii", "-rLL=2000n", "-P-cbu"], input=source,
                       capture_output=True, text=True, check=True)
    return source, r.stdout


def page_sections(text):
    """Subsection name -> its text, for the subsections of the rendered page."""
    sections, current = {}, None
    for line in text.splitlines():
        heading = re.fullmatch(r"   (\S.*)", line)
        if heading or re.match(r"\S", line):
            current = heading.group(1) if heading else None
            if current:
                sections[current] = ""
        elif current:
            sections[current] += line + "\n"
    return sections


def check_cli_page(prefix):
    cli = os.path.join(prefix, "bin/tarnlet-cli")
    source, text = render_page(prefix, "tarnlet-cli")
    version = run(cli, "--version").stdout.strip()
    th = re.search(r'^\.TH \S+ 1 "[^"]*" "Tarnlet ([^"]+)"', source, re.M)
    check(th and version == f"tarnlet-cli {th.group(1)}",
          f"--version says {version!r}, the manual page {th and th.group(1)!r}")

    usage = run(cli, "--help")
    check(usage.returncode == 0, "tarnlet-cli --help fails")
    verbs = re.findall(r"^  ([a-z]+) ", usage.stdout, re.M)
    check(verbs, "tarnlet-cli --help lists no verbs")
    sections = page_sections(text)
    check(set(sections) == set(verbs),
          f"the manual page's verbs {sorted(sections)} are not the program's {sorted(verbs)}")
    for option in ("--help", "--version", "-h"):
        check(re.search(r"(?<![\w-])" + re.escape(option) + r"(?![\w-])", text),
              f"the manual page does not mention {option}")

    for verb in verbs:
        r = run(cli, verb, "--help")
        check(r.returncode == 0 and r.stdout.startswith(f"usage: tarnlet-cli {verb} "),
              f"tarnlet-cli {verb} --help fails: {r.stdout}{r.stderr}")
        section = sections.get(verb, "")
        synopsis = normalized(r.stdout.splitlines()[0][len("usage: "):]) if r.stdout else ""
        check(synopsis in normalized(section), f"the manual page's {verb} does not show {synopsis!r}")
        # Each option has an entry: a paragraph tagged with it (alone or among related ones, "-0, -1").
        tags = " ".join(re.findall(r"^       (-.*)$", section, re.M))
        for option in sorted(set(re.findall(r"(?<![\w-])--?[A-Za-z0-9][\w-]*", r.stdout))):
            check(re.search(r"(?<![\w-])" + re.escape(option) + r"(?![\w-])", tags),
                  f"the manual page's {verb} has no entry for {option}")


def main():
    build, prefix = sys.argv[1], sys.argv[2]
    shutil.rmtree(prefix, ignore_errors=True)
    subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True, stdout=subprocess.DEVNULL)
    check_files(prefix)
    check_desktop(prefix)
    check_help(prefix)
    render_page(prefix, "tarnlet")
    check_cli_page(prefix)
    shutil.rmtree(prefix)
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

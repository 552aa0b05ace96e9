#!/usr/bin/env bash
# Makes the files under fixtures/ that other programs write and that are too slow to make at every test
# run: binary form files from the text forms (Free Pascal's ObjectTextToResource) and rich text from a
# text and an HTML page (LibreOffice). The results are committed; run this again after changing a source.
# Needs fp-compiler and libreoffice-writer-nogui.
set -euo pipefail
here=$(cd "$(dirname "$0")/fixtures" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fpc -O2 -v0 -FE"$work" "$here/txt2res.pas" >/dev/null
for form in "$here"/*.form.txt; do
  "$work/txt2res" "$form" "${form%.form.txt}.dfm"
done

export HOME="$work/home"
for source in sample.txt sample.html; do
  filter=()
  [[ $source == *.html ]] && filter=(--infilter="HTML (StarWriter)")
  cp "$here/$source" "$work/${source/./-}"
  soffice --headless "${filter[@]}" --convert-to rtf --outdir "$work/out" "$work/${source/./-}" >/dev/null 2>&1
  cp "$work/out/${source/./-}.rtf" "$here/${source/./-}.rtf"
done

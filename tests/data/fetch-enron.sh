#!/usr/bin/env bash
# Fetches the real-world test mailbox enron.pst once into the given path and
# checks its hash. Only the data file is taken from the package.
set -euo pipefail
dest=$1
want=6152489de3472be6f1f840935d34b6dbf5f62b025dd015929ea9cf66eb5a5b46
if [ -f "$dest" ] && [ "$(sha256sum "$dest" | cut -d' ' -f1)" = "$want" ]; then
  exit 0
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
(cd "$tmp" && npm pack --silent pst-extractor@1.12.0 >/dev/null)
tar -xzf "$tmp"/pst-extractor-1.12.0.tgz -C "$tmp" package/example/testdata/enron.pst
got=$(sha256sum "$tmp/package/example/testdata/enron.pst" | cut -d' ' -f1)
if [ "$got" != "$want" ]; then
  echo "enron.pst: hash mismatch (got $got)" >&2
  exit 1
fi
mkdir -p "$(dirname "$dest")"
mv "$tmp/package/example/testdata/enron.pst" "$dest"

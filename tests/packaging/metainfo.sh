#!/usr/bin/env bash
# The AppStream description passes appstreamcli's validation; its newest release is the
# project's version, its launcher is the project's desktop entry, and its screenshot is the one
# the README shows.
#   metainfo.sh METAINFO VERSION SOURCE_DIR
set -u
. "$(dirname "$0")/lib.bash"
need appstreamcli
metainfo=$1 version=$2 source=$3

out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli rejects $metainfo: $out"
echo "$out"

newest=$(grep -o '<release [^>]*version="[^"]*"' "$metainfo" | head -n 1 | sed 's/.*version="\([^"]*\)"/\1/')
[ "$newest" = "$version" ] || fail "the newest release is '$newest', the project's version $version"

launcher=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
[ -n "$launcher" ] && [ -f "$source/data/$launcher" ] || fail "the launchable '$launcher' is not a desktop entry of data/"

shown=$(grep -o '](docs/[^)]*)' "$source/README.md" | head -n 1 | sed 's/^](\(.*\))$/\1/')
[ -n "$shown" ] && [ -f "$source/$shown" ] || fail "the README shows no screenshot of docs/"
image=$(sed -n 's:.*<image>\(.*\)</image>.*:\1:p' "$metainfo" | head -n 1)
case $image in
  https://*/"$shown") ;;
  *) fail "the screenshot '$image' is not the README's $shown" ;;
esac
echo "ok: release $newest, launcher $launcher, screenshot $shown"

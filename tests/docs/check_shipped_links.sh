#!/bin/bash
# The documents the package puts side by side in /usr/share/doc/ralvek may link only to each
# other (or to the web): a link into the source tree (scripts/, docs/, a component's README)
# is dead on an installed machine, and so is a source-tree path named in the text.
#
# usage: check_shipped_links.sh <installed name>=<source file> ...
set -u
declare -A shipped
for pair in "$@"; do shipped[${pair%%=*}]=1; done
status=0
for pair in "$@"; do
  name=${pair%%=*} file=${pair#*=}
  # Markdown link targets outside code blocks, without their #anchor.
  while read -r target; do
    target=${target%%#*}
    case $target in
      http://* | https://* | mailto:* | '') continue ;;
    esac
    if [ -z "${shipped[$target]:-}" ]; then
      echo "$name links to $target, which the package does not ship"
      status=1
    fi
  done < <(awk '/^```/ { code = !code; next } !code' "$file" | grep -o '\]([^)]*)' | sed 's/^](//; s/)$//')
  # Paths of the source tree named in the text are as dead as links.
  while read -r mention; do
    echo "$name names $mention, which the package does not ship"
    status=1
  done < <(grep -o '`\(scripts\|docs\|tests\|packaging\)/[^`]*`' "$file")
done
[ "$status" -eq 0 ] && echo "every link of the shipped documents stays among them"
exit "$status"

#!/bin/sh
# Fails when a folder under src/ includes a folder at its own or a higher layer.
# Usage: check_layers.sh <src folder>
cd "$1" || exit 2
rank() {
  case "$1" in
    plugin) echo 0 ;; ui | viewer) echo 1 ;; embed) echo 2 ;; editor) echo 3 ;; editor_settings) echo 4 ;;
    editors) echo 5 ;; config) echo 6 ;; paths) echo 7 ;; host) echo 8 ;; log) echo 9 ;; common | resources) echo 10 ;;
    *) echo unknown ;;
  esac
}
status=0
for file in */*.h */*.cpp; do
  from=${file%%/*}
  for to in $(sed -n 's/^#include "\([a-z_]*\)\/.*/\1/p' "$file" | sort -u); do
    [ "$to" = "$from" ] && continue
    rf=$(rank "$from"); rt=$(rank "$to")
    if [ "$rf" = unknown ] || [ "$rt" = unknown ] || [ "$rt" -le "$rf" ]; then
      echo "$file includes $to/ (layer $rt), not below $from/ (layer $rf)"
      status=1
    fi
  done
done
exit $status

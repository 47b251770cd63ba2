#!/bin/sh
# Fails when a folder under src/ includes a folder at its own or a higher layer.
# Usage: check_layers.sh <src folder>
cd "$1" || exit 2
rank() {
  case "$1" in
    plugin) echo 0 ;; ui | viewer) echo 1 ;; embed) echo 2 ;; editor | editor_settings) echo 3 ;; editors) echo 4 ;;
    config) echo 5 ;; paths) echo 6 ;; host) echo 7 ;; log) echo 8 ;; common | resources) echo 9 ;;
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

#!/bin/sh
# Stands in for the desktop's help viewer: records the file it was asked to
# open into $VISTREL_HELP_RECORD.
printf '%s\n' "$1" >"$VISTREL_HELP_RECORD.tmp" && mv "$VISTREL_HELP_RECORD.tmp" "$VISTREL_HELP_RECORD"

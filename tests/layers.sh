#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The rooms of the code include only downward (see ARCHITECTURE.md):
#   app/ -> the windows' rooms -> widgets/ -> platform/ -> data/
# data/ includes no widget, no Qt GUI header and nothing above it; a window's
# room includes another window's room only where ARCHITECTURE.md allows it;
# admin/ and bench/'s data part include no window.
cd "$(dirname "$0")/.." || exit 1
qt=$(qmake6 -query QT_INSTALL_HEADERS 2>/dev/null || echo /usr/include/x86_64-linux-gnu/qt6)
bad=""

# Project headers a file of a room includes: the room names (first path step).
rooms_of() {
  grep -ho '^#include "[a-z]*/' "$@" 2>/dev/null | sed 's/#include "//; s|/||' | sort -u
}
sources() { find "$1" \( -name '*.cpp' -o -name '*.h' \) 2>/dev/null; }

check() {   # room, allowed rooms...
  room=$1; shift
  files=$(sources "$room")
  [ -n "$files" ] || return 0
  for r in $(rooms_of $files); do
    case " $room $* " in *" $r "*) ;; *) bad="$bad\n$room/ includes $r/" ;; esac
  done
}

check data data
check platform platform data
check widgets widgets platform data
check config config widgets platform data
check clients clients widgets platform data
check components components widgets platform data
check projects projects components widgets platform data
check admin admin platform data
check app app clients components config projects widgets platform data

# No widget or GUI header in the data layer.
gui_headers=$( (ls "$qt/QtWidgets"; ls "$qt/QtGui"; ls "$qt/QtPrintSupport") 2>/dev/null | grep '^Q' | sort -u)
if [ -n "$gui_headers" ]; then
  for h in $(grep -ho '^#include <Q[A-Za-z]*>' $(sources data) | sed 's/#include <//; s/>//' | sort -u); do
    if printf '%s\n' "$gui_headers" | grep -qx "$h"; then
      bad="$bad\ndata/ includes <$h>"
    fi
  done
  for h in QtWidgets QtGui QtPrintSupport; do
    grep -l "^#include <$h" $(sources data) >/dev/null 2>&1 && bad="$bad\ndata/ includes <$h/...>"
  done
else
  echo "Qt's GUI headers not found under $qt: only the rooms are checked."
fi

if [ -n "$bad" ]; then
  printf 'Includes that go against the layout:%b\n' "$bad"
  exit 1
fi
echo "Every room includes only the rooms below it."

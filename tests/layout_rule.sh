#!/usr/bin/env bash
# Dependencies point down: only app/, tests/ and bench/ may include the main
# window's header, and model/ holds no widgets.
set -u
cd "$1"
status=0
found=$(grep -rln --include='*.h' --include='*.cpp' '#include "app/disk_usage_form.h"' . |
        grep -v -E '^\./(app|tests|bench|build[^/]*)/')
if [ -n "$found" ]; then
  echo "The main window's header is included outside app/, tests/ and bench/:"; echo "$found"; status=1
fi
widgets='QtWidgets|QWidget|QLabel|QTreeView|QTableView|QHeaderView|QStatusBar|QMainWindow|QApplication|QAction|QMenu|QToolBar|QComboBox|QFrame|QAbstractItemView|QStyle|QPainter'
found=$(grep -rn --include='*.h' --include='*.cpp' -E "#include <($widgets)" model/)
if [ -n "$found" ]; then
  echo "model/ includes widget headers:"; echo "$found"; status=1
fi
[ -d commands ] && { echo "commands/ holds window handlers again"; status=1; }
exit $status

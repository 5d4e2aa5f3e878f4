#!/usr/bin/env bash
# Plants one fault in a copy of the tree's src/ and tools/ and expects scripts/check-layers to
# refuse the copy, naming the fault.
#   CheckLayersPlanted.sh <check-layers> <source root> <case>
set -euo pipefail
script=$1
root=$2
case=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$root/src" "$root/tools" "$work/"
if ! "$script" "$work" >"$work/out" 2>&1; then
  echo "the unchanged copy is refused already:"
  cat "$work/out"
  exit 1
fi

plant() { printf '%s\n' "$2" >>"$work/$1"; }
case $case in
  QtIncludeInEngine)
    plant src/engine/SmsSender.cpp '#include <QString>'
    expect='src/engine/SmsSender.cpp:[0-9]*: includes <QString>' ;;
  QtModuleIncludeInEngine)
    plant src/engine/SmsSender.h '#include <QtCore/QObject>'
    expect='src/engine/SmsSender.h:[0-9]*: includes <QtCore/QObject>' ;;
  QtIncludeInTool)
    plant tools/parlane-pdu/main.cpp '#include <QCoreApplication>'
    expect='tools/parlane-pdu/main.cpp:[0-9]*: includes <QCoreApplication>' ;;
  LinkWithoutInclude)
    sed -i 's/parlane_library(parlane_gsm DEPS /&parlane_log /' "$work/src/gsm/CMakeLists.txt"
    expect='CMake links parlane_gsm to parlane_log, but no file' ;;
  IncludeWithoutLink)
    plant src/gsm/Numbers.cpp '#include "core/log/Logger.h"'
    expect='src/gsm/Numbers.cpp:[0-9]*: parlane_gsm uses parlane_log, but CMake does not link them' ;;
  AngleIncludeUpwards)
    plant src/storage/FileDatabase.cpp '#include <engine/SmsSender.h>'
    expect='src/storage/FileDatabase.cpp:[0-9]*: src/storage includes src/engine, which is in a higher layer' ;;
  ToolIncludesApp)
    plant tools/parlane-pdu/main.cpp '#include "app/CommandLine.h"'
    expect='tools/parlane-pdu/main.cpp:[0-9]*: includes src/app/CommandLine.h' ;;
  ToolIncludesAnotherTool)
    plant tools/parlane-pdu/main.cpp '#include "parlane-send/SendOptions.h"'
    expect="tools/parlane-pdu/main.cpp:[0-9]*: includes tools/parlane-send/SendOptions.h, another tool's file" ;;
  ControlPanelIncludesSendDialog)
    plant src/ui/dialogs/control/FolderControlDlg.cpp '#include "ui/dialogs/send/SendHistory.h"'
    expect='src/ui/dialogs/control includes src/ui/dialogs/send: the control panel and the send dialogs share only ui/dialogs/common' ;;
  SendDialogIncludesControlPanel)
    plant src/ui/dialogs/send/SMSSendDlg.cpp '#include "ui/dialogs/control/FolderColumns.h"'
    expect='src/ui/dialogs/send includes src/ui/dialogs/control: the control panel and the send dialogs share only ui/dialogs/common' ;;
  *)
    echo "unknown case $case"
    exit 2 ;;
esac

if "$script" "$work" >"$work/out" 2>&1; then
  echo "check-layers passed the copy with the fault planted ($case):"
  cat "$work/out"
  exit 1
fi
if ! grep -q -- "$expect" "$work/out"; then
  echo "check-layers refused the copy without naming the fault (looked for: $expect):"
  cat "$work/out"
  exit 1
fi

#!/bin/bash
# The main job: builds KSetup and its tools, writes the sample disc set of
# the fictional game "星見の丘" (build/samples/disc1, disc2), checks its setup
# script and plays its install scene into PNG frames (build/demo/), as the
# program would show it on a 1024 x 768 desktop. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

tool=build/native/bin/ksetup-tool
discs=build/samples
frames=build/demo

step() { echo; echo "=== $*"; }

demo_prepare() {
  step "Packages"
  scripts/deps.sh all
  step "Build (native, win64, win32)"
  scripts/build.sh native win64 win32
}

demo_discs() {
  step "Sample disc set"
  scripts/make-samples.sh
}

demo_check() {
  step "Setup script"
  "$tool" script check "$discs/disc1"
}

# One frame per progress value: 0 to 100 % in steps of 10, the completion
# step (1010) and the first tick after it (1020, with the finish picture).
# Half a second a tick, so that the lantern, which rises with the clock,
# is seen to move.
demo_scene() {
  step "Install scene"
  rm -rf "$frames"
  mkdir -p "$frames"
  "$tool" scene render "$discs/disc1" --size 1024x768 \
    --values 0,100,200,300,400,500,600,700,800,900,1000,1010,1020 \
    --tick-ms 500 --finish --out "$frames/scene"
}

demo_summary() {
  step "Done"
  echo "Sample discs:      $discs/disc1, $discs/disc2"
  echo "Install scene:     $frames/scene-000.png ... $frames/scene-012.png" \
       "(0 %, 10 %, ... 100 %, completion, finish)"
  [ -f "$discs/disc1/KSetup.exe" ] && echo "Setup program:     $discs/disc1/KSetup.exe"
  return 0
}

demo_prepare
demo_discs
demo_check
demo_scene
demo_summary

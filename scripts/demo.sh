#!/bin/bash
# The main job: builds KSetup and its tools, makes the sample disc set of
# the fictional game "星見の丘" from its project with ksetup-tool disc build
# (build/samples/disc1, disc2 and their images disc1.iso, disc2.iso), checks
# it from the images, plays its install scene into PNG frames (build/demo/),
# as the program would show it on a 1024 x 768 desktop, and then runs the real
# KSetup.exe from disc 1 under Wine (scripts/demo-wine.sh): on your X display
# for you to use when there is one, else by itself on an Xvfb display of its
# own, with screenshots and an animation of the install in build/demo/.
# KSETUP_USE_DISPLAY=0 asks for the unattended run also when a display is
# there. Installs what it needs first.
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
  step "The disc set, checked from its images"
  "$tool" disc list "$discs/disc1.iso"
  "$tool" script check "$discs/disc1.iso" --disc "$discs/disc1.iso" --disc "$discs/disc2.iso"
}

# One frame per progress value: 0 to 100 % in steps of 10, the completion
# step (1010) and the first tick after it (1020, with the finish picture).
# Half a second a tick, so that the lantern, which rises with the clock,
# is seen to move.
demo_scene() {
  step "Install scene"
  mkdir -p "$frames"
  rm -f "$frames"/scene-*.png
  "$tool" scene render "$discs/disc1" --size 1024x768 \
    --values 0,100,200,300,400,500,600,700,800,900,1000,1010,1020 \
    --tick-ms 500 --finish --out "$frames/scene"
}

# The real program under Wine: on the display there is, or unattended.
demo_wine() {
  wine_mode=$(bash scripts/demo-wine.sh which)
  if [ "$wine_mode" = display ]; then
    step "KSetup.exe under Wine, on your display $DISPLAY"
  else
    step "KSetup.exe under Wine, unattended (Xvfb display of its own)"
  fi
  bash scripts/demo-wine.sh "$wine_mode"
}

demo_summary() {
  step "Done"
  echo "Sample project:    $discs/project (made into discs by ksetup-tool disc build)"
  echo "Sample discs:      $discs/disc1, $discs/disc2"
  echo "Disc images:       $discs/disc1.iso, $discs/disc2.iso"
  echo "Install scene:     $frames/scene-000.png ... $frames/scene-012.png" \
       "(0 %, 10 %, ... 100 %, completion, finish)"
  echo "Setup program:     $discs/disc1/KSetup.exe"
  if [ "$wine_mode" = display ]; then
    echo "Under Wine:        bash scripts/demo-wine.sh opens the launcher again (the"
    echo "                   Wine prefix build/demo/prefix keeps the installation)."
    echo "                   When the install asks for disc 2, in another terminal:"
    echo "                       bash scripts/swap-disc.sh 2"
    echo "                   then OK."
  else
    echo "Under Wine:        $frames/01-launcher.png ... $frames/10-uninstall-done.png," \
         "$frames/install.gif"
  fi
  echo "Took $((SECONDS / 60)) min $((SECONDS % 60)) s."
}

demo_prepare
demo_discs
demo_check
demo_scene
demo_wine
demo_summary

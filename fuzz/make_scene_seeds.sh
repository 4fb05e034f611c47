#!/bin/bash
# Writes the seed inputs of fuzz_scene into fuzz/corpus/scene: small scenes
# in the layout fuzz_scene.cpp reads (header, ticks, script, pictures), with
# the EPA seed pictures of fuzz/corpus/epa and raw pixel strips.
set -euo pipefail
cd "$(dirname "$0")"
out=corpus/scene
mkdir -p "$out"

perl - "$out" <<'PERL'
use strict;
my $out = shift;
sub slurp { local $/; open my $f, '<:raw', $_[0] or die "$_[0]: $!"; my $d = <$f>; close $f; $d }
# header: width, height, flags, clock start, tick count
sub header { my ($w, $h, $flags, $clock, $ticks) = @_; pack('CCCVC', $w - 1, $h - 1, $flags, $clock, $ticks) }
# ticks: [op, value, clock step]
sub ticks { join '', map { pack('CvC', $_->[0], $_->[1], $_->[2]) } @_ }
sub epa { my $d = slurp("corpus/epa/$_[0]"); pack('Cv', 0, length $d) . $d }
# raw strip: width x height pixels, each row a shade, opaque or half
sub raw {
  my ($w, $h, $alpha) = @_;
  my $d = pack('CC', $w, $h);
  for my $r (0 .. $h - 1) { $d .= pack('V', ($alpha << 24) | ($r * 0x030507)) x $w }
  pack('Cv', 1, length $d) . $d;
}
sub missing { pack('Cv', 2, 0) }
sub seed {
  my ($name, @parts) = @_;
  open my $f, '>:raw', "$out/$name" or die; print $f join('', @parts); close $f;
}
my @progress = map { [0, $_ * 50, 12] } 0 .. 20;

# Pictures by the first letter of a name (code % 4): D 0, A 1, B 2, C 3.
seed('sample-like.bin', header(48, 40, 0, 1000, scalar @progress), ticks(@progress),
  "BACK \"A.EPA\" 0 0 STRETCH_DESKTOP\r\nBASE \"B.EPA\" 0 0 32 24 CENTER_DESKTOP\r\n" .
  "WRITE \"C.EPA\" 2 2 10 NORMAL\r\nELEMENT \"A.EPA\" 4 4 0 50 NORMAL\r\n" .
  "PROGRESSBAR \"D.EPA\" 1 20 30 0 0 100 DIRECTION_RIGHT\r\n" .
  "SPRITE1 \"C.EPA\" 4 0 10 30 0 0 100 20 NORMAL\r\n" .
  "SPRITE2 \"C.EPA\" 4 20 20 3 -4 10 INFINITE 50 200 100 NORMAL\r\n" .
  "FINISH \"A.EPA\" 2 2 NORMAL\r\n\0",
  epa('palette-16x12.epa'), epa('alpha-20x8.epa'), raw(30, 3, 0x80), raw(6, 16, 0xFF));

seed('bars.bin', header(40, 30, 1, 0xFFFFF000, 6),
  ticks([0, 0, 10], [0, 300, 10], [0, 700, 10], [0, 1000, 10], [1, 0, 10], [2, 0, 10]),
  "PROGRESSBAR \"D\" 0 0 20 0 0 100 DIRECTION_LEFT\nPROGRESSBAR \"D\" 0 5 0 20 0 100 DIRECTION_UP\n" .
  "PROGRESSBAR \"D\" 0 10 20 20 0 100 DIRECTION_RIGHTDOWN\nPROGRESSBAR \"D\" 0 15 20 0 50 50 DIRECTION_RIGHT\n" .
  "PROGRESSBAR \"A\" 0 20 20 0 0 100 SMALL\n\0",
  raw(24, 4, 0xFF), missing());

seed('sprites-wrap.bin', header(32, 32, 2, 0xFFFFFF00, 8),
  ticks([0, 100, 100], [0, 200, 250], [0, 400, 20], [4, 500, 20], [0, 600, 253], [3, 0, 20], [0, 900, 255], [2, 0, 1]),
  "SPRITE1 \"A\" 5 -2 -2 40 40 0 TO_FINISH 0 NORMAL\nSPRITE1 \"A\" 0 2 2 0 0 0 0 0 NORMAL\n" .
  "SPRITE2 \"B\" 7 1 1 100 100 0 0 0 0 0 NORMAL\nSPRITE2 \"B\" 3 30 30 -5 0 0 INFINITE 10 0 10 NORMAL\n" .
  "ELEMENT \"A\" 0 0 AFTER_FINISH AFTER_FINISH NORMAL\nFINISH \"B\" 0 0 STRETCH_DESKTOP\n\0",
  raw(8, 17, 0xFF), raw(5, 20, 0x40));

seed('stage-off-surface.bin', header(16, 12, 0, 0, 4),
  ticks([0, 0, 1], [8, 0xFFFF, 1], [0, 1000, 1], [3, 0, 1]),
  "BASE \"A\" 40 -10 100 100 NORMAL\nBASE \"A\" 0 0 200 2 CENTER_DESKTOP\nWRITE \"B\" -3 -3 0 NORMAL\n" .
  "ELEMENT \"B\" 10 10 0 TO_FINISH NORMAL\nFINISH \"A\" 0 0 NORMAL\n\0",
  epa('one-pixel.epa'), epa('narrow-2x30.epa'));
# More separate rectangles in one tick than the dirty list holds: 256 one-pixel
# WRITE pictures two pixels apart.
my $writes = join '', map { sprintf("WRITE \"A\" %d %d 0 NORMAL\n", 2 * ($_ % 32), 2 * int($_ / 32)) } 0 .. 255;
seed('full-dirty-list.bin', header(64, 64, 0, 0, 1), ticks([0, 0, 1]), "$writes\0",
  raw(1, 1, 0xFF), epa('one-pixel.epa'));
PERL
ls -l "$out"

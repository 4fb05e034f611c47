#!/usr/bin/perl
# make_title.pl OUT [WIDTH HEIGHT]: draws a test picture (default 320 x 320)
# as a plain bitmap, a 54-byte header followed by 32-bit bottom-up pixels,
# opaque. Navy to teal from top to bottom, a light disc in the middle, a red
# square in the top-left corner and a yellow one in the bottom-right, and a
# white frame, so that orientation, placement and edges can be seen.
use strict;
use warnings;

my ($out, $w, $h) = @ARGV;
die "usage: make_title.pl OUT [WIDTH HEIGHT]\n" unless $out;
$w ||= 320;
$h ||= 320;

sub colour {
  my ($x, $y) = @_;    # y from the top
  return (255, 255, 255) if $x < 2 || $y < 2 || $x >= $w - 2 || $y >= $h - 2;
  return (220, 30, 30) if $x >= 8 && $x < 48 && $y >= 8 && $y < 48;
  return (240, 220, 40) if $x >= $w - 48 && $x < $w - 8 && $y >= $h - 48 && $y < $h - 8;
  my ($cx, $cy) = ($w / 2, $h / 2);
  my $r = sqrt(($x - $cx) ** 2 + ($y - $cy) ** 2);
  my $m = ($w < $h ? $w : $h) / 2;
  return (200, 210, 230) if $r < $m * 0.6 && $r > $m * 0.15;
  my $t = $y / ($h - 1);
  return (int(20 + 10 * $t), int(30 + 120 * $t), int(90 + 60 * $t));
}

my $pixels = '';
for (my $y = $h - 1; $y >= 0; $y--) {
  for my $x (0 .. $w - 1) {
    my ($r, $g, $b) = colour($x, $y);
    $pixels .= pack('C4', $b, $g, $r, 255);
  }
}
my $fileHeader = pack('a2 V v v V', 'BM', 54 + length($pixels), 0, 0, 54);
my $infoHeader = pack('V l< l< v v V V l< l< V V', 40, $w, $h, 1, 32, 0, length($pixels), 0, 0, 0, 0);
open(my $fh, '>:raw', $out) or die "$out: $!\n";
print $fh $fileHeader, $infoHeader, $pixels;
close($fh) or die "$out: $!\n";

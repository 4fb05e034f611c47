#!/usr/bin/perl
# make_icon.pl OUT.ico: draws the program's icon, a compact disc seen from
# above (silver with a coloured sheen, a clear centre hole), at 16 and 32
# pixels with an alpha channel, and writes it as an icon file.
use strict;
use warnings;

my $out = shift or die "usage: make_icon.pl OUT.ico\n";
my @sizes = (16, 32);

# One BGRA pixel of the disc at (x, y) in an n x n image, y counted from the top.
sub pixel {
  my ($n, $x, $y) = @_;
  my $c = ($n - 1) / 2;
  my ($dx, $dy) = ($x - $c, $y - $c);
  my $r = sqrt($dx * $dx + $dy * $dy) / ($n / 2);
  return (0, 0, 0, 0) if $r > 1.0 || $r < 0.16;
  my $edge = ($r > 0.94 || ($r < 0.36 && $r > 0.30)) ? 1 : 0;
  # Hue from the angle gives the sheen; the base is a light silver.
  my $a = atan2($dy, $dx);
  my @rgb = map { 190 + 55 * sin($a * 2 + $_) } (0, 2.1, 4.2);
  @rgb = map { $_ * 0.55 } @rgb if $edge;
  @rgb = (235, 235, 240) if !$edge && $r < 0.30;    # the clear hub
  my @clamped = map { my $v = int($_ + 0.5); $v < 0 ? 0 : $v > 255 ? 255 : $v } @rgb;
  return ($clamped[2], $clamped[1], $clamped[0], 255);
}

my @images;
for my $n (@sizes) {
  my $pixels = '';
  for (my $y = $n - 1; $y >= 0; $y--) {    # bottom-up rows
    $pixels .= pack('C4', pixel($n, $_, $y)) for 0 .. $n - 1;
  }
  my $maskRow = int(($n + 31) / 32) * 4;
  my $mask = '';
  for (my $y = $n - 1; $y >= 0; $y--) {
    my $bits = '';
    for my $x (0 .. $n - 1) { $bits .= (pixel($n, $x, $y))[3] ? '0' : '1'; }
    $bits .= '0' x ($maskRow * 8 - $n);
    $mask .= pack('B*', $bits);
  }
  my $header = pack('V l< l< v v V V l< l< V V', 40, $n, 2 * $n, 1, 32, 0, length($pixels) + length($mask), 0, 0, 0, 0);
  push @images, $header . $pixels . $mask;
}

my $data = pack('v v v', 0, 1, scalar @images);
my $offset = 6 + 16 * @images;
for my $i (0 .. $#images) {
  my $n = $sizes[$i];
  $data .= pack('C C C C v v V V', $n, $n, 0, 0, 1, 32, length($images[$i]), $offset);
  $offset += length($images[$i]);
}
$data .= $_ for @images;
open(my $fh, '>:raw', $out) or die "$out: $!\n";
print $fh $data;
close($fh) or die "$out: $!\n";

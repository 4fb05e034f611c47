#!/bin/sh
# to_cp932.sh IN.rc OUT.rc: converts the UTF-8 resource script to code page
# 932 for the resource compiler. A double-byte character whose second byte is
# 0x5C (the backslash, as in 表 or ソ) gets that byte doubled, so that the
# compiler's escape handling reads it back as the plain byte.
set -e
iconv -f UTF-8 -t CP932 "$1" |
  perl -e 'binmode STDIN; binmode STDOUT; local $/; my $t = <STDIN>;
           $t =~ s/([\x81-\x9F\xE0-\xFC][\x40-\x7E\x80-\xFC]|[\x00-\xFF])/
                   length($1) == 2 && substr($1, 1) eq "\\" ? "$1\\" : $1/ge;
           print $t' > "$2.tmp"
mv "$2.tmp" "$2"

// Shift-JIS (code page 932) text, the one place that knows how its
// characters are built. Scripts, archives and every name the program handles
// are bytes of this code page: a lead byte (0x81-0x9F, 0xE0-0xFC) starts a
// character of two bytes whose second byte may be a backslash (0x5C, as in
// ソ or 表) or an ASCII letter (as in ア, 0x83 0x41). Everything that splits,
// trims, joins, compares or folds a name steps by character through here, so
// that such a second byte is never taken for a separator or a letter.
#pragma once

#include <cstddef>

// True for a byte that starts a double-byte character.
bool sjisIsLeadByte(unsigned char c);

// Bytes of the character at `s`: 2 for a lead byte followed by a byte that is
// not the end of the text, 1 otherwise (also for the terminating zero).
size_t sjisCharLength(const char* s);

// Offset of the first / last character of `s` that is one of the ASCII bytes
// in `set` (a character of its own, not the second byte of a double-byte
// one), or -1.
ptrdiff_t sjisFindFirstOf(const char* s, const char* set);
ptrdiff_t sjisFindLastOf(const char* s, const char* set);

// Bytes of the part of `s` before its first character that is one of the
// ASCII bytes in `set` (all of `s` when it has none): a path's next name.
size_t sjisPartLength(const char* s, const char* set);

// True when the last character of `s` is one of the ASCII bytes in `set`.
bool sjisEndsWithOneOf(const char* s, const char* set);
// Removes one last character when it is one of the ASCII bytes in `set`;
// true when it did.
bool sjisDropLastOf(char* s, const char* set);

// The part of `s` after its last backslash (all of `s` when it has none).
const char* sjisAfterLastBackslash(const char* s);

// Appends `text` to the zero-terminated `out` of `size` bytes. False, with
// `out` unchanged, when the whole would not fit.
bool sjisAppend(char* out, size_t size, const char* text);
// out = a, a backslash, b (the backslash left out when `a` is empty or
// already ends with one, or `b` is empty). False, with `out` emptied, when it
// does not fit in `size` bytes.
bool sjisJoin(char* out, size_t size, const char* a, const char* b);

// The character at `s` as one number folded to upper case the way a Japanese
// system compares names without regard to case: ASCII a-z, and the
// full-width Latin, Greek and Cyrillic small letters; every other character,
// and never a byte inside a double-byte character, unchanged. *length
// receives the character's bytes.
unsigned sjisFoldedChar(const char* s, size_t* length);
// Compares two names character by character on their folded values: <0, 0
// or >0. Equal names differ at most in the case of their letters.
int sjisCompareNoCase(const char* a, const char* b);
bool sjisSameNoCase(const char* a, const char* b);

// The form of a path under which two paths that name the same thing on
// Windows are equal: every character folded as sjisFoldedChar folds it,
// every run of the separators in `set` one backslash, none at either end.
// Written to `out` of `size` bytes; false, with `out` emptied, when it does
// not fit (the form is never longer than the path).
bool sjisFoldPath(const char* path, const char* set, char* out, size_t size);

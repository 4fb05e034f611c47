// Where installed files go and which names may be used there: the rules the
// copy of a disc and the removal of installed files share. Names are Shift-JIS
// text (platform/sjis.h); a folder may be separated by a backslash or a slash.
#pragma once

#include <cstddef>

// The folder the game is (being) installed in; 259 bytes and a zero.
extern char installFolder[260];

// An install folder the program may write and delete in: shorter than 260
// bytes, rooted (a drive "X:\", a network share "\\server\share", or a POSIX
// path "/...") and naming a folder below that root, not the root itself.
bool folderIsUsable(const char* folder);
// A relative path from a file list, save-data list or makeFolder list that
// stays below the folder it is joined to: not empty, no colon (drive or
// stream), no component made of dots but ".", not starting with two
// separators. One leading separator is allowed: it is a doubled separator
// once joined.
bool entryIsSafe(const char* entry);
// True when the entry holds `*` or `?` anywhere.
bool entryIsPattern(const char* entry);
// The folder part of a pattern: the text before its last separator, empty
// when that is the first character or there is none. `out` holds 260 bytes.
void patternFolderPart(const char* entry, char* out);
// True when a name a folder search returned is one the entry's last component
// matches by itself: `*` any run, `?` one character (a run of `?` before a
// dot or the end also none), letters without regard to case, "*.*" every
// name, a trailing ".*" also names without an extension. Searches on Windows
// also match short 8.3 aliases, which the copy and the removal must not act
// on. A double-byte character counts as one.
bool nameMatchesPattern(const char* entry, const char* name);
// Joins folder and parts into `out` (260 bytes) as "a\b\c" (second and third
// may be null). False, with `out` emptied, when the folder is not usable, a
// part is not safe or the result does not fit.
bool installPath(char* out, const char* folder, const char* part, const char* name);
// The same on a disc: the root ("E:\") is followed directly by the parts.
bool discPath(char* out, const char* root, const char* part, const char* name);
// The same path with each run of backslashes after its start made one (a
// game folder name that begins with a backslash doubles one); the two of a
// network path's start stay. For paths handed to the shell, whose item lists
// take an empty name for the doubled backslash.
void collapseSeparators(char* path);
// The root of the file system a rooted folder lies on: "D:\" for "D:\...",
// "\\server\share\" for a share, "/" for a POSIX path. False otherwise.
bool driveRootOf(const char* folder, char* root, size_t size);
// The nearest level of `folder` that exists as a folder, `isFolder` telling
// which do: the folder itself, else its parents up to its root ("D:\",
// "\\server\share\", "/"), written to `out` (260 bytes) without a trailing
// separator unless it is the root. False, with `out` emptied, when the folder
// is not rooted or too long, or not even its root exists.
bool nearestExistingFolder(const char* folder, bool (*isFolder)(const char* path), char* out);
// Where Windows puts the files a program without a manifest of its own
// writes below a protected folder: the folder without its drive, below the
// user's VirtualStore folder ("D:\Games\X" -> "<store>\Games\X"), separators
// made single. A POSIX path is taken whole. True with an empty `out` (260
// bytes) when the folder has no such place (a network share); false when the
// folder is not usable or the place does not fit.
bool virtualStoreMirror(char* out, const char* store, const char* folder);

// Disc images where the tool takes discs: an ISO 9660 image (tools/lib/iso_image.h)
// stands for a drive letter as a disc folder does (mapDrive), so that the
// core's copy walk and the script check read "E:\DATA\音声\音声1.DAT" from the
// image exactly as from a folder, names matched as Windows matches them on a
// disc: by their Joliet names, without regard to case. Nothing is unpacked,
// except the few files the script loader reads by itself (scriptFolderOf).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "install/file_ops.h"

// Makes `hostPath` (a disc folder, or a disc image: a file) stand for drive
// `letter`; the program path of its root ("E:\"), or empty with *reason set.
std::string mapDisc(char letter, const std::string& hostPath, std::string* reason);
// Forgets every image mapped to a drive.
void unmapImageDrives();

// The file operations for reading discs: a path on a drive an image stands
// for is served from the image (read-only: every change fails), every other
// path by the platform's operations.
const FileOps* discFileOps();

enum DiscEntryKind { kNoEntry, kFileEntry, kFolderEntry };
// What a program path names, through discFileOps; *size receives a file's
// size (when `size` is not null).
DiscEntryKind discEntryKind(const std::string& programPath, uint64_t* size);

// The files a file list entry names on the disc at `root` ("E:\"): its file,
// or the files its pattern matches as the copy finds them (folders and names
// the program cannot use left out). Returns how many; *bytes receives their
// total size, *folders (when not null) how many folders the pattern matched,
// `paths` (when not null) each file's path below `root`, code page 932.
int entryFiles(const std::string& root, const std::string& entry, uint64_t* bytes, int* folders,
               std::vector<std::string>* paths);

// A program path as the user knows it: "IMAGE:DATA/音声/音声1.DAT" on an
// image, the host path otherwise.
std::string shownPath(const std::string& programPath);

// The script folder DIR of a command as a host folder the loader can enter:
// a folder is itself; an image gives a private temporary folder with copies
// of what the program reads from the root of disc 1 (KSetup.ini,
// Instdata.pak and the loose pictures, *.EPA and *.BMP), removed when the
// tool ends. False with *reason set.
bool scriptFolderOf(const std::string& dir, std::string* folder, std::string* reason);

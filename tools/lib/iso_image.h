// ISO 9660 disc images, through libisofs: the one place that calls it.
//
// A written image carries every name three ways: in its Joliet tree (UTF-16,
// the names as they are: what Windows reads, and so what KSetup.exe sees on
// the disc), in Rock Ridge entries (what Linux shows when it mounts the
// image) and as plain ISO 9660 level 2 names (upper case, cut by the
// library, for systems that know neither).
// An image is read back by its Joliet names, as Windows sees it (by its
// plain ISO 9660 names when it has no Joliet tree; Rock Ridge is never
// read), by a reader of our own (tools/lib/iso_read.cpp) that trusts nothing in
// the image: the tree is read once when the image is opened, bounded in
// depth, in entries and against loops, and every extent must lie inside the
// image, so that a damaged image is refused with a reason instead of
// hanging the tool or taking its memory.
//
// Names on this side are UTF-8; a path is relative to the image's root, with
// '/' between its parts and no '/' at either end ("" is the root).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---- Writing ------------------------------------------------------------------------

// Why the file `path` of a disc cannot be held by an image's Joliet tree as
// it is named (too long, too deep, a character Joliet does not allow or
// UTF-16 cannot hold without a pair); empty when it can.
std::string isoPathProblem(const std::string& path);
// Why `label` cannot be an image's volume label (Joliet holds 16
// characters); empty when it can.
std::string isoLabelProblem(const std::string& label);
// `label` cut to the characters a volume label holds.
std::string isoCutLabel(const std::string& label);

// The date of every image written from now on, in seconds since 1970 (UTC):
// its volume dates, the dates of its files and folders, and its volume
// identifier, so that the same folder gives the same bytes. Negative (the
// default): the time of writing.
void setIsoImageDate(int64_t date);

// A file the image holds beside the folder's (in the root).
struct IsoExtraFile {
  std::string name;
  std::string data;
};

// Called now and then while an image is written: bytes written, image size.
// Returning false stops the writing (the image is not made).
typedef bool (*IsoProgress)(void* context, uint64_t done, uint64_t total);

// Writes the whole tree of the host folder `folder`, and `extra` in its root,
// as the image `imagePath` with the volume label `label`. The image is
// written under a name of its own beside `imagePath` and takes that name
// only when it is complete: a failed or stopped write leaves nothing. False
// with a reason.
bool writeIsoImage(const std::string& folder, const std::vector<IsoExtraFile>& extra,
                   const std::string& label, const std::string& imagePath, IsoProgress progress,
                   void* context, std::string* error);

// ---- Reading ------------------------------------------------------------------------

// True when the host file `path` starts like an ISO 9660 image (a volume
// descriptor at byte 32768).
bool looksLikeIsoImage(const std::string& path);

struct IsoReader;      // an open image
struct IsoFileReader;  // a file of it open for reading

// Opens the image at the host path `path`; null with a reason.
IsoReader* openIsoImage(const std::string& path, std::string* error);
// The same over an image in memory, which must outlive the reader.
IsoReader* openIsoImageBytes(const void* bytes, size_t size, std::string* error);
void closeIsoImage(IsoReader* image);
// The label of the primary volume descriptor (plain ISO 9660 characters;
// anything else shown as '?').
std::string isoVolumeLabel(IsoReader* image);

struct IsoEntry {
  std::string name;
  bool isFolder;
  uint64_t size;  // 0 for a folder
};

// The entries of the folder `path`, as stored. False when there is no such
// folder.
bool listIsoFolder(IsoReader* image, const std::string& path, std::vector<IsoEntry>* entries);
// Every file and folder below the root, folders before what they hold, with
// their paths as names.
std::vector<IsoEntry> listIsoTree(IsoReader* image);

// The file `path` for reading from its start; null when there is no such
// file. One file of an image is open at a time.
IsoFileReader* openIsoFile(IsoReader* image, const std::string& path);
uint64_t isoFileSize(IsoFileReader* file);
// Reads up to `bytes` bytes; *got receives how many (less only at the end).
// False on a read error.
bool readIsoFile(IsoFileReader* file, void* buffer, uint32_t bytes, uint32_t* got);
void closeIsoFile(IsoFileReader* file);

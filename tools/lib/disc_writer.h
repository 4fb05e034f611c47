// Writing a laid-out disc set (tools/lib/disc_layout.h) into an output
// folder: OUT/discN folders (or OUT/merged, one folder for the merged set),
// and OUT/discN.iso images read back against what they should hold. A
// folder is replaced only when a build of the same project wrote it, and a
// stopped or failed write leaves no half set.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/lib/disc_layout.h"
#include "tools/lib/failure.h"
#include "tools/lib/iso_image.h"

// What a 700 MB CD-R holds.
static const uint64_t kCdBytes = 737280000ull;

// Called now and then while files are copied or an image is written: bytes
// done, bytes in all. Returning false stops the writing.
typedef bool (*WriteProgress)(void* context, uint64_t done, uint64_t total);

// Where a build writes.
struct DiscOutput {
  std::string out;      // the output folder, absolute
  std::string project;  // the project's folder, named in the folder's stamp
  bool merged = false;  // one folder, OUT/merged, for every disc
  // OUT/discN (disc counted from 0), or OUT/merged.
  std::string folder(size_t disc) const;
  std::string image(size_t disc) const;  // OUT/discN.iso
};

// Makes the output folder ready for `discs` discs: refused when it holds the
// discs of another project or disc folders no build wrote; everything an
// earlier build left there goes, and each disc gets an empty folder.
bool prepareOutput(const DiscOutput& output, size_t discs, Failure* failure);
// After a stop or a failed write: the disc folders and images go.
void removeOutputs(const DiscOutput& output, size_t discs);

// Writes the files of `disc` into `folder`; `progress` is told of the bytes
// copied, counted on from *done (of `total` for the whole set). False with
// the failure (a stop is one).
bool writeDiscFolder(const Disc& disc, const std::string& folder, uint64_t total, uint64_t* done,
                     WriteProgress progress, void* context, Failure* failure);

// The files an image of disc `d` holds beside its folder's: disc 1 gets an
// autorun.inf that starts KSetup.exe unless it has one of its own.
std::vector<IsoExtraFile> imageExtras(const Disc& disc, size_t d);
// Writes the image of disc `d` from its folder. False with the failure.
bool writeDiscImage(const DiscOutput& output, const Disc& disc, size_t d,
                    const std::vector<IsoExtraFile>& extra, WriteProgress progress, void* context,
                    Failure* failure);
// Reads the image of disc `d` back: it must hold the disc's files and
// `extra`, by their names and sizes; *files receives how many it holds. An
// image that differs is removed; false with the failure.
bool checkDiscImage(const DiscOutput& output, const Disc& disc, size_t d,
                    const std::vector<IsoExtraFile>& extra, size_t* files, Failure* failure);

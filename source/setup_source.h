// Where the setup data of an install comes from: the program's own file, and
// the Setup script, the Package descriptor and the payload either in the
// folder beside it or in the bundle that the program carries after its
// sections (see bundle_format.h): found, held, checked and decoded here.
// Start-up fills in one SetupSource; the script reader, the plan and the
// payload phase read it.
#ifndef SOURCE_SETUP_SOURCE_H
#define SOURCE_SETUP_SOURCE_H

#include "base/machine_info.h"
#include "source/bundle_format.h"

#include <windows.h>

struct XmlDocument;  // the XML engine's tree; only its address is kept here

// The program's own file as a bundle. Everything of the bundle is read
// through `file`, which is held without write or delete sharing for the
// whole run: the file cannot be changed, renamed or replaced meanwhile, not
// even while an elevated copy that this run started reads it.
struct SetupBundle {
    HANDLE file;         // null when there is none
    uint32_t dataStart;  // the file offset of the data
    BundleHeader header;
    BundleIndex index;
};

enum { SETUP_HELD_FILES = 2 };  // the script and the descriptor of a bundle

struct SetupSource {
    int bundled;                    // the data comes from the program's own file
    char program[MAX_PATH];         // the running program's file
    char folder[MAX_PATH];          // its folder; for a bundle the private folder the
                                    // script and the descriptor are decoded into
    char scriptPath[MAX_PATH];      // "" while not found
    char descriptorPath[MAX_PATH];  // "" while not found
    int xmlDescriptor;              // the descriptor's form
    XmlDocument *document;          // the XML-form descriptor, parsed
    MachineInfo machine;            // the system language that picks the script's strings
    SetupBundle bundle;
    HANDLE held[SETUP_HELD_FILES];  // bundle: its decoded files, held open for the run
                                    // without delete sharing
    HMODULE unicodeLayer;           // "unicows.dll" on Windows 9x, from the folder or bundle
    int programUnnamed;             // no ANSI path names the program's file: its folder's
                                    // name has letters the code page lacks, and no short name
};

// Opens the program file `program` and reads whether it carries data after
// its sections: BUNDLE_NONE for a plain setup.exe (nothing stays open), or
// BUNDLE_FOUND with `bundle` holding the file and its header and index read
// through it. BUNDLE_REFUSED, logged with the offset of what failed, when
// the file cannot be read or held, or its header or index is refused.
enum { BUNDLE_REFUSED = -1, BUNDLE_NONE = 0, BUNDLE_FOUND = 1 };
int OpenProgramBundle(const char *program, SetupBundle *bundle);
// The program's own path into `path` (MAX_PATH characters), in an ANSI form
// that names exactly that file (see ReadProgramFile); 0 when it has none or
// does not fit. Kept apart so that tests can name another file.
int ReadProgramPath(char *path);
// 1 when `file` is the file the running program's image was mapped from:
// the same volume and file index. On Vista and later, where an elevated copy
// may run, 0 (logged) when that file cannot be named, opened or identified.
// Before Vista nothing but the user starts the program and no copy depends
// on another: 1.
int IsRunningImageFile(HANDLE file);
// The checksum over all the data, read in large blocks, and each file's
// frame header against its entry. 0, logged with the offset, on the first
// disagreement.
int CheckBundleData(const SetupBundle *bundle);
// 1 when the header of the frame of `entry` states the entry's size, no
// checksum of its own, no dictionary and a window of at most BUNDLE_MAX_WINDOW.
int IsFrameOfEntry(const SetupBundle *bundle, const BundleEntry *entry);
// Decodes the file of `entry` into a new file at `path`, checking as it goes
// that its frame is the one the entry describes, that it decodes to exactly
// the entry's size with the entry's content checksum, and that the frame
// ends where the entry says. Returns DECODE_DONE; DECODE_DAMAGED (logged)
// when the data is not what the entry says or cannot be read; DECODE_FAILED
// when the file cannot be written or the memory had. A file left half
// written is the caller's to delete.
enum { DECODE_FAILED = -1, DECODE_DAMAGED = 0, DECODE_DONE = 1 };
// The decoded bytes go to the file in pieces of at most this many, each
// written while it is still in the processor's cache: the system copies
// every written byte into the file's pages, which costs several times as
// much when the piece has left the cache. Measured on make bench-bundle's
// 1 GiB on two processors (pieces, frame reads and checksum blocks alike):
// 2.66 s of processor time per install with 256 KiB, 2.75 with 128 KiB
// (more calls), 2.73 with 512 KiB, 3.17 with 1 MiB.
enum { BUNDLE_WRITE_PIECE = 1 << 18 };
int DecodeBundleFile(const SetupBundle *bundle, const BundleEntry *entry, const char *path);
// Reads `length` bytes at `offset` (below 2^31) of the open file.
int ReadFileAt(HANDLE file, uint32_t offset, void *buffer, DWORD length);
// Closes the program file.
void CloseProgramBundle(SetupBundle *bundle);
// Decodes the files of `entries` into new files at `paths` (`count` of
// each) as DecodeBundleFile does, on NT with a thread for each further
// processor, up to BUNDLE_MAX_DECODERS in all (each decoder holds a frame's
// window, 8 MiB at most). 1 when every file decoded; after a failure the
// files not yet begun are not decoded.
enum { BUNDLE_MAX_DECODERS = 4 };
int DecodeBundleFiles(const SetupBundle *bundle, const BundleEntry *const *entries,
                      const char *const *paths, int count);
// Plans which of `threads` (1 to BUNDLE_MAX_DECODERS) decoding threads
// decodes which of `count` files of `sizes` bytes, given largest first, into
// `owner`: so that the threads' shares of the bytes, the time each will
// take, come as near to each other as whole files allow (each file to the
// thread with the least so far, then exchanges of files between the most and
// the least loaded thread while they bring the two nearer).
void PlanDecodingThreads(const uint32_t *sizes, int count, int threads, int *owner);

#endif

// Building a self-extracting archive: [stub][zero padding to a multiple of 12][directive record]
// [zero padding to a multiple of 12][run-after record][ZIP] (each record only when asked for), with the ZIP's offsets shifted so that they are absolute in the result, as the stub
// reads them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "engine_check.h"
#include "input_tree.h"
#include "output_file.h"
#include "publisher.h"
#include "signer.h"
#include "directive_writer.h"
#include "elevation.h"
#include "run_writer.h"
#include "deploy_writer.h"
#include "zip_scan.h"

// The stub looks for its directive record only at multiples of 12 bytes and only in the first
// 300000 bytes of its file: the record's 12-byte header must start at or before 299988.
constexpr uint64_t kDirectiveAlignment = 12;
constexpr uint64_t kDirectiveSearchSpan = 300000;
constexpr uint64_t kLastDirectiveOffset = kDirectiveSearchSpan - kDirectiveAlignment;
// The stub's file positions and the ZIP's offsets are 32-bit; 0xFFFFFFFF itself would read as
// the ZIP64 escape.
constexpr uint64_t kMaxOffset = 0xFFFFFFFEull;
constexpr uint64_t kMaxOutputSize = 0xFFFFFFFFull;

struct SfxLayout {
  uint64_t stubSize = 0;
  uint64_t padding = 0;
  uint64_t directiveOffset = 0;  // where a directive record starts: right after the padding
  uint64_t directiveSize = 0;
  uint64_t zipOffset = 0;  // what precedes the ZIP: every offset of the ZIP moves by this much
};

// Places stub, padding and directive record; refuses a stub that would push the directive
// record out of the stub's reach.
bool PlanLayout(uint64_t stubSize, uint64_t directiveSize, SfxLayout* layout, std::string* error);

// Copies input bytes [from, to) to the output, a chunk at a time.
bool CopyRange(InputFile& input, uint64_t from, uint64_t to, OutputFile& out, std::string* error);

// Rewrites the loaded directory and end record of zip so that every offset is absolute in an
// output where the archive proper (from zip.start) begins at zipOffset. Refuses an offset or an
// output size past the 32-bit limit; zip is unchanged then.
bool ShiftOffsets(ScannedZip* zip, uint64_t zipOffset, std::string* error);

// The stub architectures, and the one taken when none is named: i686 runs on every Windows.
constexpr const char* kArchI686 = "i686";
constexpr const char* kArchX86_64 = "x86_64";

struct BuildRequest {
  std::string output;
  std::string stub;
  // What goes in: an existing ZIP used as it is (archive), or folders and files made into a new
  // ZIP (inputs), filtered and packed as told.
  std::string archive;
  std::vector<std::string> inputs;
  std::vector<std::string> excludes;
  bool skipLinks = false;
  PackOptions pack;
  bool verify = true;  // test the result with the engine before it takes the output's name
  DirectiveOptions directives{};  // a record is written when directives.present
  RunAfterOptions runAfter{};     // a run-after record is written when it names a command
  DeployOptions deploy{};         // --switches, --temp: a deployment record
  std::string elevation = kElevationLevels[0];  // the rights the stub's manifest asks for
  std::optional<Signature> signature = std::nullopt;  // --sign: protect every entry and add the record
  PublisherOptions publisher{};  // the publisher's icon, version information and title

  // Settings of the command line that the build itself does not read.
  std::string arch = kArchI686;  // of the default stub
  bool quiet = false;
  bool askPassword = false;
  std::string passwordFile;
  bool levelGiven = false;
  bool methodGiven = false;
  bool encryptionGiven = false;
  std::optional<std::string> signName, signNumber, signText;
  std::string shown;  // --show: describe this self-extracting archive instead of building
  std::string span;   // --span SIZE: a set of disks instead of one program
};

// What a build reports while it runs: the bytes it will read, each entry's share, then the
// engine's test.
struct BuildProgress {
  std::function<void(uint64_t total)> start;
  ProgressCallback advance;
  std::function<void()> testing;  // the engine's test of the result begins
};

struct BuildResult {
  SfxLayout layout;
  // Bytes of the input that are not part of the archive and are left out: before its first
  // entry, between its directory and its end record, after its comment.
  uint64_t droppedPrefix = 0;
  uint64_t droppedGap = 0;
  uint64_t droppedTrailer = 0;
  int64_t base = 0;             // what the input's offsets counted from (see ScannedZip)
  uint64_t outputSize = 0;
  // A new ZIP: what went in, what was left out, and how it packed.
  PackSummary pack;
  std::vector<std::string> skipped;
  // The folders had subfolders and no choice was given: the dialog opens recreating them.
  bool subdirectoriesByDefault = false;
  // The engine's test of the result, when it ran.
  bool checked = false;
  EngineCheck check;
};

// Checks everything first and writes only then, under a temporary name that is renamed onto
// request.output when complete: a refusal or a failure leaves no output and keeps whatever file
// request.output named before.
bool BuildSfx(const BuildRequest& request, BuildResult* result, std::string* error,
              const BuildProgress& progress = BuildProgress());

// Whether a single input is a ZIP to be used as it is: not a folder, and a name ending in ".zip",
// or in ".exe" for a program that holds an end record (an earlier self-extracting archive).
bool IsZipInput(const std::string& path);

// Where the default stub of arch may be, in the order to try: an installation's
// ../share/vespa/ARCH/vespa-sfx.exe from the directory of programPath, the one the build names
// (compiledDefault, may be null or empty), then the stub a build tree keeps at
// ../../win32/bin/ (i686) or ../../win64/bin/ (x86_64).
std::vector<std::string> DefaultStubCandidates(const char* compiledDefault,
                                               const std::string& programPath,
                                               const std::string& arch = kArchI686);

// The ZIP alone that a build of request.inputs would put behind the stub, written to staged under
// a temporary name in the temporary directory (removed when staged goes), for the writers that
// take an existing ZIP (a spanned set).
bool StageZip(const BuildRequest& request, OutputFile* staged, std::string* error);

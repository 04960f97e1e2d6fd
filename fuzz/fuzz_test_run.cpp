// A whole test run over arbitrary bytes as the archive, as vespa-console makes it: the session
// opens it, archives whose entries share their data are refused (one such input would decode
// gigabytes and stall the fuzzer), the run tests every entry (decoding, decryption with a known
// password, CRC checks) and checks the authenticity record. Nothing is written and no question
// waits for an answer.
#include <cstddef>
#include <cstdint>

#include "app/session.h"
#include "fuzz_support.h"
#include "zip/overlaps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::WriteScratchFile("archive.zip", data, size);
  fuzz::SilentFrontEnd front;
  fuzz::NoQuestions callbacks("senha");
  Session session(front, &callbacks);
  session.reporter.setProgressWindow(&front);
  if (!session.open(path.c_str()).ok()) return 0;
  if (!CheckEntryOverlaps(session.archive).ok()) return 0;

  RunRequest request;
  request.options.command = kCommandTest;
  request.options.Password = true;
  // A second pass walks the entries backwards by size: another order over the same reader.
  RunCommand(session, request);
  request.options.SortExtract = static_cast<SortKey>(kSortSize + kSortDescending);
  RunCommand(session, request);
  return 0;
}

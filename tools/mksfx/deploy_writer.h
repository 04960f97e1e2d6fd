// The deployment record the builder stores after the run-after record: whether the stub reads
// its command line (--switches) and whether it runs its run-after program from a temporary
// folder of its own (--temp).
#pragma once

#include <cstdint>
#include <vector>

struct DeployOptions {
  bool switches = false;
  bool temporaryFolder = false;  // implies switches: /S must be able to hide it
  bool present() const { return switches || temporaryFolder; }
};

// Appends the record to records (the directive and run-after records, which start at a
// multiple of 12 bytes), after zero padding to the next multiple of 12; nothing without options.
void AppendDeployRecord(const DeployOptions& options, std::vector<uint8_t>* records);

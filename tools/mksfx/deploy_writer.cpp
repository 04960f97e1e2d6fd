#include "deploy_writer.h"

#include "extract/crc32.h"
#include "shell/deploy_record.h"
#include "shell/directive_record.h"
#include "zip/byte_reader.h"

void AppendDeployRecord(const DeployOptions& options, std::vector<uint8_t>* records) {
  if (!options.present()) return;
  records->resize((records->size() + kDirectiveAlignmentBytes - 1) / kDirectiveAlignmentBytes *
                      kDirectiveAlignmentBytes,
                  0);
  uint8_t record[kDeployRecordSize] = {};
  putLe32(record, kDeployRecordSignatureLow);
  putLe32(record + 4, kDeployRecordSignatureHigh);
  putLe16(record + kDeployRecordVersion, kDeployRecordVersionValue);
  uint16_t flags = kDeploySwitches;
  if (options.temporaryFolder) flags |= kDeployTemporaryFolder;
  putLe16(record + kDeployRecordFlags, flags);
  putLe32(record + kDeployRecordCrc,
          Crc32Update(0, record + kDeployRecordCrcFrom, kDeployRecordCrc - kDeployRecordCrcFrom));
  records->insert(records->end(), record, record + kDeployRecordSize);
}

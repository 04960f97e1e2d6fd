// One AES-encrypted entry over arbitrary bytes: its 0x9901 field and the salt, verifier,
// enciphered data and authentication code around it, wrapped in a well-formed archive and
// tested with the targets' password "senha" as a run does (field checks, key derivation,
// the stream, the decoder behind it, the code and CRC checks).
//
// Input: a flags byte (bit 0: the target puts the right verifier for the input's salt, so that
// mutations reach the data and the code instead of stopping at the password; bit 1: the field
// goes into the local header alone; bit 2: a data descriptor flag), the field's length (mod 32)
// and bytes, the uncompressed size (mod 1 MiB) and CRC as stored, then the entry's data.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/session.h"
#include "extract/aes.h"
#include "fuzz_support.h"
#include "zip/byte_reader.h"
#include "zip/records.h"

namespace {

void Put16(std::string& s, uint16_t v) { s += static_cast<char>(v), s += static_cast<char>(v >> 8); }
void Put32(std::string& s, uint32_t v) { Put16(s, static_cast<uint16_t>(v)), Put16(s, static_cast<uint16_t>(v >> 16)); }

std::string Archive(uint16_t flags, const std::string& localExtra, const std::string& centralExtra,
                    uint32_t crc, uint32_t size, const std::string& data) {
  const std::string name = "f.txt";
  std::string zip;
  auto shared = [&](std::string& s, const std::string& extra) {
    Put16(s, kAesVersionNeeded);
    Put16(s, flags);
    Put16(s, kMethodAes);
    Put32(s, 0x5A2B6000);
    Put32(s, crc);
    Put32(s, static_cast<uint32_t>(data.size()));
    Put32(s, size);
    Put16(s, static_cast<uint16_t>(name.size()));
    Put16(s, static_cast<uint16_t>(extra.size()));
  };
  Put32(zip, kLocalHeaderSignature);
  shared(zip, localExtra);
  zip += name + localExtra + data;
  const uint32_t directory = static_cast<uint32_t>(zip.size());
  Put32(zip, kCentralHeaderSignature);
  Put16(zip, 20);
  shared(zip, centralExtra);
  Put16(zip, 0);  // comment
  Put16(zip, 0);  // disk
  Put16(zip, 0);  // internal attributes
  Put32(zip, 0x20);
  Put32(zip, 0);  // local header offset
  zip += name + centralExtra;
  const uint32_t directorySize = static_cast<uint32_t>(zip.size()) - directory;
  Put32(zip, kEndRecordSignature);
  Put16(zip, 0), Put16(zip, 0), Put16(zip, 1), Put16(zip, 1);
  Put32(zip, directorySize);
  Put32(zip, directory);
  Put16(zip, 0);
  return zip;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteReader in(data, size);
  const uint8_t* header = in.current();
  if (!in.skip(2)) return 0;
  const uint8_t mode = header[0];
  ByteReader fieldBytes = in.sub(header[1] % 32);
  if (fieldBytes.failed()) return 0;
  const uint32_t uncompressed = in.u32() % (1u << 20);
  const uint32_t crc = in.u32();
  if (in.failed()) return 0;
  std::string entryData(reinterpret_cast<const char*>(in.current()), in.remaining());

  std::string field;
  Put16(field, kAesExtraId);
  Put16(field, static_cast<uint16_t>(fieldBytes.remaining()));
  field.append(reinterpret_cast<const char*>(fieldBytes.current()), fieldBytes.remaining());

  AesParameters aes;
  if ((mode & 1) && ParseAesField(reinterpret_cast<const uint8_t*>(field.data()), field.size(), &aes) ==
                        AesField::kValid &&
      entryData.size() >= aes.saltSize() + kAesVerifierSize) {
    AesKeys keys;
    if (DeriveAesKeys("senha", 5, reinterpret_cast<const uint8_t*>(entryData.data()), aes, &keys)) {
      entryData.replace(aes.saltSize(), kAesVerifierSize,
                        reinterpret_cast<const char*>(keys.verifier), kAesVerifierSize);
    }
  }
  const uint16_t flags = kFlagEncrypted | ((mode & 4) ? kFlagDataDescriptor : 0);
  const std::string zip = Archive(flags, field, (mode & 2) ? "" : field, crc, uncompressed, entryData);
  const std::string path = fuzz::WriteScratchFile("aes.zip", reinterpret_cast<const uint8_t*>(zip.data()),
                                                  zip.size());
  fuzz::SilentFrontEnd front;
  fuzz::NoQuestions callbacks("senha");
  Session session(front, &callbacks);
  session.reporter.setProgressWindow(&front);
  if (!session.open(path.c_str()).ok()) return 0;
  RunRequest request;
  request.options.command = kCommandTest;
  request.options.Password = true;
  RunCommand(session, request);
  return 0;
}

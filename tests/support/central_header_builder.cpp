#include "central_header_builder.h"

CentralHeaderBytes::CentralHeaderBytes(const CentralHeaderSpec& spec)
    : bytes_(kCentralHeaderSize + spec.name.size()) {
  uint8_t* p = bytes_.data();
  putLe32(p, kCentralHeaderSignature);
  putLe16(p + 4, spec.versionMadeBy);
  putLe16(p + 6, spec.versionNeeded);
  putLe16(p + 8, spec.flags);
  putLe16(p + 10, spec.method);
  putLe32(p + 12, spec.dosDateTime);
  putLe32(p + 16, spec.crc32);
  putLe32(p + 20, spec.compressedSize);
  putLe32(p + 24, spec.uncompressedSize);
  putLe16(p + 28, static_cast<uint16_t>(spec.name.size()));
  putLe16(p + 30, 0);  // extra field
  putLe16(p + 32, 0);  // comment
  putLe16(p + 34, 0);  // disk
  putLe16(p + 36, spec.internalAttributes);
  putLe32(p + 38, spec.externalAttributes);
  putLe32(p + 42, spec.localHeaderOffset);
  for (size_t i = 0; i < spec.name.size(); ++i) p[kCentralHeaderSize + i] = static_cast<uint8_t>(spec.name[i]);
}

CentralHeaderSpec EntryNamed(const std::string& name) {
  CentralHeaderSpec spec;
  spec.name = name;
  return spec;
}

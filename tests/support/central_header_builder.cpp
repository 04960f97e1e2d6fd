#include "central_header_builder.h"

CentralHeaderBytes::CentralHeaderBytes(const CentralHeaderFields& fields)
    : bytes_(kCentralHeaderSize + fields.name.size()) {
  uint8_t* p = bytes_.data();
  putLe32(p, kCentralHeaderSignature);
  putLe16(p + 4, fields.versionMadeBy);
  putLe16(p + 6, fields.versionNeeded);
  putLe16(p + 8, fields.flags);
  putLe16(p + 10, fields.method);
  putLe32(p + 12, fields.dosDateTime);
  putLe32(p + 16, fields.crc32);
  putLe32(p + 20, fields.compressedSize);
  putLe32(p + 24, fields.uncompressedSize);
  putLe16(p + 28, static_cast<uint16_t>(fields.name.size()));
  putLe16(p + 30, 0);  // extra field
  putLe16(p + 32, 0);  // comment
  putLe16(p + 34, 0);  // disk
  putLe16(p + 36, fields.internalAttributes);
  putLe32(p + 38, fields.externalAttributes);
  putLe32(p + 42, fields.localHeaderOffset);
  for (size_t i = 0; i < fields.name.size(); ++i) p[kCentralHeaderSize + i] = static_cast<uint8_t>(fields.name[i]);
  uint32_t size = 0;
  ParseCentralHeader(bytes_.data(), bytes_.size(), &header_, &size);
}

CentralHeaderFields EntryNamed(const std::string& name) {
  CentralHeaderFields fields;
  fields.name = name;
  return fields;
}

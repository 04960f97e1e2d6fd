#include "app/console/setup_listing.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/console/terminal.h"
#include "extract/aes.h"
#include "zip/archive_state.h"
#include "shell/run_after.h"
#include "shell/setup_directives.h"

namespace {

void Field(const char* label, const std::string& value) {
  TerminalWrite(stdout, (std::string(label) + value + "\n").c_str());
}

// A name block as its items, separated by " | " as the record stores them.
std::string Items(const char* block) {
  std::string out;
  for (const char* p = block; p && *p; p += std::strlen(p) + 1) {
    if (!out.empty()) out += " | ";
    out += p;
  }
  return out;
}

// How many entries each cipher protects: "AES-256: 3, tradicional: 1", or "nenhuma".
std::string Ciphers(ArchiveState& archive) {
  uint32_t counts[5] = {};  // traditional, AES-128, -192, -256, damaged AES field
  const char* const labels[5] = {"tradicional", "AES-128", "AES-192", "AES-256",
                                 "AES com campo danificado"};
  for (uint32_t i = 0; i < archive.entryCount; ++i) {
    const CentralHeader* entry = &archive.entries()[i];
    if (!(entry->flags & kFlagEncrypted)) continue;
    const int bits = AesBits(entry);
    ++counts[bits == 0 ? 0 : bits < 0 ? 4 : bits / 64 - 1];
  }
  std::string out;
  for (int i = 0; i < 5; ++i) {
    if (!counts[i]) continue;
    if (!out.empty()) out += ", ";
    out += std::string(labels[i]) + ": " + std::to_string(counts[i]);
  }
  return out.empty() ? "nenhuma" : out;
}

}  // namespace

bool IsSetupWord(const char* word) {
  if (word[0] != '-' && word[0] != '/') return false;
  const char* expected = "SETUP";
  size_t i = 0;
  for (; expected[i]; ++i) {
    if (std::toupper(static_cast<unsigned char>(word[1 + i])) != expected[i]) return false;
  }
  return word[1 + i] == 0;
}

Status ShowSetupDirectives(Session& session) {
  SetupDirectives directives;
  Status status = ReadSetupDirectives(directives, session.archive, session.reporter);
  if (!status.ok()) return status;
  SplitAtBars(directives);
  uint16_t flags = directives.flags();
  uint16_t overwrite = flags & (kDirectiveOverwriteAlways | kDirectiveOverwriteNever);
  auto yesNo = [flags](uint16_t bit) { return std::string(flags & bit ? "sim" : "não"); };
  char word[8];
  std::snprintf(word, sizeof word, "0x%04X", flags);
  Field("Opções:                   ", word);
  Field("Recriar subdiretórios:    ", yesNo(kDirectiveRecreateDirectories));
  Field("Mostrar mensagens:        ", yesNo(kDirectiveShowMessages));
  Field("Sobrescrever:             ", overwrite == kDirectiveOverwriteAlways  ? "sempre"
                                      : overwrite == kDirectiveOverwriteNever ? "nunca"
                                                                              : "pergunta");
  Field("Destino:                  ", directives.defaultDestination() ? directives.defaultDestination() : "");
  Field("Criar grupos:             ", yesNo(kDirectiveCreateGroups));
  Field("Grupos de programas:      ", Items(directives.programGroupText()));
  Field("Registrar extensões:      ", yesNo(kDirectiveRegisterExtensions));
  Field("Extensões:                ", Items(directives.extensionText()));
  // Shown, never run: vespa-console extracts and ends.
  RunAfter run;
  ReadRunAfter(session.archive, &run);
  Field("Executar após extração:   ", run.present() ? (run.checked ? "sim" : "não") : "");
  Field("Programa:                 ", run.command.c_str());
  Field("Criptografia:             ", Ciphers(session.archive));
  return status;
}

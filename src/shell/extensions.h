// Extension registration after an extraction: each (key, command) pair of the directives'
// extension block is written under HKEY_CLASSES_ROOT and into WIN.INI's [Extensions], then
// running programs are told once. Key ^.TXT: a plain association of .TXT with the command;
// key $.ZIP: .ZIP becomes a document of the archiver's own file type, opened through DDE.
// "%0" in a command stands for the destination, "%1" for the document.
#pragma once

#include <cstdint>

#include "report/report.h"
#include "shell/setup_directives.h"

constexpr int kErrorBadKey = 1010;
constexpr int kErrorNoMoreItems = 259;

// The registry, WIN.INI and the broadcast, as registration uses them. Keys are opaque handles;
// 0 is no key.
class ExtensionRegistry {
 public:
  using Key = uintptr_t;
  virtual ~ExtensionRegistry() = default;
  // Deletes HKEY_CLASSES_ROOT\name and everything below it; the system's error code.
  virtual int deleteKeyTree(const char* name) = 0;
  // Creates (or opens) parent\name; a null parent is HKEY_CLASSES_ROOT. 0 on failure.
  virtual Key createKey(Key parent, const char* name) = 0;
  // Sets the key's default value (a text); false on failure.
  virtual bool setDefaultValue(Key key, const char* value) = 0;
  virtual void closeKey(Key key) = 0;
  // Writes entry=value into a WIN.INI section; a null value deletes the entry.
  virtual bool writeProfileString(const char* section, const char* entry, const char* value) = 0;
  // WM_WININICHANGE to every top-level window.
  virtual void broadcastIniChange() = 0;
  // The title of the file at path (its name, with or without its extension as the system
  // shows names) into out; false when there is none.
  virtual bool fileTitle(const char* path, char* out, uint16_t size) = 0;
};

// Registers every pair of the (split) extension block. A registry failure shows message 390 and
// removes what was written for that extension; a WIN.INI failure shows 390 too; registration
// goes on with the next pair.
void RegisterExtensions(const SetupDirectives& directives, const char* destination,
                        ExtensionRegistry& registry, Reporter& reporter);

// The program's title for the DDE "application" value: the command's program up to its first
// white space, as a file title cut at its first '.' (VIEWER for C:\APPS\VIEWER.EXE /P %1).
Text ApplicationName(const char* command, ExtensionRegistry& registry);

// The registry of the system the program runs on (Win32).
class SystemRegistry : public ExtensionRegistry {
 public:
  int deleteKeyTree(const char* name) override;
  Key createKey(Key parent, const char* name) override;
  bool setDefaultValue(Key key, const char* value) override;
  void closeKey(Key key) override;
  bool writeProfileString(const char* section, const char* entry, const char* value) override;
  void broadcastIniChange() override;
  bool fileTitle(const char* path, char* out, uint16_t size) override;
};

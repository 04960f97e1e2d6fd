// vespa-runprobe.exe: the program a self-extracting archive runs after its extraction, in the
// tests. It writes what it was started with into ran.txt in its working directory: that
// directory on the first line, then each argument as the C runtime parsed it, one per line.
// Two arguments change what it does (and are written all the same): --out=FILE writes to FILE
// instead (the working directory of a run from a temporary folder is gone afterwards), and
// --exit=N ends it with exit code N. A GUI program, so that Wine opens no console for it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char directory[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, directory);
  const char* path = "ran.txt";
  int code = 0;
  for (int i = 1; i < __argc; ++i) {
    if (std::strncmp(__argv[i], "--out=", 6) == 0) path = __argv[i] + 6;
    if (std::strncmp(__argv[i], "--exit=", 7) == 0) code = std::atoi(__argv[i] + 7);
  }
  std::FILE* out = std::fopen(path, "wb");
  if (!out) return 1;
  std::fprintf(out, "%s\n", directory);
  for (int i = 1; i < __argc; ++i) std::fprintf(out, "%s\n", __argv[i]);
  std::fclose(out);
  return code;
}

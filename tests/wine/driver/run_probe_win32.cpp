// vespa-runprobe.exe: the program a self-extracting archive runs after its extraction, in the
// tests. It writes what it was started with into ran.txt in its working directory: that
// directory on the first line, then each argument as the C runtime parsed it, one per line.
// A GUI program, so that Wine opens no console for it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char directory[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, directory);
  std::FILE* out = std::fopen("ran.txt", "wb");
  if (!out) return 1;
  std::fprintf(out, "%s\n", directory);
  for (int i = 1; i < __argc; ++i) std::fprintf(out, "%s\n", __argv[i]);
  std::fclose(out);
  return 0;
}

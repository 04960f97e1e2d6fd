#include "archive_fixture.h"

#include <fstream>

Status LoadArchive(Session& session, const std::string& path, const std::string& bytes) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  return session.open(path.c_str());
}

std::unique_ptr<LoadedArchive> LoadArchive(const std::string& path, const std::string& bytes,
                                           Status* status) {
  auto loaded = std::make_unique<LoadedArchive>();
  Status result = LoadArchive(loaded->session, path, bytes);
  if (status) *status = result;
  if (!result.ok()) return nullptr;
  return loaded;
}

// Spanned sets in unit tests: an archive cut into disks, and a removable drive whose disk the
// test changes when the engine asks for one. Test-only.
#pragma once

#include <string>
#include <vector>

#include "fs/fs.h"
#include "zip/drive.h"

// Cuts an archive (offsets counted from its start) into disks at the positions given
// (ascending, none after the start of the end record): each record then says on which disk it
// lies, with offsets counted from the start of that disk's file.
std::vector<std::string> SplitIntoDisks(const std::string& archive, const std::vector<size_t>& cuts);

// A drive holding one disk at a time: its file is written at path when the disk goes in, and
// the drive reports that disk's label.
class FakeDrive : public DriveInfo {
 public:
  FakeDrive(std::string path, std::vector<std::string> disks)
      : path_(std::move(path)), disks_(std::move(disks)) {}

  // Inserts disk number (1-based) with the label that numbers it, or with label given.
  void insert(int number);
  void insert(int number, const std::string& label);
  // A disk without the archive's file.
  void insertBlank(const std::string& label);

  int driveType(const char*) override { return type; }
  int volumeLabel(const char*, char* label) override;

  int type = kDriveRemovable;
  bool labelReadable = true;
  std::string label;
  int inserted = 0;  // the disk in the drive; 0 for a blank one

 private:
  std::string path_;
  std::vector<std::string> disks_;
};

// The label the builder gives disk number (1-based).
std::string LabelOfDisk(int number);

// What the archive reader asks about the drive that holds the archive: its class (only a
// removable drive can hold a spanned set) and the volume label of the disk now in it, which
// says which disk of a set that is. The file layer answers unless the archive state is given a
// drive of its own to ask (tests stand in a removable drive whose disks they change).
#pragma once

class DriveInfo {
 public:
  virtual ~DriveInfo() = default;
  // The class of the drive holding path: kDriveRemovable, kDriveFixed, ...
  virtual int driveType(const char* path) = 0;
  // 0 with the label of the disk in path's drive (label holds kPathSize characters); 1 when
  // the volume information cannot be read.
  virtual int volumeLabel(const char* path, char* label) = 0;
};

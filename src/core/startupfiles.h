// Start-up's helpers for what lies beside the program: the USB data partition and the version file.
#pragma once

#include <QString>

// Mounts the first FAT, NTFS or exFAT partition of a disk other than the system disk at
// "/mnt" and returns "/mnt" when the mount table then shows it there; otherwise "".
QString FindAU();

// Writes "version" and "camcount" into cnt_net/config.json, keeping the file's other keys.
void writeVersionToJson();

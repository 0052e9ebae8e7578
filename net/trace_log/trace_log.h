// The trace log of the internet-transfer object: qxinternet.log in the
// user's temporary folder, UTF-16LE with a byte-order mark, one
// "mm/dd/yy HH:MM:SS message" entry per call, every line feed stored as
// CR LF. The file stays open between entries and is reopened when the path
// no longer names it; never fails visibly.
#pragma once

#include <string>
#include <string_view>

namespace qx::net {

// Largest log size kept when an object is created.
inline constexpr long long kLogTrimSize = 51200;

// $TMPDIR (else /tmp) with a '/' added, then "qxinternet.log"; when the
// folder is empty or the path would exceed 261 characters, "/qxinternet.log".
std::u16string GetLogFilePath();

// Appends one entry. Refuses to follow a symbolic link at the log's path,
// creates the file readable by its owner only, and never writes into a file
// owned by another user.
void WriteLog(std::u16string_view message);

// Deletes the log when it has grown past kLogTrimSize bytes.
void TrimLogFile();

// Writes the "*Start SYSINFO" ... "*End SysInfo" block.
void LogSystemInfo();

}  // namespace qx::net

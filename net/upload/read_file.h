// Loading a file that is to be uploaded: the read-access check made before an
// upload starts, and the whole file read into memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qx::net {

// Called with a step title ("Reading file into memory", "Done reading file
// into memory"); the internet-transfer object advances its progress counter
// and reports it. It may throw (a caller that cancels); the exception passes
// through unchanged.
using ProgressStep = std::function<void(std::string_view title)>;

// Largest file that can be uploaded: its length must fit the signed 32-bit
// length that the upload buffers carry.
inline constexpr std::int64_t kMaxUploadFileLength = INT32_MAX;

// True when this process may open the file for reading (access(2), R_OK).
bool IsFileReadable(const std::string& path);

// "Unable to read file:\n\t<path>": the message of a file that fails
// IsFileReadable.
std::string UnreadableFileMessage(const std::string& path);

// Reads the whole regular file at `path` (UTF-8) and returns its bytes.
// Throws UploadError with:
//   "Unable to open file for reading.\n    <path>"  cannot be opened, or is
//                                                   not a regular file
//   "Unable to read file\n   <path>"   empty, or longer than
//                                      kMaxUploadFileLength (refused from its
//                                      size alone, nothing is read)
//   "Out of memory"                    the buffer cannot be allocated
//   "Unable to read file\n\t<path>"    the read delivered less than the length
// `advance` (may be empty) is called with "Reading file into memory" before
// the file is opened and with "Done reading file into memory" after reading.
std::string ReadFileIntoMemory(const std::string& path, const ProgressStep& advance);

}  // namespace qx::net

// The answer of an upload written to a file the caller named: the bytes go
// to a new private file beside it, which replaces the named file in one step
// once it is complete, so a failed upload leaves the named file as it was.
#pragma once

#include <string>

namespace qx::net {

class StagedAnswerFile {
 public:
  // Creates the empty staging file beside `destination` (UTF-8 path).
  // Throws UploadError "Unable to open output file:\n   <destination>\n<reason>"
  // when none can be made there.
  explicit StagedAnswerFile(std::string destination);
  // Removes the staging file unless it was committed.
  ~StagedAnswerFile();
  StagedAnswerFile(const StagedAnswerFile&) = delete;
  StagedAnswerFile& operator=(const StagedAnswerFile&) = delete;

  const std::string& stagingPath() const { return staging_; }
  // Flushes the staging file to disk and renames it over the destination.
  // Throws UploadError "Unable to write output file:\n   <destination>\n<reason>".
  void Commit();

 private:
  std::string destination_;
  std::string staging_;
  bool committed_ = false;
};

}  // namespace qx::net

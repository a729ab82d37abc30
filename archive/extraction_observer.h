// ExtractionObserver: how the caller of an extraction to files sees and
// bounds what the reader does on disk. Package extraction uses it to take
// back what a run created and to stop a run that would write more than it
// may; the reader itself has no opinion about either.
//
// Set on one ZipReader (SetExtractionObserver), which calls it on the thread
// that extracts; the caller owns it and keeps it alive while it is set.
#pragma once

#include <cstddef>
#include <string>

namespace archive {

class ExtractionObserver {
 public:
  virtual ~ExtractionObserver() = default;

  // A folder that did not exist and was created (each folder of a path on
  // its own, outermost first).
  virtual void FolderCreated(const std::wstring& path) = 0;

  // A file that did not exist and was created. A file that was replaced is
  // not reported: its old contents are gone either way.
  virtual void FileCreated(const std::wstring& path) = 0;

  // Before `bytes` more of an entry's data are written. False refuses them:
  // the entry ends there with kZipWriteFailed, its file left as it is.
  virtual bool BeforeWrite(size_t bytes) = 0;
};

}  // namespace archive

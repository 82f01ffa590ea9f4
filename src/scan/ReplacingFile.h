#pragma once

#include <cstddef>
#include <string>

// A file written whole or not at all. The bytes go to a file with no name in
// the target's folder (where the file system has them; a hidden temporary
// name beside the target elsewhere), which Commit links into place and
// syncs, folder included, so a failure or a kill at any moment keeps the
// previous file whole and leaves nothing behind. "-" is standard output,
// and something that is not a plain file (a pipe, /dev/null) is written in
// place. So is a writable file in a folder that takes no new file (a log in
// a root-owned folder): it is emptied and written, as a shell's ">" would.
class TReplacingFile {
 public:
  TReplacingFile() = default;
  // Not committed: the temporary file goes again.
  ~TReplacingFile();
  TReplacingFile(const TReplacingFile&) = delete;
  TReplacingFile& operator=(const TReplacingFile&) = delete;

  // Each returns false with errno set when it failed.
  bool Open(const std::string& path);
  bool Write(const char* data, std::size_t size);
  bool Commit();

 private:
  enum class Mode { None, Stream, InPlace, Unnamed, Named };
  bool OpenTemporary(const std::string& folder);
  // Gives the unnamed file a name in the folder, replacing the target.
  bool LinkUnnamed();

  Mode mode_ = Mode::None;
  int fd_ = -1;
  bool owned_ = false;
  std::string path_;
  std::string folder_;
  std::string temp_;  // the named temporary file while it exists
};

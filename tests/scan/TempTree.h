#pragma once

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "Unprivileged.h"

// A folder tree in a fresh temporary folder, removed at the end of the test.
class TempTree {
 public:
  // `under` picks the file system, for tests that need tmpfs's huge sparse files.
  explicit TempTree(const std::string& under = std::filesystem::temp_directory_path().string()) {
    std::string pattern = (std::filesystem::path(under) / "vorn-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    // Readable by the unprivileged user that permission tests run as.
    ::chmod(root_.c_str(), 0755);
  }
  ~TempTree() {
    // rm copes with trees deeper than PATH_MAX; permissions first, for the
    // tests that lock folders.
    const std::string quoted = "'" + root_ + "'";
    const std::string command = "rm -rf " + quoted + " 2>/dev/null || { chmod -R u+rwx " + quoted +
                                " 2>/dev/null; rm -rf " + quoted + "; }";
    if (std::system(command.c_str()) != 0) std::filesystem::remove_all(root_);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& Root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

  void Folder(const std::string& relative) const {
    std::filesystem::create_directories(Path(relative));
  }
  // A sparse file of exactly `size` bytes.
  void File(const std::string& relative, long long size) const {
    const auto path = std::filesystem::path(Path(relative));
    std::filesystem::create_directories(path.parent_path());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
  }

 private:
  std::string root_;
};

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

// A folder tree in a fresh temporary folder, removed at the end of the test.
class TempTree {
 public:
  TempTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vorn-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    // Readable by the unprivileged user that permission tests run as.
    ::chmod(root_.c_str(), 0755);
  }
  ~TempTree() {
    // rm copes with trees deeper than PATH_MAX; permissions first, for the
    // tests that lock folders.
    const std::string quoted = "'" + root_ + "'";
    const std::string command =
        "chmod -R u+rwx " + quoted + " 2>/dev/null; rm -rf " + quoted + " 2>/dev/null";
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

// Runs `body` where permission checks apply: as the unprivileged user
// "nobody" in a forked child when we are root, directly otherwise. Gives the
// text the body returns, or nothing when privileges could not be dropped.
inline std::optional<std::string> RunUnprivileged(const std::function<std::string()>& body) {
  if (::geteuid() != 0) return body();
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    ::close(pipeFds[0]);
    if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
        ::setresuid(65534, 65534, 65534) != 0) {
      ::_exit(3);
    }
    const std::string text = body();
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(pipeFds[1], text.data() + done, text.size() - done);
      if (n <= 0) ::_exit(4);
      done += static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string out;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
    out.append(buffer, static_cast<std::size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return out;
}

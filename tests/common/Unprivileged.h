#pragma once

#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Runs `body` where permission checks apply: as the unprivileged user
// "nobody" in a forked child when we are root, directly otherwise. The
// paths in `handOver` (with everything below them) are given to that user
// first. Gives the text the body returns, or nothing when privileges could
// not be dropped. The body reports through its text: a forked child's test
// assertions would not reach the parent.
inline std::optional<std::string> RunUnprivileged(const std::function<std::string()>& body,
                                                  const std::vector<std::string>& handOver = {}) {
  if (::geteuid() != 0) return body();
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    ::close(pipeFds[0]);
    constexpr uid_t kNobody = 65534;
    for (const std::string& path : handOver) {
      std::error_code ec;
      if (::lchown(path.c_str(), kNobody, kNobody) != 0) ::_exit(5);
      for (auto it = std::filesystem::recursive_directory_iterator(path, ec);
           !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        (void)::lchown(it->path().c_str(), kNobody, kNobody);
      }
    }
    if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
        ::setresuid(kNobody, kNobody, kNobody) != 0) {
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
  while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
    out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return out;
}

// A real file system that stops answering: a FUSE mount whose folder
// "stuck" never finishes a listing, as a hung network share does.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string_view>
#include <thread>

#include "ReportSupport.h"
#include "dialogs/DialogCommon.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Stop must end a scan stuck in the kernel at once: the bound is the
// promise made to the user, not a measure of speed, and leaves ample room
// for a loaded machine (the walk gives up the stuck reader in some 20 ms).
constexpr auto kStopBound = std::chrono::milliseconds(100);
// How long the waits for a mount, a stuck reader or an exiting process may
// take before the test gives up on them: far more than any of them needs.
constexpr auto kPatience = std::chrono::seconds(30);

// The leak check at a sanitized program's exit stops every thread to look
// at its memory, and cannot stop one stuck in the kernel on the mount: it
// would hang there, which is the checker's limit, not the program's.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLeakCheckAtExit = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kLeakCheckAtExit = true;
#else
constexpr bool kLeakCheckAtExit = false;
#endif
#else
constexpr bool kLeakCheckAtExit = false;
#endif

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Spawn(pid_t& pid, std::vector<std::string> args, const std::string& out,
           const std::string& err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // Without the leak check at exit (see kLeakCheckAtExit).
  std::vector<std::string> variables;
  for (char** v = environ; *v; ++v) {
    if (std::string_view(*v).starts_with("ASAN_OPTIONS=")) continue;
    variables.emplace_back(*v);
  }
  const char* asan = std::getenv("ASAN_OPTIONS");
  variables.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":detect_leaks=0");
  std::vector<char*> env;
  for (auto& v : variables) env.push_back(v.data());
  env.push_back(nullptr);
  const bool spawned =
      posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, argv.data(), env.data()) == 0;
  posix_spawn_file_actions_destroy(&actions);
  return spawned;
}

// The state letter of a process ("Z" once its program has exited).
char StateOf(pid_t pid) {
  const std::string stat = Slurp("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size() ? '?' : stat[close + 2];
}

bool WaitFor(const std::function<bool()>& done) {
  const auto deadline = Clock::now() + kPatience;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The system's Python, whose packages the distribution installs.
std::string Python() {
  return ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

// The stuck file system, mounted at `folder`/mnt for the test's span; its
// daemon killed and the mount detached in every case when it goes.
class StuckMount {
 public:
  explicit StuckMount(const std::string& folder)
      : mount_(folder + "/mnt"), signal_(folder + "/listing") {
    ::mkdir(folder.c_str(), 0755);
    ::mkdir(mount_.c_str(), 0755);
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
      why_ = "/dev/fuse is missing or not ours to use";
    } else if (std::system("command -v fusermount >/dev/null || command -v fusermount3 "
                           ">/dev/null") != 0) {
      why_ = "fusermount is missing (Debian package fuse3)";
    } else if (std::system((Python() + " -c 'import fusepy' 2>/dev/null || " + Python() +
                            " -c 'import fuse' 2>/dev/null")
                               .c_str()) != 0) {
      why_ = "the FUSE module of Python is missing (Debian package python3-fusepy)";
    } else if (!Spawn(daemon_, {Python(), VORN_STUCK_FS_SCRIPT, mount_, signal_},
                      folder + "/fuse.out", folder + "/fuse.err")) {
      why_ = "python3 could not be started";
    } else {
      struct stat above {};
      ::stat(folder.c_str(), &above);
      int status = 0;
      const bool mounted = WaitFor([&] {
        struct stat st {};
        if (::waitpid(daemon_, &status, WNOHANG) == daemon_) {
          daemon_ = -1;
          return true;
        }
        return ::stat(mount_.c_str(), &st) == 0 && st.st_dev != above.st_dev;
      });
      if (daemon_ < 0 || !mounted) {
        why_ = "mounting a FUSE file system is not permitted here: " + Slurp(folder + "/fuse.err");
      }
    }
  }

  ~StuckMount() {
    // Killing the daemon ends every request it left unanswered, so a
    // reader still stuck in one returns; then the mount is detached.
    KillDaemon();
    const std::string detach = "fusermount -u -z '" + mount_ +
                               "' 2>/dev/null || fusermount3 -u -z '" + mount_ +
                               "' 2>/dev/null || umount -l '" + mount_ + "' 2>/dev/null";
    [[maybe_unused]] const int ignored = std::system(detach.c_str());
  }

  // Why it could not be mounted; empty when it is.
  const std::string& Why() const { return why_; }
  const std::string& Path() const { return mount_; }
  // The listing of "stuck" has begun and hangs.
  bool Stuck() const { return IsFile(signal_); }

  // Waits for a process that was stuck on the mount to end: its wait
  // status, or -1 when its program has not exited after kPatience (it is
  // then killed). A reader stuck in a request the daemon has taken cannot
  // be ended by anyone but the daemon: once the program has exited (the
  // process is a zombie but for that thread), the daemon goes, which lets
  // the kernel end the thread and the process be reaped.
  int WaitExit(pid_t pid) {
    const auto deadline = Clock::now() + kPatience;
    int status = 0;
    for (;;) {
      if (::waitpid(pid, &status, WNOHANG) == pid) return status;
      if (StateOf(pid) == 'Z') break;
      if (Clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        status = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    KillDaemon();
    const int exited = status;
    ::waitpid(pid, &status, 0);
    return exited == -1 ? -1 : status;
  }

 private:
  void KillDaemon() {
    if (daemon_ > 0) {
      ::kill(daemon_, SIGKILL);
      ::waitpid(daemon_, nullptr, 0);
    }
    daemon_ = -1;
  }

  std::string mount_, signal_, why_;
  pid_t daemon_ = -1;
};

class StuckMountTest : public ReportTest {};

// Stop ends the window's scan at once though a reader hangs in the kernel,
// and the program still exits: no thread waits for the stuck one. Run in a
// child process, so that its exit can be seen.
TEST_F(StuckMountTest, StopEndsTheWindowsScanAndTheProgramExits) {
  StuckMount mount(TempPath("fuse").toStdString());
  if (!mount.Why().empty()) GTEST_SKIP() << "SKIPPED LOUDLY: " << mount.Why();
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(fds[0]);
    std::string text;
    {
      auto window = NewWindow();
      Clock::time_point stopped{};
      QTimer watch;
      watch.setInterval(1);
      QObject::connect(&watch, &QTimer::timeout, [&] {
        if (stopped == Clock::time_point{} && mount.Stuck()) {
          stopped = Clock::now();
          Trigger(*window, "Stop1");
        }
      });
      watch.start();
      answer = [&](QDialog& d) {
        FillDialog(*qobject_cast<TUsageDialog*>(&d), {QString::fromStdString(mount.Path())}, "0",
                   "0", true);
        return int(mrOk);
      };
      Trigger(*window, "Dialog1");
      const auto ended = Clock::now();
      watch.stop();
      text = stopped == Clock::time_point{}
                 ? std::string("never stuck")
                 : (ended - stopped <= kStopBound ? "in time: " : "late: ") +
                       std::to_string(
                           std::chrono::duration_cast<std::chrono::microseconds>(ended - stopped)
                               .count()) +
                       " us";
      text += "\n" + window->StatusText().toStdString() + "\n" + window->Tree().TextForm();
    }  // the window goes: a join of the stuck reader would hang here
    [[maybe_unused]] const ssize_t written = ::write(fds[1], text.data(), text.size());
    ::close(fds[1]);
    if (kLeakCheckAtExit) ::_exit(0);
    std::exit(0);  // the ordinary way out, the reader still stuck
  }
  ::close(fds[1]);
  // Its end first: a child hung on the stuck reader never closes the pipe.
  const int status = mount.WaitExit(child);
  std::string out;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
    out.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  ASSERT_NE(status, -1) << "the window's process did not exit while a reader was stuck\n" << out;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  std::cout << "Stop to the scan's end: " << out.substr(0, out.find('\n')) << "\n";
  EXPECT_TRUE(out.starts_with("in time: ")) << out;
  EXPECT_NE(out.find("\nStopped: the report is incomplete\n"), std::string::npos) << out;
}

// Ctrl-C ends vorntools-scan stuck on the mount: the partial report is
// written and the command exits with the interrupted status.
TEST_F(StuckMountTest, InterruptEndsTheCommandWithThePartialReport) {
  StuckMount mount(TempPath("fuse").toStdString());
  if (!mount.Why().empty()) GTEST_SKIP() << "SKIPPED LOUDLY: " << mount.Why();
  const std::string report = TempPath("partial.txt").toStdString();
  pid_t pid = 0;
  ASSERT_TRUE(Spawn(pid, {VORNTOOLS_SCAN_PATH, "--output", report, mount.Path()},
                    TempPath("out").toStdString(), TempPath("err").toStdString()));
  const bool stuck = WaitFor([&] { return mount.Stuck(); });
  ::kill(pid, SIGINT);
  const int status = mount.WaitExit(pid);
  ASSERT_TRUE(stuck) << "the scan never reached the stuck folder";
  ASSERT_NE(status, -1) << "vorntools-scan did not exit after Ctrl-C while a reader was stuck";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
  const std::string text = Slurp(report);
  // The starting folder was still open: its line has what was measured,
  // marked as a lower bound.
  const std::string first = text.substr(0, text.find("\r\n"));
  EXPECT_TRUE(first.ends_with("K *" + mount.Path())) << text;
}

}  // namespace

// vorntools-scan: the report window's scan for scripts. Writes the report's
// text form to a file or to standard output.

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "cli/TerminalText.h"
#include "scan/ComparisonText.h"
#include "scan/Errors.h"
#include "scan/FileTypeTally.h"
#include "scan/IntegerText.h"
#include "scan/LargestFiles.h"
#include "scan/ReportTree.h"
#include "scan/SafeFile.h"
#include "scan/ScanArchive.h"
#include "scan/ScanComparison.h"
#include "scan/ScanDocument.h"
#include "scan/ScanFileReader.h"
#include "scan/ScanFileWriter.h"
#include "scan/ScanProgress.h"
#include "scan/ScanReplay.h"
#include "scan/UsageDirectory.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitWriteFailed = 1;
constexpr int kExitUnreadableStart = 1;
constexpr int kExitUnreadableScanFile = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;

volatile sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
  interrupted = 1;
  StopRequested = true;
  // A second Ctrl-C ends the program at once.
  signal(SIGINT, SIG_DFL);
}

const char kUsage[] =
    "Usage: vorntools-scan [--depth N] [--min-size K] [--sector-size BYTES] [--sort]\n"
    "                      [--allocated] [--hard-links-once] [--hidden] [--du]\n"
    "                      [--one-file-system]\n"
    "                      [--exclude PATTERN]... [--threads N] [--output FILE]\n"
    "                      [--problems FILE]\n"
    "                      [--largest N | --types | --compare FILE]\n"
    "                      [--export FILE] FOLDER...\n"
    "       vorntools-scan [OPTION]... --from FILE\n";

void PrintHelp() {
  std::cout << kUsage
            << "\n"
               "Scans the folders in the order given and writes a report of the disk space\n"
               "each folder occupies: a line per folder, a TAB per level, CR LF line ends.\n"
               "\n"
               "  --depth N             give lines only to folders down to level N below a\n"
               "                        starting folder (0: no limit)\n"
               "  --min-size K          leave out folders smaller than K kilobytes\n"
               "  --sector-size BYTES   count every file in whole units of BYTES\n"
               "  --sort                sort each folder's sub-folders by size, then name\n"
               "  --allocated           count the space the disk gives each file (its blocks)\n"
               "                        instead of its length; not with --sector-size\n"
               "  --hard-links-once     count a file with several names at the first one\n"
               "  --hidden              count files and folders whose names begin with '.'\n"
               "  --du                  count what du -k counts: the blocks of every file,\n"
               "                        folder, link and other entry, each inode once,\n"
               "                        hidden names too; not with --sector-size\n"
               "  -x, --one-file-system do not enter folders on another file system than\n"
               "                        their starting folder\n"
               "  --exclude PATTERN     leave out folders and files whose name matches\n"
               "                        PATTERN, or whose path below the starting folder\n"
               "                        does when PATTERN has a '/' ('*' any run, '?' one\n"
               "                        character); may be given more than once\n"
               "  --threads N           read folders on N threads (0: automatic: 1 on a\n"
               "                        real spinning disk, else 16, of which one per\n"
               "                        processor reads until the storage proves slow;\n"
               "                        1: no read-ahead)\n"
               "  --output FILE         write the report to FILE instead of standard output\n"
               "  --problems FILE       write what could not be read, and what was left out,\n"
               "                        to FILE, a line each: the path, a TAB and the reason\n"
               "                        ('Left out: hidden' and the like for what was left\n"
               "                        out; '-': standard error)\n"
               "  --largest N           write, instead of the report, the N largest files:\n"
               "                        size in bytes, a TAB and the path, largest first\n"
               "  --types               write, instead of the report, a line per file type\n"
               "                        (the text after the name's last dot, lower-cased):\n"
               "                        type, files and bytes, TAB between, most bytes\n"
               "                        first; an empty type is files without one\n"
               "  --export FILE         also write what the scan read to FILE as a scan file,\n"
               "                        in the JSON export format of ncdu and gdu, gzip- or\n"
               "                        zstd-compressed when FILE ends in .gz or .zst ('-':\n"
               "                        standard output, with the report in --output FILE)\n"
               "  --from FILE           make the report from a scan file (written by --export,\n"
               "                        ncdu -o or gdu -o; '-': standard input) instead of\n"
               "                        scanning, with the other options applied as to a scan\n"
               "                        (--allocated counts the disk sizes in the file); no\n"
               "                        FOLDER then: the file names them\n"
               "  --compare FILE        write, instead of the report, a line per folder whose\n"
               "                        total differs from that in the scan file FILE: the\n"
               "                        change (+500000, -6000), the old total, the new total\n"
               "                        and the path, TAB between them, sizes in bytes, '-'\n"
               "                        for a side that lacks the folder; largest change\n"
               "                        first; --depth limits the lines\n"
               "  --help                show this help\n"
               "  --version             show the version\n"
               "\n"
               "What each choice counts, against du:\n"
               "  (none)             file lengths; no hidden names, folders or links:\n"
               "                     below du --apparent-size -b\n"
               "  --sector-size B    each file's length in whole units of B bytes\n"
               "  --allocated        each file's blocks; no hidden names, folders or links:\n"
               "                     below du -k\n"
               "  --hard-links-once  a file with several names once, as du does\n"
               "  --hidden           hidden names counted, as du does\n"
               "  --du               the same as du -k (with -x: du -x -k), in bytes\n"
               "\n"
               "A '*' after the size marks a folder in or below which something could not be\n"
               "measured. A folder on another file system left out by -x has a line without\n"
               "a size. Numbers are decimal, or hexadecimal after '$'.\n"
               "Exit status: 0 done, 1 a starting folder could not be read (the reason is on\n"
               "standard error), the report or scan file could not be written or the scan\n"
               "file could not be read, 2 wrong usage,\n"
               "130 interrupted (the partial report is written).\n";
}

int UsageError(const std::string& message) {
  std::cerr << "vorntools-scan: " << message << "\n" << kUsage;
  return kExitUsage;
}

// Progress on a terminal: counts and the current folder, at most ten times a
// second, on one line that is cleared at the end. With an earlier scan of the
// same folders to judge by, the share done and the time left come first.
class TerminalProgress : public TMessagePump, public TStatusLine {
 public:
  explicit TerminalProgress(bool enabled)
      : enabled_(enabled), start_(std::chrono::steady_clock::now()), last_(start_) {}
  TUsageDirectory* walker = nullptr;
  std::optional<TScanProgress> baseline;

  void ShowText(const std::string& text) override {
    if (enabled_) text_ = text;
  }

  void ProcessMessages() override {
    if (!enabled_ || !walker) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    std::string counts;
    if (baseline) {
      const TScanProgress::Estimate estimate =
          baseline->At(walker->FoldersSeen(), walker->FilesSeen(), now - start_);
      counts = std::to_string(static_cast<int>(estimate.share * 100)) + "%, " +
               (estimate.left ? TimeLeftText(*estimate.left) + ", " : std::string());
    }
    counts += std::to_string(walker->FoldersSeen()) + " folders, " +
              std::to_string(walker->FilesSeen()) + " files, " +
              ReadableBytes(static_cast<std::int64_t>(walker->BytesSeen())) + "  ";
    // Keep the end of a long path: the folder's own name is what tells most.
    const std::size_t width = Columns() - 1;
    // Escaped only when shown: ShowText comes once per folder.
    const std::string folder = TerminalSafe(text_);
    std::string line = counts + folder;
    if (line.size() > width && counts.size() + 3 < width) {
      line = counts + "..." + folder.substr(folder.size() - (width - counts.size() - 3));
    } else if (line.size() > width) {
      line.resize(width);
    }
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
    shown_ = true;
  }

  void Clear() {
    if (shown_) std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
  }

 private:
  static std::size_t Columns() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 10) return size.ws_col;
    return 80;
  }
  bool enabled_;
  std::chrono::steady_clock::time_point start_;
  bool shown_ = false;
  std::string text_;
  std::chrono::steady_clock::time_point last_;
};

// A reader that went away (`| head`) ends the tool the way it ends every
// other command-line tool: quietly, by SIGPIPE. The signal is ignored while
// the tool writes, so that the failure reaches us here, after the write.
void EndIfPipeClosed() {
  if (errno != EPIPE) return;
  signal(SIGPIPE, SIG_DFL);
  sigset_t pipeOnly;
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  sigprocmask(SIG_UNBLOCK, &pipeOnly, nullptr);
  raise(SIGPIPE);
}

int CannotCreate(const std::string& file) {
  EndIfPipeClosed();
  std::cerr << FormatMessage("Cannot create file %s", file) << ": " << std::strerror(errno)
            << ".\n";
  return kExitWriteFailed;
}

bool WriteToStdout(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// A line per file: its size, a TAB and its path.
std::string LargestFilesText(const TScanDocument& document, std::size_t count) {
  std::string text;
  const TLargestFiles largest(document, count);
  for (const TLargestFiles::File& file : largest.Files()) {
    text += std::to_string(file.bytes) + '\t' + file.path + '\n';
  }
  return text;
}

// A line per type: the type, its files and its bytes.
std::string FileTypesText(const TScanDocument& document) {
  std::string text;
  const TFileTypeTally tally(document);
  for (const TFileTypeTally::Type& type : tally.Types()) {
    text +=
        type.name + '\t' + std::to_string(type.files) + '\t' + std::to_string(type.bytes) + '\n';
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");  // the user's collation for --sort

  UsageOptions options;
  options.ClearReport = true;
  bool sort = false;
  std::string output;
  bool haveOutput = false;
  std::string problemsFile;
  std::size_t largest = 0;  // files listed instead of the report
  bool types = false;       // file types listed instead of the report
  std::string exportFile;   // the scan file written besides
  std::string fromFile;     // the scan file read instead of scanning
  std::string compareFile;  // the earlier scan compared with, instead of the report

  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--") {
      for (++i; i < argc; ++i) options.Folders.push_back(argv[i]);
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') {
      options.Folders.push_back(arg);
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      PrintHelp();
      return kExitOk;
    }
    if (arg == "--version") {
      std::cout << "vorntools-scan " << VORNTOOLS_VERSION << "\n";
      return kExitOk;
    }
    if (arg == "--sort") {
      sort = true;
      continue;
    }
    if (arg == "--allocated") {
      options.CountAllocated = true;
      continue;
    }
    if (arg == "--hard-links-once") {
      options.HardLinksOnce = true;
      continue;
    }
    if (arg == "--hidden") {
      options.CountHidden = true;
      continue;
    }
    if (arg == "--du") {
      options.CountLikeDu = true;
      continue;
    }
    if (arg == "--types") {
      types = true;
      continue;
    }
    if (arg == "--one-file-system" || arg == "-x") {
      options.OneFileSystem = true;
      continue;
    }
    std::string name = arg, value;
    const auto eq = arg.find('=');
    bool inlineValue = false;
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      inlineValue = true;
    }
    if (name != "--depth" && name != "--min-size" && name != "--sector-size" &&
        name != "--threads" && name != "--output" && name != "--problems" && name != "--exclude" &&
        name != "--largest" && name != "--export" && name != "--from" && name != "--compare") {
      return UsageError("unknown option '" + arg + "'");
    }
    if (!inlineValue) {
      if (i + 1 >= argc) return UsageError("option '" + name + "' needs a value");
      value = argv[++i];
    }
    if (name == "--output") {
      output = value;
      haveOutput = true;
      continue;
    }
    if (name == "--exclude") {
      if (value.empty()) return UsageError("option '--exclude' needs a pattern");
      options.Exclude.push_back(value);
      continue;
    }
    if (name == "--export" || name == "--from" || name == "--compare") {
      if (value.empty()) return UsageError("option '" + name + "' needs a file name");
      (name == "--export" ? exportFile : name == "--from" ? fromFile : compareFile) = value;
      continue;
    }
    if (name == "--problems") {
      if (value.empty()) return UsageError("option '--problems' needs a file name");
      problemsFile = value;
      continue;
    }
    const auto number = TryStrToInt(value);
    if (!number) {
      std::cerr << FormatMessage("'%s' is not a valid integer value", value) << ".\n";
      return kExitUsage;
    }
    if (name == "--depth") {
      options.MaxDepth = *number;
    } else if (name == "--min-size") {
      options.MinSizeK = *number;
    } else if (name == "--largest") {
      if (*number < 1) return UsageError("option '--largest' needs a number of 1 or more");
      largest = static_cast<std::size_t>(*number);
    } else if (name == "--threads") {
      if (*number < 0) return UsageError("option '--threads' needs a number of 0 or more");
      options.Threads = *number;
    } else {
      // Nothing can be counted in units of no size.
      if (*number < 1) return UsageError("option '--sector-size' needs a number of 1 or more");
      options.AllowForSectorSize = true;
      options.SectorBytes = *number;
    }
  }
  if (options.CountAllocated && options.AllowForSectorSize) {
    return UsageError("--allocated and --sector-size cannot be used together");
  }
  if (options.CountLikeDu && options.AllowForSectorSize) {
    return UsageError("--du and --sector-size cannot be used together");
  }
  if (largest > 0 && types) return UsageError("--largest and --types cannot be used together");
  if (!compareFile.empty() && (largest > 0 || types)) {
    return UsageError("--compare cannot be used with --largest or --types");
  }
  if (compareFile == "-" && fromFile == "-") {
    return UsageError("--from and --compare cannot both read standard input");
  }
  if (!fromFile.empty() && !options.Folders.empty()) {
    return UsageError("--from takes no folder: the scan file names them");
  }
  if (fromFile.empty() && options.Folders.empty()) return UsageError("no folder given");
  if (exportFile == "-" && !haveOutput) {
    return UsageError("--export - needs the report in a file (--output FILE)");
  }
  // The lists and the scan file are made from every file the scan read.
  if (largest > 0 || types || !exportFile.empty() || !compareFile.empty()) {
    options.Record = ScanRecord::Files;
  }
  if (haveOutput && output.empty()) return UsageError("option '--output' needs a file name");

  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // A file-size limit fails the write (EFBIG) and is reported like a full
  // disk, instead of killing the tool halfway through its output.
  signal(SIGXFSZ, SIG_IGN);

  TReportTree tree;
  TerminalProgress progress(isatty(STDERR_FILENO) == 1);
  // The window's last scan of the same folders tells how far this one is.
  if (const std::string archive = ScanArchiveFolder(); !archive.empty()) {
    if (const auto earlier = TScanArchive(archive).Latest(options.Folders)) {
      progress.baseline.emplace(earlier->folderCount, earlier->fileCount);
    }
  }
  ScanOutcome outcome;
  // Read first: a file that cannot be read ends the run before the walk.
  std::shared_ptr<TScanDocument> before;
  if (!compareFile.empty()) {
    try {
      before = ReadScanFile(compareFile);
    } catch (const EVorntoolsError& error) {
      std::cerr << "vorntools-scan: cannot read '" << TerminalSafe(compareFile)
                << "': " << error.what() << "\n";
      return kExitUnreadableScanFile;
    }
  }
  std::shared_ptr<TScanDocument> from;
  if (!fromFile.empty()) {
    try {
      from = ReadScanFile(fromFile);
    } catch (const EVorntoolsError& error) {
      std::cerr << "vorntools-scan: cannot read '" << TerminalSafe(fromFile)
                << "': " << error.what() << "\n";
      return kExitUnreadableScanFile;
    }
    options.Folders = from->StartingFolders();
  }
  try {
    outcome = from ? ReplayScan(*from, options, tree, &progress, &progress, &progress.walker)
                   : RunUsageScan(options, tree, &progress, &progress, &progress.walker);
  } catch (const EVorntoolsError& error) {
    progress.Clear();
    std::cerr << "vorntools-scan: " << error.what() << ".\n";
    // The report so far is still worth having.
  }
  progress.Clear();
  from.reset();  // the report and any document of its own are made
  if (sort) tree.SortByLabel();

  std::string text;
  if (before && outcome.document) {
    text = ComparisonText(TScanComparison(*outcome.document, *before), options.MaxDepth);
  } else if ((largest > 0 || types) && outcome.document) {
    text = largest > 0 ? LargestFilesText(*outcome.document, largest)
                       : FileTypesText(*outcome.document);
  } else {
    text = tree.TextForm();
  }
  if (haveOutput) {
    if (!WriteFileReplacing(output, text)) return CannotCreate(output);
  } else if (!WriteToStdout(text)) {
    EndIfPipeClosed();
    std::cerr << "Cannot write to standard output: " << std::strerror(errno) << ".\n";
    return kExitWriteFailed;
  }
  if (!exportFile.empty() && outcome.document && !WriteScanFile(*outcome.document, exportFile)) {
    return CannotCreate(exportFile);
  }
  if (!problemsFile.empty()) {
    std::string lines;
    for (const ScanProblem& problem : outcome.problems) {
      lines += problem.path + '\t' + problem.reason + '\n';
    }
    if (problemsFile == "-") {
      std::fputs(lines.c_str(), stderr);
    } else if (!WriteFileReplacing(problemsFile, lines)) {
      return CannotCreate(problemsFile);
    }
  }
  if (interrupted) return kExitInterrupted;
  // A starting folder that could not be read is a failure, as for du.
  if (outcome.unreadableStarts == 0) return kExitOk;
  for (const ScanProblem& problem : outcome.problems) {
    if (problem.leftOut) continue;
    if (std::find(options.Folders.begin(), options.Folders.end(), problem.path) ==
        options.Folders.end()) {
      continue;
    }
    std::cerr << "vorntools-scan: cannot read '" << TerminalSafe(problem.path)
              << "': " << problem.reason << "\n";
  }
  return kExitUnreadableStart;
}

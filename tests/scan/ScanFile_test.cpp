#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TempTree.h"
#include "Unprivileged.h"
#include "scan/Errors.h"
#include "scan/ScanDocument.h"
#include "scan/ScanFileReader.h"
#include "scan/ScanFileWriter.h"
#include "scan/UsageDirectory.h"

namespace {

// Bytes as text that shows every byte: "\xff" for what is not printable.
std::string Shown(std::string_view bytes) {
  std::string out;
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out += ch;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

// A document as sorted lines: each folder's totals and marks by its path,
// then each file and each left-out file by its path; the order of the
// entries in the document does not show.
std::string Summary(const TScanDocument& doc, bool withTimes = true) {
  std::vector<std::string> lines;
  for (std::uint32_t i = 0; i < doc.FolderCount(); ++i) {
    const ScanFolder& f = doc.Folder(i);
    const std::string path = doc.FolderPath(i);
    std::ostringstream line;
    line << Shown(path) << " folder";
    if (f.Has(ScanFolder::LeftOut)) {
      line << " left out " << static_cast<int>(f.leftOut);
    } else {
      line << " bytes " << f.bytesBelow << " allocated " << f.allocatedBelow << " files "
           << f.filesBelow << (f.Has(ScanFolder::Unlisted) ? " unlisted" : "")
           << (f.Has(ScanFolder::Failed) ? " failed" : "");
    }
    lines.push_back(line.str());
    for (std::uint64_t j = f.firstFile; j < doc.KeptFilesEnd(i); ++j) {
      const ScanFile file = doc.File(j);
      std::ostringstream l;
      l << Shown(path + "/" + std::string(file.name)) << " file " << file.length << " "
        << file.allocated << " counted " << file.counted;
      if (withTimes) l << " time " << file.modified;
      if (const ScanLink* link = doc.Link(j)) l << " inode " << link->inode;
      lines.push_back(l.str());
    }
    const auto [first, last] = doc.LeftOutFiles(i);
    for (std::size_t k = first; k < last; ++k) {
      const ScanLeftOutFile file = doc.LeftOutFile(k);
      lines.push_back(Shown(path + "/" + std::string(file.name)) + " left out " +
                      std::to_string(static_cast<int>(file.why)));
    }
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

// Path to bytes and allocated bytes in and below each folder walked.
std::map<std::string, std::pair<std::int64_t, std::int64_t>> Totals(const TScanDocument& doc) {
  std::map<std::string, std::pair<std::int64_t, std::int64_t>> totals;
  for (std::uint32_t i = 0; i < doc.FolderCount(); ++i) {
    if (doc.Folder(i).Has(ScanFolder::LeftOut)) continue;
    totals[doc.FolderPath(i)] = {doc.Folder(i).bytesBelow, doc.Folder(i).allocatedBelow};
  }
  return totals;
}

std::shared_ptr<TScanDocument> Walk(const std::string& folder, bool hidden, bool linksOnce) {
  UsageOptions o;
  o.Folders = {folder};
  o.Record = ScanRecord::Files;
  o.CountHidden = hidden;
  o.HardLinksOnce = linksOnce;
  TReportTree tree;
  return RunUsageScan(o, tree, nullptr, nullptr).document;
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Have(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

// The message a damaged file gives; empty when it reads.
std::string ErrorOf(const std::string& bytes) {
  try {
    ReadScanBytes(bytes);
  } catch (const EVorntoolsError& e) {
    return e.what();
  }
  return {};
}

// Names with every byte a file system allows besides '/' and NUL, hard
// links, hidden entries.
void OddTree(const TempTree& t, const std::string& top) {
  t.File(top + "/plain", 1000);
  t.File(top + "/bad\xff", 10);
  t.File(top + "/q\"b\\s\nl\x01\x7f", 20);
  t.File(top + "/sub/h1", 3000);
  ASSERT_EQ(::link(t.Path(top + "/sub/h1").c_str(), t.Path(top + "/sub/h2").c_str()), 0);
  t.File(top + "/.hid", 100);
  t.File(top + "/.hdir/x", 50);
  t.File(top + "/sub/deeper/y", 7);
}

}  // namespace

// A scan written and read back is the same scan: every name byte for byte,
// every total, the marks of what could not be read, and what the rules left
// out with its reason; plain, gzip and zstd alike.
TEST(ScanFile, ReadsBackWhatItWrote) {
  TempTree t;
  OddTree(t, "d");
  t.File("d/shut/f", 5);
  ::chmod(t.Path("d/shut").c_str(), 0);
  const auto walked = RunUnprivileged(
      [&] {
        const auto doc = Walk(t.Path("d"), false, true);
        for (const char* name : {"scan.json", "scan.json.gz", "scan.json.zst"}) {
          if (!WriteScanFile(*doc, t.Path(name))) return std::string("cannot write");
        }
        return Summary(*doc);
      },
      {t.Root()});
  if (!walked) GTEST_SKIP() << "SKIPPED LOUDLY: cannot run as an unprivileged user here";
  EXPECT_NE(walked->find("shut folder bytes 0 allocated 0 files 0 unlisted"), std::string::npos)
      << *walked;
  EXPECT_NE(walked->find("/bad\\xff file 10"), std::string::npos) << *walked;
  EXPECT_NE(walked->find("/q\"b\\x5cs\\x0al\\x01\\x7f file 20"), std::string::npos) << *walked;
  EXPECT_NE(walked->find("/.hid left out 0"), std::string::npos) << *walked;
  EXPECT_NE(walked->find("/.hdir folder left out 0"), std::string::npos) << *walked;
  for (const char* name : {"scan.json", "scan.json.gz", "scan.json.zst"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Summary(*ReadScanFile(t.Path(name))), *walked);
  }
  EXPECT_EQ(Slurp(t.Path("scan.json.gz")).substr(0, 2), "\x1f\x8b");
  EXPECT_EQ(Slurp(t.Path("scan.json.zst")).substr(0, 4), "\x28\xb5\x2f\xfd");
  // Nothing is left beside them, and a failed write leaves the old file.
  const auto before = Slurp(t.Path("scan.json"));
  EXPECT_FALSE(WriteScanFile(*ReadScanFile(t.Path("scan.json")), t.Path("none/scan.json")));
  EXPECT_EQ(Slurp(t.Path("scan.json")), before);
  std::size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(t.Root())) entries += e.exists();
  EXPECT_EQ(entries, 4u);  // d and the three scan files

  // A file made without times (ncdu -o without -e) has none to give, and
  // none is made up when it is written again.
  const auto timeless = ReadScanBytes("[1,2,{},[{\"name\":\"/r\"},{\"name\":\"f\",\"asize\":9}]]");
  EXPECT_EQ(timeless->File(0).modified, TScanDocument::kNoTime);
  ASSERT_TRUE(WriteScanFile(*timeless, t.Path("timeless.json")));
  EXPECT_EQ(Slurp(t.Path("timeless.json")).find("mtime"), std::string::npos);
}

// ncdu's and gdu's exports of a tree read here with the totals of our walk
// of it counted as they count (hidden names, a file with several names
// once); and ncdu reads our export with the same totals and names.
TEST(ScanFile, AgreesWithNcduAndGdu) {
  if (!Have("ncdu") || !Have("gdu")) GTEST_SKIP() << "SKIPPED LOUDLY: ncdu or gdu missing";
  TempTree t;
  OddTree(t, "d");
  const auto walked = Walk(t.Path("d"), true, true);
  const std::string d = "'" + t.Path("d") + "'";
  ASSERT_EQ(std::system(("ncdu -o '" + t.Path("ncdu.json") + "' " + d + " 2>/dev/null").c_str()),
            0);
  ASSERT_EQ(
      std::system(
          ("gdu --no-progress -o '" + t.Path("gdu.json") + "' " + d + " >/dev/null 2>&1").c_str()),
      0);
  EXPECT_EQ(Totals(*ReadScanFile(t.Path("ncdu.json"))), Totals(*walked));
  EXPECT_EQ(Totals(*ReadScanFile(t.Path("gdu.json"))), Totals(*walked));

  ASSERT_TRUE(WriteScanFile(*walked, t.Path("ours.json.gz")));
  ASSERT_EQ(std::system(("zcat '" + t.Path("ours.json.gz") + "' | ncdu -f - -o '" +
                         t.Path("again.json") + "'")
                            .c_str()),
            0);
  EXPECT_EQ(Summary(*ReadScanFile(t.Path("again.json")), false), Summary(*walked, false));
}

// A damaged, cut short or hostile file is refused with where and why,
// never read in part; limits keep a hostile one from costing much.
TEST(ScanFile, RefusesDamagedFilesSayingWhere) {
  const std::string good =
      "[1,2,{\"progname\":\"x\"},\n[{\"name\":\"/r\"},\n{\"name\":\"f\",\"asize\":5},\n"
      "[{\"name\":\"s\"},{\"name\":\"g\",\"asize\":1}]]]\n";
  EXPECT_EQ(ErrorOf(good), "");
  EXPECT_EQ(ReadScanBytes(good)->Folder(0).bytesBelow, 6);
  EXPECT_EQ(ErrorOf("[1,2,{},\n[{\"name\":\"/r\"},\n{\"name\":5}]]"),
            "line 3, column 9: \"name\" must be a string");
  EXPECT_EQ(ErrorOf("[1,2,{},\n[{\"name\":\"/r\"},\n  {\"asize\":-5,\"name\":\"f\"}]]"),
            "line 3, column 12: \"asize\" must be a whole number of 0 or more");
  EXPECT_EQ(ErrorOf("[1,2,{},[{\"name\":\"/r\",\"dsize\":18446744073709551615}]]"),
            "line 1, column 31: \"dsize\" is out of range");
  EXPECT_EQ(ErrorOf("[2,0,{},[{\"name\":\"/r\"}]]"),
            "line 1, column 2: format version 2 is not one this program reads (1)");
  EXPECT_EQ(ErrorOf("{\"a\":1}"), "line 1, column 1: not a scan file: it must begin with [1,");
  EXPECT_EQ(ErrorOf("[1,2,{},[\"x\"]]"),
            "line 1, column 13: a folder's list must begin with its details {...}");
  EXPECT_EQ(ErrorOf("[1,2,{},[{\"name\":\"/r\"}],[{\"name\":\"/s\"}]]"),
            "line 1, column 25: more than one folder at the top");
  EXPECT_EQ(ErrorOf("[1,2,{},[{\"name\":\"/r\"},{\"name\":\"" + std::string(5000, 'n') + "\"}]]"),
            "line 1, column 5034: a name is longer than 4096 bytes");
  // A control character must be escaped.
  EXPECT_EQ(ErrorOf("[1,2,{},[{\"name\":\"/r\"},{\"name\":\"a\x01\"}]]").substr(0, 20),
            "line 1, column 34: I");
  // Every cut of a good file is refused as cut short.
  for (std::size_t n = 0; n < good.size() - 1; ++n) {
    const std::string error = ErrorOf(good.substr(0, n));
    EXPECT_NE(error.find("the file ends before the scan does"), std::string::npos)
        << n << ": " << error;
  }
  // Deep nesting and huge names stop at the limits, not at the memory.
  std::string deep = "[1,2,{},";
  for (int i = 0; i < 70000; ++i) deep += "[{\"name\":\"a\"},";
  EXPECT_EQ(ErrorOf(deep).substr(ErrorOf(deep).find(": ")),
            ": folders nest deeper than 65536 levels");
  std::string meta = "[1,2,{\"x\":";
  for (int i = 0; i < 100; ++i) meta += "[";
  EXPECT_NE(ErrorOf(meta).find("values nest too deeply"), std::string::npos);
  const std::string huge = "[1,2,{},[{\"name\":\"" + std::string(70u << 20, 'n');
  EXPECT_NE(ErrorOf(huge).find("a name or value is too long"), std::string::npos);
  // Compressed data that is damaged or cut short says so.
  TempTree t;
  Write(t.Path("good.json"), good);
  const auto doc = ReadScanFile(t.Path("good.json"));
  ASSERT_TRUE(WriteScanFile(*doc, t.Path("s.json.zst")));
  ASSERT_TRUE(WriteScanFile(*doc, t.Path("s.json.gz")));
  for (const char* name : {"s.json.zst", "s.json.gz"}) {
    const std::string bytes = Slurp(t.Path(name));
    Write(t.Path("cut"), bytes.substr(0, bytes.size() - 6));
    std::string error;
    try {
      ReadScanFile(t.Path("cut"));
    } catch (const EVorntoolsError& e) {
      error = e.what();
    }
    EXPECT_NE(error.find("the compressed data ends too early"), std::string::npos)
        << name << ": " << error;
    std::string damaged = bytes;
    damaged[damaged.size() / 2] ^= 0x55;
    damaged[damaged.size() / 2 + 1] ^= 0x55;
    Write(t.Path("damaged"), damaged);
    error.clear();
    try {
      ReadScanFile(t.Path("damaged"));
    } catch (const EVorntoolsError& e) {
      error = e.what();
    }
    EXPECT_NE(error.find("line "), std::string::npos) << name << ": " << error;
  }
}

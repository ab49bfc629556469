// A full disk at every write of a batch conversion of all five files. The
// space runs out at each block write in turn, by a file size limit and, where
// the machine lets a test mount one, by a small tmpfs. Every run ends either
// with all five converted or with "Disk write error" and exit code 254, the
// files before the failing one converted, the failing one and those after it
// as they were, and no new file left behind.

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>

#include "reliability_support.h"
#include "support/faulty_files.h"
#include "update/conversion.h"

namespace {

// The conversion writes its new records in blocks made from about 1 MiB of
// old records; the limits below fall on each of those writes.
constexpr size_t kBlockBytes = size_t{1} << 20;

// Small files with new sizes growing in batch order, so that a limit that
// stops one file lets every file before it through; the node file is last
// and several blocks long.
Configuration FullDiskConfiguration() {
  return ConfigurationOf({{"hatch.tvn", 20},
                          {"MGICFILE.TVN", 3},
                          {"fareas.tvn", 4},
                          {"grpfile.tvn", 5},
                          {"nodefile.tvn", 9000}});
}

std::vector<uint64_t> NewSizes(const Configuration& files) {
  std::vector<uint64_t> sizes;
  for (const std::string& name : BatchOrder())
    sizes.push_back(Converted(SpecOf(name), files.at(name)).size());
  return sizes;
}

// Where each block write of a file's new records starts, and its end.
std::vector<uint64_t> WriteBoundaries(const ConversionSpec& spec, size_t records) {
  const size_t perBlock = std::max<size_t>(1, kBlockBytes / spec.OldSize);
  std::vector<uint64_t> boundaries{0};
  for (size_t done = 0; done < records;) {
    done += std::min(perBlock, records - done);
    boundaries.push_back(done * spec.NewSize);
  }
  return boundaries;
}

// The files converted when the first one in batch order that does not fit
// is `failing` (the count of files when all fit).
std::vector<std::string> FilesBefore(size_t failing) {
  return {BatchOrder().begin(), BatchOrder().begin() + static_cast<long>(failing)};
}

void ExpectOutcome(const std::string& dir, const Configuration& files, const BatchRun& run,
                   size_t failing) {
  ASSERT_TRUE(run.Finished) << "the program did not end";
  EXPECT_TRUE(ConvertedExactly(dir, files, FilesBefore(failing)));
  if (failing == BatchOrder().size()) {
    EXPECT_TRUE(run.Exit.Exited && run.Exit.Code == 0) << "exit " << run.Exit.Code;
    // The confirmation, five outcome dialogs and the closing dialog.
    EXPECT_EQ(run.KeyWaits, 7);
  } else {
    EXPECT_TRUE(run.Exit.Exited && run.Exit.Code == 254) << "exit " << run.Exit.Code;
    EXPECT_TRUE(EndsInRuntimeError(run.Output, 101, "Disk write error"));
    EXPECT_EQ(run.KeyWaits, 1 + static_cast<int>(failing)) << "dialogs before the error";
  }
}

TEST(FullDisk, FileSizeLimitAtEveryWrite) {
  const Configuration files = FullDiskConfiguration();
  const std::vector<uint64_t> sizes = NewSizes(files);
  ASSERT_TRUE(std::is_sorted(sizes.begin(), sizes.end()));

  // Limits on each write of each file: at its first byte, one byte in, one
  // byte short of its end, and no lower than the files before it need.
  std::set<uint64_t> limits;
  for (size_t f = 0; f < BatchOrder().size(); ++f) {
    const std::string& name = BatchOrder()[f];
    const ConversionSpec& spec = SpecOf(name);
    const uint64_t floor = f == 0 ? 0 : sizes[f - 1];
    const std::vector<uint64_t> b = WriteBoundaries(spec, files.at(name).size() / spec.OldSize);
    for (size_t w = 0; w + 1 < b.size(); ++w) {
      for (uint64_t limit : {b[w], b[w] + 1, b[w + 1] - 1, floor}) {
        if (limit >= b[w] && limit < b[w + 1] && limit >= floor) limits.insert(limit);
      }
    }
  }
  limits.insert(sizes.back());  // everything fits exactly
  ASSERT_GE(limits.size(), 3 * BatchOrder().size());

  for (uint64_t limit : limits) {
    SCOPED_TRACE(::testing::Message() << "file size limit " << limit);
    TempDir dir;
    WriteConfiguration(dir.Path(), files);
    const BatchRun run = RunBatch(dir.ConfigDir(), [limit](PtyOptions& options) {
      options.BeforeExec = [limit] {
        // Writes past the limit fail with EFBIG instead of killing the program.
        signal(SIGXFSZ, SIG_IGN);
        rlimit rl{};
        getrlimit(RLIMIT_FSIZE, &rl);
        rl.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &rl);
      };
    });
    const size_t failing = static_cast<size_t>(
        std::find_if(sizes.begin(), sizes.end(), [&](uint64_t size) { return size > limit; }) -
        sizes.begin());
    ExpectOutcome(dir.Path(), files, run, failing);
    if (HasFailure()) break;
  }
}

// A tmpfs of this test's own, in a mount namespace of its own; skipped where
// the machine does not allow it.
class Tmpfs {
 public:
  static bool Available(std::string& why) {
    static const std::string reason = [] {
      if (unshare(CLONE_NEWNS) != 0) return std::string("no mount namespace: ") + strerror(errno);
      if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("mounts cannot be made private: ") + strerror(errno);
      Tmpfs probe;
      return probe.mounted_ ? std::string() : std::string("tmpfs cannot be mounted");
    }();
    why = reason;
    return reason.empty();
  }

  Tmpfs() { mounted_ = mount("tmpfs", base_.Path().c_str(), "tmpfs", 0, "size=64m") == 0; }
  ~Tmpfs() {
    if (mounted_) umount2(base_.Path().c_str(), MNT_DETACH);
  }
  const std::string& Path() const { return base_.Path(); }

  // Fills the file system until `pages` pages are free.
  bool LeaveFree(uint64_t pages) {
    struct statfs fs;
    if (statfs(Path().c_str(), &fs) != 0 || fs.f_bavail < pages) return false;
    const int fd = open((Path() + "/filler").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    const off_t bytes = static_cast<off_t>((fs.f_bavail - pages) * fs.f_bsize);
    const bool filled = fd >= 0 && (bytes == 0 || posix_fallocate(fd, 0, bytes) == 0);
    if (fd >= 0) close(fd);
    return filled && statfs(Path().c_str(), &fs) == 0 && fs.f_bavail == pages;
  }

 private:
  TempDir base_;
  bool mounted_ = false;
};

TEST(FullDisk, TmpfsFullAtEveryWrite) {
  std::string why;
  if (!Tmpfs::Available(why)) GTEST_SKIP() << why;
  const Configuration files = FullDiskConfiguration();
  const std::vector<uint64_t> sizes = NewSizes(files);
  const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  auto pages = [page](uint64_t bytes) { return (bytes + page - 1) / page; };

  // The free pages the files before each one take, and free space on each
  // page range a write of that file fills.
  std::set<uint64_t> frees;
  std::vector<uint64_t> needed{0};  // pages taken by the first f new files
  for (size_t f = 0; f < BatchOrder().size(); ++f) {
    const std::string& name = BatchOrder()[f];
    const ConversionSpec& spec = SpecOf(name);
    const std::vector<uint64_t> b = WriteBoundaries(spec, files.at(name).size() / spec.OldSize);
    for (size_t w = 0; w + 1 < b.size(); ++w) {
      const uint64_t first = needed.back() + b[w] / page,
                     last = needed.back() + pages(b[w + 1]) - 1;
      frees.insert(first);
      frees.insert(last);
      frees.insert((first + last) / 2);
    }
    needed.push_back(needed.back() + pages(sizes[f]));
  }
  frees.insert(needed.back());  // everything fits exactly

  for (uint64_t free : frees) {
    SCOPED_TRACE(::testing::Message() << free << " pages free");
    Tmpfs fs;
    const std::string dir = fs.Path() + "/config";
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    WriteConfiguration(dir, files);
    ASSERT_TRUE(fs.LeaveFree(free));
    const BatchRun run = RunBatch(dir + "/");
    const size_t failing = static_cast<size_t>(
        std::find_if(needed.begin() + 1, needed.end(), [&](uint64_t n) { return n > free; }) -
        (needed.begin() + 1));
    ExpectOutcome(dir, files, run, failing);
    if (HasFailure()) break;
  }
}

}  // namespace

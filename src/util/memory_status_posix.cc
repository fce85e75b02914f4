// What memory is left on Linux: /proc/meminfo, and the limits of the memory
// control groups that hold the process, read under a root folder that a
// test can point at a made-up tree.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "util/memory_status.h"

namespace {

// The value in kB of the /proc/meminfo line that starts with name, in bytes;
// false when the line is missing.
bool meminfoValue(const char* info, const char* name, std::uint64_t* bytes) {
  const char* line = std::strstr(info, name);
  if (line == nullptr) return false;
  const char* p = line + std::strlen(name);
  while (*p == ' ') ++p;
  if (*p < '0' || *p > '9') return false;
  std::uint64_t kb = 0;
  for (; *p >= '0' && *p <= '9'; ++p) kb = kb * 10 + static_cast<std::uint64_t>(*p - '0');
  *bytes = kb * 1024;
  return true;
}

// Reads the start of the file at path, size - 1 bytes at most, into buffer
// and ends it with NUL. False when the file cannot be opened.
bool readFileStart(const char* path, char* buffer, std::size_t size) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::size_t length = 0;
  while (length < size - 1) {
    const ssize_t n = read(fd, buffer + length, size - 1 - length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    length += static_cast<std::size_t>(n);
  }
  close(fd);
  buffer[length] = '\0';
  return true;
}

// The share of a group's limit (1/256) that the system keeps of its clean
// page cache. The machine's low watermark is about that share of its memory
// (82 MB of 24 GB).
constexpr std::uint64_t kKeptShareOfLimit = 256;

// Paths of the group files. A longer one is taken for a missing file.
constexpr std::size_t kPathBytes = 1024;

// Writes the parts one after another into out; false when they do not fit.
bool joinPath(char (&out)[kPathBytes], std::initializer_list<const char*> parts) {
  std::size_t length = 0;
  for (const char* part : parts) {
    const std::size_t n = std::strlen(part);
    if (length + n >= kPathBytes) return false;
    std::memcpy(out + length, part, n);
    length += n;
  }
  out[length] = '\0';
  return true;
}

// The lines of a file, one at a time, without their LF. They pass through a
// fixed buffer; a line longer than that is skipped.
class LineReader {
 public:
  explicit LineReader(const char* path) : fd_(open(path, O_RDONLY | O_CLOEXEC)) {}
  ~LineReader() {
    if (fd_ >= 0) close(fd_);
  }
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line, which stays valid until the next call; null at the end of
  // the file, or when it cannot be opened.
  char* next() {
    if (fd_ < 0) return nullptr;
    for (;;) {
      char* const line = buffer_ + start_;
      char* const lf = static_cast<char*>(std::memchr(line, '\n', end_ - start_));
      if (lf != nullptr) {
        *lf = '\0';
        start_ = static_cast<std::size_t>(lf + 1 - buffer_);
        if (!skipping_) return line;
        skipping_ = false;
        continue;
      }
      if (atEnd_) {
        // A last line without LF.
        if (end_ == start_ || skipping_) return nullptr;
        buffer_[end_] = '\0';
        start_ = end_;
        return line;
      }
      // What is held is the start of a line: keep it at the buffer's start,
      // or drop it and skip the rest of the line when it fills the buffer.
      std::size_t held = end_ - start_;
      if (held == sizeof buffer_ - 1) {
        skipping_ = true;
        held = 0;
      } else {
        std::memmove(buffer_, line, held);
      }
      start_ = 0;
      end_ = held;
      const ssize_t n = read(fd_, buffer_ + end_, sizeof buffer_ - 1 - end_);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        atEnd_ = true;
      } else {
        end_ += static_cast<std::size_t>(n);
      }
    }
  }

 private:
  int fd_;
  char buffer_[4096];
  std::size_t start_ = 0;  // where the next line starts in buffer_
  std::size_t end_ = 0;    // the end of the bytes read
  bool skipping_ = false;  // within a line too long for the buffer
  bool atEnd_ = false;
};

// Splits line at blanks in place into at most max fields; returns how many.
int splitFields(char* line, char** fields, int max) {
  int count = 0;
  for (char* p = line; *p != '\0' && count < max;) {
    while (*p == ' ') *p++ = '\0';
    if (*p == '\0') break;
    fields[count++] = p;
    while (*p != ' ' && *p != '\0') ++p;
  }
  return count;
}

// True when the comma-separated list holds item.
bool listHolds(const char* list, const char* item) {
  const std::size_t n = std::strlen(item);
  for (const char* p = list;; ++p) {
    if (std::strncmp(p, item, n) == 0 && (p[n] == ',' || p[n] == '\0')) return true;
    p = std::strchr(p, ',');
    if (p == nullptr) return false;
  }
}

// Reads the decimal number that starts the text; false for anything else
// ("max", say). Saturates instead of overflowing.
bool parseBytes(const char* text, std::uint64_t* bytes) {
  if (*text < '0' || *text > '9') return false;
  std::uint64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    const auto digit = static_cast<std::uint64_t>(*text - '0');
    value = value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : value * 10 + digit;
  }
  *bytes = value;
  return true;
}

// The two kinds of memory control group. Version 1 has a hierarchy of its
// own for the memory controller; version 2 one for every controller.
struct GroupKind {
  bool version1;
  const char* limit;  // the file of the group's limit
  const char* usage;  // the file of what the group and its children use
  // The memory.stat lines of their page cache: file pages in the inactive
  // and the active list, and those of them that are dirty or being written.
  const char* stat_names[4];
};
constexpr GroupKind kGroupV1 = {
    true,
    "/memory.limit_in_bytes",
    "/memory.usage_in_bytes",
    {"total_inactive_file", "total_active_file", "total_dirty", "total_writeback"}};
constexpr GroupKind kGroupV2 = {false,
                                "/memory.max",
                                "/memory.current",
                                {"inactive_file", "active_file", "file_dirty", "file_writeback"}};

// A group's page cache, in bytes, as its memory.stat counts it.
struct PageCache {
  std::uint64_t values[4];  // in the order of GroupKind::stat_names
};

// The folder of this process's group of that kind, under root, into folder;
// *top is the length of its mount point's part, where a walk up stops.
// False where the process has no such group or it is not mounted.
bool groupFolder(const char* root, const GroupKind& kind, char (&folder)[kPathBytes],
                 std::size_t* top) {
  // Where the process stands in the hierarchy: "0::PATH" for version 2,
  // "N:CONTROLLERS:PATH" for version 1.
  char path[kPathBytes];
  char file[kPathBytes];
  if (!joinPath(file, {root, "/proc/self/cgroup"})) return false;
  bool found = false;
  LineReader groups(file);
  while (!found) {
    char* const line = groups.next();
    if (line == nullptr) return false;
    char* controllers = std::strchr(line, ':');
    char* at = controllers == nullptr ? nullptr : std::strchr(controllers + 1, ':');
    if (at == nullptr) continue;
    *at = '\0';
    const bool wanted =
        kind.version1 ? listHolds(controllers + 1, "memory") : std::strcmp(line, "0:") == 0;
    found = wanted && joinPath(path, {at + 1});
  }
  // Where the hierarchy is mounted: "ID PARENT DEV ROOT MOUNT_POINT OPTIONS
  // [OPTIONAL...] - TYPE SOURCE SUPER_OPTIONS".
  if (!joinPath(file, {root, "/proc/self/mountinfo"})) return false;
  LineReader mounts(file);
  for (char* line = mounts.next(); line != nullptr; line = mounts.next()) {
    char* fields[16];
    const int count = splitFields(line, fields, 16);
    int dash = 6;
    while (dash < count && std::strcmp(fields[dash], "-") != 0) ++dash;
    if (dash + 3 >= count) continue;
    const char* type = fields[dash + 1];
    if (kind.version1 ? std::strcmp(type, "cgroup") != 0 || !listHolds(fields[dash + 3], "memory")
                      : std::strcmp(type, "cgroup2") != 0) {
      continue;
    }
    // The process's path, seen from the mount's root; a group outside it
    // (a container's view of another group) cannot be reached.
    const char* mount_root = fields[3];
    const std::size_t n = std::strcmp(mount_root, "/") == 0 ? 0 : std::strlen(mount_root);
    if (std::strncmp(path, mount_root, n) != 0 || (path[n] != '/' && path[n] != '\0')) {
      continue;
    }
    *top = std::strlen(root) + std::strlen(fields[4]);
    if (joinPath(folder, {root, fields[4], path + n})) return true;
  }
  return false;
}

// The page cache of the group at folder; 0 for each line that is missing.
PageCache pageCache(const char* folder, const GroupKind& kind) {
  PageCache cache = {};
  char file[kPathBytes];
  if (!joinPath(file, {folder, "/memory.stat"})) return cache;
  LineReader lines(file);
  for (char* line = lines.next(); line != nullptr; line = lines.next()) {
    for (int k = 0; k < 4; ++k) {
      const std::size_t n = std::strlen(kind.stat_names[k]);
      if (std::strncmp(line, kind.stat_names[k], n) == 0 && line[n] == ' ') {
        parseBytes(line + n + 1, &cache.values[k]);
      }
    }
  }
  return cache;
}

// The part of a group's page cache that the system takes back before it
// would end a process of the group, as MemAvailable counts the machine's:
// inactive and active file pages alike (a file read twice is active, and
// goes as readily). Dirty pages and those being written must reach the disk
// first, and a group whose cache is mostly such can meet its limit before
// they do: none of them counts. Of the clean rest the system keeps some, as
// MemAvailable keeps the low watermark (a few tenths of a percent of the
// machine, at most half the cache): the same share of the group's limit.
std::uint64_t reclaimableCache(const PageCache& cache, std::uint64_t limit) {
  const std::uint64_t file = cache.values[0] + cache.values[1];
  const std::uint64_t clean = file - std::min(file, cache.values[2] + cache.values[3]);
  return clean - std::min(clean / 2, limit / kKeptShareOfLimit);
}

// The number that the file named at folder holds; false when it is missing
// or holds no number ("max").
bool fileBytes(const char* folder, const char* name, std::uint64_t* bytes) {
  char file[kPathBytes];
  char text[64];
  return joinPath(file, {folder, name}) && readFileStart(file, text, sizeof text) &&
         parseBytes(text, bytes);
}

// Takes the limit of the group at folder, and the room it leaves, into
// *group where they are less. The page cache that the system takes back
// counts as room: a text just read, or the files of a build in the same
// container, would otherwise look like memory in use.
void takeGroupLevel(const char* folder, const GroupKind& kind, MemoryStatus* group) {
  std::uint64_t limit = 0;
  std::uint64_t usage = 0;
  if (!fileBytes(folder, kind.limit, &limit) || !fileBytes(folder, kind.usage, &usage)) return;
  const std::uint64_t cache = reclaimableCache(pageCache(folder, kind), limit);
  const std::uint64_t used = usage - std::min(usage, cache);
  const std::uint64_t room = limit - std::min(limit, used);
  group->available = group->known ? std::min(group->available, room) : room;
  group->total = group->known ? std::min(group->total, limit) : limit;
  group->known = true;
}

// Walks from this process's group of that kind up to its mount point,
// taking every level's limit and room into *group: a limit set on a parent
// holds for its children too, and their siblings use it up as well.
void takeGroup(const char* root, const GroupKind& kind, MemoryStatus* group) {
  char folder[kPathBytes];
  std::size_t top = 0;
  if (!groupFolder(root, kind, folder, &top)) return;
  std::size_t length = std::strlen(folder);
  while (length > top && folder[length - 1] == '/') --length;
  for (;;) {
    folder[length] = '\0';
    takeGroupLevel(folder, kind, group);
    if (length <= top) return;
    while (length > top && folder[length - 1] != '/') --length;
    while (length > top && folder[length - 1] == '/') --length;
  }
}

}  // namespace

MemoryStatus availableMemoryUnder(const char* root) {
  // The first lines hold what is needed; fixed buffers keep the heap out.
  char file[kPathBytes];
  char info[2048];
  if (!joinPath(file, {root, "/proc/meminfo"}) || !readFileStart(file, info, sizeof info)) {
    return {false, 0, 0};
  }
  MemoryStatus status{true, 0, 0};
  if (!meminfoValue(info, "\nMemAvailable:", &status.available) ||
      !meminfoValue(info, "MemTotal:", &status.total)) {
    return {false, 0, 0};
  }
  // known: some level of some group has a limit; available: the least room
  // they leave; total: the least limit.
  MemoryStatus group{false, 0, 0};
  takeGroup(root, kGroupV1, &group);
  takeGroup(root, kGroupV2, &group);
  if (group.known) {
    status.available = std::min(status.available, group.available);
    status.total = std::min(status.total, group.total);
  }
  return status;
}

MemoryStatus availableMemory() { return availableMemoryUnder(""); }

#include "app/single_instance.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <fstream>
#include <iterator>
#include <memory>

namespace lormex {
namespace {

// The kernel keeps at most this many bytes of a command name.
constexpr std::size_t kCommandNameLength = 15;

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ReadWholeFile(const std::string& path, std::string* contents) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  contents->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Field 22 of /proc/PID/stat. The command name in field 2 may hold blanks and parentheses, so
// counting starts after its closing parenthesis.
std::optional<std::uint64_t> ReadStartTime(const std::string& proc_dir) {
  std::string stat;
  if (!ReadWholeFile(proc_dir + "/stat", &stat)) return std::nullopt;
  std::size_t pos = stat.rfind(')');
  if (pos == std::string::npos) return std::nullopt;
  // After ")" come field 3 (state) onwards; the start time is the 20th of them.
  for (int field = 3; field < 22; ++field) {
    pos = stat.find(' ', pos + 1);
    if (pos == std::string::npos) return std::nullopt;
  }
  std::uint64_t value = 0;
  const char* first = stat.data() + pos + 1;
  const auto [end, ec] = std::from_chars(first, stat.data() + stat.size(), value);
  if (ec != std::errc() || end == first) return std::nullopt;
  return value;
}

// The program file name of a process whose executable link cannot be read (another user's).
// The command name is the executable's file name cut to 15 bytes; a longer name is completed
// from the first word of the command line when that agrees with it.
std::optional<std::string> NameFromCommand(const std::string& proc_dir) {
  std::string comm;
  if (!ReadWholeFile(proc_dir + "/comm", &comm)) return std::nullopt;
  if (!comm.empty() && comm.back() == '\n') comm.pop_back();
  std::string cmdline;
  if (ReadWholeFile(proc_dir + "/cmdline", &cmdline)) {
    const std::string argv0 = BaseName(cmdline.substr(0, cmdline.find('\0')));
    if (argv0.size() > kCommandNameLength && argv0.compare(0, kCommandNameLength, comm) == 0) {
      return argv0;
    }
  }
  return comm;
}

}  // namespace

std::optional<ProcessInfo> ReadProcess(pid_t pid) {
  const std::string proc_dir = "/proc/" + std::to_string(pid);
  ProcessInfo info;
  info.pid = pid;
  char target[4096];
  const ssize_t length = readlink((proc_dir + "/exe").c_str(), target, sizeof target - 1);
  if (length >= 0) {
    std::string path(target, static_cast<std::size_t>(length));
    // A program file replaced or removed while it runs keeps its name with this mark.
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.ends_with(kDeleted)) path.resize(path.size() - kDeleted.size());
    info.program_file_name = BaseName(path);
  } else if (errno == EACCES || errno == EPERM) {
    std::optional<std::string> name = NameFromCommand(proc_dir);
    if (!name) return std::nullopt;
    info.program_file_name = *name;
  } else {
    // Kernel threads have no executable; a process that has just ended has nothing left.
    return std::nullopt;
  }
  std::optional<std::uint64_t> start_time = ReadStartTime(proc_dir);
  if (!start_time) return std::nullopt;
  info.start_time = *start_time;
  return info;
}

std::optional<std::vector<ProcessInfo>> ListProcesses() {
  std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
  if (!proc) return std::nullopt;
  std::vector<ProcessInfo> processes;
  while (const dirent* entry = readdir(proc.get())) {
    pid_t pid = 0;
    const char* name = entry->d_name;
    const char* name_end = name + std::char_traits<char>::length(name);
    const auto [end, ec] = std::from_chars(name, name_end, pid);
    if (ec != std::errc() || end != name_end || pid <= 0) continue;
    if (std::optional<ProcessInfo> info = ReadProcess(pid)) processes.push_back(std::move(*info));
  }
  return processes;
}

bool IsAnotherInstanceAmong(const std::vector<ProcessInfo>& processes, const ProcessInfo& self) {
  for (const ProcessInfo& other : processes) {
    if (other.pid == self.pid) continue;
    if (other.program_file_name != self.program_file_name) continue;
    // A copy started after this one will see this one and give way itself.
    const bool started_earlier = other.start_time < self.start_time ||
                                 (other.start_time == self.start_time && other.pid < self.pid);
    if (started_earlier) return true;
  }
  return false;
}

bool IsAnotherInstanceRunning() {
  std::optional<ProcessInfo> self = ReadProcess(getpid());
  if (!self) return false;
  std::optional<std::vector<ProcessInfo>> processes = ListProcesses();
  if (!processes) return false;
  return IsAnotherInstanceAmong(*processes, *self);
}

}  // namespace lormex

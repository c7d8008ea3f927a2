#ifndef LORMEX_APP_SINGLE_INSTANCE_H_
#define LORMEX_APP_SINGLE_INSTANCE_H_

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lormex {

// One entry of the system's process list.
struct ProcessInfo {
  pid_t pid = 0;
  std::string program_file_name;  // file name of the executable, without folder
  std::uint64_t start_time = 0;   // clock ticks since boot
};

// True when another process runs from a program file with the same file name as this one,
// compared exactly. Only processes that started before this one count (ties broken by the
// lower process id), so of several copies started at the same moment exactly one goes on.
// False when the process list cannot be read.
bool IsAnotherInstanceRunning();

// The decision itself, over a process list.
bool IsAnotherInstanceAmong(const std::vector<ProcessInfo>& processes, const ProcessInfo& self);

// Platform facts, Linux: the process list from /proc, or nothing when /proc cannot be read.
// The executable of another user's process cannot be resolved without privileges; its name then
// comes from the kernel's command name and the first word of its command line.
std::optional<std::vector<ProcessInfo>> ListProcesses();
std::optional<ProcessInfo> ReadProcess(pid_t pid);

}  // namespace lormex

#endif  // LORMEX_APP_SINGLE_INSTANCE_H_

#include "test_support/run_leftovers.h"

#include <signal.h>

#include <filesystem>
#include <map>

#include "test_support/local_processes.h"
#include "test_support/wait_until.h"

namespace quorvane_test {
namespace {

// The file name of the command line's first word, and whether more words follow.
std::string program_of(const std::string& command_line, bool* has_arguments) {
  const std::size_t blank = command_line.find(' ');
  *has_arguments = blank != std::string::npos;
  return std::filesystem::path(command_line.substr(0, blank)).filename().string();
}

bool is_guard(const std::string& command_line) {
  bool has_arguments = false;
  return program_of(command_line, &has_arguments) == "QuorvaneHelper" && !has_arguments;
}

bool is_server(const std::string& command_line) {
  bool has_arguments = false;
  return program_of(command_line, &has_arguments) == "QuorvaneProxy";
}

std::vector<std::string> lines_of(const std::map<int, std::string>& processes) {
  std::vector<std::string> lines;
  for (const auto& [pid, line] : processes) lines.push_back(line);
  return lines;
}

// Ends the processes from `folder` that `which` picks, then waits for them
// to go.
void end_each(const std::string& folder, bool (*which)(const std::string&)) {
  const auto picked = [&] {
    std::map<int, std::string> found;
    for (const auto& [pid, line] : command_lines_from(folder))
      if (which(line)) found.emplace(pid, line);
    return found;
  };
  for (const auto& [pid, line] : picked()) ::kill(pid, SIGTERM);
  wait_until([&] { return picked().empty(); }, std::chrono::seconds(10));
}

}  // namespace

bool is_server_or_guard(const std::string& command_line) { return is_guard(command_line) || is_server(command_line); }

std::vector<std::string> end_runs_then_server(const std::string& folder, std::chrono::seconds timeout) {
  const auto runs_left = [&] {
    std::map<int, std::string> left;
    for (const auto& [pid, line] : command_lines_from(folder))
      if (!is_server_or_guard(line)) left.emplace(pid, line);
    return left;
  };
  if (!wait_until([&] { return runs_left().empty(); }, timeout)) return lines_of(command_lines_from(folder));
  // The guard first: it would otherwise see the proxy go and end on its own.
  end_each(folder, is_guard);
  end_each(folder, is_server);
  return lines_of(command_lines_from(folder));
}

}  // namespace quorvane_test

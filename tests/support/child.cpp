#include "support/child.hpp"

#include <gtest/gtest.h>
#include <orvik/exception.hpp>

#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace orvik::test {
namespace {

std::string slurp_and_remove(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  std::remove(path.c_str());
  return text.str();
}

std::string make_temp_file() {
  char name[] = "/tmp/orvik_child_XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  close(fd);
  return name;
}

}  // namespace

child_result run_in_child(const std::function<void()>& body) {
  const std::string out_path = make_temp_file();
  const std::string err_path = make_temp_file();
  std::fflush(stdout);
  std::fflush(stderr);
  std::cout.flush();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    std::freopen(out_path.c_str(), "w", stdout);
    std::freopen(err_path.c_str(), "w", stderr);
    // An exception must not unwind into the test framework of the child,
    // which would go on to run the rest of the suite there.
    try {
      body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "uncaught exception: %s\n", e.what());
      std::fflush(stdout);
      std::fflush(stderr);
      _exit(uncaught_exit_code);
    } catch (...) {
      std::fflush(stdout);
      _exit(uncaught_exit_code);
    }
    std::cout.flush();
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  child_result result;
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = slurp_and_remove(out_path);
  result.err = slurp_and_remove(err_path);
  return result;
}

std::string error_line(std::int32_t number, std::string_view message) {
  std::string warning(message.substr(0, 100));
  warning.resize(100, ' ');
  char head[80];
  std::snprintf(head, sizeof head, " error----> number= %11d  , level= %11d , warning=", static_cast<int>(number),
                static_cast<int>(number));
  return std::string(head) + warning + "\n";
}

void expect_stops(const std::vector<stop_case>& cases) {
  for (const stop_case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_STOPS_WITH(c.body(), c.number, c.message);
  }
  // The raising pass comes second: a body may leave remembered sizes or
  // bounds behind in this process, and the children must not see them.
  for (const stop_case& c : cases) {
    SCOPED_TRACE(c.what);
    orvik::raising_scope guard;
    try {
      c.body();
      ADD_FAILURE() << "no error raised";
    } catch (const orvik::error& e) {
      EXPECT_EQ(e.exception().number, c.number);
      EXPECT_EQ(orvik::e_error_line(e.exception()) + "\n", error_line(c.number, c.message));
    }
  }
}

}  // namespace orvik::test

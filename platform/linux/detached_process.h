// Starting a program that lives on by itself, as a desktop launcher starts applications.
#pragma once

#include <string>
#include <vector>

namespace sys {

// Starts `program` (a path; it is not looked up on $PATH) with `arguments` detached from this
// process: in a session of its own, not a child of this process (nothing to reap, it outlives
// this one), standard input, output and error on /dev/null, no other open file of this process,
// the working folder "/", default signal handling and no blocked signals, and this process's
// environment (so it finds the same session bus and display).
//
// True once the program is running: false when it could not be started (no such file, not
// executable, a bad interpreter line, no processes left); `*error` then holds the errno.
bool startDetachedProcess(const std::string& program, const std::vector<std::string>& arguments,
                          int* error = nullptr);

}  // namespace sys

#pragma once
// Runs work in a forked child process. For library calls that change their
// state in place and, on damaged input, may stop half-way or abort the whole
// process: the child works on a copy of the parent's memory, so whatever
// happens there, the parent's state stays as it was.

#include <functional>
#include <string>

namespace comsweep::registry {

// Runs `work` in a child and returns what it returned: empty for success,
// else why it failed. A child that dies is reported with its signal and
// what it wrote to standard error. The child ends with _exit, so no
// destructor or exit handler of the parent's objects runs twice.
std::string runInChildProcess(const std::function<std::string()>& work);

}  // namespace comsweep::registry

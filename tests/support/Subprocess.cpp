// Running a program with pipes on its output, and a watchdog.
#include "Subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) lines.push_back(line);
    return lines;
}

}  // namespace

std::vector<std::string> ProcessResult::OutLines() const { return SplitLines(out); }
std::vector<std::string> ProcessResult::ErrLines() const { return SplitLines(err); }

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options) {
    ProcessResult result;
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return result;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        close(outPipe[0]);
        close(errPipe[0]);
        for (const std::string& name : options.unset) unsetenv(name.c_str());
        for (const std::string& setting : options.environment) {
            const std::size_t equals = setting.find('=');
            setenv(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str(), 1);
        }
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    std::string pendingLine;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, 100) <= 0) continue;
        for (pollfd& fd : fds) {
            if (fd.fd < 0 || (fd.revents & (POLLIN | POLLHUP)) == 0) continue;
            char buffer[4096];
            const ssize_t got = read(fd.fd, buffer, sizeof buffer);
            if (got <= 0) {
                close(fd.fd);
                fd.fd = -1;
                --open;
                continue;
            }
            if (fd.fd == errPipe[0]) {
                result.err.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            result.out.append(buffer, static_cast<std::size_t>(got));
            pendingLine.append(buffer, static_cast<std::size_t>(got));
            for (std::size_t end = pendingLine.find('\n'); end != std::string::npos; end = pendingLine.find('\n')) {
                const std::string line = pendingLine.substr(0, end);
                pendingLine.erase(0, end + 1);
                if (options.onOutLine) options.onOutLine(line, pid);
            }
        }
    }
    for (pollfd& fd : fds) {
        if (fd.fd >= 0) close(fd.fd);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

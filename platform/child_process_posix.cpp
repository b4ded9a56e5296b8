// Child processes on POSIX systems: posix_spawn with a pipe for standard output.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "ChildProcess.h"

extern char** environ;

namespace platform {

struct ChildProcess::State {
    pid_t pid = -1;
    int output = -1;
    bool ended = false;
    int exitCode = 0;
    int signal = 0;
};

ChildProcess::ChildProcess() : state_(std::make_unique<State>()) {}

ChildProcess::~ChildProcess() {
    if (state_->output >= 0) close(state_->output);
}

namespace {

// This process's environment with the additions, as posix_spawn takes it.
std::vector<std::string> EnvironmentWith(const std::vector<std::pair<std::string, std::string>>& additions) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        const bool replaced =
            std::any_of(additions.begin(), additions.end(), [&](const auto& a) { return a.first == name; });
        if (!replaced) entries.push_back(text);
    }
    for (const auto& [name, value] : additions) entries.push_back(name + "=" + value);
    return entries;
}

}  // namespace

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         const ChildOptions& options) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return false;
    int inputEnds[2] = {-1, -1};
    if (options.hasInput && pipe(inputEnds) != 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        return false;
    }
    fcntl(pipeEnds[0], F_SETFD, FD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    if (options.keepErrors) {
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    if (options.hasInput) {
        fcntl(inputEnds[1], F_SETFD, FD_CLOEXEC);
        posix_spawn_file_actions_adddup2(&actions, inputEnds[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, inputEnds[0]);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own (Ctrl-C at the terminal reaches the parent only) and the usual signals.
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const std::vector<std::string> environment = EnvironmentWith(options.environment);
    std::vector<char*> envp;
    for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    const bool search = options.searchPath && program.find('/') == std::string::npos;
    const int failed = (search ? posix_spawnp : posix_spawn)(&state_->pid, program.c_str(), &actions, &attributes,
                                                             argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipeEnds[1]);
    if (options.hasInput) close(inputEnds[0]);
    if (failed != 0) {
        close(pipeEnds[0]);
        if (options.hasInput) close(inputEnds[1]);
        return false;
    }
    if (options.hasInput) {
        // What fits the pipe goes in at once; a child that reads nothing must not hold its parent.
        fcntl(inputEnds[1], F_SETFL, O_NONBLOCK);
        for (std::size_t done = 0; done < options.input.size();) {
            const ssize_t wrote = write(inputEnds[1], options.input.data() + done, options.input.size() - done);
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote <= 0) break;
            done += static_cast<std::size_t>(wrote);
        }
        close(inputEnds[1]);
    }
    fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);
    state_->output = pipeEnds[0];
    return true;
}

int ChildProcess::Id() const { return static_cast<int>(state_->pid); }

bool ChildProcess::Read(std::string& output) {
    if (state_->output < 0) return false;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(state_->output, buffer, sizeof buffer);
        if (got > 0) {
            output.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        close(state_->output);
        state_->output = -1;
        return false;
    }
}

void ChildProcess::Stop(int signal) {
    if (state_->pid > 0 && !state_->ended) kill(state_->pid, signal);
}

// The child's whole group: whatever it started goes with it.
void ChildProcess::Kill() {
    if (state_->pid > 0 && !state_->ended) kill(-state_->pid, SIGKILL);
}

bool ChildProcess::Ended(int& exitCode, int& endedBySignal) {
    if (!state_->ended && state_->pid > 0) {
        int status = 0;
        if (waitpid(state_->pid, &status, WNOHANG) == state_->pid) {
            state_->ended = true;
            state_->signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
            state_->exitCode = WIFSIGNALED(status) ? 128 + state_->signal : WEXITSTATUS(status);
        }
    }
    exitCode = state_->exitCode;
    endedBySignal = state_->signal;
    return state_->ended;
}

void WaitForOutput(const std::vector<ChildProcess*>& children, int milliseconds) {
    std::vector<pollfd> watched;
    for (ChildProcess* child : children) {
        if (child->state_->output >= 0) watched.push_back({child->state_->output, POLLIN, 0});
    }
    if (watched.empty()) {
        usleep(static_cast<useconds_t>(milliseconds) * 1000);
        return;
    }
    poll(watched.data(), watched.size(), milliseconds);
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

}  // namespace platform

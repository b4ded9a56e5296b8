// Child processes on POSIX systems: posix_spawn with a pipe for standard output.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return false;
    fcntl(pipeEnds[0], F_SETFD, FD_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
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
    const int failed = posix_spawn(&state_->pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pipeEnds[1]);
    if (failed != 0) {
        close(pipeEnds[0]);
        return false;
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

void ChildProcess::Kill() { Stop(SIGKILL); }

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

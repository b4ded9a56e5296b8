// Child processes on Windows: CreateProcess with a pipe for standard output, in a process group of
// its own so that Ctrl-Break can be sent to it alone.
#include <windows.h>

#include <algorithm>
#include <optional>

#include "ChildProcess.h"

namespace platform {

namespace {

// One argument as the C runtime's parser reads it back.
std::string Quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

}  // namespace

struct ChildProcess::State {
    PROCESS_INFORMATION process{};
    HANDLE output = nullptr;
    HANDLE stopEvent = nullptr;  // set to ask the child to stop (see SUITE_STOP_EVENT)
    bool ended = false;
    int exitCode = 0;
};

ChildProcess::ChildProcess() : state_(std::make_unique<State>()) {}

ChildProcess::~ChildProcess() {
    if (state_->output != nullptr) CloseHandle(state_->output);
    if (state_->process.hProcess != nullptr) CloseHandle(state_->process.hProcess);
    if (state_->process.hThread != nullptr) CloseHandle(state_->process.hThread);
    if (state_->stopEvent != nullptr) CloseHandle(state_->stopEvent);
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         const ChildOptions& options) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherited, 0)) return false;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE inputRead = nullptr;
    HANDLE inputWrite = nullptr;
    if (options.hasInput) {
        // Sized for what is written, so that the write never waits for the child to read.
        const DWORD size = static_cast<DWORD>(std::max<std::size_t>(options.input.size() + 1, 4096));
        if (!CreatePipe(&inputRead, &inputWrite, &inherited, size)) {
            CloseHandle(readEnd);
            CloseHandle(writeEnd);
            return false;
        }
        SetHandleInformation(inputWrite, HANDLE_FLAG_INHERIT, 0);
    }
    const HANDLE nul =
        CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = options.hasInput ? inputRead : GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = options.keepErrors ? writeEnd : nul;
    std::string commandLine = Quoted(program);
    for (const std::string& argument : arguments) commandLine += " " + Quoted(argument);
    // The child's environment: this process's for the moment of CreateProcess, with the additions
    // and its stop event's name, then taken back.
    static unsigned children = 0;
    const std::string eventName =
        "Local\\suite-stop-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++children);
    state_->stopEvent = CreateEventA(nullptr, FALSE, FALSE, eventName.c_str());
    std::vector<std::pair<std::string, std::string>> added = options.environment;
    if (state_->stopEvent != nullptr) added.emplace_back("SUITE_STOP_EVENT", eventName);
    std::vector<std::pair<std::string, std::optional<std::string>>> before;
    for (const auto& [name, value] : added) {
        char current[32768];
        const DWORD length = GetEnvironmentVariableA(name.c_str(), current, sizeof current);
        before.emplace_back(name,
                            length > 0 && length < sizeof current ? std::optional<std::string>(current) : std::nullopt);
        SetEnvironmentVariableA(name.c_str(), value.c_str());
    }
    const bool search = options.searchPath && program.find_first_of("\\/:") == std::string::npos;
    // No console window of its own: a station's workers, started from a window, would each flash one.
    const BOOL started =
        CreateProcessA(search ? nullptr : program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                       CREATE_NEW_PROCESS_GROUP | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &state_->process);
    for (const auto& [name, value] : before) SetEnvironmentVariableA(name.c_str(), value ? value->c_str() : nullptr);
    CloseHandle(writeEnd);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (inputRead != nullptr) CloseHandle(inputRead);
    if (inputWrite != nullptr) {
        DWORD wrote = 0;
        if (started && !options.input.empty()) {
            WriteFile(inputWrite, options.input.data(), static_cast<DWORD>(options.input.size()), &wrote, nullptr);
        }
        CloseHandle(inputWrite);
    }
    if (!started) {
        CloseHandle(readEnd);
        return false;
    }
    state_->output = readEnd;
    return true;
}

int ChildProcess::Id() const { return static_cast<int>(state_->process.dwProcessId); }

bool ChildProcess::Read(std::string& output) {
    if (state_->output == nullptr) return false;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(state_->output, nullptr, 0, nullptr, &available, nullptr)) break;
        if (available == 0) return true;
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(state_->output, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr) || got == 0)
            break;
        output.append(buffer, got);
    }
    CloseHandle(state_->output);
    state_->output = nullptr;
    return false;
}

// Every stop is the child's Ctrl-C: through its stop event, which needs no shared console.
void ChildProcess::Stop(int) {
    if (!state_->ended && state_->stopEvent != nullptr) SetEvent(state_->stopEvent);
}

void ChildProcess::Kill() {
    if (!state_->ended && state_->process.hProcess != nullptr) TerminateProcess(state_->process.hProcess, 137);
}

bool ChildProcess::Ended(int& exitCode, int& endedBySignal) {
    if (!state_->ended && state_->process.hProcess != nullptr &&
        WaitForSingleObject(state_->process.hProcess, 0) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(state_->process.hProcess, &code);
        state_->ended = true;
        state_->exitCode = static_cast<int>(code);
    }
    exitCode = state_->exitCode;
    endedBySignal = 0;
    return state_->ended;
}

// Anonymous pipes cannot be waited on: a short nap between looks.
void WaitForOutput(const std::vector<ChildProcess*>&, int milliseconds) {
    Sleep(static_cast<DWORD>(std::min(milliseconds, 25)));
}

std::string HostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

}  // namespace platform

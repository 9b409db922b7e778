#pragma once
// velmora-sim as a child process for end-to-end tests: started with pipes on
// its standard input and output, so a test reads its device path, sends it
// commands while it serves, and stops it.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace velmora::test {

// Only a guard against a broken simulator; nothing waits this long when it works.
constexpr int kGuardMs = 10000;

// Reads from `fd` until `done` says the text is complete (true) or the
// descriptor ends (`atEnd`); false when the guard runs out first.
template <typename Done> bool ReadFor(int fd, std::string& buf, Done done, bool atEnd)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGuardMs);
    while (!done(buf)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char tmp[512];
        const ssize_t n = read(fd, tmp, sizeof tmp);
        if (n == 0)
            return atEnd;
        if (n > 0)
            buf.append(tmp, static_cast<std::size_t>(n));
    }
    return true;
}

// Reads until `done`; false when the guard runs out or the descriptor ends
// first.
template <typename Done> bool ReadUntil(int fd, std::string& buf, Done done)
{
    return ReadFor(fd, buf, done, false);
}

// Reads `fd` to its end; false when the guard runs out first.
inline bool ReadToEnd(int fd, std::string& buf)
{
    return ReadFor(
        fd, buf, [](const std::string&) { return false; }, true);
}

// A child program with pipes on its standard output and error, and on its
// standard input unless it is to read nothing.
class ChildProcess {
public:
    struct Options {
        bool pipeInput = true;    // else standard input is /dev/null
        bool mergeErrors = false; // standard error through the output pipe
        // Without the pipe: this file as standard input (a terminal's
        // device) instead of /dev/null.
        std::string inputPath;
        // Where the child runs (a program that keeps a state file in its
        // working folder); empty: the test's own.
        std::string workingDirectory;
    };

    bool Start(const char* binary, const std::vector<std::string>& args, const Options& options)
    {
        int in[2] = {-1, -1}, out[2], err[2] = {-1, -1};
        if ((options.pipeInput && pipe2(in, O_CLOEXEC) != 0) || pipe2(out, O_CLOEXEC) != 0 ||
            (!options.mergeErrors && pipe2(err, O_CLOEXEC) != 0))
            return false;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        if (options.pipeInput)
            posix_spawn_file_actions_adddup2(&fa, in[0], STDIN_FILENO);
        else if (!options.inputPath.empty())
            posix_spawn_file_actions_addopen(&fa, STDIN_FILENO, options.inputPath.c_str(), O_RDWR | O_NOCTTY, 0);
        else
            posix_spawn_file_actions_addopen(&fa, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (!options.workingDirectory.empty())
            posix_spawn_file_actions_addchdir_np(&fa, options.workingDirectory.c_str());
        posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&fa, options.mergeErrors ? out[1] : err[1], STDERR_FILENO);
        std::vector<std::string> all = {binary};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        argv.reserve(all.size() + 1);
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&m_pid, binary, &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        for (int fd : {in[0], out[1], err[1]})
            if (fd >= 0)
                close(fd);
        m_in = in[1];
        m_out = out[0];
        m_err = err[0];
        return rc == 0;
    }

    // One line of standard output, without its newline.
    std::optional<std::string> ReadLine()
    {
        if (!ReadUntil(m_out, m_buf, [](const std::string& b) { return b.find('\n') != std::string::npos; }))
            return std::nullopt;
        const auto nl = m_buf.find('\n');
        std::string line = m_buf.substr(0, nl);
        m_buf.erase(0, nl + 1);
        return line;
    }

    // Writes one line to standard input.
    bool Command(const std::string& line)
    {
        const std::string text = line + "\n";
        return write(m_in, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }

    void CloseInput()
    {
        if (m_in >= 0)
            close(m_in);
        m_in = -1;
    }

    void Signal(int sig) { kill(m_pid, sig); }

    // Sends `sig` and collects the raw wait status; -1 when the process did
    // not end.
    int Stop(int sig)
    {
        if (m_pid <= 0)
            return -1;
        kill(m_pid, sig);
        // The end of its standard output marks the end of the process.
        std::string rest;
        const bool ended = ReadToEnd(m_out, rest);
        if (!ended)
            kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return ended ? status : -1;
    }

    // Waits for the end: the exit code (-1 when it did not end by itself or
    // was killed by a signal); `out` gets the standard output not read yet,
    // `err` all of standard error.
    int Finish(std::string& out, std::string& err)
    {
        const bool ended = ReadToEnd(m_out, m_buf) && (m_err < 0 || ReadToEnd(m_err, err));
        if (!ended)
            kill(m_pid, SIGKILL);
        out = m_buf;
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    ~ChildProcess()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        CloseInput();
        for (int fd : {m_out, m_err})
            if (fd >= 0)
                close(fd);
    }

protected:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_buf;
};

class SimProcess : public ChildProcess {
public:
    // With `mergeErrors` the simulator's standard error comes through the
    // same pipe as its standard output.
    bool Start(const std::vector<std::string>& args, bool mergeErrors = false)
    {
        return ChildProcess::Start(VELMORA_SIM_BINARY, args, {true, mergeErrors, {}});
    }

    // Runs the simulator to its end with `args`; the raw wait status.
    // Standard output and error are gathered in `output`.
    static int RunToEnd(const std::vector<std::string>& args, std::string& output)
    {
        SimProcess p;
        if (!p.Start(args, true))
            return -1;
        p.CloseInput();
        if (!ReadToEnd(p.m_out, output))
            kill(p.m_pid, SIGKILL);
        int status = 0;
        waitpid(p.m_pid, &status, 0);
        p.m_pid = -1;
        return status;
    }
};

} // namespace velmora::test

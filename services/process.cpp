#include "services/process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

extern char** environ;

namespace zun::process {

namespace {

constexpr size_t FIRST_CAPACITY = 4096;
constexpr size_t WRITE_CHUNK = 65536;
constexpr size_t MAX_OUTPUT = 0x7FFFFFF0;  // the largest series

// Names the shell knows that are usually no program of their own: a command
// starting with one that is not found as a program runs through the shell.
constexpr const char* k_builtins[] = {
    ".", ":", "alias", "bg", "cd", "command", "eval", "exec", "exit", "export", "fc", "fg",
    "getopts", "hash", "jobs", "read", "readonly", "return", "set", "shift", "source",
    "times", "trap", "type", "ulimit", "umask", "unalias", "unset", "wait",
};

bool builtin_q(const std::string& name) {
    for (const char* b : k_builtins)
        if (name == b) return true;
    return false;
}

// Children started without waiting; reaped when they are done, so they do not
// linger as zombies.
std::vector<pid_t>& unwaited() {
    static std::vector<pid_t> pids;
    return pids;
}
void reap_finished() {
    auto& pids = unwaited();
    std::erase_if(pids, [](pid_t pid) {
        int status;
        pid_t r = waitpid(pid, &status, WNOHANG);
        return r == pid || (r < 0 && errno == ECHILD);
    });
}

struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { close(); }
    void close() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

struct Pipe {
    Fd read, write;
    bool open() {
        int p[2];
        if (pipe2(p, O_CLOEXEC) != 0) return false;
        read.fd = p[0];
        write.fd = p[1];
        return true;
    }
};

std::vector<std::string> split_blanks(const std::string& command) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < command.size()) {
        while (i < command.size() && (command[i] == ' ' || command[i] == '\t')) i++;
        size_t start = i;
        while (i < command.size() && command[i] != ' ' && command[i] != '\t') i++;
        if (i > start) words.push_back(command.substr(start, i - start));
    }
    return words;
}

// SIGPIPE stays blocked while the loop writes to a child that may have quit;
// the write then fails with EPIPE instead of ending the program.
class BlockSigpipe {
public:
    BlockSigpipe() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &set, &m_old);
    }
    ~BlockSigpipe() {
        sigset_t pending;
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) && !sigismember(&m_old, SIGPIPE)) {
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, SIGPIPE);
            timespec zero{0, 0};
            while (sigtimedwait(&set, nullptr, &zero) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }

private:
    sigset_t m_old;
};

// Feeds the input and drains both outputs until every pipe is closed. An
// output that outgrows the largest series or the memory is dropped and its
// pipe closed (the child then ends on SIGPIPE); answers false then.
bool pump(Fd& in, const std::vector<uint8_t>* input, Fd& out, std::vector<uint8_t>* output,
          Fd& err, std::vector<uint8_t>* error) {
    BlockSigpipe guard;
    size_t written = 0;
    bool kept = true;
    if (in.fd >= 0) fcntl(in.fd, F_SETFL, fcntl(in.fd, F_GETFL) | O_NONBLOCK);
    if (in.fd >= 0 && input->empty()) in.close();
    size_t out_count = 0, err_count = 0;
    auto drain = [&kept](Fd& fd, std::vector<uint8_t>* into, size_t& count) {
        if (into->size() - count < FIRST_CAPACITY / 2) {
            const size_t grown = std::min(std::max(FIRST_CAPACITY, into->size() * 2), MAX_OUTPUT);
            bool grew = grown > into->size();
            if (grew) {
                try {
                    into->resize(grown);
                } catch (const std::bad_alloc&) {
                    grew = false;
                }
            }
            if (!grew && into->size() == count) {
                std::vector<uint8_t>().swap(*into);
                count = 0;
                kept = false;
                fd.close();
                return;
            }
        }
        ssize_t n = ::read(fd.fd, into->data() + count, into->size() - count);
        if (n > 0) count += size_t(n);
        else if (n == 0 || (errno != EINTR && errno != EAGAIN)) fd.close();
    };
    while (in.fd >= 0 || out.fd >= 0 || err.fd >= 0) {
        pollfd fds[3];
        int n = 0;
        int in_at = -1, out_at = -1, err_at = -1;
        if (in.fd >= 0) fds[in_at = n++] = {in.fd, POLLOUT, 0};
        if (out.fd >= 0) fds[out_at = n++] = {out.fd, POLLIN, 0};
        if (err.fd >= 0) fds[err_at = n++] = {err.fd, POLLIN, 0};
        if (poll(fds, nfds_t(n), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (in_at >= 0 && fds[in_at].revents) {
            size_t chunk = std::min(WRITE_CHUNK, input->size() - written);
            ssize_t w = ::write(in.fd, input->data() + written, chunk);
            if (w > 0) written += size_t(w);
            else if (w < 0 && errno != EINTR && errno != EAGAIN) in.close();  // the child quit reading
            if (written == input->size()) in.close();
        }
        if (out_at >= 0 && fds[out_at].revents) drain(out, output, out_count);
        if (err_at >= 0 && fds[err_at].revents) drain(err, error, err_count);
    }
    if (output) output->resize(out_count);
    if (error) error->resize(err_count);
    return kept;
}

int32_t wait_for(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// The child's end of a redirected output: a pipe for memory, the file opened
// for appending, else the null device.
int output_end(Redirect& r, Pipe& pipe, Fd& file, int null_fd) {
    switch (r.kind) {
        case Redirect::MEMORY:
            return pipe.open() ? pipe.write.fd : -1;
        case Redirect::FILE:
            file.fd = ::open(r.path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
            return file.fd >= 0 ? file.fd : null_fd;
        default:
            return null_fd;
    }
}

Result spawn(const std::vector<std::string>& words, const Options& options, Redirect& input,
             Redirect& output, Redirect& error, int* spawn_error) {
    Result result;
    *spawn_error = 0;
    Fd null_fd(::open("/dev/null", O_RDWR | O_CLOEXEC));
    Fd in_file, out_file, err_file;
    Pipe in_pipe, out_pipe, err_pipe;
    int child_in = -1;
    if (input.kind == Redirect::FILE) {
        in_file.fd = ::open(input.path.c_str(), O_RDONLY | O_CLOEXEC);
        if (in_file.fd < 0) {
            result.input_failed = true;
            return result;
        }
        child_in = in_file.fd;
    } else if (input.kind == Redirect::MEMORY) {
        if (!in_pipe.open()) return result;
        child_in = in_pipe.read.fd;
    }
    const int child_out = output_end(output, out_pipe, out_file, null_fd.fd);
    const int child_err = output_end(error, err_pipe, err_file, null_fd.fd);
    if (child_out < 0 || child_err < 0) return result;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (child_in >= 0) posix_spawn_file_actions_adddup2(&actions, child_in, 0);
    posix_spawn_file_actions_adddup2(&actions, child_out, 1);
    posix_spawn_file_actions_adddup2(&actions, child_err, 2);
    // The child starts with no blocked signals and SIGPIPE at its default.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t empty, defaults;
    sigemptyset(&empty);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attr, &empty);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        *spawn_error = rc;
        return result;
    }
    // Only the child keeps its ends: EOF reaches us when it closes them.
    in_pipe.read.close();
    out_pipe.write.close();
    err_pipe.write.close();
    const bool redirected = input.kind != Redirect::NONE || output.kind != Redirect::NONE ||
                            error.kind != Redirect::NONE;
    if (in_pipe.write.fd >= 0 || out_pipe.read.fd >= 0 || err_pipe.read.fd >= 0)
        result.no_memory = !pump(in_pipe.write, &input.bytes, out_pipe.read,
             output.kind == Redirect::MEMORY ? &output.bytes : nullptr, err_pipe.read,
             error.kind == Redirect::MEMORY ? &error.bytes : nullptr);
    if (options.wait || redirected) {
        result.value = wait_for(pid);
    } else {
        unwaited().push_back(pid);
        result.value = int32_t(pid);
    }
    return result;
}

}  // namespace

bool shell_syntax_q(const std::string& command) {
    return command.find_first_of("|&;<>()$`\\\"'*?[]#~=%{}\n\r!") != std::string::npos;
}

std::string shell_quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

Result run_argv(const std::vector<std::string>& argv, const Options& options, Redirect& input,
                Redirect& output, Redirect& error) {
    reap_finished();
    if (argv.empty()) return Result{0, false};
    int spawn_error = 0;
    return spawn(argv, options, input, output, error, &spawn_error);
}

Result run(const std::string& command, const Options& options, Redirect& input,
           Redirect& output, Redirect& error) {
    reap_finished();
    const std::vector<std::string> shell{"/bin/sh", "-c", command};
    int spawn_error = 0;
    if (options.shell || shell_syntax_q(command)) {
        Result r = spawn(shell, options, input, output, error, &spawn_error);
        r.shell = true;
        return r;
    }
    const std::vector<std::string> words = split_blanks(command);
    if (words.empty()) return Result{0, false};
    Result r = spawn(words, options, input, output, error, &spawn_error);
    if (r.value == -1 && spawn_error == ENOENT && builtin_q(words[0])) {
        r = spawn(shell, options, input, output, error, &spawn_error);
        r.shell = true;
    }
    return r;
}

}  // namespace zun::process

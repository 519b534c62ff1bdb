#pragma once
// The real voidcrawl-server as a process of its own, for the runner's
// scenarios: started on a fresh data folder, stopped at the end.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>

extern char** environ;

namespace runner_test {

// The server as a process of its own, on a fresh data folder; its address
// is the one its "listening on" line says.
class ServerProcess {
public:
    ServerProcess(const std::filesystem::path& data, int port) {
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        const std::string listen = "127.0.0.1:" + std::to_string(port);
        const std::string dataDir = data.string();
        const char* argv[] = {VC_SERVER, "--listen", listen.c_str(), "--data", dataDir.c_str(), nullptr};
        if (posix_spawn(&pid_, VC_SERVER, &actions, nullptr, const_cast<char* const*>(argv), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        // Waits up to 20 s for "voidcrawl-server: listening on http://HOST:PORT".
        std::string said;
        const std::regex ready("listening on (http://[^\\s]+)");
        std::smatch m;
        for (int waited = 0; pid_ > 0 && waited < 20000; waited += 50) {
            pollfd wait{out[0], POLLIN, 0};
            if (poll(&wait, 1, 50) <= 0) continue;
            char buffer[512];
            const ssize_t n = read(out[0], buffer, sizeof buffer);
            if (n <= 0) break;
            said.append(buffer, static_cast<size_t>(n));
            if (std::regex_search(said, m, ready)) {
                url_ = m[1].str();
                break;
            }
        }
        close(out[0]);
    }
    ~ServerProcess() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        for (int waited = 0; waited < 5000 && waitpid(pid_, &status, WNOHANG) == 0; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (waitpid(pid_, &status, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    const std::string& Url() const { return url_; }

private:
    pid_t pid_ = -1;
    std::string url_;
};

}  // namespace runner_test

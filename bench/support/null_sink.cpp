// The null sink's daemon, started and stopped by its process id.
#include "bench/support/null_sink.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

NullSink::~NullSink() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

bool null_sink_start(NullSink& sink, const std::filesystem::path& dir) {
    const std::string socket = (dir / "native").string();
    const std::string protocol = "--load=module-native-protocol-unix socket=" + socket + " auth-anonymous=1";
    std::vector<std::string> args = {"pulseaudio", "-n", "--daemonize=no", "--use-pid-file=no",
                                     "--exit-idle-time=-1", "--disable-shm=yes",
                                     "--load=module-null-sink rate=44100", protocol};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The daemon warns about running as root and about D-Bus; none of it matters here.
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int failed = posix_spawnp(&sink.pid, "pulseaudio", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) {
        sink.pid = 0;
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!std::filesystem::exists(socket)) {
        if (std::chrono::steady_clock::now() > deadline || waitpid(sink.pid, nullptr, WNOHANG) != 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    return true;
}

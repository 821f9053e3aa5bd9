// Times the kill script that every emulator dock runs when the editor starts, on a machine
// with many processes: 1000 sleeping processes of our own are started first, and none of them
// may be ended, since none runs one of our programs.
// bench_kill [RUNS] [SCRIPT] (defaults: 20 runs of the staged compile/emulator/kill.sh)
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

double now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

std::string processName(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

int processCount()
{
    int count = 0;
    if (DIR* proc = opendir("/proc")) {
        while (dirent* entry = readdir(proc)) {
            if (entry->d_name[0] >= '0' && entry->d_name[0] <= '9')
                ++count;
        }
        closedir(proc);
    }
    return count;
}

// Runs the script (it finds its program folder by its own path); its exit status, or -1.
int runScript(const std::string& script)
{
    char sh[] = "/bin/sh";
    std::vector<char> path(script.begin(), script.end());
    path.push_back('\0');
    char* argv[] = {sh, path.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const std::string script = argc > 2 ? argv[2] : KL_STAGED_KILL_SCRIPT;
    const int sleepers = 1000;

    std::vector<pid_t> pids;
    char sleepName[] = "sleep";
    char forever[] = "600";
    char* sleepArgv[] = {sleepName, forever, nullptr};
    for (int i = 0; i < sleepers; ++i) {
        pid_t pid = 0;
        if (posix_spawnp(&pid, "sleep", nullptr, nullptr, sleepArgv, environ) != 0) {
            std::fprintf(stderr, "could only start %d sleeping processes\n", i);
            break;
        }
        pids.push_back(pid);
    }
    // Each must run "sleep" before it counts.
    for (pid_t pid : pids) {
        while (processName(pid) != "sleep")
            usleep(1000);
    }

    std::vector<double> times;
    int failures = 0;
    for (int run = 0; run < runs; ++run) {
        const double start = now();
        if (runScript(script) != 0)
            ++failures;
        times.push_back((now() - start) * 1000.0);
    }
    int ended = 0;
    for (pid_t pid : pids) {
        if (kill(pid, 0) != 0 || processName(pid) != "sleep")
            ++ended;
    }
    const int total = processCount();
    for (pid_t pid : pids)
        kill(pid, SIGKILL);
    for (pid_t pid : pids)
        waitpid(pid, nullptr, 0);

    std::sort(times.begin(), times.end());
    std::printf("kill.sh with %zu sleeping processes of our own (%d processes in all)\n",
                pids.size(), total);
    std::printf(
        "best %7.1f ms   median %7.1f ms   worst %7.1f ms   (%d runs)   goal: under 50 ms\n",
        times.front(), times[times.size() / 2], times.back(), runs);
    if (failures || ended) {
        std::printf("FAILED: %d runs did not succeed, %d sleeping processes were ended\n", failures,
                    ended);
        return 1;
    }
    return 0;
}

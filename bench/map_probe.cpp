// Start-up probe: starts a program on the X display of DISPLAY, waits for the
// first top-level window it maps (a MapNotify on the root window), then kills
// it at once and prints its CPU time (user + system, microseconds) and peak
// resident memory (KiB) from the kernel's accounting of the ended process.
//
//   bench_map_probe PROGRAM [ARGUMENTS...]
//   prints: cpu_us maxrss_kib wall_us
#include <X11/Xlib.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("uso: bench_map_probe PROGRAMA [ARGUMENTOS...]\n", stderr);
        return 2;
    }
    // A server busy closing the last program's connection may refuse a new
    // one for a moment.
    Display* display = nullptr;
    for (int attempt = 0; attempt < 100 && !display; ++attempt) {
        display = XOpenDisplay(nullptr);
        if (!display)
            usleep(20000);
    }
    if (!display) {
        std::fputs("bench_map_probe: no X display\n", stderr);
        return 2;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify)
            break;
    }
    const auto mapped = std::chrono::steady_clock::now();
    kill(child, SIGKILL);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const long long cpu = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL +
                          usage.ru_utime.tv_usec + usage.ru_stime.tv_usec;
    std::printf("%lld %ld %lld\n", cpu, usage.ru_maxrss,
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::microseconds>(mapped - start).count()));
    XCloseDisplay(display);
    return 0;
}

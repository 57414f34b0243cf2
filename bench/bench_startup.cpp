// Start-up of the program against a bare Qt dialog (bare_dialog), both
// started the same way on the same X display: the time from launch until the
// first top-level window is mapped, and the peak resident memory of the
// process once that window has been idle for a moment. Beside the wall-clock
// times, which other work on the machine stretches, come the processor time
// each start used and the best (shortest) time of all runs.
//
//   xvfb-run -a -s "-screen 0 1024x768x24" bench_startup [runs [program]]
//
// A program given by path (another build of molvane, say an older one) is
// measured in place of the one built beside this benchmark.
// The program runs in a fresh folder holding the sample data, as a user
// would start it. Runs alternate between the two programs; the medians are
// printed with their ratios.

#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
    double millisToMap = 0;
    double cpuMillis = 0; // user and system time until stopped: the work done
    long peakKiB = 0;
};

// Idle time after the first map before the process is stopped and its peak
// memory read: long enough for the first paint to have finished.
constexpr int kIdleMillis = 700;
constexpr int kTimeoutMillis = 20000;

[[noreturn]] void die(const std::string& what)
{
    std::fprintf(stderr, "bench_startup: %s\n", what.c_str());
    std::exit(1);
}

Sample runOnce(xcb_connection_t* connection, const char* program, const std::filesystem::path& folder)
{
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0)
        die("fork failed");
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(126);
        // The programs' own chatter (Qt warnings) stays out of the figures.
        if (const int devNull = open("/dev/null", O_WRONLY); devNull >= 0) {
            dup2(devNull, 1);
            dup2(devNull, 2);
        }
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }

    Sample sample;
    bool mapped = false;
    const int fd = xcb_get_file_descriptor(connection);
    while (!mapped) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && !mapped) {
                mapped = true;
                sample.millisToMap = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            }
            std::free(event);
        }
        if (mapped)
            break;
        if (xcb_connection_has_error(connection))
            die("lost the X connection");
        pollfd p{fd, POLLIN, 0};
        const int elapsed = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
        if (elapsed > kTimeoutMillis) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            die(std::string(program) + " showed no window");
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            die(std::string(program) + " ended before it showed a window");
        poll(&p, 1, 50);
    }

    usleep(kIdleMillis * 1000);
    kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        die("wait4 failed");
    sample.peakKiB = usage.ru_maxrss;
    sample.cpuMillis = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                       (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    return sample;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::filesystem::path sampleFolder()
{
    std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                   ("molvane-bench-startup-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::copy(MOLVANE_SAMPLE_DIR, folder, std::filesystem::copy_options::recursive);
    return folder;
}

} // namespace

int main(int argc, char* argv[])
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;

    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection))
        die("no X display (run under xvfb-run)");
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);

    const std::filesystem::path folder = sampleFolder();
    const char* programs[2] = {MOLVANE_BARE_DIALOG, argc > 2 ? argv[2] : MOLVANE_PROGRAM};
    std::vector<double> millis[2];
    std::vector<double> cpu[2];
    std::vector<double> kib[2];
    // One run of each to warm the file cache, not counted.
    for (const char* program : programs)
        runOnce(connection, program, folder);
    for (int i = 0; i < runs; ++i) {
        for (int p = 0; p < 2; ++p) {
            const Sample s = runOnce(connection, programs[p], folder);
            millis[p].push_back(s.millisToMap);
            cpu[p].push_back(s.cpuMillis);
            kib[p].push_back(static_cast<double>(s.peakKiB));
        }
    }
    std::filesystem::remove_all(folder);
    xcb_disconnect(connection);

    const double t0 = median(millis[0]), t1 = median(millis[1]);
    const double b0 = *std::min_element(millis[0].begin(), millis[0].end());
    const double b1 = *std::min_element(millis[1].begin(), millis[1].end());
    const double c0 = median(cpu[0]), c1 = median(cpu[1]);
    const double m0 = median(kib[0]), m1 = median(kib[1]);
    std::printf("%d runs each       to first window       best        processor time   peak memory\n", runs);
    std::printf("                   (median)                          (median)         (median)\n");
    std::printf("bare Qt dialog     %8.1f ms       %8.1f ms   %8.1f ms      %8.0f KiB\n", t0, b0, c0, m0);
    std::printf("molvane            %8.1f ms       %8.1f ms   %8.1f ms      %8.0f KiB\n", t1, b1, c1, m1);
    std::printf("ratio              %8.2f          %8.2f      %8.2f         %8.2f\n", t1 / t0, b1 / b0, c1 / c0,
                m1 / m0);
    return 0;
}

#include "DesktopOpener.h"

#include <QDesktopServices>
#include <QUrl>

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>
#else
#include <cerrno>
#include <chrono>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
extern char** environ;
#endif

namespace DesktopOpener {
namespace {
Handler& handler()
{
    static Handler h;
    return h;
}
} // namespace

bool openFile(const QString& path)
{
    if (handler())
        return handler()(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void setHandler(Handler h)
{
    handler() = std::move(h);
}

bool openFileAndWait(const std::string& path, int patienceMs, std::string& failure)
{
    const QString file = QString::fromLocal8Bit(path.c_str());
    if (handler()) {
        if (handler()(file))
            return true;
        failure = "開くプログラムが失敗しました";
        return false;
    }
#if defined(_WIN32)
    (void)patienceMs;
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", reinterpret_cast<LPCWSTR>(file.utf16()), nullptr, nullptr, SW_SHOWNORMAL));
    if (result > 32)
        return true;
    failure = "開くプログラムが見つからないか、失敗しました";
    return false;
#else
    const std::string url = QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded).toStdString();
    char opener[] = "xdg-open";
    char* const argv[] = {opener, const_cast<char*>(url.c_str()), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, opener, nullptr, nullptr, argv, environ);
    if (spawned != 0) {
        failure = spawned == ENOENT ? "デスクトップの既定のプログラムで開く xdg-open がありません（xdg-utils）"
                                    : "xdg-open を起動できませんでした";
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(patienceMs);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
                return true;
            if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
                failure = "デスクトップの既定のプログラムで開く xdg-open がありません（xdg-utils）";
            else if (WIFEXITED(status))
                failure = "xdg-open が失敗しました（終了ステータス " + std::to_string(WEXITSTATUS(status)) + "）";
            else
                failure = "xdg-open が途中で終わりました";
            return false;
        }
        if (done < 0 && errno != EINTR) {
            failure = "xdg-open の結果が分かりません";
            return false;
        }
        // Still at work: an opener that stays with the browser it started
        // has shown the file.
        if (std::chrono::steady_clock::now() >= deadline)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
#endif
}

} // namespace DesktopOpener

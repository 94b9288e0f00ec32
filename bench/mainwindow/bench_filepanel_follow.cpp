// The file panel following its folder: another process writes files into the folder the panel
// shows, at an even pace; the program's CPU over that time (all its threads), and whether the
// list ended right.
// Usage: bench_filepanel_follow [files=10000] [written=1000] [seconds=10] [runs=3]
// (QT_QPA_PLATFORM=offscreen works)
#include "FilePanel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Another program: writes `n` files into `folder` over `seconds`, then ends.
pid_t writer(const QByteArray& folder, int n, int seconds, int run) {
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    const useconds_t gap = useconds_t(seconds * 1000000LL / std::max(1, n));
    for (int i = 0; i < n; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/w%d-%06d.DAT", run, i);
        const int fd = ::open((folder + name).constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        if (fd >= 0) {
            (void)!::write(fd, "\x1a\r\n", 3);
            ::close(fd);
        }
        ::usleep(gap);
    }
    ::_exit(0);
}

void report(const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf("  %-44s min %8.1f  median %8.1f  max %8.1f (%zu)\n", what, v.front(),
                v[v.size() / 2], v.back(), v.size());
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int files = argc > 1 ? atoi(argv[1]) : 10000;
    const int written = argc > 2 ? atoi(argv[2]) : 1000;
    const int seconds = argc > 3 ? atoi(argv[3]) : 10;
    const int runs = std::max(1, argc > 4 ? atoi(argv[4]) : 3);

    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    QDir().mkpath(data);
    for (int i = 0; i < files; ++i) {
        QFile f(data + QStringLiteral("/%1.DAT").arg(i, 6, 10, QLatin1Char('0')));
        if (f.open(QIODevice::WriteOnly))
            f.write("\x1a\r\n");
    }

    kelotari::FilePanel panel;
    panel.resize(240, 400);
    panel.show();
    panel.setFolder(data);
    std::vector<double> cpu;
    std::vector<double> late;
    int expected = files;
    bool right = true;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        while (panel.fileList()->count() != expected && t.elapsed() < 60000)
            wait(10);
        wait(1000); // whatever the listing left to do
        const double c0 = cpuMs();
        const pid_t pid = writer(QFile::encodeName(data), written, seconds, r);
        expected += written;
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0)
            wait(200);
        t.restart();
        // Until the list shows every file, then as long again as the panel waits after a change.
        while (panel.fileList()->count() != expected && t.elapsed() < 60000)
            wait(5);
        late.push_back(double(t.elapsed()));
        wait(3 * kelotari::FilePanel::kSettleMs);
        cpu.push_back(cpuMs() - c0);
        right = right && panel.fileList()->count() == expected;
    }
    std::printf("%d .DAT files shown, another process writes %d more over %d s, %d runs (ms)\n",
                files, written, seconds, runs);
    report("program CPU while they are written", cpu);
    report("last file written to the list right", late);
    std::printf("  list ended right: %s\n", right ? "yes" : "NO");
    return right ? 0 : 1;
}

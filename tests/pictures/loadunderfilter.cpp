// A test-only program: loads one picture through the game's loader from a process whose system calls are
// filtered so that the helper it starts finds a layer of its confinement missing, as on a kernel without
// Landlock or in a container that refuses seccomp filters (the filter is inherited by the helper).
//   load-under-filter no-landlock|no-seccomp HELPER FILE [LOADS]
// Prints, for each load, "empty" or the picture's size and, for a probe's answer, one character an attempt
// (1 succeeded, 0 refused); the loader's own notes go to standard error.
#include "pictures/selection.h"

#include <QByteArray>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <seccomp.h>
#include <sys/prctl.h>

namespace {
volatile std::sig_atomic_t g_signals = 0;

bool filterOwnCalls(const char* mode) {
    scmp_filter_ctx ctx = seccomp_init(SCMP_ACT_ALLOW);
    if (ctx == nullptr) {
        return false;
    }
    int rc = 0;
    if (std::strcmp(mode, "no-landlock") == 0) {
        rc = seccomp_rule_add(ctx, SCMP_ACT_ERRNO(ENOSYS),
                              seccomp_syscall_resolve_name("landlock_create_ruleset"), 0);
    } else {
        rc = seccomp_rule_add(ctx, SCMP_ACT_ERRNO(EINVAL), SCMP_SYS(seccomp), 0);
        rc = rc != 0 ? rc
                     : seccomp_rule_add(ctx, SCMP_ACT_ERRNO(EINVAL), SCMP_SYS(prctl), 1,
                                        SCMP_A0(SCMP_CMP_EQ, PR_SET_SECCOMP));
    }
    const bool loaded = rc == 0 && seccomp_load(ctx) == 0;
    seccomp_release(ctx);
    return loaded;
}
} // namespace

int main(int argc, char** argv) {
    if (argc < 4 || !filterOwnCalls(argv[1])) {
        std::fprintf(stderr, "usage: %s no-landlock|no-seccomp HELPER FILE [LOADS]\n", argv[0]);
        return 2;
    }
    struct sigaction count {};
    count.sa_handler = [](int) { g_signals = g_signals + 1; };
    ::sigaction(SIGURG, &count, nullptr);
    pictures::DecoderSettings settings;
    settings.helper = QString::fromLocal8Bit(argv[2]);
    settings.timeLimit = std::chrono::milliseconds(120000);
    const int loads = argc > 4 ? std::atoi(argv[4]) : 1;
    for (int i = 0; i < loads; ++i) {
        const platform::Picture picture =
            pictures::loadPicture(QString::fromLocal8Bit(argv[3]), 4096, settings);
        if (picture.isEmpty()) {
            std::printf("empty\n");
            continue;
        }
        const QImage& image = picture.image();
        std::printf("%dx%d ", image.width(), image.height());
        for (int x = 0; x < image.width() && image.height() == 1; ++x) {
            std::putchar(qRed(image.pixel(x, 0)) > 127 ? '1' : '0');
        }
        std::printf("\n");
    }
    std::printf("signals %d\n", int(g_signals));
    return 0;
}

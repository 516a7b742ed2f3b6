// Starting the decoder helper, handing it a picture and checking what it hands back.
#include "decoderhelper.h"

#include "decoder/format.h"
#include "platform/services.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <poll.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace pictures {

namespace {
using Clock = std::chrono::steady_clock;

// The helper writes its pixels into memory the game gives it with the request; on its channel it says no
// more than the answer's header. Anything longer is not an answer.
constexpr qint64 kMaxChannelBytes = 4096;

// What the helper sees of the game's environment: the language, and a test build's sanitizer options.
// Nothing of the session (its display, bus, runtime folder or home) reaches it.
constexpr const char* kPassedVariables[] = {"LANG", "LC_ALL", "LC_CTYPE", "ASAN_OPTIONS", "UBSAN_OPTIONS"};

// A decode's buffers are large and new: on a virtual machine each page of them costs a trap to map. The
// helper's allocator asks for huge pages where the system grants them, and keeps what it freed (its warm-up's
// buffers) for the decode rather than giving it back.
constexpr char kMallocTunables[] =
    "GLIBC_TUNABLES=glibc.malloc.hugetlb=1:glibc.malloc.mmap_threshold=33554432:"
    "glibc.malloc.trim_threshold=1073741824";

// The memory for a prepared helper's answer is mapped, by both sides, while the player still chooses: this
// much of it, enough for most pictures short of a camera's whole photo.
constexpr std::size_t kPreparedAnswerBytes = metafile::kPreparedAnswerBytes;

// Time for the picture to be painted before a helper that answered is ended and the unused part of its
// answer's memory goes (see letGo).
constexpr std::chrono::milliseconds kEndAfterAnswer{100};

// The program, its arguments and its environment, made before the fork: the child may not allocate.
struct Launch {
    std::vector<QByteArray> strings;
    std::vector<char*> argv;
    std::vector<char*> envp;
};

Launch launchOf(const DecoderSettings& settings) {
    Launch launch;
    launch.strings.push_back(QFile::encodeName(settings.program()));
    launch.strings.push_back(QByteArray::number(qint64(settings.preparedLife.count())));
    const std::size_t arguments = launch.strings.size();
    launch.strings.push_back("PATH=/usr/bin:/bin");
    launch.strings.push_back(kMallocTunables);
    for (const char* name : kPassedVariables) {
        if (qEnvironmentVariableIsSet(name)) {
            launch.strings.push_back(QByteArray(name) + '=' + qgetenv(name));
        }
    }
    for (const QString& entry : settings.environment) {
        launch.strings.push_back(entry.toLocal8Bit());
    }
    for (std::size_t i = 0; i < launch.strings.size(); ++i) {
        (i < arguments ? launch.argv : launch.envp).push_back(launch.strings[i].data());
    }
    launch.argv.push_back(nullptr);
    launch.envp.push_back(nullptr);
    return launch;
}

void closeFrom(int first) {
    if (::syscall(SYS_close_range, unsigned(first), ~0u, 0u) == 0) {
        return;
    }
    rlimit files{};
    const int last = ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY
                         ? int(std::min<rlim_t>(files.rlim_cur, 1 << 20))
                         : 1 << 16;
    for (int fd = first; fd < last; ++fd) {
        ::close(fd);
    }
}

struct Child {
    const Launch* launch;
    int channel;
    int errors;
    int answer;
    pid_t game;
    rlim_t cpuSeconds;
};

constexpr qint64 kMaxPixelBytes = qint64(metafile::kMaxSide) * metafile::kMaxSide * 4;

// A file in memory, of the game's own, sealed at its size: what the helper is handed can neither shrink
// under the game's reads nor grow.
int memoryFile(const char* name, qint64 size, const QByteArray& content = {}) {
    const int fd = ::memfd_create(name, MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) {
        return -1;
    }
    const bool ok =
        ::ftruncate(fd, size) == 0 &&
        (content.isEmpty() ||
         ::pwrite(fd, content.constData(), std::size_t(content.size()), 0) == ssize_t(content.size())) &&
        ::fcntl(fd, F_ADD_SEALS,
                F_SEAL_SHRINK | F_SEAL_GROW | (content.isEmpty() ? 0 : F_SEAL_WRITE) | F_SEAL_SEAL) == 0;
    if (!ok) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Runs in the child between its start and exec, in the game's memory (as posix_spawn's children do: no copy
// of the game's page tables holds up its window), so only async-signal-safe calls that change nothing of the
// game's. The helper starts with its channel to the game as standard input and output, standard error, the
// memory for its answer's pixels as descriptor 3, and no other descriptor; with no way to gain privileges;
// ending with the game.
[[noreturn]] int becomeHelper(void* argument) {
    const Child& child = *static_cast<const Child*>(argument);
    const Launch& launch = *child.launch;
    const int channel = child.channel, errors = child.errors, answer = child.answer;
    const pid_t game = child.game;
    const rlim_t cpuSeconds = child.cpuSeconds;
    // The game's handlers must not run here: every signal it handles goes back to its default first.
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction action {};
        if (::sigaction(signal, nullptr, &action) == 0 && action.sa_handler != SIG_IGN &&
            action.sa_handler != SIG_DFL) {
            action = {};
            action.sa_handler = SIG_DFL;
            ::sigaction(signal, &action, nullptr);
        }
    }
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != game) {
        ::_exit(127); // the game ended before the helper could follow it
    }
    // Above the descriptors it will have first, in case the game runs without some of them.
    const int in = ::fcntl(channel, F_DUPFD, metafile::kAnswerDescriptor + 1);
    const int err = ::fcntl(errors, F_DUPFD, metafile::kAnswerDescriptor + 1);
    const int pixels = ::fcntl(answer, F_DUPFD, metafile::kAnswerDescriptor + 1);
    if (in < 0 || err < 0 || pixels < 0 || ::dup2(in, STDIN_FILENO) < 0 || ::dup2(in, STDOUT_FILENO) < 0 ||
        ::dup2(err, STDERR_FILENO) < 0 || ::dup2(pixels, metafile::kAnswerDescriptor) < 0) {
        ::_exit(127);
    }
    closeFrom(metafile::kAnswerDescriptor + 1);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    const rlimit noFiles{0, 0}; // it writes no files
    ::setrlimit(RLIMIT_FSIZE, &noFiles);
    // A write past that limit fails rather than ending the helper.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, nullptr);
    const rlimit cpu{cpuSeconds, cpuSeconds + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
    // The helper keeps the game's own priority: the player waits for its picture, and on a busy machine a
    // lower one left it waiting behind every other program (the window still answers, its thread mostly
    // asleep).
#if !ZORUPA_ADDRESS_SANITIZER
    // AddressSanitizer reserves terabytes of address space for itself; a sanitizer build goes without.
    const rlimit memory{rlim_t(kDecoderMemoryLimit), rlim_t(kDecoderMemoryLimit)};
    ::setrlimit(RLIMIT_AS, &memory);
#endif
    // A game run by root starts a helper with none of root's capabilities: the bounding set, emptied, is all
    // that the exec leaves it. (An ordinary user has none to drop, and may not.)
    for (int capability = 0; capability < 64; ++capability) {
        ::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
    }
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        ::_exit(127);
    }
    ::execve(launch.argv[0], launch.argv.data(), launch.envp.data());
    ::_exit(127);
}

struct Mapping {
    void* address;
    std::size_t length;
};

// While any helper lives, the game may not be dumped: no process of the player's, the helper among them, may
// then attach to it or read its memory or its environment through /proc, on a kernel without Landlock too.
// The game's own setting comes back once the last helper has ended.
class UndumpableWhileHelpersLive {
public:
    static void helperStarting() {
        const std::lock_guard lock(s_mutex);
        if (s_helpers++ == 0) {
            s_before = ::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0);
            ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
        }
    }
    static void helperEnded() {
        const std::lock_guard lock(s_mutex);
        if (--s_helpers == 0 && s_before > 0) {
            ::prctl(PR_SET_DUMPABLE, s_before, 0, 0, 0);
        }
    }

private:
    static inline std::mutex s_mutex;
    static inline int s_helpers = 0;
    static inline int s_before = 1;
};

// One helper process: started, handed a request, waited for.
class Helper {
public:
    static std::unique_ptr<Helper> start(const DecoderSettings& settings) {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
            return nullptr;
        }
        // A sanitizer build's reports reach the test's log; a player's helper has nothing to say.
        const int errors = ZORUPA_ADDRESS_SANITIZER ? ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3)
                                                    : ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        const int answer = memoryFile("zorupa-answer", kMaxPixelBytes);
        const Launch launch = launchOf(settings);
        UndumpableWhileHelpersLive::helperStarting();
        // The CPU limit, in whole seconds, backs up the clock that the exchange watches: it also ends a
        // helper that this process no longer waits for.
        const auto cpuSeconds = rlim_t(settings.timeLimit.count() / 1000 + 1);
        Child child{&launch, pair[1], errors, answer, ::getpid(), cpuSeconds};
        std::vector<char> stack(256 * 1024);
        // Every signal held while the child shares the game's memory; the child lets them through again.
        sigset_t all, before;
        ::sigfillset(&all);
        ::pthread_sigmask(SIG_SETMASK, &all, &before);
        const pid_t pid = errors < 0 || answer < 0 ? -1
                                                   : ::clone(becomeHelper, stack.data() + stack.size(),
                                                             CLONE_VM | CLONE_VFORK | SIGCHLD, &child);
        ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
        ::close(pair[1]);
        if (errors >= 0) {
            ::close(errors);
        }
        if (pid < 0) {
            UndumpableWhileHelpersLive::helperEnded();
            ::close(pair[0]);
            if (answer >= 0) {
                ::close(answer);
            }
            return nullptr;
        }
        auto helper = std::unique_ptr<Helper>(new Helper(settings, pid, pair[0], answer));
        ::fcntl(pair[0], F_SETFL, O_NONBLOCK);
        return helper;
    }

    ~Helper() {
        if (!m_reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        UndumpableWhileHelpersLive::helperEnded();
        if (m_mapping.joinable()) {
            m_mapping.join();
        }
        if (m_mapped != nullptr) {
            ::munmap(m_mapped, kPreparedAnswerBytes);
        }
        if (m_unusedFrom > 0) {
            // The memory past the pixels, mapped ahead but unused, lives on with them: its pages go back.
            ::fallocate(m_answer, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(m_unusedFrom),
                        off_t(kMaxPixelBytes) - off_t(m_unusedFrom));
        }
        ::close(m_answer);
        ::close(m_channel);
        if (m_pidfd >= 0) {
            ::close(m_pidfd);
        }
    }
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    const DecoderSettings& settings() const { return m_settings; }

    // Started ahead of a choice: the first part of the answer's memory is mapped and touched now, off the
    // caller's thread, so that a picture's pixels land in pages both sides have used already. (A page's
    // first touch after it is mapped costs a trap, on a virtual machine a slow one, however it was mapped.)
    void mapAhead() {
        m_mapping = std::thread([this] {
            void* mapped =
                ::mmap(nullptr, kPreparedAnswerBytes, PROT_READ | PROT_WRITE, MAP_SHARED, m_answer, 0);
            m_mapped = mapped == MAP_FAILED ? nullptr : mapped;
            if (m_mapped != nullptr) {
                metafile::touchPages(m_mapped, kPreparedAnswerBytes);
            }
        });
    }

    // The answer's pixels, mapped in this process: what was mapped ahead, grown to their length where they
    // need more, or a new mapping. Whoever takes them unmaps the whole mapping. The pages past the pixels are
    // given back as the helper is let go; their addresses stay mapped, as unmapping them would cost the
    // picture's wait as much.
    Mapping takePixels(std::size_t length) {
        if (m_mapping.joinable()) {
            m_mapping.join();
        }
        Mapping pixels{std::exchange(m_mapped, nullptr), kPreparedAnswerBytes};
        if (pixels.address != nullptr && length > kPreparedAnswerBytes) {
            // The pages mapped ahead keep their place; the rest are mapped in one call.
            pixels = {::mremap(pixels.address, kPreparedAnswerBytes, length, MREMAP_MAYMOVE), length};
            if (pixels.address != MAP_FAILED) {
                ::madvise(static_cast<char*>(pixels.address) + kPreparedAnswerBytes,
                          length - kPreparedAnswerBytes, MADV_POPULATE_WRITE);
            }
        } else if (pixels.address == nullptr) {
            // Every page is read and written once: mapped in one call rather than a fault each.
            pixels = {::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, m_answer, 0),
                      length};
        }
        if (pixels.address == MAP_FAILED) {
            return {nullptr, 0};
        }
        m_unusedFrom = roundedToPages(length);
        return pixels;
    }

    pid_t pid() const { return m_pid; }
    Clock::duration age() const { return Clock::now() - m_started; }

    // Whether it still waits for a request (and has not ended by itself).
    bool waiting() {
        if (!m_reaped && ::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_reaped = true;
        }
        return !m_reaped;
    }

    enum class Outcome { Answered, Failed, NotTaken };

    // Sends the request with the picture's descriptor and reads what the helper says on its channel until
    // the channel closes: an answer's header is taken at once; anything else counts only if the helper then
    // ends well. NotTaken: the helper had ended before the request reached it.
    Outcome exchange(const metafile::Request& request, int picture, Clock::time_point deadline,
                     QByteArray& out) {
        // The memory mapped ahead is touched before the helper may write into it.
        if (m_mapping.joinable()) {
            m_mapping.join();
        }
        iovec part{const_cast<metafile::Request*>(&request), sizeof request};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* rights = CMSG_FIRSTHDR(&message);
        rights->cmsg_level = SOL_SOCKET;
        rights->cmsg_type = SCM_RIGHTS;
        rights->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(rights), &picture, sizeof picture);
        // The request is far smaller than the channel's buffer: it goes at once, or the helper has ended.
        if (::sendmsg(m_channel, &message, MSG_NOSIGNAL | MSG_DONTWAIT) != ssize_t(sizeof request)) {
            return errno == EPIPE || errno == ECONNRESET ? Outcome::NotTaken : Outcome::Failed;
        }
        ::shutdown(m_channel, SHUT_WR);
        out.resize(kMaxChannelBytes + 1);
        qsizetype length = 0;
        for (;;) {
            pollfd fd{m_channel, POLLIN, 0};
            const int wait = waitMs(deadline);
            if (wait <= 0) {
                return Outcome::Failed; // out of time
            }
            if (::poll(&fd, 1, wait) < 0) {
                continue; // interrupted
            }
            const ssize_t n = ::read(m_channel, out.data() + length, std::size_t(out.size() - length));
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                break;
            }
            length += std::max<ssize_t>(n, 0);
            if (length > kMaxChannelBytes) {
                return Outcome::Failed; // more than any answer says
            }
        }
        out.resize(length);
        if (length == qint64(sizeof(metafile::OutputHeader))) {
            // A whole answer's header on a channel the helper has closed: the pixels are in place before it.
            // The helper waits to be ended by whoever lets it go (see letGo).
            return Outcome::Answered;
        }
        return endedWell(deadline) ? Outcome::Answered : Outcome::Failed;
    }

private:
    Helper(const DecoderSettings& settings, pid_t pid, int channel, int answer)
        : m_settings(settings), m_pid(pid), m_channel(channel), m_answer(answer),
          m_pidfd(int(::syscall(SYS_pidfd_open, pid, 0))), m_started(Clock::now()) {}

    static std::size_t roundedToPages(std::size_t length) {
        const auto page = std::size_t(::sysconf(_SC_PAGESIZE));
        return (length + page - 1) / page * page;
    }

    static int waitMs(Clock::time_point deadline) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return int(std::clamp<long long>(left, 0, 1 << 30));
    }

    // Whether it exited with status 0 before the deadline.
    bool endedWell(Clock::time_point deadline) {
        int status = 0;
        for (;;) {
            const pid_t ended = ::waitpid(m_pid, &status, WNOHANG);
            if (ended == m_pid) {
                m_reaped = true;
                return WIFEXITED(status) && WEXITSTATUS(status) == 0;
            }
            const int wait = waitMs(deadline);
            if (ended < 0 || wait <= 0) {
                return false;
            }
            // Its end makes the process descriptor readable; without one (an old kernel), a short nap.
            pollfd fd{m_pidfd, POLLIN, 0};
            if (m_pidfd < 0 || ::poll(&fd, 1, wait) < 0) {
                ::usleep(1000);
            }
        }
    }

    DecoderSettings m_settings;
    pid_t m_pid;
    int m_channel;
    int m_answer;
    int m_pidfd;
    std::thread m_mapping;
    void* m_mapped = nullptr;
    Clock::time_point m_started;
    bool m_reaped = false;
    std::size_t m_unusedFrom = 0; // where the pixels taken end
};

// The helper started ahead of a choice, if one waits.
struct PreparedSlot {
    std::mutex mutex;
    std::unique_ptr<Helper> helper;
};

PreparedSlot& preparedSlot() {
    static PreparedSlot slot; // ended with the game
    return slot;
}

// A waiting helper that is still good for a decode with these settings: started with them, and not so close
// to the end of its wait that it could end while the request is on its way.
bool usable(Helper& helper, const DecoderSettings& settings) {
    const auto margin = std::min<Clock::duration>(settings.preparedLife / 2, std::chrono::seconds(2));
    return helper.settings() == settings && helper.age() < settings.preparedLife - margin && helper.waiting();
}

std::unique_ptr<Helper> takePrepared(const DecoderSettings& settings) {
    PreparedSlot& slot = preparedSlot();
    const std::lock_guard lock(slot.mutex);
    std::unique_ptr<Helper> helper = std::move(slot.helper);
    return helper && usable(*helper, settings) ? std::move(helper) : nullptr;
}

std::optional<metafile::OutputHeader> parsedHeader(const QByteArray& output) {
    return metafile::parseOutput(
        {reinterpret_cast<const unsigned char*>(output.constData()), std::size_t(output.size())});
}

// A kernel without Landlock (or a container that refuses it) leaves the helper with its other layers:
// the player's terminal hears of it once.
void noteMissingLayers(std::uint32_t layers) {
    if (!(layers & metafile::kLandlockFiles)) {
        static std::once_flag once;
        std::call_once(once, [] {
            std::fputs("zorupa: this system offers no Landlock: pictures are decoded with the decoder's "
                       "other confinement only\n",
                       stderr);
        });
    }
}
} // namespace

QString DecoderSettings::program() const {
    return helper.isEmpty() ? platform::programFolder() + QStringLiteral("/zorupa-decoder") : helper;
}

void prepareDecoder(const DecoderSettings& settings) {
    PreparedSlot& slot = preparedSlot();
    const std::lock_guard lock(slot.mutex);
    if (slot.helper && usable(*slot.helper, settings)) {
        return; // one is ready already: the dialog got one ready again after a file decoded ahead
    }
    slot.helper = Helper::start(settings);
    if (slot.helper) {
        slot.helper->mapAhead();
    }
}

void endPreparedDecoder() {
    PreparedSlot& slot = preparedSlot();
    const std::lock_guard lock(slot.mutex);
    slot.helper.reset();
}

qint64 preparedDecoderProcess() {
    PreparedSlot& slot = preparedSlot();
    const std::lock_guard lock(slot.mutex);
    return slot.helper && slot.helper->waiting() ? slot.helper->pid() : 0;
}

namespace {
// A helper that has answered, ended and reaped off the thread that waits for the picture, and once the
// picture has been painted: taking down a process's memory, and taking the unused pages of the answer's from
// every core that runs one of the game's threads, each interrupted to forget them, held up the painting of a
// small picture's preview by more than its whole decoding.
void letGo(std::unique_ptr<Helper> helper) {
    std::thread([ended = std::move(helper)]() mutable {
        std::this_thread::sleep_for(kEndAfterAnswer);
        ended.reset();
    }).detach();
}

// What a helper said, and the helper, whose memory holds the answer's pixels.
struct Run {
    QByteArray out;
    std::unique_ptr<Helper> helper;
};

// One decode: a helper started ahead if one waits for these settings, else a new one.
std::optional<Run> run(int picture, int neededLongSide, const DecoderSettings& settings) {
    const Clock::time_point deadline = Clock::now() + settings.timeLimit;
    metafile::Request request;
    request.longSide = std::uint32_t(std::clamp(neededLongSide, 1, metafile::kMaxSide));
    Run run;
    run.helper = takePrepared(settings);
    if (run.helper) {
        const Helper::Outcome outcome = run.helper->exchange(request, picture, deadline, run.out);
        if (outcome != Helper::Outcome::NotTaken) {
            return outcome == Helper::Outcome::Answered ? std::optional(std::move(run)) : std::nullopt;
        }
    }
    run.helper = Helper::start(settings);
    if (!run.helper ||
        run.helper->exchange(request, picture, deadline, run.out) != Helper::Outcome::Answered) {
        return std::nullopt;
    }
    return run;
}

} // namespace

std::optional<QByteArray> runDecoderHelper(const QByteArray& file, int neededLongSide,
                                           const DecoderSettings& settings) {
    const int picture = memoryFile("zorupa-picture", file.size(), file);
    if (picture < 0) {
        return std::nullopt;
    }
    std::optional<Run> done = run(picture, neededLongSide, settings);
    ::close(picture);
    return done ? std::optional(std::move(done->out)) : std::nullopt;
}

platform::Picture decodeFileInHelper(int descriptor, int neededLongSide, const DecoderSettings& settings) {
    struct stat st {};
    if (::fstat(descriptor, &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size > qint64(metafile::kMaxFileBytes)) {
        return {};
    }
    std::optional<Run> done = run(descriptor, neededLongSide, settings);
    const std::optional<metafile::OutputHeader> header =
        done ? metafile::parseHeader({reinterpret_cast<const unsigned char*>(done->out.constData()),
                                      std::size_t(done->out.size())})
             : std::nullopt;
    // A helper that could not install its system call filter decodes nothing; an answer without it is not
    // from this game's helper.
    if (!header || !(header->layers & metafile::kSyscallFilter)) {
        return {};
    }
    // The helper has ended: the pixels are the game's alone now, and are made premultiplied where they lie.
    const std::size_t length = metafile::pixelBytes(*header);
    const Mapping mapped = done->helper->takePixels(length);
    letGo(std::move(done->helper));
    void* pixels = mapped.address;
    if (pixels == nullptr) {
        return {};
    }
    auto* argb = static_cast<QRgb*>(pixels);
    const std::size_t count = length / 4;
    if (header->opaque) {
        for (std::size_t i = 0; i < count; ++i) {
            argb[i] |= 0xFF000000u; // an opaque picture's alpha bytes are set, not trusted
        }
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            argb[i] = qPremultiply(argb[i]);
        }
    }
    auto* mapping = new Mapping(mapped);
    const QImage image(
        static_cast<const uchar*>(pixels), int(header->width), int(header->height), int(header->width) * 4,
        QImage::Format_ARGB32_Premultiplied,
        [](void* info) {
            const auto* m = static_cast<Mapping*>(info);
            ::munmap(m->address, m->length);
            delete m;
        },
        mapping);
    noteMissingLayers(header->layers);
    return {image, QSizeF(header->extentWidth, header->extentHeight)};
}

platform::Picture decodeInHelper(const QByteArray& file, int neededLongSide,
                                 const DecoderSettings& settings) {
    if (file.size() > qsizetype(metafile::kMaxFileBytes)) {
        return {};
    }
    const int picture = memoryFile("zorupa-picture", file.size(), file);
    if (picture < 0) {
        return {};
    }
    platform::Picture decoded = decodeFileInHelper(picture, neededLongSide, settings);
    ::close(picture);
    return decoded;
}

platform::Picture pictureFromHelperOutput(const QByteArray& output) {
    const std::optional<metafile::OutputHeader> header = parsedHeader(output);
    // A helper that could not install its system call filter decodes nothing; an answer without it is
    // not from this game's helper.
    if (!header || !(header->layers & metafile::kSyscallFilter)) {
        return {};
    }
    // An opaque picture's alpha bytes are ignored rather than trusted.
    QImage image(int(header->width), int(header->height),
                 header->opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
    if (image.isNull()) {
        return {};
    }
    const char* pixels = output.constData() + sizeof(metafile::OutputHeader);
    const std::size_t rowBytes = std::size_t(header->width) * 4;
    for (int y = 0; y < image.height(); ++y) {
        std::memcpy(image.scanLine(y), pixels + std::size_t(y) * rowBytes, rowBytes);
    }
    return {std::move(image).convertToFormat(QImage::Format_ARGB32_Premultiplied),
            QSizeF(header->extentWidth, header->extentHeight)};
}

} // namespace pictures

// Landlock through its system calls (glibc has no wrappers) and a seccomp filter through libseccomp.
#include "confinement.h"

#include "format.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <initializer_list>
#include <linux/fs.h>
#include <linux/landlock.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

namespace confinement {

namespace {
// Debian 12's kernel headers know Landlock's first ABIs only: the later ones' flags as the kernel defines
// them, and the ruleset's attribute as it has grown (each field is read only by kernels that have it).
constexpr std::uint64_t kFsExecute = 1ULL << 0;
constexpr std::uint64_t kFsReadFile = 1ULL << 2;
constexpr std::uint64_t kFsReadDir = 1ULL << 3;
constexpr std::uint64_t kFsAbi1 = (1ULL << 13) - 1; // execute, write, read, remove, make of every kind
constexpr std::uint64_t kFsRefer = 1ULL << 13;      // ABI 2
constexpr std::uint64_t kFsTruncate = 1ULL << 14;   // ABI 3
constexpr std::uint64_t kFsIoctlDev = 1ULL << 15;   // ABI 5
constexpr std::uint64_t kNetBindTcp = 1ULL << 0;    // ABI 4
constexpr std::uint64_t kNetConnectTcp = 1ULL << 1; // ABI 4
constexpr std::uint64_t kScopeAbstractUnixSocket = 1ULL << 0; // ABI 6
constexpr std::uint64_t kScopeSignal = 1ULL << 1;             // ABI 6

struct RulesetAttr {
    std::uint64_t handledAccessFs = 0;
    std::uint64_t handledAccessNet = 0;
    std::uint64_t scoped = 0;
};

// What decoding reads: the libraries and Qt's plugins (loaded as a picture needs them), the fonts and
// fontconfig's configuration and caches, the dynamic linker's cache.
constexpr const char* kReadable[] = {
    "/usr", "/lib", "/lib64", "/etc/fonts", "/etc/ld.so.cache", "/var/cache/fontconfig"};

bool addReadable(int ruleset, const char* path) {
    const int fd = ::open(path, O_PATH | O_CLOEXEC);
    if (fd < 0) {
        return true; // not on this system
    }
    struct stat st {};
    landlock_path_beneath_attr rule{};
    rule.parent_fd = fd;
    rule.allowed_access = kFsExecute | kFsReadFile;
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        rule.allowed_access |= kFsReadDir;
    }
    const bool added = ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0) == 0;
    ::close(fd);
    return added;
}

#ifndef __NR_SCMP_ERROR
#define __NR_SCMP_ERROR (-1)
#endif

class Filter {
public:
    Filter() : m_ctx(seccomp_init(SCMP_ACT_ALLOW)) {}
    ~Filter() {
        if (m_ctx != nullptr) {
            seccomp_release(m_ctx);
        }
    }
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    // Refuses the call (with EPERM, or the given error) when every comparison holds.
    void refuse(const char* name, std::initializer_list<scmp_arg_cmp> when = {}, int error = EPERM) {
        const int number = seccomp_syscall_resolve_name(name);
        if (number != __NR_SCMP_ERROR) {
            refuse(number, when, error);
        }
    }
    void refuse(int number, std::initializer_list<scmp_arg_cmp> when = {}, int error = EPERM) {
        m_ok = m_ok && m_ctx != nullptr &&
               seccomp_rule_add_array(m_ctx, SCMP_ACT_ERRNO(error), number, unsigned(when.size()),
                                      when.begin()) == 0;
    }
    bool load() { return m_ok && m_ctx != nullptr && seccomp_load(m_ctx) == 0; }

private:
    scmp_filter_ctx m_ctx;
    bool m_ok = true;
};
} // namespace

int landlockAbi() {
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    return abi > 0 ? int(abi) : 0;
}

std::uint32_t restrictWithLandlock() {
    const int abi = landlockAbi();
    if (abi < 1) {
        return 0;
    }
    RulesetAttr attr;
    attr.handledAccessFs =
        kFsAbi1 | (abi >= 2 ? kFsRefer : 0) | (abi >= 3 ? kFsTruncate : 0) | (abi >= 5 ? kFsIoctlDev : 0);
    std::uint32_t layers = metafile::kLandlockFiles;
    std::size_t size = sizeof attr.handledAccessFs;
    if (abi >= 4) {
        // Handled with no rule allowing any port: no TCP connection and no listening.
        attr.handledAccessNet = kNetBindTcp | kNetConnectTcp;
        size = sizeof attr.handledAccessFs + sizeof attr.handledAccessNet;
        layers |= metafile::kLandlockNetwork;
    }
    if (abi >= 6) {
        attr.scoped = kScopeAbstractUnixSocket | kScopeSignal;
        size = sizeof attr;
        layers |= metafile::kLandlockScope;
    }
    const int ruleset = int(::syscall(SYS_landlock_create_ruleset, &attr, size, 0));
    if (ruleset < 0) {
        return 0;
    }
    bool ok = true;
    for (const char* path : kReadable) {
        ok = ok && addReadable(ruleset, path);
    }
    ok = ok && ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    ::close(ruleset);
    return ok ? layers : 0;
}

bool installSyscallFilter() {
    Filter filter;
    const auto self = scmp_datum_t(::getpid());
    // No socket of any family. The channel to the game is written with write and read with read, but for the
    // request, whose descriptors come with recvmsg.
    for (const char* name : {"socket", "socketpair", "connect", "bind", "listen", "accept", "accept4",
                             "sendto", "sendmsg", "sendmmsg", "recvfrom", "recvmmsg", "setsockopt"}) {
        filter.refuse(name);
    }
    // No program, no process: threads alone (glibc falls back from clone3, whose flags a filter cannot
    // read, to clone).
    for (const char* name : {"execve", "execveat", "fork", "vfork"}) {
        filter.refuse(name);
    }
    filter.refuse("clone", {SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0)});
    constexpr std::array<std::uint64_t, 7> kNamespaces = {
        CLONE_NEWNS, CLONE_NEWUTS, CLONE_NEWIPC, CLONE_NEWUSER, CLONE_NEWPID, CLONE_NEWNET, CLONE_NEWCGROUP};
    for (const std::uint64_t space : kNamespaces) {
        filter.refuse("clone", {SCMP_A0(SCMP_CMP_MASKED_EQ, space, space)});
    }
    filter.refuse("clone3", {}, ENOSYS);
    // No other process traced, read, changed or signalled.
    for (const char* name :
         {"ptrace", "process_vm_readv", "process_vm_writev", "process_madvise", "process_mrelease", "kcmp",
          "pidfd_open", "pidfd_getfd", "pidfd_send_signal", "get_robust_list", "move_pages", "migrate_pages",
          "ioprio_set", "setpriority", "tkill"}) {
        filter.refuse(name);
    }
    for (const char* name : {"kill", "tgkill", "rt_sigqueueinfo", "rt_tgsigqueueinfo"}) {
        filter.refuse(name, {SCMP_A0(SCMP_CMP_NE, self)});
    }
    for (const char* name :
         {"sched_setaffinity", "sched_setscheduler", "sched_setparam", "sched_setattr", "prlimit64"}) {
        filter.refuse(name, {SCMP_A0(SCMP_CMP_NE, 0)});
    }
    // Files are opened for reading only (Landlock says where); none is created, written, truncated, renamed,
    // removed, linked, locked or has its attributes changed.
    for (const int flag : {O_WRONLY, O_RDWR, O_CREAT, O_TRUNC, O_APPEND, O_TMPFILE}) {
        const auto mask = scmp_datum_t(flag);
        filter.refuse("open", {SCMP_A1(SCMP_CMP_MASKED_EQ, mask, mask)});
        filter.refuse("openat", {SCMP_A2(SCMP_CMP_MASKED_EQ, mask, mask)});
    }
    filter.refuse("openat2", {}, ENOSYS); // its flags lie behind a pointer; glibc falls back to openat
    for (const char* name : {"creat",
                             "open_by_handle_at",
                             "name_to_handle_at",
                             "truncate",
                             "ftruncate",
                             "fallocate",
                             "rename",
                             "renameat",
                             "renameat2",
                             "unlink",
                             "unlinkat",
                             "rmdir",
                             "mkdir",
                             "mkdirat",
                             "mknod",
                             "mknodat",
                             "link",
                             "linkat",
                             "symlink",
                             "symlinkat",
                             "chmod",
                             "fchmod",
                             "fchmodat",
                             "chown",
                             "fchown",
                             "lchown",
                             "fchownat",
                             "utime",
                             "utimes",
                             "utimensat",
                             "futimesat",
                             "setxattr",
                             "lsetxattr",
                             "fsetxattr",
                             "removexattr",
                             "lremovexattr",
                             "fremovexattr",
                             "flock",
                             "memfd_create"}) {
        filter.refuse(name);
    }
    // System V and POSIX IPC reach other processes by number or name, where no file rule looks: none
    // created, used, changed or removed.
    for (const char* name : {"mq_open", "mq_unlink", "mq_timedsend", "mq_timedreceive", "mq_notify",
                             "mq_getsetattr", "shmget", "shmat", "shmctl", "msgget", "msgsnd", "msgrcv",
                             "msgctl", "semget", "semop", "semtimedop", "semctl"}) {
        filter.refuse(name);
    }
    for (const char* name : {"swapon", "swapoff", "acct", "quotactl"}) {
        filter.refuse(name);
    }
#if defined(__x86_64__)
    // Newer than Debian 12's libseccomp knows by name: fchmodat2, memfd_secret, setxattrat, removexattrat,
    // file_setattr.
    for (const int number : {452, 447, 463, 466, 469}) {
        filter.refuse(number);
    }
#endif
    for (const int command : {F_SETLK, F_SETLKW, F_OFD_SETLK, F_OFD_SETLKW, F_SETLEASE}) {
        filter.refuse("fcntl", {SCMP_A1(SCMP_CMP_EQ, scmp_datum_t(command))});
    }
    // Typing into a terminal, and a file's flags, through ioctl.
    const std::array<std::uint64_t, 4> kRequests = {TIOCSTI, TIOCLINUX, FS_IOC_SETFLAGS, FS_IOC_FSSETXATTR};
    for (const std::uint64_t request : kRequests) {
        filter.refuse("ioctl", {SCMP_A1(SCMP_CMP_MASKED_EQ, 0xFFFFFFFFu, request)});
    }
    // No namespace, no mount, nothing that reaches past this process by other doors.
    for (const char* name : {"unshare",
                             "setns",
                             "mount",
                             "umount2",
                             "pivot_root",
                             "chroot",
                             "fsopen",
                             "fsconfig",
                             "fsmount",
                             "fspick",
                             "move_mount",
                             "open_tree",
                             "mount_setattr",
                             "bpf",
                             "perf_event_open",
                             "userfaultfd",
                             "io_uring_setup",
                             "io_uring_enter",
                             "io_uring_register",
                             "keyctl",
                             "add_key",
                             "request_key",
                             "init_module",
                             "finit_module",
                             "delete_module",
                             "kexec_load",
                             "kexec_file_load",
                             "reboot",
                             "syslog",
                             "fanotify_init",
                             "modify_ldt",
                             "iopl",
                             "ioperm",
                             "vhangup"}) {
        filter.refuse(name);
    }
    return filter.load();
}

std::uint32_t confine() {
    std::uint32_t layers = restrictWithLandlock();
    if (installSyscallFilter()) {
        layers |= metafile::kSyscallFilter;
    }
    return layers;
}

} // namespace confinement

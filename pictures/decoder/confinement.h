// The helper's own confinement, in layers, once its start-up is done and before it reads a picture: the game
// has already started it with a reduced environment, no descriptor but its channel, no new privileges and
// its resource limits.
#pragma once

#include <cstdint>

namespace confinement {

// The Landlock ABI the kernel offers, 0 when it offers none (an old kernel, Landlock not enabled, or a
// container that refuses it).
int landlockAbi();

// Read and execute beneath the system's libraries, Qt's plugins, fonts and fontconfig, nothing anywhere
// else, nothing writable; on kernels that offer them, no TCP, no abstract sockets, no signals outside.
// Returns the metafile::Layer flags it put in force.
std::uint32_t restrictWithLandlock();

// The seccomp filter: no socket, no program started, no process but threads, no other process traced,
// read or signalled, no file created, written, truncated, renamed or removed, no namespace or mount.
bool installSyscallFilter();

// Both; the flags of the layers in force. Without metafile::kSyscallFilter the helper must decode nothing.
std::uint32_t confine();

} // namespace confinement

// A test-only decoder for the helper built as zorupa-decoder-probe (never installed): given a marked file,
// it plays a parser that a crafted picture has taken over, tries every way out of the helper, and answers
// with one pixel an attempt, so that the test sees from the game's side what each attempt got.
#pragma once

#include "platform/picture.h"

#include <cstdint>
#include <span>

namespace probe {

// The file's first line; the lines after it name what the attempts aim at, as key=value:
// secret, home, victim, writable, tmpfile (paths), port (a TCP port on 127.0.0.1), bus and display (Unix
// socket paths), abstract (an abstract socket's name), shm (a System V shared memory segment's id).
inline constexpr char kMark[] = "ZORUPA-DECODER-PROBE\n";

// The attempts, in the order of the answer's pixels.
enum Attempt {
    ReadSecret,      // read a file in the player's home
    SendOverTcp,     // send it to a listener on 127.0.0.1
    ListHome,        // list the home folder
    DeleteInHome,    // delete a file there
    WriteInHome,     // write bytes into a file there
    CreateInTmp,     // create a file in /tmp
    ConnectBus,      // connect to the session bus's socket
    ConnectDisplay,  // connect to the X display's socket
    ConnectAbstract, // connect to an abstract socket
    OpenOtherSocket, // open a socket of another family (UDP, netlink)
    Fork,            // start a process
    TraceGame,       // attach to the game with ptrace
    ReadGameEnviron, // read /proc/<game>/environ
    ReadGameMemory,  // open /proc/<game>/mem
    SignalGame,      // send the game SIGURG
    RemoveShm,       // remove the player's System V shared memory segment
    RunShell,        // run /bin/sh (last: it would replace the helper)
    kAttempts,
    StartThread = kAttempts, // not an escape: threads must work, or the probe proves nothing
    kPixels
};

bool marked(std::span<const unsigned char> file);
// Red 255 in an attempt's pixel: it succeeded; green: the errno it failed with.
platform::Picture run(std::span<const unsigned char> file);

} // namespace probe

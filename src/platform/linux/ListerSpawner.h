#pragma once

// Starts listing processes by asking one spawner process to fork them. A
// listing process that runs the program anew spends most of its start
// loading and linking the SMB library's hundred-odd shared objects; the
// spawner (norvane-share-lister --spawner) has done that, and has made the
// library's context, once, so each process it forks is ready at once.
//
// The spawner reads messages on its socket: a start, which carries the
// new process's socket and is numbered in the order sent, and a kill by
// that number. The spawner reaps its processes only between messages, so a
// number it still knows always names its own process, never one that took
// a reaped process's id.

#include "ListingCodec.h"
#include "SmbBrowser.h"

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace norvane {

// The argument that makes the listing program a spawner.
constexpr const char* SpawnerArgument = "--spawner";

// A run of the listing program: its process, and this end of the socket
// pair that is its standard input and output.
struct ListingProgramRun {
    pid_t pid = -1;
    int socket = -1;
};

// Runs `program` with `arguments` and one end of a socket pair of
// `socketType` as its standard input and output, and nothing else of this
// process's open (sockets, the abandonment descriptor); `firstVariable`,
// when given, goes before this process's environment.
std::optional<ListingProgramRun> runListingProgram(const std::string& program,
                                                   const std::vector<std::string>& arguments,
                                                   int socketType,
                                                   const char* firstVariable = nullptr);

class ListerSpawner {
public:
    // A forked process: which spawner forked it, and its number there.
    struct Id {
        std::uint32_t spawner = 0;
        std::uint32_t number = 0;
    };
    struct Started {
        int socket = -1; // the process's standard input and output
        Id id;
    };

    ListerSpawner(std::string program, SmbSettings settings);
    ListerSpawner(const ListerSpawner&) = delete;
    ListerSpawner& operator=(const ListerSpawner&) = delete;
    // Ends the spawner, and with it every process it forked.
    ~ListerSpawner();

    // A new listing process's socket, without waiting for the process:
    // requests sent before it runs wait in the socket. Nothing when no
    // spawner runs, or it could not be started anew.
    std::optional<Started> start();
    // Kills the process, if it still runs.
    void kill(Id process);

private:
    // Starts the spawner when none runs; with m_mutex held.
    bool running();
    void stop();

    std::string m_program;
    SmbSettings m_settings;
    std::mutex m_mutex;
    pid_t m_pid = -1;
    int m_socket = -1;
    std::uint32_t m_spawners = 0; // spawners started so far
    std::uint32_t m_started = 0;  // starts sent to the running spawner
};

} // namespace norvane

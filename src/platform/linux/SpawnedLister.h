#pragma once

// Servers' shares listed by processes of their own (norvane-share-lister):
// libsmbclient serves one call at a time in a process, so listings side by
// side each need one. A process lists one server at a time, with the log-on
// its request carries (the password goes over its socket, never on its
// command line or in its environment), and is kept for the next listing;
// one that is abandoned, runs past SpawnedListingTimeout or answers with
// anything but a listing within the bounds is killed and reaped.

#include "ListingCodec.h"
#include "SmbBrowser.h"

#include <sys/types.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace norvane {

// How long one listing may take: a few of the library's requests, each
// bounded by its own time-out, and the process's start.
constexpr std::chrono::seconds SpawnedListingTimeout{20};

class SpawnedLister {
public:
    // `program`: the listing program; `settings` are handed to it.
    SpawnedLister(std::string program, SmbSettings settings);
    SpawnedLister(const SpawnedLister&) = delete;
    SpawnedLister& operator=(const SpawnedLister&) = delete;
    // Ends the idle processes.
    ~SpawnedLister();

    // The listing, or nothing when no process could run it to its end
    // (abandoned, timed out, gone, or an answer that is no listing). Safe
    // to call from several threads at once: each call has a process.
    std::optional<SmbListing> list(const ListingRequest& request, int abandonFd);

    // The listing program beside the running executable, else in the
    // installed libexec folder, else the build tree's; empty when none is
    // there.
    static std::string findProgram();

private:
    struct Process {
        pid_t pid = -1;
        int socket = -1; // the process's standard input and output
    };
    std::optional<Process> start() const;
    static void end(const Process& process);

    std::string m_program;
    SmbSettings m_settings;
    std::mutex m_mutex;
    std::vector<Process> m_idle;
};

} // namespace norvane

#pragma once

// Servers' shares listed by processes of their own (norvane-share-lister):
// libsmbclient serves one call at a time in a process, so listings side by
// side each need one. A process lists one server at a time, with the log-on
// its request carries (the password goes over its socket, never on its
// command line or in its environment), and is kept for the next listing;
// one that is abandoned, runs past SpawnedListingTimeout or answers with
// anything but a listing within the bounds is killed and reaped. The
// processes are forked by a spawner (ListerSpawner), or each runs the
// program anew.

#include "ListerSpawner.h"
#include "ListingCodec.h"
#include "SmbBrowser.h"

#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace norvane {

// How long one listing may take: a few of the library's requests, each
// bounded by its own time-out, and the process's start.
constexpr std::chrono::seconds SpawnedListingTimeout{20};
// How many listings a process answers before it is ended: it keeps a
// session with every server it listed, a connection each.
constexpr std::size_t ListingsPerProcess = 64;
// How long a listing waits for the busy process that keeps its server's
// session, rather than opening another session elsewhere: about two
// listings over a kept session, far less than a new session costs the
// server.
constexpr std::chrono::milliseconds SessionHolderWait{50};

// What a listing does when it goes unanswered for `after`: asks `goOn`
// once, and gives the listing up (its process killed) when that says no.
// Lets a caller check a server only when its listing is slow, instead of
// before every listing.
struct ListingWatch {
    std::chrono::milliseconds after{};
    std::function<bool()> goOn;
};

class SpawnedLister {
public:
    enum class Start { BySpawner, ByProgram };
    // `program`: the listing program; `settings` are handed to it.
    SpawnedLister(std::string program, SmbSettings settings, Start start = Start::BySpawner,
                  std::chrono::milliseconds sessionHolderWait = SessionHolderWait);
    SpawnedLister(const SpawnedLister&) = delete;
    SpawnedLister& operator=(const SpawnedLister&) = delete;
    // Ends the idle processes.
    ~SpawnedLister();

    // The listing, or nothing when no process could run it to its end
    // (abandoned, timed out, gone, or an answer that is no listing). Safe
    // to call from several threads at once: each call has a process.
    std::optional<SmbListing> list(const ListingRequest& request, int abandonFd,
                                   const ListingWatch* watch = nullptr);

    // Starts processes, without waiting for them, until `count` are idle
    // or listing, so that their start overlaps the caller's work instead of
    // delaying the first listings.
    void prepare(std::size_t count);

    // The listing program beside the running executable, else in the
    // installed libexec folder, else the build tree's; empty when none is
    // there.
    static std::string findProgram();

private:
    struct Process {
        pid_t pid = -1;           // a child of this process; -1 for one forked by m_spawner
        int socket = -1;          // the process's standard input and output
        ListerSpawner::Id forked; // for one forked by m_spawner
        // The servers it listed without a password: the SMB library keeps
        // their sessions, so that listing one again costs one request
        // instead of a new connection and log-on.
        std::vector<std::string> sessions;
        std::size_t listings = 0; // answered
        bool keeps(const std::string& session) const {
            return !session.empty() && std::ranges::find(sessions, session) != sessions.end();
        }
    };
    // The idle process to list `request` with, taken from m_idle; with
    // m_mutex held. Waits up to m_sessionHolderWait for a busy process that
    // keeps the session of `request`.
    std::optional<Process> takeIdle(const ListingRequest& request,
                                    std::unique_lock<std::mutex>& lock);
    // Whether an idle process keeps `session`; with m_mutex held.
    bool idleKeeps(const std::string& session) const;
    // A process's sessions are counted in m_listingSessions while it lists.
    void countListing(const Process& process, bool listing);
    // The session `request` leaves in its process; empty for a log-on with
    // a password.
    static std::string sessionOf(const ListingRequest& request);
    std::optional<Process> start();
    // Ends `process` unless it answered with a listing.
    std::optional<SmbListing> listWith(const Process& process, const ListingRequest& request,
                                       int abandonFd, const ListingWatch* watch);
    void end(const Process& process);

    std::string m_program;
    SmbSettings m_settings;
    std::unique_ptr<ListerSpawner> m_spawner;
    std::mutex m_mutex;
    const std::chrono::milliseconds m_sessionHolderWait;
    std::vector<Process> m_idle;
    std::size_t m_listing = 0;                    // processes in a listing
    std::multiset<std::string> m_listingSessions; // kept by processes in a listing
    std::condition_variable m_listingEnded;
};

} // namespace norvane

#pragma once

// A folder of the user's own for the SMB library's caches and state. The
// library keeps them in the system's Samba folders, which only root may
// write; run by another user it notes every failed attempt on standard
// error, which a cron job mails. The configuration file this makes points
// the library's cache, lock and state folders here; the library reads it
// after the user's and the system's, so that nothing else they set changes.

#include <string>

namespace norvane {

class SambaCacheFolder {
public:
    // The configuration file to lay over the library's, made on first use:
    // in the user's cache folder ($XDG_CACHE_HOME or ~/.cache,
    // norvane/samba), else, when no home can be written (a system user run
    // from cron), in a folder of the user's own under the temporary folder.
    // Empty for root, whose system folders serve, and when neither folder
    // can be made safely.
    static std::string configFile();

    // The same for the given user, cache folder and temporary folder.
    static std::string configFile(unsigned userId, const std::string& cacheHome,
                                  const std::string& temporaryFolder);
};

} // namespace norvane

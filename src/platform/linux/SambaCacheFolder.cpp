#include "SambaCacheFolder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace norvane {

namespace {

constexpr mode_t PrivateFolderMode = 0700;
constexpr std::string_view ConfigName = "/smb.conf";

// Makes `path` a folder if it is not one; true when it is one now.
bool makeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), PrivateFolderMode) == 0 || errno == EEXIST;
}

// Makes every folder along `path`.
bool makeFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        if (!makeFolder(path.substr(0, slash)))
            return false;
    }
    return makeFolder(path);
}

// A folder in a place others may write (the temporary folder) is used only
// when it is a real folder, the user's and closed to everyone else: another
// user could have made it first, to read or feed the caches.
bool isOwnPrivateFolder(const std::string& path, unsigned userId) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == userId && (status.st_mode & 077) == 0;
}

// A line of the configuration cannot hold a line break.
bool fitsALine(const std::string& path) {
    return path.find_first_of("\n\r") == std::string::npos;
}

// Writes the configuration into `folder`; its path, or empty on failure.
std::string writeConfig(const std::string& folder) {
    const std::string path = folder + std::string(ConfigName);
    const std::string text = "[global]\n  cache directory = " + folder +
                             "\n  lock directory = " + folder + "\n  state directory = " + folder +
                             "\n";
    // Written anew under a name of this process and renamed, so that two
    // runs at once never read half a file.
    const std::string temporary = path + "." + std::to_string(::getpid());
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return {};
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return {};
    }
    return path;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

} // namespace

std::string SambaCacheFolder::configFile() {
    std::string cacheHome = environment("XDG_CACHE_HOME");
    if (cacheHome.empty() || cacheHome.front() != '/') {
        const std::string home = environment("HOME");
        cacheHome = home.empty() || home.front() != '/' ? std::string() : home + "/.cache";
    }
    std::string temporary = environment("TMPDIR");
    if (temporary.empty() || temporary.front() != '/')
        temporary = "/tmp";
    return configFile(::geteuid(), cacheHome, temporary);
}

std::string SambaCacheFolder::configFile(unsigned userId, const std::string& cacheHome,
                                         const std::string& temporaryFolder) {
    if (userId == 0)
        return {};
    if (!cacheHome.empty() && fitsALine(cacheHome)) {
        const std::string folder = cacheHome + "/norvane/samba";
        if (makeFolders(folder) && ::access(folder.c_str(), W_OK) == 0) {
            if (std::string config = writeConfig(folder); !config.empty())
                return config;
        }
    }
    if (!fitsALine(temporaryFolder))
        return {};
    const std::string folder = temporaryFolder + "/norvane-samba-" + std::to_string(userId);
    makeFolder(folder);
    if (!isOwnPrivateFolder(folder, userId))
        return {};
    return writeConfig(folder);
}

} // namespace norvane

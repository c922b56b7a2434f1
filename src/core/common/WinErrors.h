#pragma once

#include <cstdint>

namespace norvane {

using DWORD = std::uint32_t;

// Windows error numbers: the codes of the platform contract and of failed
// file operations, by which the user knows them on every system.
namespace win {
constexpr DWORD NoError = 0;
constexpr DWORD FileNotFound = 2;
constexpr DWORD PathNotFound = 3;
constexpr DWORD TooManyOpenFiles = 4;
constexpr DWORD AccessDenied = 5;
constexpr DWORD InvalidHandle = 6;
constexpr DWORD NotEnoughMemory = 8;
constexpr DWORD SharingViolation = 32;
constexpr DWORD BadNetPath = 53;
constexpr DWORD NetworkBusy = 54;
constexpr DWORD UnexpectedNetError = 59;
constexpr DWORD BadNetName = 67;
constexpr DWORD InvalidParameter = 87;
constexpr DWORD PipeNotConnected = 233;
constexpr DWORD MoreData = 234;
constexpr DWORD NoMoreItems = 259;
constexpr DWORD NotConnected = 2250;
constexpr DWORD NoNetwork = 1222;
constexpr DWORD ConnectionRefused = 1225;
constexpr DWORD NoBrowserServersFound = 6118;
constexpr DWORD BadProvider = 1204;
constexpr DWORD ExtendedError = 1208;
constexpr DWORD NotContainer = 1207;
constexpr DWORD HostUnreachable = 1232;
constexpr DWORD NetUnreachable = 1231;
constexpr DWORD Timeout = 1460;
constexpr DWORD IoDevice = 1117;
constexpr DWORD LogonFailure = 1326;
// Not a system error but the runtime's code for a write that wrote fewer
// bytes than asked, which is how a full disk shows.
constexpr DWORD DiskFull = 101;
} // namespace win

} // namespace norvane

#pragma once
// Looking at files through the Win32 calls, for the walk and the engine on
// Windows. Paths are in the long form (win32_text.h).
#include <string>

#include "tlr32/file_facts.h"

#include <windows.h>

namespace tlr {

// The UTF-8 path made absolute (against the current folder) in the long form;
// empty with errno when it cannot be.
std::wstring fullLongPath(const std::string& path);
std::wstring asWide(const std::string& text);
std::string asUtf8(const wchar_t* text, size_t length);

// A reparse point the walk treats as a link and never follows: a symbolic
// link, a junction or mount point, any name surrogate, or one whose tag the
// system does not say (wine's links). Others (deduplicated, compressed by the
// overlay filter, cloud placeholders) are the file itself.
bool isLinkReparsePoint(DWORD attributes, DWORD tag);

struct timespec timeFromFileTime(const FILETIME& ft);

// The facts of the item at path, following a final link only when follow is
// set. Sets errno on failure.
bool lookAtPath(const std::wstring& path, FileStat& st, bool follow);

// As lookAtPath without following, for an entry of a folder on the volume
// whose serial number is `volume`: an entry is always on its folder's
// volume, since a volume mounted in a folder is a reparse point the walk
// never follows. The volume is not asked again for each file: under wine
// that question is a round trip to another process, and took most of a
// walk's time.
// Under wine, a Linux symbolic link to a file is found to be the link it is
// (hidden_link_win32.h); folderFinal, when known, is where the folder really
// is (finalPathOfFolder).
bool lookAtEntryOn(const std::wstring& path, DeviceId volume, FileStat& st, const std::wstring* folderFinal = nullptr);

// As lookAtPath without following, with what the entry's listing says: an
// entry the listing calls a link is one, dated as listed (wine shows a link
// to a folder as that folder once it is opened), and one that cannot be
// opened has the listing's facts (see factsFromListing). With volume, the
// entry is on that volume (see lookAtEntryOn).
bool lookAtEntry(const std::wstring& path, FileStat& st, const DeviceId* volume = nullptr,
                 const std::wstring* folderFinal = nullptr);

// The facts the listing gives of an entry, for one that cannot be opened (a
// system file in use, a pipe): its size, date and kind; its allocation as the
// system reports it for the name, else its size.
void factsFromListing(const std::wstring& path, const WIN32_FIND_DATAW& entry, DeviceId dev, FileStat& st);

// Starts listing the folder at path: the find handle and its first entry, or
// INVALID_HANDLE_VALUE with the error left in GetLastError (ERROR_FILE_NOT_FOUND
// for a drive's root without entries).
HANDLE startListing(const std::wstring& folder, WIN32_FIND_DATAW& first);

}  // namespace tlr

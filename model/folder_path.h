#pragma once
// Folder paths the window is given or left with: the start path of the
// command line made absolute and normal before anything uses it ("tallorin ."
// must show the folder, not "…/.", and "tallorin .." its parent, so that Up
// goes up), and the place to go when the folder shown goes away.
#include <string>
#include <string_view>

// path made absolute against cwd (itself absolute), then normalised by its
// text alone: empty names and "." are dropped, ".." takes back the name before
// it and stops at "/". Names keep their bytes. The result has no separator at
// its end, "/" apart. An empty path stays empty.
std::string AbsoluteNormalPath(std::string_view path, std::string_view cwd);

// The nearest of path and its parents that is a folder now (links followed);
// "/" at the last. path is absolute; the result has no separator at its end.
std::string NearestExistingFolder(const std::string& path);

// Whether no folder is at path any more: nothing there (or a file in its
// place), as against a folder that is there but cannot be read. Links are
// followed, as the tree shows a link to a folder as a folder.
bool FolderIsGone(const std::string& path);

// Of a folder gone and the nearest folder left above it (NearestExistingFolder),
// the topmost one that went: left followed by the next name of gone. Empty when
// gone is not below left.
std::string TopmostGoneFolder(const std::string& gone, const std::string& left);

// Whether the folder itself can be opened for reading its entries, as the
// engine opens a folder it is asked about.
bool FolderOpens(const std::string& path);

// Whether the folder's entries can be looked at: it opens, and may be entered
// (searched). A folder that may be listed but not entered (mode 644) opens,
// yet no entry of it can be sized; asked with the effective rights, as the
// engine's own calls are made.
bool FolderCanBeRead(const std::string& path);

// Whether something is at path that cannot be looked at: a folder on the way
// may be listed but not entered. Not gone, and no failure of the computation.
bool PathIsOutOfReach(const std::string& path);

#pragma once
// What a name points to is what a report replaces: a symbolic link is
// followed to the file it ends at and stays a link (ReportFile).
#include <string>

namespace tlr {

// The file a path finally names once its symbolic links are followed (the
// path itself when it is no link; the end of a dangling link when the file
// is missing). False with errno ELOOP after 40 links.
bool finalTarget(const std::string& path, std::string& target);

}  // namespace tlr

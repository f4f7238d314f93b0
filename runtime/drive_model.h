#pragma once
// The drives and paths of the browser on this machine. Paths travel in the program's own form:
// a drive name, ":\", then directory names each followed by a backslash ("c:\home\ann\"), a file
// path adding the file's name. Only this model translates them to and from host paths. On
// POSIX there is one drive, c, mapped to the root of the file system.

#include <string>
#include <vector>

namespace core {

struct drive {
    std::string name;      // "c"
    std::string host_root; // "/"
};

// The drives, in the order the drive list shows them.
std::vector<drive> drives();

// Points drive `name` at `host_root` (tests use a temporary folder); an empty root restores
// the default mapping.
void set_drive_root(const std::string& name, const std::string& host_root);

// "c:\home\ann\notes.txt" → "/home/ann/notes.txt"; false when the form names no known drive.
bool host_path_of(const std::string& path_form, std::string& host_path);

} // namespace core

#pragma once
// The drives and paths of the browser on this machine. Paths travel in the program's own form:
// a drive name, ":\", then directory names each followed by a backslash ("c:\home\ann\"), a file
// path adding the file's name. Only this model translates them to and from host paths. On
// POSIX there is one drive, c, mapped to the root of the file system.
//
// A name that is not valid UTF-8 travels with each byte that cannot be read as U+FFFD and the
// byte's two hex digits ("r\xE9sum\xE9.txt" as "r\uFFFDE9sum\uFFFDE9.txt"), and so does a real
// U+FFFD in a name, byte by byte, so that each form leads back to the bytes it came from. A host
// name the forms cannot carry is never listed: a name with a backslash (it would split into two
// names) or a NUL (no host path holds one), a directory name with a colon (a relative pattern
// would read it as a drive). So every entry the lists show leads to exactly the folder or file
// it names.

#include "runtime/core/seam.h"

#include <string>
#include <vector>

namespace core {

struct drive {
    std::string name; // "c"
    std::string host_root; // "/"
};

// The drives, in the order the drive list shows them.
std::vector<drive> drives();

// The seam through which tests give the drives, each pointed at a temporary folder, in place
// of this machine's.
seam<std::vector<drive>>& drive_seam();

// "c:\home\ann\notes.txt" → "/home/ann/notes.txt"; false when the form names no known drive or
// holds what no path form can (a slash, a NUL, a "." or ".." name, a U+FFFD that is no byte's).
bool host_path_of(const std::string& path_form, std::string& host_path);

// "/home/ann/notes.txt" → "c:\home\ann\notes.txt" (a folder keeps its trailing backslash when the
// host path ends in a slash); false when no drive holds the path or a name cannot be carried.
bool path_form_of(const std::string& host_path, std::string& path_form);

// Whether a host name found in a folder can be shown and named in the path forms.
bool carriable_name(const std::string& name, bool is_directory);

// A host name as the path forms carry it, and back (see above): the two are one another's
// inverse, and a name in valid UTF-8 without U+FFFD is carried as it is.
std::string carried_name(const std::string& host_name);
std::string host_name_of(const std::string& carried);

// Type masks of a listing.
enum : unsigned {
    list_directories = 16, // subdirectories, and the parent entry below a root
    list_files = 32,
    list_drives = 16384,
};

enum class entry_kind { drive, parent, directory, file };

struct dir_entry {
    entry_kind kind;
    std::string name; // the drive's, directory's or file's own name; ".." for the parent
};

// The entry's text in a list: "[-c-]", "[..]", "[name]", or a file's bare name.
std::string entry_text(const dir_entry& entry);
// What naming the entry adds to a path: "name\", "..\" or the file's name (a drive: "c:\").
std::string entry_path_form(const dir_entry& entry);

// Splits a listing pattern into the folder it names and its file mask. A pattern beginning
// with a drive name and a colon names its folder outright; any other is taken relative to
// `current` (a folder's path form, ending in a backslash). ".." climbs one name, never above
// the drive's root; the climb is by name, so it comes back the way it went in, links and all.
// False when the pattern names no folder (an unknown drive, nothing to be relative to).
bool resolve_pattern(const std::string& pattern, const std::string& current, std::string& folder, std::string& mask);

// Whether `name` matches a file mask of "*" and "?" (letter case ignored; "*.*" matches every
// name, with or without a dot).
bool mask_matches(const std::string& mask, const std::string& name);

// "a" < "B" < "file2" < "file10": as a person reads names, letter case ignored and runs of
// digits compared by value; names that still tie fall back to their bytes.
bool natural_less(const std::string& a, const std::string& b);

struct listing {
    bool ok = false; // the folder could be read (or only drives were asked for)
    std::string folder; // the folder's path form; empty for a listing of drives only
    std::vector<dir_entry> entries;
    std::string reason; // why the folder could not be read, for a person; empty when it could
};

// Lists what `pattern` names, relative to `current`, as `type_mask` asks: the drives, then the
// parent entry, the subdirectories and the files matching the mask, each group in natural
// order. Hidden entries (names starting with a dot), names that cannot be carried and entries
// that are neither a folder nor a regular file (devices, pipes, sockets, dangling links) are
// left out. A folder that cannot be read still gives its path form and the parent entry.
listing list_entries(const std::string& pattern, const std::string& current, unsigned type_mask);

} // namespace core

// Fuzzes the path forms of the drive model. The input is cut at 0xFF bytes into a path form, a
// host path and a listing pattern, with a current folder after a second cut. Three drives
// stand on made-up roots, one inside another's. What must hold:
// - a path form never names a host path outside its drive's root, nor one with a "." or ".."
//   name, and the host path it names comes back to the same form, empty names dropped;
// - a host path that has a form names the same place again through that form;
// - a pattern, resolved against any current folder, never leads above its drive's root, and
//   against a current folder without climbs gives a folder without them.

#include "runtime/core/drive_model.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

struct drive_root {
    const char* name;
    const char* root;
};
const drive_root roots[] = {{"c", "/srv/c"}, {"d", "/srv/c/sub/d/"}, {"net", "/mnt/net"}};

[[noreturn]] void fail(const std::string& what, const std::string& a, const std::string& b)
{
    std::fprintf(stderr, "fuzz_drive_paths: %s\n  [%s]\n  [%s]\n", what.c_str(), a.c_str(), b.c_str());
    std::abort();
}

std::vector<std::string> names_of(const std::string& path, char sep)
{
    std::vector<std::string> names;
    std::string name;
    for (const char c : path + sep) {
        if (c != sep) {
            name += c;
        } else if (!name.empty()) {
            names.push_back(name);
            name.clear();
        }
    }
    return names;
}

// The host path's names with "." and ".." worked out, as the file system would walk them
// (links aside); false when ".." would climb above "/".
bool walked(const std::string& host, std::vector<std::string>& names)
{
    names.clear();
    for (const std::string& name : names_of(host, '/')) {
        if (name == "..") {
            if (names.empty())
                return false;
            names.pop_back();
        } else if (name != ".") {
            names.push_back(name);
        }
    }
    return true;
}

// Whether the host path stays at or below the root of the drive the form names.
bool inside_its_drive(const std::string& form, const std::string& host)
{
    const std::string drive_name = form.substr(0, form.find(":\\"));
    for (const drive_root& d : roots) {
        if (drive_name != d.name)
            continue;
        std::vector<std::string> root, path;
        if (!walked(d.root, root) || !walked(host, path) || path.size() < root.size())
            return false;
        for (std::size_t k = 0; k < root.size(); ++k) {
            if (root[k] != path[k])
                return false;
        }
        return true;
    }
    return false;
}

// A form with its empty names dropped: "c:\a\\b\" reads as "c:\a\b\".
std::string tidy_form(const std::string& form)
{
    const std::size_t colon = form.find(":\\");
    std::string out = form.substr(0, colon + 2);
    const std::vector<std::string> names = names_of(form.substr(colon + 2), '\\');
    for (std::size_t k = 0; k < names.size(); ++k)
        out += names[k] + (k + 1 < names.size() ? "\\" : "");
    if (!names.empty() && form.back() == '\\')
        out += '\\';
    return out;
}

void check_form(const std::string& form)
{
    std::string host;
    if (!core::host_path_of(form, host))
        return;
    std::vector<std::string> names;
    if (!walked(host, names) || !inside_its_drive(form, host))
        fail("a form names a host path outside its drive", form, host);
    for (const std::string& name : names_of(host, '/')) {
        if (name == "." || name == ".." || name.find('\0') != std::string::npos)
            fail("a form names a host path with a dot name or a NUL", form, host);
    }
    std::string back;
    if (!core::path_form_of(host, back))
        return; // a name the forms cannot carry, or a nested drive's root: no form to come back to
    std::string again;
    if (!core::host_path_of(back, again) || names_of(again, '/') != names_of(host, '/'))
        fail("a form's host path does not come back to the same place", form, back);
    // The same drive gives the same form back; a nested drive's form names the same place.
    if (back.substr(0, back.find(":\\")) == form.substr(0, form.find(":\\")) && back != tidy_form(form))
        fail("a form does not come back to itself", form, back);
}

void check_host(const std::string& host)
{
    std::string form;
    if (!core::path_form_of(host, form))
        return;
    if (form.find('/') != std::string::npos || form.find('\0') != std::string::npos)
        fail("a form holds a slash or a NUL", host, form);
    std::string again;
    if (!core::host_path_of(form, again))
        fail("a host path's form names no host path", host, form);
    if (names_of(again, '/') != names_of(host, '/'))
        fail("a host path's form names another place", host, again);
}

void check_pattern(const std::string& pattern, const std::string& current)
{
    std::string folder, mask;
    if (!core::resolve_pattern(pattern, current, folder, mask))
        return;
    if (folder.size() < 3 || folder.compare(folder.size() - 1, 1, "\\") != 0 || folder.find(":\\") == std::string::npos)
        fail("a pattern resolves to no folder form", pattern, folder);
    // A current folder is one that a pattern resolved to, so it holds no climb; given one that
    // does, the folder may keep it, which the host path then refuses.
    const auto climbs = [](const std::string& form) {
        const std::size_t colon = form.find(":\\");
        for (const std::string& name : names_of(colon == std::string::npos ? form : form.substr(colon + 2), '\\')) {
            if (name == ".." || name == ".")
                return true;
        }
        return false;
    };
    if (climbs(folder) && !climbs(current))
        fail("a resolved folder keeps a climb", pattern + " | " + current, folder);
    std::string host;
    if (core::host_path_of(folder, host) && !inside_its_drive(folder, host))
        fail("a pattern leads above its drive's root", pattern + " | " + current, host);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The made-up drives stand in for the machine's for the whole run.
    static const auto drives = [] {
        std::vector<core::drive> all;
        for (const drive_root& d : roots)
            all.push_back(core::drive {d.name, d.root});
        return core::drive_seam().replace(std::move(all));
    }();
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF)
            parts.emplace_back();
        else
            parts.back() += static_cast<char>(data[i]);
    }
    parts.resize(std::max<std::size_t>(parts.size(), 4));
    check_form(parts[0]);
    check_host(parts[1]);
    check_pattern(parts[2], parts[3]);
    return 0;
}

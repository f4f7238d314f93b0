#include "runtime/drive_model.h"

#include <map>
#include <mutex>

namespace core {

namespace {

std::map<std::string, std::string>& overrides()
{
    static std::map<std::string, std::string> roots;
    return roots;
}

std::mutex& overrides_mutex()
{
    static std::mutex m;
    return m;
}

} // namespace

std::vector<drive> drives()
{
    std::lock_guard<std::mutex> lock(overrides_mutex());
    auto it = overrides().find("c");
    return {drive{"c", it != overrides().end() ? it->second : std::string("/")}};
}

void set_drive_root(const std::string& name, const std::string& host_root)
{
    std::lock_guard<std::mutex> lock(overrides_mutex());
    if (host_root.empty())
        overrides().erase(name);
    else
        overrides()[name] = host_root;
}

bool host_path_of(const std::string& path_form, std::string& host_path)
{
    const std::size_t colon = path_form.find(":\\");
    if (colon == std::string::npos || colon == 0)
        return false;
    const std::string name = path_form.substr(0, colon);
    for (const drive& d : drives()) {
        if (d.name != name)
            continue;
        std::string root = d.host_root;
        if (root.empty() || root.back() != '/')
            root += '/';
        std::string rest = path_form.substr(colon + 2);
        for (char& ch : rest) {
            if (ch == '\\')
                ch = '/';
        }
        host_path = root + rest;
        return true;
    }
    return false;
}

} // namespace core

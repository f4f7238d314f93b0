#include "runtime/core/drive_model.h"

#include "runtime/core/utf8.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace core {

namespace {

const drive* find_drive(const std::vector<drive>& all, const std::string& name)
{
    for (const drive& d : all) {
        if (d.name == name)
            return &d;
    }
    return nullptr;
}

std::string with_slash(std::string root)
{
    if (root.empty() || root.back() != '/')
        root += '/';
    return root;
}

std::vector<std::string> split(const std::string& text, char sep)
{
    std::vector<std::string> parts;
    std::string part;
    for (char ch : text) {
        if (ch == sep) {
            parts.push_back(part);
            part.clear();
        } else {
            part += ch;
        }
    }
    parts.push_back(part);
    return parts;
}

// Decodes one code point at `i` of valid UTF-8 and moves `i` past it.
char32_t next_code_point(const std::string& s, std::size_t& i)
{
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : 3;
    char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
    ++i;
    for (std::size_t k = 0; k < extra && i < s.size(); ++k, ++i)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    return cp;
}

// Case folding for the scripts people most often name files in; enough to order a listing.
char32_t fold(char32_t c)
{
    if (c >= 'A' && c <= 'Z')
        return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 32;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
        // Latin Extended-A pairs capital and small letters, the capital first; the block
        // switches from even to odd capitals at U+0139 and back at U+014A.
        const bool odd_capitals = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (odd_capitals ? (c % 2 == 1) : (c % 2 == 0))
            return c + 1;
        return c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return c + 32;
    if (c >= 0x410 && c <= 0x42F)
        return c + 32;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    return c;
}

// The letter an accented Latin-1 letter is read as, so "Ärger" sorts among the a's.
char32_t base_letter(char32_t c)
{
    if (c < 0xDF || c > 0xFF)
        return c;
    static const char bases[] = "saaaaaaaceeeeiiiidnooooo\0ouuuuyty";
    const char b = bases[c - 0xDF];
    return b == '\0' ? c : static_cast<char32_t>(b);
}

bool is_digit(char32_t c)
{
    return c >= '0' && c <= '9';
}

// Compares the number-aware forms, by base letters or else by case-folded letters; 0 when
// they read the same.
int natural_compare(const std::string& a, const std::string& b, bool by_base_letter)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        std::size_t ni = i, nj = j;
        const char32_t ca = next_code_point(a, ni);
        const char32_t cb = next_code_point(b, nj);
        if (is_digit(ca) && is_digit(cb)) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && is_digit(static_cast<unsigned char>(a[ei])))
                ++ei;
            while (ej < b.size() && is_digit(static_cast<unsigned char>(b[ej])))
                ++ej;
            std::size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0')
                ++si;
            while (sj + 1 < ej && b[sj] == '0')
                ++sj;
            const std::size_t li = ei - si, lj = ej - sj;
            if (li != lj)
                return li < lj ? -1 : 1;
            const int by_digits = a.compare(si, li, b, sj, lj);
            if (by_digits != 0)
                return by_digits < 0 ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        char32_t fa = fold(ca), fb = fold(cb);
        if (by_base_letter) {
            fa = base_letter(fa);
            fb = base_letter(fb);
        }
        if (fa != fb)
            return fa < fb ? -1 : 1;
        i = ni;
        j = nj;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

// U+FFFD, which with two hex digits stands for a byte that is no character.
const char escape_mark[] = "\xEF\xBF\xBD";
constexpr std::size_t escape_mark_size = 3;
const char hex_digits[] = "0123456789ABCDEF";

int hex_value(char c)
{
    const char* at = std::strchr(hex_digits, c);
    return c != '\0' && at ? static_cast<int>(at - hex_digits) : -1;
}

void append_escaped(std::string& out, const char* bytes, std::size_t count)
{
    for (std::size_t k = 0; k < count; ++k) {
        const auto b = static_cast<unsigned char>(bytes[k]);
        out.append(escape_mark, escape_mark_size);
        out += hex_digits[b >> 4];
        out += hex_digits[b & 0xF];
    }
}

bool is_drive_name(const std::string& text)
{
    return !text.empty() && text.find('\\') == std::string::npos;
}

} // namespace

std::vector<drive> drives()
{
    if (const auto stand_in = drive_seam().stand_in())
        return *stand_in;
    return {drive {"c", "/"}};
}

seam<std::vector<drive>>& drive_seam()
{
    static core::seam<std::vector<drive>> seam;
    return seam;
}

bool host_path_of(const std::string& path_form, std::string& host_path)
{
    const std::size_t colon = path_form.find(":\\");
    if (colon == std::string::npos || colon == 0)
        return false;
    const std::vector<drive> all = drives();
    const drive* d = find_drive(all, path_form.substr(0, colon));
    if (!d)
        return false;
    const std::string rest = path_form.substr(colon + 2);
    // A slash would split one name of the form into two host names.
    if (rest.find('/') != std::string::npos || rest.find('\0') != std::string::npos)
        return false;
    std::string translated;
    const std::vector<std::string> names = split(rest, '\\');
    for (std::size_t k = 0; k < names.size(); ++k) {
        const std::string& name = names[k];
        if (name == "." || name == "..")
            return false;
        // Only the form a listing gives leads anywhere: one host name has one form.
        const std::string host_name = host_name_of(name);
        if (carried_name(host_name) != name)
            return false;
        translated += host_name;
        if (k + 1 < names.size())
            translated += '/';
    }
    host_path = with_slash(d->host_root) + translated;
    return true;
}

bool path_form_of(const std::string& host_path, std::string& path_form)
{
    const drive* best = nullptr;
    std::string best_root;
    const std::vector<drive> all = drives();
    for (const drive& d : all) {
        const std::string root = with_slash(d.host_root);
        const bool inside = host_path.compare(0, root.size(), root) == 0 || host_path + '/' == root;
        if (inside && (!best || root.size() > best_root.size())) {
            best = &d;
            best_root = root;
        }
    }
    if (!best)
        return false;
    const std::string rest = host_path.size() > best_root.size() ? host_path.substr(best_root.size()) : "";
    const std::vector<std::string> names = split(rest, '/');
    std::string form = best->name + ":\\";
    for (std::size_t k = 0; k < names.size(); ++k) {
        const std::string& name = names[k];
        if (name.empty())
            continue;
        const bool last = k + 1 == names.size();
        if (name == "." || name == ".." || !carriable_name(name, !last))
            return false;
        form += carried_name(name);
        if (!last)
            form += '\\';
    }
    path_form = form;
    return true;
}

bool carriable_name(const std::string& name, bool is_directory)
{
    if (name.empty() || name.find_first_of(std::string_view("\\\0", 2)) != std::string::npos)
        return false;
    return !is_directory || name.find(':') == std::string::npos;
}

std::string carried_name(const std::string& host_name)
{
    const auto* s = reinterpret_cast<const unsigned char*>(host_name.data());
    const std::size_t n = host_name.size();
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n;) {
        const std::size_t valid = utf8_valid_until(s, i, n);
        // Well-formed text goes as it is, but for a U+FFFD of its own.
        for (std::size_t at = i; at < valid;) {
            const std::size_t mark = host_name.find(escape_mark, at, escape_mark_size);
            const std::size_t end = mark < valid ? mark : valid;
            out.append(host_name, at, end - at);
            if (end == valid)
                break;
            append_escaped(out, escape_mark, escape_mark_size);
            at = end + escape_mark_size;
        }
        if (valid == n)
            break;
        const std::size_t run = utf8_invalid_run(s, valid, n);
        append_escaped(out, host_name.data() + valid, run);
        i = valid + run;
    }
    return out;
}

std::string host_name_of(const std::string& carried)
{
    std::string out;
    out.reserve(carried.size());
    for (std::size_t i = 0; i < carried.size();) {
        if (carried.compare(i, escape_mark_size, escape_mark) == 0 && i + escape_mark_size + 2 <= carried.size()) {
            const int high = hex_value(carried[i + escape_mark_size]);
            const int low = hex_value(carried[i + escape_mark_size + 1]);
            // Only bytes that are no ASCII character are ever written so.
            if (high >= 8 && low >= 0) {
                out += static_cast<char>(high << 4 | low);
                i += escape_mark_size + 2;
                continue;
            }
        }
        out += carried[i++];
    }
    return out;
}

std::string entry_text(const dir_entry& entry)
{
    switch (entry.kind) {
    case entry_kind::drive:
        return "[-" + entry.name + "-]";
    case entry_kind::parent:
        return "[..]";
    case entry_kind::directory:
        return "[" + entry.name + "]";
    case entry_kind::file:
        break;
    }
    return entry.name;
}

std::string entry_path_form(const dir_entry& entry)
{
    switch (entry.kind) {
    case entry_kind::drive:
        return entry.name + ":\\";
    case entry_kind::parent:
        return "..\\";
    case entry_kind::directory:
        return entry.name + "\\";
    case entry_kind::file:
        break;
    }
    return entry.name;
}

bool resolve_pattern(const std::string& pattern, const std::string& current, std::string& folder, std::string& mask)
{
    const std::size_t colon = pattern.find(':');
    std::string drive_name;
    std::string body; // the pattern after its drive, if it names one
    std::vector<std::string> names;
    if (colon != std::string::npos && is_drive_name(pattern.substr(0, colon))) {
        drive_name = pattern.substr(0, colon);
        body = pattern.substr(colon + 1);
    } else {
        const std::size_t current_colon = current.find(":\\");
        if (current_colon == std::string::npos || current_colon == 0)
            return false;
        drive_name = current.substr(0, current_colon);
        for (const std::string& name : split(current.substr(current_colon + 2), '\\')) {
            if (!name.empty())
                names.push_back(name);
        }
        body = pattern;
    }
    const std::vector<drive> all = drives();
    if (!find_drive(all, drive_name))
        return false;

    const std::size_t last_sep = body.rfind('\\');
    const std::string path_part = last_sep == std::string::npos ? std::string() : body.substr(0, last_sep);
    mask = last_sep == std::string::npos ? body : body.substr(last_sep + 1);
    if (mask.empty())
        mask = "*.*";
    for (const std::string& name : split(path_part, '\\')) {
        if (name.empty() || name == ".")
            continue;
        if (name == "..") {
            if (!names.empty())
                names.pop_back();
            continue;
        }
        names.push_back(name);
    }

    folder = drive_name + ":\\";
    for (const std::string& name : names)
        folder += name + "\\";
    return true;
}

bool mask_matches(const std::string& mask, const std::string& name)
{
    if (mask == "*.*" || mask == "*")
        return true;
    // Iterative wildcard match with one backtrack point, on case-folded code points.
    std::vector<char32_t> m, n;
    for (std::size_t i = 0; i < mask.size();)
        m.push_back(fold(next_code_point(mask, i)));
    for (std::size_t i = 0; i < name.size();)
        n.push_back(fold(next_code_point(name, i)));
    std::size_t mi = 0, ni = 0, star = std::string::npos, star_n = 0;
    while (ni < n.size()) {
        if (mi < m.size() && (m[mi] == '?' || m[mi] == n[ni])) {
            ++mi;
            ++ni;
        } else if (mi < m.size() && m[mi] == '*') {
            star = mi++;
            star_n = ni;
        } else if (star != std::string::npos) {
            mi = star + 1;
            ni = ++star_n;
        } else {
            return false;
        }
    }
    while (mi < m.size() && m[mi] == '*')
        ++mi;
    return mi == m.size();
}

bool natural_less(const std::string& a, const std::string& b)
{
    for (const bool by_base_letter : {true, false}) {
        const int by_reading = natural_compare(a, b, by_base_letter);
        if (by_reading != 0)
            return by_reading < 0;
    }
    return a < b;
}

listing list_entries(const std::string& pattern, const std::string& current, unsigned type_mask)
{
    listing result;
    if (type_mask & list_drives) {
        for (const drive& d : drives())
            result.entries.push_back(dir_entry {entry_kind::drive, d.name});
    }
    if (!(type_mask & (list_directories | list_files))) {
        result.ok = true;
        return result;
    }

    std::string mask;
    if (!resolve_pattern(pattern, current, result.folder, mask)) {
        result.folder.clear();
        result.reason = "No such drive";
        return result;
    }
    const bool below_root = result.folder.size() > result.folder.find(":\\") + 2;
    if ((type_mask & list_directories) && below_root)
        result.entries.push_back(dir_entry {entry_kind::parent, ".."});

    std::string host;
    if (!host_path_of(result.folder, host)) {
        result.reason = "No such file or directory";
        return result;
    }

    namespace fs = std::filesystem;
    std::error_code ec;
    fs::directory_iterator it(fs::path(host), ec);
    const auto failed = [&] {
        result.reason = ec.message();
        return result;
    };
    if (ec)
        return failed();
    std::vector<std::string> folders, files;
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            return failed();
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.')
            continue;
        std::error_code type_ec;
        // The entry's target counts: a link to a folder is entered like the folder.
        const fs::file_status st = fs::status(it->path(), type_ec);
        if (type_ec)
            continue;
        if (fs::is_directory(st)) {
            if ((type_mask & list_directories) && carriable_name(name, true))
                folders.push_back(carried_name(name));
        } else if (fs::is_regular_file(st)) {
            if ((type_mask & list_files) && carriable_name(name, false) && mask_matches(mask, carried_name(name)))
                files.push_back(carried_name(name));
        }
    }
    if (ec)
        return failed();
    std::sort(folders.begin(), folders.end(), natural_less);
    std::sort(files.begin(), files.end(), natural_less);
    for (const std::string& name : folders)
        result.entries.push_back(dir_entry {entry_kind::directory, name});
    for (const std::string& name : files)
        result.entries.push_back(dir_entry {entry_kind::file, name});
    result.ok = true;
    return result;
}

} // namespace core

#pragma once
// Permissions as a user meets them. Root passes every permission check, so a test run as root
// that means to meet a refusal becomes the user nobody while one of these lives: its effective
// user, group and groups are nobody's, and its real and saved ones stay root's, which is how it
// comes back. The test's own folder, which only its owner may enter, is opened to others for
// that time. Run as any other user, it changes nothing.

#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace testing {

class unprivileged {
public:
    explicit unprivileged(std::string folder)
        : folder_(std::move(folder))
    {
        if (!was_root_)
            return;
        struct stat st { };
        if (::stat(folder_.c_str(), &st) == 0) {
            mode_ = st.st_mode & 07777;
            ::chmod(folder_.c_str(), mode_ | 0111);
        }
        const passwd* nobody = ::getpwnam("nobody");
        const uid_t uid = nobody ? nobody->pw_uid : 65534;
        const gid_t gid = nobody ? nobody->pw_gid : 65534;
        groups_.resize(static_cast<std::size_t>(::getgroups(0, nullptr)));
        if (::getgroups(static_cast<int>(groups_.size()), groups_.data()) < 0)
            groups_.clear();
        if (::setgroups(1, &gid) == 0 && ::setegid(gid) == 0)
            (void)::seteuid(uid);
    }

    ~unprivileged()
    {
        if (!was_root_)
            return;
        (void)::seteuid(0);
        (void)::setegid(gid_);
        (void)::setgroups(groups_.size(), groups_.data());
        if (mode_ != 0)
            ::chmod(folder_.c_str(), mode_);
    }

    unprivileged(const unprivileged&) = delete;
    unprivileged& operator=(const unprivileged&) = delete;

    // Whether permissions now hold: false only where root could not become nobody.
    bool ok() const { return ::geteuid() != 0; }

private:
    const bool was_root_ = ::geteuid() == 0;
    const gid_t gid_ = ::getegid();
    std::string folder_;
    mode_t mode_ = 0;
    std::vector<gid_t> groups_;
};

} // namespace testing

#include "runtime/core/text_block.h"

#include <utility>

namespace core {

namespace {

class string_block final : public text_block {
public:
    string_block(std::string s, bool escaped)
        : s_(std::move(s))
        , escaped_(escaped)
    {
    }
    const char* data() const override { return s_.data(); }
    std::size_t size() const override { return s_.size(); }
    bool holds_escapes() const override { return escaped_; }

private:
    std::string s_;
    bool escaped_;
};

} // namespace

std::shared_ptr<const text_block> make_block(std::string text, bool escaped)
{
    return std::make_shared<string_block>(std::move(text), escaped);
}

} // namespace core

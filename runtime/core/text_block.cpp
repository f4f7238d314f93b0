#include "runtime/core/text_block.h"

#include <utility>

namespace core {

namespace {

class string_block final : public text_block {
public:
    explicit string_block(std::string s)
        : s_(std::move(s))
    {
    }
    const char* data() const override { return s_.data(); }
    std::size_t size() const override { return s_.size(); }

private:
    std::string s_;
};

} // namespace

std::shared_ptr<const text_block> make_block(std::string text)
{
    return std::make_shared<string_block>(std::move(text));
}

} // namespace core

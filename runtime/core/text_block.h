#pragma once
// Text held once and pointed into: what a file reads into, and what rows refer to. A block never
// changes once filled, so whoever points into it only has to keep it alive.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace core {

// An immutable piece of text that rows may point into. Whoever fills it keeps it alive by
// handing the shared pointer on together with what points into it.
struct text_block {
    virtual ~text_block() = default;
    virtual const char* data() const = 0;
    virtual std::size_t size() const = 0;
    // Whether the text holds bytes that could not be read, kept as escapes (see utf8.h).
    virtual bool holds_escapes() const { return false; }
};

// A block that owns a std::string; `escaped` tells that it holds escapes.
std::shared_ptr<const text_block> make_block(std::string text, bool escaped = false);

// A span of a block: bytes [offset, offset + size).
struct line_span {
    std::size_t offset;
    std::size_t size;
};

// A span of a block of less than 4 GB, half the size of a line_span: a load holds millions.
struct short_span {
    std::uint32_t offset;
    std::uint32_t size;
};

} // namespace core

// Fuzzes the compare engine against the plain row-against-row compare: two sources cut from the
// input (lines end at LF; a 0xFF byte ends the first source), each either left as inserted or
// sorted first, must give exactly the plain compare's similar, different and combined lists.

#include "compare/engine/compare_engine.h"
#include "support/plain_compare.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> lines_of(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> out;
    std::string line;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            out.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(data[i]);
        }
    }
    if (!line.empty())
        out.push_back(line);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte chooses how the panes were filled and how their files are named.
    const unsigned flags = data[0];
    ++data;
    --size;
    std::size_t cut = 0;
    while (cut < size && data[cut] != 0xFF)
        ++cut;
    const auto a = lines_of(data, cut);
    const auto b = cut < size ? lines_of(data + cut + 1, size - cut - 1) : std::vector<std::string>();
    const char* labels[] = {"one.txt", "two.txt", "", "c:\\data\\one.txt"};
    const std::string l1 = labels[flags & 3], l2 = labels[(flags >> 2) & 3];

    core::line_table s1, s2, same, diff, sum;
    testing::fill(s1, a, flags & 16);
    testing::fill(s2, b, flags & 32);
    core::compare_sources(s1, s2, l1, l2, same, diff, sum);
    const testing::lists want = testing::plain_compare(a, b, l1, l2, true);
    if (!(testing::rows_of(same) == want.same) || !(testing::rows_of(diff) == want.diff)
        || !(testing::rows_of(sum) == want.sum)) {
        std::fprintf(stderr, "fuzz_compare_engine: the engine differs from the plain compare\n");
        std::abort();
    }
    return 0;
}

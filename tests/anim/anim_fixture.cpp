// Helpers of the animation tests.
#include "anim_fixture.h"

namespace animtest
{

void SweepMutations(const std::vector<uint8_t>& bytes, int count, const std::function<void(std::vector<uint8_t>&)>& read)
{
    uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&state]()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int i = 0; i < count && !bytes.empty(); ++i)
    {
        std::vector<uint8_t> copy = bytes;
        const int edits = 1 + int(next() % 4);
        for (int e = 0; e < edits && !copy.empty(); ++e)
        {
            const size_t at = size_t(next() % copy.size());
            switch (next() % 4)
            {
            case 0:
                copy[at] ^= uint8_t(1u << (next() % 8));
                break;
            case 1:
                copy[at] = uint8_t(next());
                break;
            case 2:
            {
                static const uint32_t kWords[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 1000000000, 0x10000};
                const uint32_t w = kWords[next() % 7];
                for (size_t b = 0; b < 4 && at + b < copy.size(); ++b)
                    copy[at + b] = uint8_t(w >> (8 * b));
                break;
            }
            default:
                copy.resize(at);
                break;
            }
        }
        read(copy);
    }
}

} // namespace animtest

// FileToArray on any file: the numbers go into an array of exactly the size asked for, of
// each element type, in one or more groups, so that a store past its end is caught.
//   byte 0   bits 0-2 element type (unsigned short, short, unsigned, int, double); bit 3
//            groups multiplexed instead of together
//   byte 1   count 1..256 (the profile file asks for 258, a parameter file for 16)
//   byte 2   groups 1..4
//   bytes 3.. the file
#include "formatio.h"
#include "fuzz_program.h"
#include "userint_readback.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 3) return 0;
    static const int types[] = {VAL_UNSIGNED_SHORT_INTEGER, VAL_SHORT_INTEGER,
                                VAL_UNSIGNED_INTEGER, VAL_INTEGER, VAL_DOUBLE};
    static const size_t sizes[] = {sizeof(unsigned short), sizeof(short), sizeof(unsigned),
                                   sizeof(int), sizeof(double)};
    const int t = (data[0] & 7) % 5;
    const int order = (data[0] & 8) ? VAL_DATA_MULTIPLEXED : VAL_GROUPS_TOGETHER;
    const int count = 1 + data[1];
    const int groups = 1 + data[2] % 4;
    static const std::string path = fuzz::WorkDir() + "/array.dat";
    if (!fuzz::WriteFile(path, data + 3, size - 3)) return 0;
    // Exactly `count` elements: the sanitizer sees any store past them.
    std::vector<unsigned char> array(size_t(count) * sizes[t]);
    const int n = FileToArray(path.c_str(), array.data(), types[t], count, groups, order,
                              VAL_GROUPS_AS_COLUMNS, VAL_ASCII);
    if (n < 0 || n > count) std::abort();
    return 0;
}

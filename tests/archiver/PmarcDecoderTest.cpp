// PMarc's -pm1- and -pm2- through the table of methods, on streams written bit
// by bit from the format's definition by the small model writers below (their
// own recency list, canonical codes and class codes), and on damaged streams
// that must end cleanly.
#include "archiver/MemoryStreams.h"
#include "archiver/codec/MethodTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using codectest::Bytes;
using lha::DecodeStatus;

using codectest::MemorySink;
using codectest::MemorySource;

struct Unpacked {
    DecodeStatus status;
    Bytes bytes;
    size_t writes;
};

// `packedSize` 0: the packed bytes' own size.
Unpacked Unpack(const char* method, const Bytes& packed, uint64_t originalSize, uint64_t packedSize = 0) {
    const lha::Method* row = lha::FindMethod(method);
    EXPECT_NE(row, nullptr) << method;
    if (row == nullptr)
        return {DecodeStatus::CorruptData, {}, 0};
    MemorySource source(packed);
    MemorySink sink;
    DecodeStatus status =
        row->decode(row->dictionaryBits, source, packedSize ? packedSize : packed.size(), originalSize, sink);
    return {status, sink.bytes, sink.writes};
}

// MSB-first bits; the last byte is padded with zeros.
class Bits {
public:
    void Put(uint32_t value, unsigned count) {
        for (unsigned k = count; k-- > 0;)
            PutBit((value >> k) & 1);
    }
    void Put(const std::string& code) {
        for (char c : code)
            PutBit(c == '1');
    }
    Bytes bytes;
private:
    void PutBit(bool bit) {
        if (used_ % 8 == 0)
            bytes.push_back(0);
        if (bit)
            bytes.back() |= static_cast<uint8_t>(0x80 >> (used_ % 8));
        ++used_;
    }
    size_t used_ = 0;
};

// What a decoder must output, with the recency list kept as a plain vector.
class Model {
public:
    explicit Model(uint8_t fill) : fill_(fill) {
        for (auto range : {std::pair<int, int>{0x20, 0x7F}, {0x00, 0x1F}, {0xA0, 0xDF}, {0x80, 0x9F}, {0xE0, 0xFF}})
            for (int b = range.first; b <= range.second; ++b)
                list_.push_back(static_cast<uint8_t>(b));
    }
    uint8_t ByteAt(unsigned index) const { return list_[index]; }
    void Literal(unsigned index) { Put(list_[index]); }
    void Copy(uint32_t distance, uint32_t count) {
        for (uint32_t k = 0; k < count; ++k)
            Put(distance > out.size() ? fill_ : out[out.size() - distance]);
    }
    Bytes out;
private:
    void Put(uint8_t byte) {
        out.push_back(byte);
        list_.erase(std::find(list_.begin(), list_.end(), byte));
        list_.insert(list_.begin(), byte);
    }
    uint8_t fill_;
    std::vector<uint8_t> list_;
};

// Codes in order of length, then of symbol; "" for an unused symbol.
std::vector<std::string> CanonicalCodes(const std::vector<uint8_t>& lengths) {
    std::vector<std::string> codes(lengths.size());
    uint32_t code = 0;
    for (unsigned n = 1; n <= 32; ++n, code <<= 1)
        for (size_t s = 0; s < lengths.size(); ++s)
            if (lengths[s] == n) {
                for (unsigned k = n; k-- > 0;)
                    codes[s] += ((code >> k) & 1) ? '1' : '0';
                ++code;
            }
    return codes;
}

// ---------------------------------------------------------------- -pm2- ---

const struct { unsigned base, bits; } kPm2Literal[8] = {
    {0, 3}, {8, 3}, {16, 4}, {32, 5}, {64, 5}, {96, 5}, {128, 6}, {192, 6}};
// Count of copy class c = 0..20: base and extra bits.
const struct { unsigned base, bits; } kPm2Count[21] = {
    {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {8, 0}, {9, 0}, {10, 0}, {11, 0}, {12, 0},
    {13, 0}, {14, 0}, {15, 0}, {16, 0}, {17, 3}, {25, 3}, {33, 5}, {65, 6}, {129, 7}, {256, 0}};

// 26 codes of 5 bits and 3 of 4: every symbol usable.
std::vector<uint8_t> FullCode(unsigned shortFrom) {
    std::vector<uint8_t> lengths(29, 5);
    for (unsigned s = shortFrom; s < shortFrom + 3; ++s)
        lengths[s % 29] = 4;
    return lengths;
}
const std::vector<uint8_t> kOffsetTrees[2][9] = {
    {{}, {}, {}, {}, {}, {2, 2, 2, 3, 3}, {3, 3, 2, 2, 3, 3}, {3, 3, 3, 3, 2, 3, 3}, {3, 3, 3, 3, 3, 3, 3, 3}},
    {{}, {}, {}, {}, {}, {3, 3, 2, 2, 2}, {2, 3, 3, 2, 3, 3}, {3, 2, 3, 3, 3, 3, 3}, {2, 2, 3, 3, 4, 4, 4, 4}},
};

// Writes a -pm2- stream and the output it stands for. Refresh points are
// written as the output passes them, with the trees of the plan.
class Pm2Writer {
public:
    Pm2Writer(uint64_t size, std::vector<uint8_t> code, bool newCodeAt4096 = false, bool newCodeLater = false)
        : size_(size), newCodeAt4096_(newCodeAt4096), newCodeLater_(newCodeLater) {
        bits.Put(0, 1);
        WriteCodeTree(code);
        WriteOffsetTree(5);
    }
    void Literal(unsigned index) {
        unsigned s = 0;
        while (s < 7 && index >= kPm2Literal[s + 1].base)
            ++s;
        bits.Put(code_[s]);
        bits.Put(index - kPm2Literal[s].base, kPm2Literal[s].bits);
        model.Literal(index);
        Refresh();
    }
    // Copy class c (0..20): `count` in its range, `offset` as its class allows.
    void Copy(unsigned c, uint32_t count, uint32_t offset) {
        bits.Put(code_[8 + c]);
        bits.Put(count - kPm2Count[c].base, kPm2Count[c].bits);
        if (c == 0) {
            bits.Put(offset, 6);
        } else if (c != 20) {
            unsigned u = OffsetSymbol(offset);
            bits.Put(offsetCode_[u]);
            bits.Put(u == 0 ? offset : offset - (1u << (u + 5)), u == 0 ? 6 : u + 5);
        }
        model.Copy(offset + 1, count);
        Refresh();
    }
    static unsigned OffsetSymbol(uint32_t offset) {
        unsigned u = 0;
        while (offset >= (64u << u))
            ++u;
        return u;
    }
    bool OffsetUsable(unsigned u) const { return u < offsetCode_.size() && (offsetSingle_ || !offsetCode_[u].empty()); }
    bool Degenerate() const { return codeSymbols_ == 0; }
    Bits bits;
    Model model{0x20};
    unsigned treesSent = 1;
private:
    void WriteCodeTree(const std::vector<uint8_t>& lengths) {
        code_ = CanonicalCodes(lengths);
        unsigned used = static_cast<unsigned>(lengths.size() - std::count(lengths.begin(), lengths.end(), 0));
        if (used == 1) {  // one symbol s: N = s + 1, M = 0, no bits per code
            unsigned s = static_cast<unsigned>(std::find_if(lengths.begin(), lengths.end(), [](uint8_t l) { return l; }) - lengths.begin());
            bits.Put(s + 1, 5);
            bits.Put(0, 3);
            code_[s] = "";
            codeSymbols_ = 0;
            needOffsets_ = s + 1 >= 10 && s + 1 != 29;
            return;
        }
        unsigned n = static_cast<unsigned>(lengths.size());
        unsigned m = 32, longest = 0;
        for (uint8_t l : lengths)
            if (l) m = std::min<unsigned>(m, l), longest = std::max<unsigned>(longest, l);
        unsigned w = 0;
        while ((1u << w) <= longest - m + 1)
            ++w;
        bits.Put(n, 5);
        bits.Put(m, 3);
        bits.Put(w, 3);
        for (uint8_t l : lengths)
            bits.Put(l ? l - m + 1 : 0, w);
        codeSymbols_ = n;
        needOffsets_ = n >= 10;
    }
    void WriteOffsetTree(unsigned entries) {
        if (!needOffsets_)
            return;
        const std::vector<uint8_t>& lengths = kOffsetTrees[treesSent % 2][entries];
        for (uint8_t l : lengths)
            bits.Put(l, 3);
        offsetCode_ = CanonicalCodes(lengths);
        offsetSingle_ = false;
    }
    void Refresh() {
        uint64_t t = model.out.size();
        if (t < next_ || t >= size_)
            return;
        uint64_t point = next_;
        next_ = point < 4096 ? point * 2 : point + 4096;
        ++treesSent;
        if (point < 4096)
            return WriteOffsetTree(point == 1024 ? 6 : 7);
        bool fresh = point == 4096 ? newCodeAt4096_ : newCodeLater_;
        bits.Put(fresh, 1);
        if (fresh)
            WriteCodeTree(FullCode(treesSent));
        if (fresh || point == 4096)
            WriteOffsetTree(8);
    }
    uint64_t size_;
    bool newCodeAt4096_, newCodeLater_;
    uint64_t next_ = 1024;
    std::vector<std::string> code_, offsetCode_;
    bool offsetSingle_ = false;
    unsigned codeSymbols_ = 0;
    bool needOffsets_ = false;
};

// Random commands until `size` bytes: literals of every class, copies of every
// class with offsets the current offset tree can code.
void FillPm2(Pm2Writer& w, uint64_t size, uint32_t seed) {
    std::mt19937 random(seed);
    while (w.model.out.size() < size) {
        if (random() % 2) {
            w.Literal(random() % 3 ? random() % 16 : random() % 256);
            continue;
        }
        unsigned c = random() % 21;
        uint32_t count = kPm2Count[c].base + (random() & ((1u << kPm2Count[c].bits) - 1));
        uint32_t offset = 0;
        if (c == 0) {
            offset = random() % 64;
        } else if (c != 20) {
            unsigned u = random() % 8;
            while (!w.OffsetUsable(u))
                --u;
            offset = u == 0 ? random() % 64 : (1u << (u + 5)) + random() % (1u << (u + 5));
        }
        w.Copy(c, count, offset);
    }
}

struct Pm2Case {
    const char* name;
    uint64_t size;
    bool newCodeAt4096, newCodeLater;
};

TEST(Pm2Decoder, RefreshPointsAndRandomCommands) {
    const Pm2Case cases[] = {
        {"before the first refresh", 1000, false, false},
        {"ends exactly at 1024: no refresh is read", 1024, false, false},
        {"offset tree of 6 entries at 1024", 2000, false, false},
        {"offset tree of 7 entries at 2048", 4000, false, false},
        {"8 entries at 4096, same code tree", 8000, false, false},
        {"new code tree at 4096", 8000, true, false},
        {"no new tree at 8192 keeps both", 13000, true, false},
        {"new code and offset trees at 8192 and 12288", 17000, false, true},
        {"past the 16 KiB ring", 40000, true, true},
    };
    for (const Pm2Case& c : cases) {
        for (uint32_t seed = 1; seed <= 4; ++seed) {
            Pm2Writer w(c.size, FullCode(seed), c.newCodeAt4096, c.newCodeLater);
            FillPm2(w, c.size, seed);
            Unpacked u = Unpack("-pm2-", w.bits.bytes, c.size);
            ASSERT_EQ(u.status, DecodeStatus::Ok) << c.name << " seed " << seed;
            w.model.out.resize(c.size);  // the last copy is cut short there
            EXPECT_EQ(u.bytes, w.model.out) << c.name << " seed " << seed;
            EXPECT_LE(u.writes, c.size / 16384 + 1) << c.name << ": whole pieces, not bytes";
        }
    }
}

TEST(Pm2Decoder, LiteralClassesReachTheStartOrder) {
    // Index and the byte at it before any output.
    const struct { const char* name; unsigned index; uint8_t byte; } cases[] = {
        {"class 0 first", 0, 0x20}, {"class 0 last", 7, 0x27}, {"class 1", 8, 0x28}, {"class 1 last", 15, 0x2F},
        {"class 2", 16, 0x30}, {"class 2 last", 31, 0x3F}, {"class 3", 32, 0x40}, {"class 3 last", 63, 0x5F},
        {"class 4", 64, 0x60}, {"class 4 last (0x7F)", 95, 0x7F}, {"class 5: the controls", 96, 0x00},
        {"class 5 last", 127, 0x1F}, {"class 6: katakana", 128, 0xA0}, {"class 6 last", 191, 0xDF},
        {"class 7: 0x80", 192, 0x80}, {"class 7 at 0x9F", 223, 0x9F}, {"class 7 at 0xE0", 224, 0xE0},
        {"class 7 last", 255, 0xFF},
    };
    for (const auto& c : cases) {
        Pm2Writer w(2, FullCode(0));
        w.Literal(c.index);
        w.Literal(0);  // the byte just output is at the front
        Unpacked u = Unpack("-pm2-", w.bits.bytes, 2);
        EXPECT_EQ(u.status, DecodeStatus::Ok) << c.name;
        EXPECT_EQ(u.bytes, Bytes({c.byte, c.byte})) << c.name;
    }
}

TEST(Pm2Decoder, CopyOfEveryCountClass) {
    const struct { const char* name; unsigned c; uint32_t count, offset; } cases[] = {
        {"c 0: two bytes, 6 offset bits", 0, 2, 63}, {"c 1: three", 1, 3, 64}, {"c 14: sixteen", 14, 16, 127},
        {"c 15: 17", 15, 17, 128}, {"c 15: 24", 15, 24, 255}, {"c 16: 25..32", 16, 32, 511},
        {"c 17: 33..64", 17, 33, 512}, {"c 18: 65..128", 18, 128, 1023}, {"c 19: 129", 19, 129, 5},
        {"c 19: 256", 19, 256, 0}, {"c 20: 256 from 1 back", 20, 256, 0},
        {"from before the first byte: spaces", 19, 200, 1000},
    };
    for (const auto& c : cases) {
        Pm2Writer w(2000, FullCode(2));
        std::mt19937 random(c.c);
        for (int k = 0; k < 300; ++k)
            w.Literal(random() % 256);
        w.Copy(c.c, c.count, c.offset);
        w.Literal(9);
        uint64_t size = w.model.out.size();
        Unpacked u = Unpack("-pm2-", w.bits.bytes, size);
        EXPECT_EQ(u.status, DecodeStatus::Ok) << c.name;
        EXPECT_EQ(u.bytes, w.model.out) << c.name;
    }
}

TEST(Pm2Decoder, RunOfOneByteTreeNeedsNoOffsetTree) {
    // N = 29, M = 0: every command copies 256 bytes from 1 back; nothing else
    // is read until 4096, where a bit 0 keeps the tree (no offset tree follows).
    std::vector<uint8_t> run(29, 0);
    run[28] = 1;
    Pm2Writer w(5000, run);
    while (w.model.out.size() < 5000)
        w.Copy(20, 256, 0);
    EXPECT_EQ(w.bits.bytes.size(), 2u) << "1 + 8 + 1 bits";
    Unpacked u = Unpack("-pm2-", w.bits.bytes, 5000);
    EXPECT_EQ(u.status, DecodeStatus::Ok);
    EXPECT_EQ(u.bytes, Bytes(5000, 0x20));
}

// A stream of hand-written fields: (value, bit count) pairs.
Bytes Fields(std::initializer_list<std::pair<uint32_t, unsigned>> fields) {
    Bits bits;
    for (auto f : fields)
        bits.Put(f.first, f.second);
    return bits.bytes;
}

TEST(Pm2Decoder, BadStreamsFail) {
    Pm2Writer good(3000, FullCode(4));
    FillPm2(good, 3000, 9);
    Bytes truncated(good.bits.bytes.begin(), good.bits.bytes.begin() + good.bits.bytes.size() / 2);
    Bytes tree = Fields({{0, 1}, {29, 5}, {1, 3}, {3, 3}});  // 29 lengths of 3 bits should follow
    const struct { const char* name; Bytes packed; uint64_t packedSize; DecodeStatus expected; } cases[] = {
        {"truncated in the commands", truncated, 0, DecodeStatus::CorruptData},
        {"code lengths past the member's end", tree, 0, DecodeStatus::CorruptData},
        {"source shorter than the packed size", truncated, good.bits.bytes.size(), DecodeStatus::InputFailed},
        {"ten codes of one bit (over-full)", Fields({{0, 1}, {10, 5}, {1, 3}, {1, 1}, {0x3FF, 10}}), 0,
         DecodeStatus::CorruptData},
        {"lengths 1 and 2 only (incomplete)", Fields({{0, 1}, {3, 5}, {1, 3}, {2, 3}, {1, 2}, {2, 2}, {0, 2}}), 0,
         DecodeStatus::CorruptData},
        {"one code of one bit", Fields({{0, 1}, {1, 5}, {1, 3}, {1, 3}, {1, 1}}), 0, DecodeStatus::CorruptData},
        {"N = 0 with M = 0 names no symbol", Fields({{0, 1}, {0, 5}, {0, 3}}), 0, DecodeStatus::CorruptData},
        {"N = 30 with M = 0 names symbol 29", Fields({{0, 1}, {30, 5}, {0, 3}}), 0, DecodeStatus::CorruptData},
        // N = 10 with lengths 1, 2, ..., 9, 9; offset lengths 1, 1, 1: over-full.
        {"over-full offset tree", Fields({{0, 1}, {10, 5}, {1, 3}, {4, 3}, {0x123456, 24}, {0x789, 12},
                                          {9, 4}, {0x49, 9}, {0, 6}}), 0, DecodeStatus::CorruptData},
        // The same code, empty offset tree, then symbol 9 (copy class 1): 111111111.
        {"far copy with no offset tree", Fields({{0, 1}, {10, 5}, {1, 3}, {4, 3}, {0x123456, 24}, {0x789, 12},
                                                 {9, 4}, {0, 15}, {0x1FF, 9}}), 0, DecodeStatus::CorruptData},
    };
    for (const auto& c : cases) {
        Unpacked u = Unpack("-pm2-", c.packed, 3000, c.packedSize);
        EXPECT_EQ(u.status, c.expected) << c.name;
        EXPECT_LE(u.bytes.size(), 3000u) << c.name;
    }
}

// ---------------------------------------------------------------- -pm1- ---

const struct { unsigned base, bits; } kPm1Literal[6] = {{0, 4}, {16, 4}, {32, 5}, {64, 6}, {128, 6}, {192, 6}};
// Class codes a..f of each start value; "-" not codable; "" no bits. Table
// 17's second codes of d and e are in kTable17Second.
const char* const kClassCodes[32][6] = {
    {"0000", "0001", "001", "01", "10", "11"}, {"000", "001", "010", "10", "11", "011"},
    {"000", "001", "01", "10", "110", "111"}, {"00", "010", "011", "10", "110", "111"},
    {"00", "010", "10", "011", "110", "111"}, {"00", "010", "10", "11", "0110", "0111"},
    {"00", "01", "100", "101", "110", "111"}, {"00", "01", "100", "11", "1010", "1011"},
    {"00", "01", "10", "110", "1110", "1111"}, {"0", "1000", "101", "110", "111", "1001"},
    {"0", "1000", "101", "11", "10010", "10011"}, {"0", "1000", "1001", "101", "110", "111"},
    {"0", "100", "1010", "110", "111", "1011"}, {"0", "100", "101", "110", "1110", "1111"},
    {"0", "100", "11", "1010", "10110", "10111"}, {"0", "10", "1100", "1101", "1110", "1111"},
    {"0", "10", "110", "1110", "11110", "11111"}, {"-", "-", "01", "000", "001", "-"},
    {"00", "010", "10", "11", "011", "-"}, {"00", "01", "10", "110", "111", "-"},
    {"0", "1000", "101", "11", "1001", "-"}, {"0", "100", "101", "110", "111", "-"},
    {"0", "100", "11", "1010", "1011", "-"}, {"0", "10", "110", "1110", "1111", "-"},
    {"000", "001", "01", "1", "-", "-"}, {"00", "010", "1", "011", "-", "-"},
    {"00", "01", "10", "11", "-", "-"}, {"0", "100", "11", "101", "-", "-"},
    {"0", "10", "110", "111", "-", "-"}, {"0", "10", "11", "-", "-", "-"},
    {"0", "1", "-", "-", "-", "-"}, {"", "-", "-", "-", "-", "-"},
};
const char* const kTable17Second[6] = {"-", "-", "-", "10", "11", "-"};

// Offset of copy type 0..5: base, bits, and the outputs at which the bits grow.
const struct { unsigned base, bits; std::vector<unsigned> growAt; } kPm1Offset[6] = {
    {0, 6, {}}, {64, 8, {}}, {0, 6, {}}, {64, 8, {320}}, {576, 8, {832, 1088, 1600}},
    {2624, 8, {2880, 3136, 3648, 4672, 6720}}};

unsigned OffsetWidth(unsigned type, uint64_t t) {
    unsigned width = kPm1Offset[type].bits;
    for (unsigned at : kPm1Offset[type].growAt)
        width += t >= at;
    return width;
}

class Pm1Writer {
public:
    explicit Pm1Writer(unsigned start) : start_(start) { bits.Put(start, 5); }
    static bool Codable(unsigned start, unsigned index) { return std::string(kClassCodes[start][ClassOf(index)]) != "-"; }
    static unsigned ClassOf(unsigned index) {
        unsigned c = 0;
        while (c < 5 && index >= kPm1Literal[c + 1].base)
            ++c;
        return c;
    }
    // A block of literals by list index; `second` takes table 17's other codes.
    void Block(const std::vector<unsigned>& indices, bool second = false) {
        bits.Put(1, 1);
        unsigned n = static_cast<unsigned>(indices.size());
        if (n <= 3) bits.Put(n - 1, 2);
        else if (n <= 10) bits.Put(3, 2), bits.Put(n - 4, 3);
        else if (n <= 24) bits.Put(0x1F, 5), bits.Put(n - 11, 4);
        else if (n <= 88) bits.Put(0x1FE, 9), bits.Put(n - 25, 6);
        else bits.Put(0x1FF, 9), bits.Put(n - 89, 7);
        for (unsigned index : indices) {
            unsigned c = ClassOf(index);
            bits.Put(second ? kTable17Second[c] : kClassCodes[start_][c]);
            bits.Put(index - kPm1Literal[c].base, kPm1Literal[c].bits);
            model.Literal(index);
        }
        copyDue_ = n != 216;
    }
    // A copy of `type`; count 2 for types 0 and 1, 3..244 otherwise.
    void Copy(unsigned type, uint32_t count, uint32_t offset) {
        if (!copyDue_)
            bits.Put(0, 1);
        copyDue_ = false;
        uint64_t t = model.out.size();
        const char* tree[6][3] = {{"0", "0", "0"}, {"0", "0", "1"}, {"1", "1", "1"},
                                  {"1", "0", ""}, {"0", "1", ""}, {"1", "1", "0"}};
        // Bit b is sent from 576 output bytes on after a 0, from 64 after a 1;
        // bit c from 64 after 0 0, from 2624 after 1 1.
        bits.Put(tree[type][0]);
        if (t >= (tree[type][0][0] == '0' ? 576u : 64u)) bits.Put(tree[type][1]);
        if (type != 3 && type != 4 && t >= (tree[type][0][0] == '0' ? 64u : 2624u)) bits.Put(tree[type][2]);
        if (type >= 2) {
            if (count <= 5) bits.Put(count - 3, 2);
            else if (count <= 10) bits.Put(3, 2), bits.Put(count - 6, 3);
            else if (count <= 14) bits.Put(0x1D, 5), bits.Put(count - 11, 2);
            else if (count <= 22) bits.Put(0x1E, 5), bits.Put(count - 15, 3);
            else if (count <= 84) bits.Put(0x1F, 5), bits.Put(count - 23, 6);
            else if (count <= 116) bits.Put(0x1F, 5), bits.Put(62, 6), bits.Put(count - 85, 5);
            else bits.Put(0x1F, 5), bits.Put(63, 6), bits.Put(count - 117, 7);
        }
        bits.Put(offset - kPm1Offset[type].base, OffsetWidth(type, t));
        model.Copy(offset + 1, count);
    }
    Bits bits;
    Model model{0};
private:
    unsigned start_;
    bool copyDue_ = false;
};

std::vector<unsigned> RandomIndices(std::mt19937& random, unsigned start, unsigned n) {
    std::vector<unsigned> indices;
    while (indices.size() < n) {
        unsigned index = random() % 3 ? random() % 32 : random() % 256;
        if (Pm1Writer::Codable(start, index))
            indices.push_back(index);
    }
    return indices;
}

// Literal blocks up to `t` bytes: whole blocks of 216, then the rest.
void Pm1Prefix(Pm1Writer& w, std::mt19937& random, unsigned start, uint64_t t) {
    while (w.model.out.size() < t) {
        uint64_t left = t - w.model.out.size();
        w.Block(RandomIndices(random, start, static_cast<unsigned>(std::min<uint64_t>(left, 216))));
    }
}

TEST(Pm1Decoder, EveryStartValueAndItsClasses) {
    for (unsigned start = 0; start < 32; ++start) {
        for (bool second : {false, true}) {
            if (second && start != 17)
                continue;
            // Each codable class at its first and last index, then a copy.
            std::vector<unsigned> indices;
            for (unsigned c = 0; c < 6; ++c)
                if (std::string(second ? kTable17Second[c] : kClassCodes[start][c]) != "-")
                    for (unsigned index : {kPm1Literal[c].base, kPm1Literal[c].base + (1u << kPm1Literal[c].bits) - 1})
                        indices.push_back(index);
            Pm1Writer w(start);
            w.Block(indices, second);
            w.Copy(2, 3, 1);
            w.Block({indices.back(), indices.front()});
            w.Copy(0, 2, 0);
            Unpacked u = Unpack("-pm1-", w.bits.bytes, w.model.out.size());
            EXPECT_EQ(u.status, DecodeStatus::Ok) << "start " << start << (second ? " second codes" : "");
            EXPECT_EQ(u.bytes, w.model.out) << "start " << start << (second ? " second codes" : "");
        }
    }
}

TEST(Pm1Decoder, CopyTypesGatedByOutput) {
    // T: output before the copy; offsets at the top of the type's width.
    const struct { const char* name; unsigned t, type; uint32_t count, offset; } cases[] = {
        {"type 0 before 64: no b, no c", 63, 0, 2, 62}, {"type 0 at 64: c read", 64, 0, 2, 63},
        {"type 0 at 576: b and c read", 576, 0, 2, 63}, {"type 1 at 65", 65, 1, 2, 64},
        {"type 1 at 576, offset 319", 700, 1, 2, 319}, {"type 2 before 64", 10, 2, 5, 9},
        {"type 2 at 64: b read", 64, 2, 244, 63}, {"type 2 at 2624: c read", 2624, 2, 117, 63},
        {"type 3 at 64, 8 bits", 319, 3, 6, 318}, {"type 3 at 320, 9 bits", 600, 3, 14, 575},
        {"type 4 at 576, 8 bits", 831, 4, 22, 830}, {"type 4 at 832, 9 bits", 1087, 4, 23, 1086},
        {"type 4 at 1088, 10 bits", 1599, 4, 84, 1598}, {"type 4 at 1600, 11 bits", 2700, 4, 85, 2623},
        {"type 5 at 2624, 8 bits", 2879, 5, 116, 2878}, {"type 5 at 2880, 9 bits", 3135, 5, 3, 3134},
        {"type 5 at 3136, 10 bits", 3647, 5, 10, 3646}, {"type 5 at 3648, 11 bits", 4671, 5, 11, 4670},
        {"type 5 at 4672, 12 bits", 6719, 5, 15, 6718}, {"type 5 at 6720, 13 bits", 12000, 5, 200, 10815},
        {"after a block of 216 (command bit)", 432, 3, 4, 431},
    };
    for (const auto& c : cases) {
        std::mt19937 random(c.t);
        Pm1Writer w(0);
        Pm1Prefix(w, random, 0, c.t);
        w.Copy(c.type, c.count, c.offset);
        w.Block({7});
        Unpacked u = Unpack("-pm1-", w.bits.bytes, w.model.out.size());
        EXPECT_EQ(u.status, DecodeStatus::Ok) << c.name;
        EXPECT_EQ(u.bytes, w.model.out) << c.name;
    }
}

TEST(Pm1Decoder, RandomRoundTrips) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        std::mt19937 random(seed);
        unsigned start = seed % 32;
        Pm1Writer w(start);
        uint64_t size = 1 + random() % 20000;
        while (w.model.out.size() < size) {
            unsigned n = random() % 4 ? 1 + random() % 12 : 216 - random() % 2;
            w.Block(RandomIndices(random, start, n));
            // A block short of 216 is followed by a copy.
            for (unsigned k = random() % 3 + (n != 216); k > 0; --k) {
                uint64_t t = w.model.out.size();
                std::vector<unsigned> types = {0, 2};
                if (t > 64) types.insert(types.end(), {1, 3});
                if (t > 576) types.push_back(4);
                if (t > 2624) types.push_back(5);
                unsigned type = types[random() % types.size()];
                uint32_t base = kPm1Offset[type].base;
                uint32_t span = std::min<uint32_t>(static_cast<uint32_t>(t) - base, 1u << OffsetWidth(type, t));
                w.Copy(type, type < 2 ? 2 : 3 + random() % 242, base + random() % span);
            }
        }
        // The last block's copy is often missing; the writer's last byte pads with zeros.
        Unpacked u = Unpack("-pm1-", w.bits.bytes, size);
        ASSERT_EQ(u.status, DecodeStatus::Ok) << "seed " << seed;
        w.model.out.resize(size);
        EXPECT_EQ(u.bytes, w.model.out) << "seed " << seed;
    }
}

TEST(Pm1Decoder, EndOfDataAndBadCopies) {
    Pm1Writer abc(0);
    abc.Block({65, 66, 67});  // 'a' 'b' 'c' from the start order
    Bits before;  // block of one literal, then type 2 count 3 offset 5 at T = 1
    before.Put(0, 5), before.Put(1, 1), before.Put(0, 2), before.Put("01"), before.Put(1, 6);
    before.Put(1, 1), before.Put(0, 2), before.Put(5, 6);
    Bytes filled(100000, 'c');
    filled[0] = 'a', filled[1] = 'b';
    const struct { const char* name; Bytes packed; uint64_t size; DecodeStatus expected; Bytes out; } cases[] = {
        {"output complete before the block's copy", abc.bits.bytes, 3, DecodeStatus::Ok, Bytes{'a', 'b', 'c'}},
        {"the block's copy read from the zero fill", abc.bits.bytes, 7, DecodeStatus::Ok,
         Bytes{'a', 'b', 'c', 'c', 'c', 'c', 'c'}},
        {"zero fill runs to the original size", abc.bits.bytes, 100000, DecodeStatus::Ok, filled},
        {"the block's copy, not needed, reaches before the start", before.bytes, 1, DecodeStatus::Ok, Bytes{'a'}},
        {"a copy reaching before the start", before.bytes, 4, DecodeStatus::CorruptData, {}},
        {"a copy as the first command", Bytes{0x00, 0x00}, 4, DecodeStatus::CorruptData, {}},
        {"no data at all: zero fill starts with a copy", Bytes{}, 4, DecodeStatus::CorruptData, {}},
        {"nothing to output reads nothing", Bytes{}, 0, DecodeStatus::Ok, {}},
    };
    for (const auto& c : cases) {
        Unpacked u = Unpack("-pm1-", c.packed, c.size);
        EXPECT_EQ(u.status, c.expected) << c.name;
        if (c.expected == DecodeStatus::Ok)
            EXPECT_EQ(u.bytes, c.out) << c.name;
    }
    Unpacked shortSource = Unpack("-pm1-", abc.bits.bytes, 7, abc.bits.bytes.size() + 4);
    EXPECT_EQ(shortSource.status, DecodeStatus::InputFailed) << "the zero fill stands in only past the packed size";
}

} // namespace

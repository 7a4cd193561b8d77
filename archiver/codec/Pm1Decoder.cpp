#include "archiver/codec/Pm1Decoder.h"

#include "archiver/codec/BitReader.h"
#include "archiver/codec/PmarcOutput.h"

#include <cstring>

namespace lha {
namespace {

constexpr unsigned kStartValueBits = 5;
constexpr unsigned kClasses = 6;  // a..f
const struct { uint16_t base; uint8_t bits; } kLiteralClass[kClasses] = {
    {0, 4}, {16, 4}, {32, 5}, {64, 6}, {128, 6}, {192, 6},
};

// The class code of each start value, columns a..f, bit strings read first bit
// first. nullptr: the class has no code in that table; "": the class takes no
// bits; '|' separates two codes of one class (table 17 has two for d and e).
constexpr unsigned kClassCodes = 1u << kStartValueBits;
const char* const kClassCode[kClassCodes][kClasses] = {
    /*  0 */ {"0000", "0001", "001", "01", "10", "11"},
    /*  1 */ {"000", "001", "010", "10", "11", "011"},
    /*  2 */ {"000", "001", "01", "10", "110", "111"},
    /*  3 */ {"00", "010", "011", "10", "110", "111"},
    /*  4 */ {"00", "010", "10", "011", "110", "111"},
    /*  5 */ {"00", "010", "10", "11", "0110", "0111"},
    /*  6 */ {"00", "01", "100", "101", "110", "111"},
    /*  7 */ {"00", "01", "100", "11", "1010", "1011"},
    /*  8 */ {"00", "01", "10", "110", "1110", "1111"},
    /*  9 */ {"0", "1000", "101", "110", "111", "1001"},
    /* 10 */ {"0", "1000", "101", "11", "10010", "10011"},
    /* 11 */ {"0", "1000", "1001", "101", "110", "111"},
    /* 12 */ {"0", "100", "1010", "110", "111", "1011"},
    /* 13 */ {"0", "100", "101", "110", "1110", "1111"},
    /* 14 */ {"0", "100", "11", "1010", "10110", "10111"},
    /* 15 */ {"0", "10", "1100", "1101", "1110", "1111"},
    /* 16 */ {"0", "10", "110", "1110", "11110", "11111"},
    /* 17 */ {nullptr, nullptr, "01", "000|10", "001|11", nullptr},
    /* 18 */ {"00", "010", "10", "11", "011", nullptr},
    /* 19 */ {"00", "01", "10", "110", "111", nullptr},
    /* 20 */ {"0", "1000", "101", "11", "1001", nullptr},
    /* 21 */ {"0", "100", "101", "110", "111", nullptr},
    /* 22 */ {"0", "100", "11", "1010", "1011", nullptr},
    /* 23 */ {"0", "10", "110", "1110", "1111", nullptr},
    /* 24 */ {"000", "001", "01", "1", nullptr, nullptr},
    /* 25 */ {"00", "010", "1", "011", nullptr, nullptr},
    /* 26 */ {"00", "01", "10", "11", nullptr, nullptr},
    /* 27 */ {"0", "100", "11", "101", nullptr, nullptr},
    /* 28 */ {"0", "10", "110", "111", nullptr, nullptr},
    /* 29 */ {"0", "10", "11", nullptr, nullptr, nullptr},
    /* 30 */ {"0", "1", nullptr, nullptr, nullptr, nullptr},
    /* 31 */ {"", nullptr, nullptr, nullptr, nullptr, nullptr},
};
constexpr unsigned kClassCodeBits = 5;  // the longest code

// Block lengths: 2 bits x (x + 1 below 3), 3 bits y (y + 4 below 7), 4 bits z
// (z + 11 below 14; 14 and 15 add 6 and 7 bits to 25 and 89).
constexpr unsigned kLongestBlock = 216;  // the only block not followed by a copy

// A copy's type decides its offset: base plus a number of bits that grows by
// one at each of `growAt` the output has reached (0 ends the list).
struct OffsetRow {
    uint16_t base;
    uint8_t bits;
    uint16_t growAt[5];
};
const OffsetRow kOffset[] = {
    {0, 6, {}},
    {64, 8, {}},
    {0, 6, {}},
    {64, 8, {320}},
    {576, 8, {832, 1088, 1600}},
    {2624, 8, {2880, 3136, 3648, 4672, 6720}},
};
// The type's tree sends some bits only once this much output exists.
constexpr uint64_t kTypeNearFrom = 64;
constexpr uint64_t kTypeMiddleFrom = 576;
constexpr uint64_t kTypeFarFrom = 2624;
constexpr unsigned kPairTypes = 2;  // types 0 and 1 copy two bytes, no count
constexpr uint32_t kPairCount = 2;

class Pm1Decoder {
public:
    Pm1Decoder(ByteSource& packed, uint64_t packedSize, ByteSink& out) : in_(packed, packedSize), out_(out, 0) {}

    DecodeStatus Run(uint64_t originalSize);

private:
    struct ClassEntry {
        uint8_t symbol;
        uint8_t length;  // kUnset: no code starts with these bits
    };
    static constexpr uint8_t kUnset = 0xFF;

    bool SelectClassCode(unsigned startValue);
    unsigned ReadBlockLength();
    unsigned ReadCopyType(uint64_t total);
    uint32_t ReadCopyCount();
    DecodeStatus LiteralBlock(uint64_t originalSize);
    DecodeStatus CopyCommand(uint64_t originalSize);

    BitReader in_;
    PmarcOutput out_;
    ClassEntry classCode_[1u << kClassCodeBits];  // by the next 5 bits
};

// Builds the lookup of the next 5 bits from the table's bit strings; false if
// two codes overlap or some bits start no code (not so in any row).
bool Pm1Decoder::SelectClassCode(unsigned startValue) {
    for (ClassEntry& entry : classCode_)
        entry = {0, kUnset};
    for (unsigned symbol = 0; symbol < kClasses; ++symbol) {
        const char* bits = kClassCode[startValue][symbol];
        while (bits != nullptr) {
            unsigned length = 0;
            unsigned value = 0;
            for (; bits[length] == '0' || bits[length] == '1'; ++length)
                value = value * 2 + static_cast<unsigned>(bits[length] - '0');
            if (length > kClassCodeBits)
                return false;
            unsigned span = 1u << (kClassCodeBits - length);
            for (unsigned i = value * span; i < (value + 1) * span; ++i) {
                if (classCode_[i].length != kUnset)
                    return false;
                classCode_[i] = {static_cast<uint8_t>(symbol), static_cast<uint8_t>(length)};
            }
            bits = bits[length] == '|' ? bits + length + 1 : nullptr;
        }
    }
    for (const ClassEntry& entry : classCode_)
        if (entry.length == kUnset)
            return false;
    return true;
}

unsigned Pm1Decoder::ReadBlockLength() {
    unsigned x = in_.Get(2);
    if (x < 3)
        return x + 1;
    unsigned y = in_.Get(3);
    if (y < 7)
        return y + 4;
    unsigned z = in_.Get(4);
    if (z < 14)
        return z + 11;
    return z == 14 ? 25 + in_.Get(6) : 89 + in_.Get(7);
}

unsigned Pm1Decoder::ReadCopyType(uint64_t total) {
    if (in_.Get(1) == 0) {
        if (total >= kTypeMiddleFrom && in_.Get(1) == 1)
            return 4;
        return total >= kTypeNearFrom ? in_.Get(1) : 0;
    }
    if (total >= kTypeNearFrom && in_.Get(1) == 0)
        return 3;
    if (total >= kTypeFarFrom && in_.Get(1) == 0)
        return 5;
    return 2;
}

uint32_t Pm1Decoder::ReadCopyCount() {
    unsigned x = in_.Get(2);
    if (x < 3)
        return x + 3;
    unsigned y = in_.Get(3);
    if (y < 5)
        return y + 6;
    if (y == 5)
        return 11 + in_.Get(2);
    if (y == 6)
        return 15 + in_.Get(3);
    unsigned z = in_.Get(6);
    if (z < 62)
        return z + 23;
    return z == 62 ? 85 + in_.Get(5) : 117 + in_.Get(7);
}

DecodeStatus Pm1Decoder::CopyCommand(uint64_t originalSize) {
    uint64_t total = out_.Total();
    unsigned type = ReadCopyType(total);
    uint32_t count = type < kPairTypes ? kPairCount : ReadCopyCount();
    const OffsetRow& row = kOffset[type];
    unsigned bits = row.bits;
    for (uint16_t at : row.growAt)
        if (at != 0 && total >= at)
            ++bits;
    uint32_t offset = row.base + in_.Get(bits);
    if (offset >= total)
        return DecodeStatus::CorruptData;  // before the first byte of the member
    uint64_t left = originalSize - total;
    if (count > left)
        count = static_cast<uint32_t>(left);
    return out_.Copy(offset + 1, count) ? DecodeStatus::Ok : DecodeStatus::OutputFailed;
}

DecodeStatus Pm1Decoder::LiteralBlock(uint64_t originalSize) {
    unsigned length = ReadBlockLength();
    for (unsigned k = 0; k < length; ++k) {
        if (out_.Total() == originalSize)
            return DecodeStatus::Ok;
        ClassEntry entry = classCode_[in_.Peek16() >> (16 - kClassCodeBits)];
        in_.Skip(entry.length);
        const auto& literal = kLiteralClass[entry.symbol];
        if (!out_.Literal(literal.base + in_.Get(literal.bits)))
            return DecodeStatus::OutputFailed;
    }
    // The copy after the block is not needed once the output is complete: it
    // often lies in the zero fill and may reach before the first byte.
    if (length == kLongestBlock || out_.Total() == originalSize)
        return DecodeStatus::Ok;
    return CopyCommand(originalSize);
}

DecodeStatus Pm1Decoder::Run(uint64_t originalSize) {
    if (originalSize == 0)
        return DecodeStatus::Ok;
    if (!SelectClassCode(in_.Get(kStartValueBits)))
        return DecodeStatus::CorruptData;
    while (out_.Total() < originalSize) {
        DecodeStatus status = in_.Get(1) == 1 ? LiteralBlock(originalSize) : CopyCommand(originalSize);
        if (status == DecodeStatus::OutputFailed)
            return status;
        // The zero fill stands for bytes past the packed size, not for bytes
        // a failed or short source did not deliver.
        if (in_.Overran() && in_.SourceEnded())
            return DecodeStatus::InputFailed;
        if (status != DecodeStatus::Ok)
            return status;
    }
    return out_.Finish() ? DecodeStatus::Ok : DecodeStatus::OutputFailed;
}

} // namespace

DecodeStatus DecodePm1(unsigned, ByteSource& packed, uint64_t packedSize, uint64_t originalSize, ByteSink& out) {
    Pm1Decoder decoder(packed, packedSize, out);
    return decoder.Run(originalSize);
}

} // namespace lha

// The codec on its own: CRC-16 check values, -lh5-, -lh6-, -lh7- and -lh1-
// round trips at the edges and over seeded random inputs, blocks written bit by bit from the format's
// definition, and damaged packed data that must end cleanly.
#include "archiver/codec/BitReader.h"
#include "archiver/codec/Crc16.h"
#include "archiver/codec/Decoder.h"
#include "archiver/codec/Encoder.h"
#include "archiver/codec/HuffmanCode.h"
#include "archiver/codec/Lh1Decoder.h"
#include "archiver/codec/MethodTable.h"
#include "archiver/codec/Lk7Decoder.h"
#include "archiver/MemoryStreams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using codectest::Bytes;

using codectest::Bits;
using codectest::MemorySink;
using codectest::MemorySource;

const lha::PackingMethod& Method(const char* id) {
    const lha::PackingMethod* method = lha::FindPackingMethod(id);
    EXPECT_NE(method, nullptr) << id;
    return method ? *method : lha::StoredPackingMethod();
}

lha::EncodeStatus Pack(const Bytes& data, Bytes& packed, uint64_t limit = UINT64_MAX, const char* method = "-lh5-") {
    MemorySource source(data);
    MemorySink sink;
    uint64_t packedSize = 0;
    lha::EncodeStatus status = lha::Encode(Method(method), source, data.size(), sink, limit, packedSize);
    if (status == lha::EncodeStatus::Ok)
        EXPECT_EQ(packedSize, sink.bytes.size());
    packed = sink.bytes;
    return status;
}

lha::DecodeStatus Unpack(unsigned dictionaryBits, const Bytes& packed, uint64_t originalSize, Bytes& out) {
    MemorySource source(packed);
    MemorySink sink(originalSize);
    lha::DecodeStatus status = lha::DecodeMember(dictionaryBits, source, packed.size(), originalSize, sink);
    EXPECT_FALSE(sink.overflowed) << "more than originalSize bytes";
    out = sink.bytes;
    return status;
}

// Through the decoder the table of methods gives `method`.
lha::DecodeStatus UnpackMethod(const char* method, const Bytes& packed, uint64_t originalSize, Bytes& out) {
    const lha::Method* row = lha::FindMethod(method);
    EXPECT_TRUE(row != nullptr && row->decode != nullptr) << method;
    if (row == nullptr || row->decode == nullptr)
        return lha::DecodeStatus::CorruptData;
    MemorySource source(packed);
    MemorySink sink(originalSize);
    lha::DecodeStatus status = row->decode(row->dictionaryBits, source, packed.size(), originalSize, sink);
    EXPECT_FALSE(sink.overflowed) << method << ": more than originalSize bytes";
    out = sink.bytes;
    return status;
}

// The CRC one bit at a time, as the polynomial defines it.
uint16_t BitwiseCrc16(const Bytes& data) {
    uint16_t crc = 0;
    for (uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text)); }

Bytes RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes data(size);
    for (uint8_t& byte : data)
        byte = static_cast<uint8_t>(random());
    return data;
}

// Data with the structure of real files: words from a small vocabulary, runs,
// copies from near and far back, and noise, in proportions set by the seed.
Bytes MixedBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes data;
    const char* words[] = {"int ", "return ", "lha::", "static ", "(", ");\n", "    ", "value", "0x", "}\n"};
    unsigned alphabet = 2 + random() % 255;
    while (data.size() < size) {
        switch (random() % 5) {
        case 0: {
            const char* word = words[random() % 10];
            data.insert(data.end(), word, word + std::strlen(word));
            break;
        }
        case 1:
            data.insert(data.end(), 1 + random() % 300, static_cast<uint8_t>(random()));
            break;
        case 2:
            if (!data.empty()) {
                size_t back = 1 + random() % std::min<size_t>(data.size(), 9000);
                size_t length = 3 + random() % 300;
                for (size_t k = 0; k < length; ++k)
                    data.push_back(data[data.size() - back]);
            }
            break;
        default:
            for (unsigned k = random() % 40; k > 0; --k)
                data.push_back(static_cast<uint8_t>(random() % alphabet));
        }
    }
    data.resize(size);
    return data;
}

// --- CRC-16 ---

struct CrcCase {
    const char* name;
    Bytes data;
    uint16_t expected;  // 0 with `reference`: from the bitwise CRC
    bool reference;
};

// The bits come out in order however the source hands its bytes over, with
// skips of nothing between (a tree of one symbol has codes of no bits).
TEST(BitReader, ReadsAcrossTheSourcesPieces) {
    std::mt19937 random(7);
    Bytes data(400);
    for (uint8_t& byte : data)
        byte = static_cast<uint8_t>(random());
    auto bitAt = [&](size_t k) { return (data[k / 8] >> (7 - k % 8)) & 1u; };
    for (size_t piece : {size_t{1}, size_t{3}, size_t{4}, size_t{5}, size_t{7}, size_t{16384}}) {
        MemorySource source(data, piece);
        lha::BitReader in(source, data.size());
        size_t at = 0;
        for (unsigned count = 1; at + count <= data.size() * 8; count = count % 16 + 1) {
            unsigned expected = 0;
            for (unsigned k = 0; k < count; ++k)
                expected = expected << 1 | bitAt(at + k);
            in.Skip(0);
            ASSERT_EQ(in.Get(count), expected) << "pieces of " << piece << ", bit " << at;
            at += count;
        }
        EXPECT_FALSE(in.Overran()) << "pieces of " << piece;
    }
}

TEST(Crc16, CheckValues) {
    const CrcCase cases[] = {
        {"empty", {}, 0x0000, false},
        {"the check string 123456789", Text("123456789"), 0xBB3D, false},
        {"one byte 0x01 is the polynomial", {0x01}, 0xC0C1, false},
        {"one byte 0xFF", {0xFF}, 0, true},
        {"three bytes (short of a four-byte step)", Text("abc"), 0, true},
        {"seven bytes (a step and a tail)", Text("abcdefg"), 0, true},
        {"4099 random bytes", RandomBytes(4099, 7), 0, true},
    };
    for (const CrcCase& c : cases) {
        uint16_t expected = c.reference ? BitwiseCrc16(c.data) : c.expected;
        EXPECT_EQ(lha::UpdateCrc16(0, c.data.data(), c.data.size()), expected) << c.name;
        if (c.data.size() < 2)
            continue;
        // In two calls, split at an odd place: the same CRC.
        size_t half = c.data.size() / 2 + 1;
        uint16_t crc = lha::UpdateCrc16(0, c.data.data(), half);
        crc = lha::UpdateCrc16(crc, c.data.data() + half, c.data.size() - half);
        EXPECT_EQ(crc, expected) << c.name << " in two parts";
    }
}

// --- code lengths for the encoder's trees ---

struct LengthCase {
    const char* name;
    std::vector<uint32_t> freq;
    unsigned maxLength;
    std::vector<uint8_t> expected;  // empty: only the limit and the Kraft sum are checked
};

std::vector<uint32_t> Fibonacci(unsigned count) {
    std::vector<uint32_t> f = {1, 1};
    while (f.size() < count)
        f.push_back(f[f.size() - 1] + f[f.size() - 2]);
    return f;
}

TEST(HuffmanCode, LengthsAreShortAndWithinTheLimit) {
    const LengthCase cases[] = {
        {"one used symbol gets length 1", {0, 5, 0}, 16, {0, 1, 0}},
        {"two symbols", {3, 9}, 16, {1, 1}},
        {"powers of two", {1, 1, 2, 4}, 16, {3, 3, 2, 1}},
        {"equal weights", {7, 7, 7, 7}, 16, {2, 2, 2, 2}},
        {"unused symbols stay 0", {0, 1, 0, 1, 0, 2}, 16, {0, 2, 0, 2, 0, 1}},
        {"Fibonacci weights at the limit 16 (a plain code is 29 deep)", Fibonacci(30), 16, {}},
        {"Fibonacci weights at a tight limit", Fibonacci(12), 4, {}},
    };
    for (const LengthCase& c : cases) {
        std::vector<uint8_t> lengths(c.freq.size());
        lha::BuildCodeLengths(c.freq.data(), static_cast<unsigned>(c.freq.size()), c.maxLength, lengths.data());
        if (!c.expected.empty()) {
            EXPECT_EQ(lengths, c.expected) << c.name;
            continue;
        }
        uint64_t kraft = 0;
        unsigned longest = 0;
        for (size_t s = 0; s < lengths.size(); ++s) {
            ASSERT_NE(lengths[s], 0) << c.name << ": symbol " << s;
            longest = std::max<unsigned>(longest, lengths[s]);
            kraft += uint64_t(1) << (c.maxLength - std::min<unsigned>(lengths[s], c.maxLength));
        }
        EXPECT_EQ(longest, c.maxLength) << c.name;
        EXPECT_EQ(kraft, uint64_t(1) << c.maxLength) << c.name << ": the code must be complete";
    }
}

// --- -lh5- round trips ---

Bytes Repeated(Bytes unit, size_t size) {
    Bytes data;
    while (data.size() < size)
        data.insert(data.end(), unit.begin(), unit.end());
    data.resize(size);
    return data;
}

// Random units of eight bytes whose last three repeat three of the unit
// before, twelve bytes back: the only copies are three bytes long (the byte
// after each differs), so only a search for three-byte matches packs it.
Bytes ThreeByteRepeats(size_t size, uint32_t seed) {
    Bytes data = RandomBytes(size, seed);
    for (size_t at = 13; at + 3 <= size; at += 8)
        std::memcpy(&data[at], &data[at - 12], 3);
    return data;
}

struct RoundTripCase {
    const char* name;
    Bytes data;
    double maxRatio;  // packed size over original size must stay at or under this (measured, plus a margin)
};

TEST(Lh5, RoundTripsAtTheEdges) {
    Bytes period256 = RandomBytes(256, 11);
    Bytes literalsThenRun = RandomBytes(40000, 12);  // over 16K codes: a block boundary
    literalsThenRun.insert(literalsThenRun.end(), 100000, 'z');
    Bytes runsAndNoise;
    for (int k = 0; k < 40; ++k) {
        Bytes noise = RandomBytes(997, 100 + k);
        runsAndNoise.insert(runsAndNoise.end(), noise.begin(), noise.end());
        runsAndNoise.insert(runsAndNoise.end(), 3000 + k, static_cast<uint8_t>(k));
    }
    const RoundTripCase cases[] = {
        {"empty", {}, 0.0},
        {"one byte", {0x42}, 8.0},
        {"two bytes", {0, 0xFF}, 8.0},
        {"100000 bytes of one value", Bytes(100000, 0xAA), 0.001},
        {"exactly one dictionary of text", MixedBytes(8192, 1), 0.2},
        {"one dictionary and a byte", MixedBytes(8193, 2), 0.2},
        {"a 256-byte period: maximal matches", Repeated(period256, 70000), 0.01},
        {"a period of 8191 bytes: the farthest copies", Repeated(RandomBytes(8191, 13), 40000), 0.22},
        {"literals over a block boundary, then a long run", literalsThenRun, 0.29},
        {"runs and noise over many blocks", runsAndNoise, 0.26},
        {"copies of three bytes only", ThreeByteRepeats(60000, 14), 0.9},
        {"text that slides the window many times", MixedBytes(200000, 3), 0.11},
    };
    for (const RoundTripCase& c : cases) {
        Bytes packed, unpacked;
        ASSERT_EQ(Pack(c.data, packed), lha::EncodeStatus::Ok) << c.name;
        EXPECT_LE(packed.size(), c.maxRatio * c.data.size() + 16) << c.name;
        ASSERT_EQ(Unpack(lha::kLh5DictionaryBits, packed, c.data.size(), unpacked), lha::DecodeStatus::Ok) << c.name;
        EXPECT_TRUE(unpacked == c.data) << c.name;
    }
}

struct LimitCase {
    const char* name;
    Bytes data;
    uint64_t limit;
    lha::EncodeStatus expected;
};

TEST(Lh5, LimitStopsPackingThatDoesNotPay) {
    const LimitCase cases[] = {
        {"random bytes, limit at their size", RandomBytes(50000, 21), 50000, lha::EncodeStatus::LimitReached},
        {"one random byte, limit 1", RandomBytes(1, 22), 1, lha::EncodeStatus::LimitReached},
        {"a run, limit at its size", Bytes(50000, 7), 50000, lha::EncodeStatus::Ok},
        {"a run, limit just above its packed size", Bytes(50000, 7), 0, lha::EncodeStatus::Ok},
        {"a run, limit at its packed size", Bytes(50000, 7), 0, lha::EncodeStatus::LimitReached},
        {"text, limit at a tenth of its size", MixedBytes(50000, 23), 5000, lha::EncodeStatus::LimitReached},
    };
    for (const char* method : {"-lh5-", "-lh1-"}) {
        Bytes runPacked;
        ASSERT_EQ(Pack(Bytes(50000, 7), runPacked, UINT64_MAX, method), lha::EncodeStatus::Ok) << method;
        for (const LimitCase& c : cases) {
            uint64_t limit = c.limit;
            if (limit == 0)  // relative to the run's packed size
                limit = runPacked.size() + (c.expected == lha::EncodeStatus::Ok ? 1 : 0);
            Bytes packed;
            EXPECT_EQ(Pack(c.data, packed, limit, method), c.expected) << method << " " << c.name;
            if (c.expected == lha::EncodeStatus::LimitReached)
                EXPECT_LE(packed.size(), limit) << method << " " << c.name;
        }
    }
}

class FailingSource : public lha::ByteSource {
public:
    size_t Read(uint8_t*, size_t) override { return 0; }
};
class FailingSink : public lha::ByteSink {
public:
    bool Write(const uint8_t*, size_t) override { return false; }
};

TEST(Lh5, StreamFailuresReachTheCaller) {
    FailingSource failing;
    MemorySink sink;
    uint64_t packedSize = 0;
    EXPECT_EQ(lha::Encode(Method("-lh5-"), failing, 10, sink, UINT64_MAX, packedSize), lha::EncodeStatus::InputFailed);

    Bytes data = MixedBytes(30000, 5);
    MemorySource source(data);
    FailingSink refusing;
    EXPECT_EQ(lha::Encode(Method("-lh7-"), source, data.size(), refusing, UINT64_MAX, packedSize),
              lha::EncodeStatus::OutputFailed);
    EXPECT_EQ(lha::Encode(Method("-lh1-"), failing, 10, sink, UINT64_MAX, packedSize), lha::EncodeStatus::InputFailed);
    MemorySource again(data);
    EXPECT_EQ(lha::Encode(Method("-lh1-"), again, data.size(), refusing, UINT64_MAX, packedSize),
              lha::EncodeStatus::OutputFailed);

    Bytes packed;
    ASSERT_EQ(Pack(data, packed), lha::EncodeStatus::Ok);
    MemorySource packedSource(packed);
    EXPECT_EQ(lha::DecodeMember(lha::kLh5DictionaryBits, packedSource, packed.size(), data.size(), refusing),
              lha::DecodeStatus::OutputFailed);
    // The archive says there are more packed bytes than the source holds.
    Bytes truncated(packed.begin(), packed.begin() + packed.size() / 2);
    MemorySource shortSource(truncated);
    MemorySink out;
    EXPECT_EQ(lha::DecodeMember(lha::kLh5DictionaryBits, shortSource, packed.size(), data.size(), out),
              lha::DecodeStatus::InputFailed);
}

// decode(encode(x)) == x over inputs of every kind of structure, for every method.
TEST(Lh5, SeededRandomRoundTrips) {
    const char* methods[] = {"-lh5-", "-lh6-", "-lh7-", "-lh1-"};
    const int count = sizeof methods / sizeof methods[0];
    std::mt19937 random(2024);
    for (int k = 0; k < 100 * count; ++k) {
        const char* method = methods[k % count];
        size_t size = random() % (k % 10 == 0 ? 150000 : 6000);
        Bytes data = k % 7 == 0 ? RandomBytes(size, k) : MixedBytes(size, k);
        Bytes packed, unpacked;
        ASSERT_EQ(Pack(data, packed, UINT64_MAX, method), lha::EncodeStatus::Ok) << method << " input " << k;
        ASSERT_EQ(UnpackMethod(method, packed, data.size(), unpacked), lha::DecodeStatus::Ok)
            << method << " input " << k;
        ASSERT_TRUE(unpacked == data) << method << " input " << k << " of " << size << " bytes";
    }
}

struct DictionaryTripCase {
    const char* name;
    const char* method;
    unsigned dictionaryBits;
    size_t period;     // random bytes repeated with this period
    double maxRatio;   // packed over original: low only when the copies reach one period back
    double minRatio;
};

// A random block repeated: only copies one period back pack it, so the ratio
// tells whether the encoder reaches that far (and stays inside its dictionary:
// the round trip through a decoder of that dictionary).
TEST(Lh5, CopiesReachNearlyTheWholeDictionary) {
    const DictionaryTripCase cases[] = {
        {"-lh5-: a period of 8191 bytes", "-lh5-", lha::kLh5DictionaryBits, 8191, 0.3, 0.0},
        {"-lh5-: a period of 8193 bytes is past it", "-lh5-", lha::kLh5DictionaryBits, 8193, 1.1, 0.9},
        {"-lh6-: a period of 32767 bytes", "-lh6-", lha::kLh6DictionaryBits, 32767, 0.3, 0.0},
        {"-lh6-: a period of 32769 bytes is past it", "-lh6-", lha::kLh6DictionaryBits, 32769, 1.1, 0.9},
        {"-lh7-: a period of 32769 bytes", "-lh7-", lha::kLh7DictionaryBits, 32769, 0.3, 0.0},
        {"-lh7-: a period of 65535 bytes, the farthest copy", "-lh7-", lha::kLh7DictionaryBits, 65535, 0.3, 0.0},
        {"-lh7-: a period of 65537 bytes is past it", "-lh7-", lha::kLh7DictionaryBits, 65537, 1.1, 0.9},
        {"-lh1-: a period of 4095 bytes", "-lh1-", lha::kLh1DictionaryBits, 4095, 0.3, 0.0},
        {"-lh1-: a period of 4097 bytes is past it", "-lh1-", lha::kLh1DictionaryBits, 4097, 1.1, 0.9},
    };
    for (const DictionaryTripCase& c : cases) {
        Bytes data = Repeated(RandomBytes(c.period, 31), 4 * c.period + 1000);
        Bytes packed, unpacked;
        ASSERT_EQ(Pack(data, packed, UINT64_MAX, c.method), lha::EncodeStatus::Ok) << c.name;
        double ratio = static_cast<double>(packed.size()) / data.size();
        EXPECT_LE(ratio, c.maxRatio) << c.name;
        EXPECT_GE(ratio, c.minRatio) << c.name;
        ASSERT_EQ(UnpackMethod(c.method, packed, data.size(), unpacked), lha::DecodeStatus::Ok) << c.name;
        EXPECT_TRUE(unpacked == data) << c.name;
    }
}

// --- -lh6-/-lh7- tree search ---

// Copies of one random block, each with a byte changed `at` bytes in: every
// copy agrees with the others for `at` bytes and then differs, so the tree
// orders many positions past the length its compares stop at.
Bytes NearCopies(size_t unit, size_t at, size_t count, uint32_t seed) {
    Bytes block = RandomBytes(unit, seed);
    Bytes data;
    for (size_t k = 0; k < count; ++k) {
        block[at] = static_cast<uint8_t>(k * 37 + 1);
        data.insert(data.end(), block.begin(), block.end());
    }
    return data;
}

// The inputs where a tree walk can go wrong: strings equal beyond its compare
// length, runs past the length a match is taken whole at (their positions
// stay out of the tree), a long match cut by the end of the data, and copies
// from the far edge of the dictionary. Each packs small, unpacks to itself,
// and packs to the same bytes again after other data went through the
// encoder (the parallel packer relies on equal output for equal input).
TEST(Lh7, TreeSearchEdges) {
    Bytes runThenText(300000, 0);
    Bytes text = MixedBytes(60000, 41);
    runThenText.insert(runThenText.end(), text.begin(), text.end());
    Bytes endsInMatch = RandomBytes(5000, 42);
    endsInMatch.insert(endsInMatch.end(), endsInMatch.begin() + 100, endsInMatch.begin() + 100 + 250);
    const RoundTripCase cases[] = {
        {"copies equal for 127 bytes", NearCopies(400, 127, 300, 43), 0.025},
        {"copies equal for 128 bytes", NearCopies(400, 128, 300, 44), 0.025},
        {"copies equal for 200 bytes", NearCopies(400, 200, 300, 45), 0.025},
        {"copies equal for 300 bytes: longer than a match", NearCopies(400, 300, 300, 46), 0.025},
        {"a run of 300000 bytes, then text", runThenText, 0.035},
        {"ends 250 bytes into a copy", endsInMatch, 0.97},
        {"a period of 32767 bytes", Repeated(RandomBytes(32767, 47), 200000), 0.2},
        {"text that slides the window many times", MixedBytes(400000, 48), 0.16},
    };
    const struct {
        const char* id;
        unsigned dictionaryBits;
    } methods[] = {{"-lh6-", lha::kLh6DictionaryBits}, {"-lh7-", lha::kLh7DictionaryBits}};
    for (const auto& method : methods) {
        for (const RoundTripCase& c : cases) {
            Bytes packed, unpacked, again, other;
            ASSERT_EQ(Pack(c.data, packed, UINT64_MAX, method.id), lha::EncodeStatus::Ok) << method.id << " " << c.name;
            EXPECT_LE(packed.size(), c.maxRatio * c.data.size() + 16) << method.id << " " << c.name;
            ASSERT_EQ(Unpack(method.dictionaryBits, packed, c.data.size(), unpacked), lha::DecodeStatus::Ok)
                << method.id << " " << c.name;
            EXPECT_TRUE(unpacked == c.data) << method.id << " " << c.name;
            ASSERT_EQ(Pack(MixedBytes(100000, 49), other, UINT64_MAX, method.id), lha::EncodeStatus::Ok);
            ASSERT_EQ(Pack(c.data, again, UINT64_MAX, method.id), lha::EncodeStatus::Ok) << method.id << " " << c.name;
            EXPECT_TRUE(again == packed) << method.id << " " << c.name << ": packed differently the second time";
        }
    }
}

// --- end -lh6-/-lh7- tree search ---

// --- -lh1- ---

// Where the adaptive coder and its 60-byte copies can go wrong: nothing to
// code, single literals, copies cut at 60 bytes (runs, and periods of 59 to
// 61 bytes: copies of exactly the longest length, and one past it), a copy
// cut by the end of the data, literals enough to rebuild the tree many times,
// and text over many windows. Each packs small, unpacks to itself, and packs
// to the same bytes after other data went through the encoder.
TEST(Lh1, RoundTripsAtTheEdges) {
    Bytes endsInCopy = RandomBytes(3000, 51);
    endsInCopy.insert(endsInCopy.end(), endsInCopy.begin() + 10, endsInCopy.begin() + 10 + 59);
    Bytes copyOf60 = RandomBytes(3000, 52);
    copyOf60.insert(copyOf60.end(), copyOf60.begin() + 500, copyOf60.begin() + 560);
    const RoundTripCase cases[] = {
        {"empty", {}, 0.0},
        {"one byte", {0x42}, 8.0},
        {"two bytes", {0, 0xFF}, 8.0},
        {"100000 bytes of one value: copies of 60", Bytes(100000, 0xAA), 0.03},
        {"a period of 59 bytes", Repeated(RandomBytes(59, 53), 30000), 0.04},
        {"a period of 60 bytes", Repeated(RandomBytes(60, 54), 30000), 0.04},
        {"a period of 61 bytes", Repeated(RandomBytes(61, 55), 30000), 0.04},
        {"random data, then a copy of exactly 60 bytes", copyOf60, 1.01},
        {"ends 59 bytes into a copy", endsInCopy, 1.01},
        {"copies of three bytes only", ThreeByteRepeats(60000, 59), 0.9},
        {"random bytes: literals over many tree rebuilds", RandomBytes(100000, 56), 1.01},
        {"text that slides the window many times", MixedBytes(200000, 57), 0.21},
    };
    for (const RoundTripCase& c : cases) {
        Bytes packed, unpacked, again, other;
        ASSERT_EQ(Pack(c.data, packed, UINT64_MAX, "-lh1-"), lha::EncodeStatus::Ok) << c.name;
        EXPECT_LE(packed.size(), c.maxRatio * c.data.size() + 16) << c.name;
        ASSERT_EQ(UnpackMethod("-lh1-", packed, c.data.size(), unpacked), lha::DecodeStatus::Ok) << c.name;
        EXPECT_TRUE(unpacked == c.data) << c.name;
        ASSERT_EQ(Pack(MixedBytes(20000, 58), other, UINT64_MAX, "-lh1-"), lha::EncodeStatus::Ok);
        ASSERT_EQ(Pack(c.data, again, UINT64_MAX, "-lh1-"), lha::EncodeStatus::Ok) << c.name;
        EXPECT_TRUE(again == packed) << c.name << ": packed differently the second time";
    }
}

TEST(Lh5, PackingMethodTable) {
    const struct {
        const char* id;
        unsigned dictionaryBits;  // 0: stored
        bool written;
    } cases[] = {
        {"-lh0-", 0, true}, {"-lh5-", 13, true}, {"-lh6-", 15, true}, {"-lh7-", 16, true}, {"-lh1-", 12, true},
        {"-lh4-", 0, false}, {"-lhd-", 0, false}, {"-lh8-", 0, false}, {"", 0, false},
    };
    for (const auto& c : cases) {
        const lha::PackingMethod* method = lha::FindPackingMethod(c.id);
        ASSERT_EQ(method != nullptr, c.written) << c.id;
        if (method) EXPECT_EQ(method->dictionaryBits, c.dictionaryBits) << c.id;
    }
    // The stored row packs nothing: its caller copies the data.
    Bytes packed;
    EXPECT_EQ(Pack(Bytes(1000, 'a'), packed, UINT64_MAX, "-lh0-"), lha::EncodeStatus::LimitReached);
}

// --- blocks written from the format's definition ---


// A block of `count` codes with the pre-tree lengths 0,0,1,2,2 (codes: zero run
// of 20+ "0", length 1 "10", length 2 "11") and the literal/length tree
// 'a' = 0, 'b' = 10, match of 6 bytes (code 259) = 11.
std::string ThreeCodeBlock(const char* count16) {
    return std::string(count16) +
           " 00101 000 000 001 00 010 010"          // pre-tree: 5 lengths, skip 0 after the third
           " 100000100"                              // 260 literal/length lengths follow
           " 0 001001101"                            // 97 zeros (20 + 77)
           " 10 11"                                  // 'a' length 1, 'b' length 2
           " 0 010001100"                            // 160 zeros (20 + 140)
           " 11";                                    // code 259 length 2
}

struct HandBlockCase {
    const char* name;
    std::string bits;
    uint64_t originalSize;
    lha::DecodeStatus expected;
    const char* output;  // for Ok
};

// Pre-tree 0,0,1,1 (zero run of 20+ "0", length 1 "1"); the literal/length
// tree gives only 'a' a length, 1: the code "0" is 'a' and "1" nothing.
const std::string kOnlyA = "0000000000000011 00100 000 000 001 00 001 001100010 0 001001101 1 0000 0000";

TEST(Lh5, HandBuiltBlocks) {
    const std::string single = "0000000000000011 00000 00000 000000000 001000001 0000 0000";
    const std::string twoPositions = ThreeCodeBlock("0000000000000101") +
        " 0011 001 000 001"                 // position tree: p0 = 0, p2 = 1
        " 0 10 11 0 0 11 1 1";              // a b copy6(p0) a copy6(p2, extra 1: offset 3)
    const HandBlockCase cases[] = {
        {"single-symbol trees: three codes of no bits", single, 3, lha::DecodeStatus::Ok, "AAA"},
        {"single-symbol trees, output stops at originalSize", single, 2, lha::DecodeStatus::Ok, "AA"},
        {"a match of 6 from 2 back",
         ThreeCodeBlock("0000000000000100") + " 0000 0001" + " 0 10 11 0", 9, lha::DecodeStatus::Ok, "ababababa"},
        {"the match cut at originalSize",
         ThreeCodeBlock("0000000000000100") + " 0000 0001" + " 0 10 11 0", 5, lha::DecodeStatus::Ok, "ababa"},
        {"a position tree with extra bits", twoPositions, 15, lha::DecodeStatus::Ok, "abbbbbbbabbbabb"},
        {"more output wanted than the block holds",
         ThreeCodeBlock("0000000000000100") + " 0000 0001" + " 0 10 11 0", 10, lha::DecodeStatus::CorruptData, ""},
        {"a copy from before the first byte reads the spaces the window starts with",
         ThreeCodeBlock("0000000000000001") + " 0000 0001" + " 11", 6, lha::DecodeStatus::Ok, "      "},
        {"a copy that starts before the first byte and runs into the output",
         ThreeCodeBlock("0000000000000010") + " 0000 0001" + " 0 11", 7, lha::DecodeStatus::Ok, "a a a a"},
        {"a block of no codes before a good one", "0000000000000000 00000 00000 000000000 001000001 0000 0000 " + single,
         3, lha::DecodeStatus::Ok, "AAA"},
        {"blocks of no codes until the data ends", "0000000000000000 00000 00000 000000000 001000001 0000 0000", 1,
         lha::DecodeStatus::CorruptData, ""},
        {"pre-tree lengths that over-fill the code", "0000000000000001 00011 001 001 001 00", 1,
         lha::DecodeStatus::CorruptData, ""},
        {"position lengths 1, 1, 1: more codes than the code space holds",
         ThreeCodeBlock("0000000000000100") + " 0011 001 001 001" + " 0 10 11 0 0", 9, lha::DecodeStatus::CorruptData, ""},
        {"a single literal/length symbol past the last code",
         "0000000000000001 00000 00000 000000000 111111111 0000 0000", 1, lha::DecodeStatus::CorruptData, ""},
        {"a single literal/length symbol past the last code, after a good block",
         single + " 0000000000000001 00000 00000 000000000 111111111 0000 0000", 4, lha::DecodeStatus::CorruptData, ""},
        {"literal/length lengths for 511 symbols, one more than there are",
         "0000000000000001 00100 001 000 000 00 001 111111111 1" + std::string(509, '0') + "1 0000 0000 0", 1,
         lha::DecodeStatus::CorruptData, ""},
        {"an incomplete code: only 'a', as 0", kOnlyA + " 0 0 0", 3, lha::DecodeStatus::Ok, "aaa"},
        {"codes wanted past the packed data", kOnlyA + " 0", 3, lha::DecodeStatus::CorruptData, ""},
        {"an incomplete code: the unassigned pattern 1", kOnlyA + " 0 1", 2, lha::DecodeStatus::CorruptData, ""},
        {"a position code past the dictionary",
         ThreeCodeBlock("0000000000000011") + " 0000 1110" + " 0 10 11", 8, lha::DecodeStatus::CorruptData, ""},
    };
    for (const HandBlockCase& c : cases) {
        Bytes out;
        ASSERT_EQ(Unpack(lha::kLh5DictionaryBits, Bits(c.bits), c.originalSize, out), c.expected) << c.name;
        if (c.expected == lha::DecodeStatus::Ok)
            EXPECT_EQ(std::string(out.begin(), out.end()), c.output) << c.name;
    }
}

// Two blocks: 40000 times 'a' (single-symbol trees, no code bits), then one
// copy of 3 bytes with position code 16 and 15 extra bits: offset 32768 + extra.
std::string FarCopy(unsigned positionCountBits, const char* extra15) {
    std::string noPositions(2 * positionCountBits, '0');
    std::string position16 = std::string(positionCountBits, '0') + std::string(positionCountBits - 5, '0') + "10000";
    return std::string("1001110001000000 00000 00000 000000000 001100001 ") + noPositions +
           " 0000000000000001 00000 00000 000000000 100000000 " + position16 + " " + extra15;
}

struct DictionaryCase {
    const char* name;
    unsigned dictionaryBits;
    std::string bits;
    lha::DecodeStatus expected;
    const char* tail;  // for Ok: the last three bytes, after 40000 'a'
};

TEST(Decoder, CopiesReachAsFarAsTheDictionary) {
    const DictionaryCase cases[] = {
        {"-lh7-: offset 39999, the first byte", lha::kLh7DictionaryBits, FarCopy(5, "001110000111111"),
         lha::DecodeStatus::Ok, "aaa"},
        {"-lh7-: offset 40000, one space before the first byte", lha::kLh7DictionaryBits,
         FarCopy(5, "001110001000000"), lha::DecodeStatus::Ok, " aa"},
        {"-lh6-: position code 16 is past its dictionary", lha::kLh6DictionaryBits, FarCopy(5, "001110000111111"),
         lha::DecodeStatus::CorruptData, ""},
    };
    for (const DictionaryCase& c : cases) {
        Bytes out;
        ASSERT_EQ(Unpack(c.dictionaryBits, Bits(c.bits), 40003, out), c.expected) << c.name;
        if (c.expected != lha::DecodeStatus::Ok) continue;
        Bytes expected(40000, 'a');
        expected.insert(expected.end(), c.tail, c.tail + 3);
        EXPECT_TRUE(out == expected) << c.name;
    }
}

// --- damaged data ---

TEST(Decoder, DamagedDataEndsCleanly) {
    std::mt19937 random(77);
    const unsigned dictionaries[] = {lha::kLh5DictionaryBits, lha::kLh6DictionaryBits, lha::kLh7DictionaryBits};
    Bytes samples[4];
    for (int k = 0; k < 4; ++k)
        samples[k] = MixedBytes(3000 + 2000 * k, 300 + k);
    Bytes packedSamples[4];
    for (int k = 0; k < 4; ++k)
        ASSERT_EQ(Pack(samples[k], packedSamples[k]), lha::EncodeStatus::Ok);
    int corrupt = 0;
    for (int run = 0; run < 3000; ++run) {
        const Bytes& original = samples[run % 4];
        Bytes packed = packedSamples[run % 4];
        switch (random() % 3) {
        case 0:  // flip a few bits
            for (unsigned k = 1 + random() % 4; k > 0; --k)
                packed[random() % packed.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
            break;
        case 1:  // truncate
            packed.resize(random() % packed.size());
            break;
        default:  // overwrite a stretch with random bytes
            for (size_t at = random() % packed.size(), k = 1 + random() % 16; k > 0 && at < packed.size(); --k, ++at)
                packed[at] = static_cast<uint8_t>(random());
        }
        Bytes out;
        lha::DecodeStatus status = Unpack(dictionaries[run % 3], packed, original.size(), out);
        ASSERT_TRUE(status == lha::DecodeStatus::Ok || status == lha::DecodeStatus::CorruptData)
            << "run " << run << ": status " << static_cast<int>(status);
        if (status == lha::DecodeStatus::Ok)
            ASSERT_EQ(out.size(), original.size()) << "run " << run;
        else
            ++corrupt;
    }
    EXPECT_GT(corrupt, 1000);  // the damage was noticed, not read as something else
}


// LHARK's codes: a block whose literal/length tree holds 'a' (code 0) and one
// copy symbol (code 1) and whose position tree is the single symbol p. Six
// literals 'a', then the copy with its extra bits.
std::string Lk7Block(unsigned symbol, unsigned position, const char* extraBits) {
    auto field = [](unsigned value, unsigned width) {
        std::string bits;
        for (unsigned k = width; k-- > 0;) bits += ((value >> k) & 1) ? '1' : '0';
        return bits;
    };
    return field(7, 16) + " 00100 000 000 001 00 001 " +  // pre-tree: "0" long zero run, "1" length 1
           field(symbol + 1, 9) + " 0" + field(97 - 20, 9) + " 1 0" + field(symbol - 98 - 20, 9) + " 1 " +
           "000000 " + field(position, 6) + " 000000 1 " + extraBits;
}

// What the copy must give: `length` bytes from offset + 1 back after six 'a',
// byte by byte, the bytes before the start being spaces.
Bytes Lk7Expected(size_t length, size_t offset) {
    Bytes out(6, 'a');
    for (size_t k = 0; k < length; ++k) {
        size_t back = offset + 1;
        out.push_back(out.size() >= back ? out[out.size() - back] : ' ');
    }
    return out;
}

struct Lk7Case {
    const char* name;
    unsigned symbol, position;
    const char* extraBits;  // the length's, then the offset's
    size_t length, offset;  // what they must mean; length 0: the data is corrupt
};

TEST(Lk7, LengthAndOffsetCodes) {
    const Lk7Case cases[] = {
        {"symbol 256: 3 bytes; position 0: offset 0", 256, 0, "", 3, 0},
        {"symbol 263: 10 bytes, the last without extra bits; position 3", 263, 3, "", 10, 3},
        {"symbol 264: 11 + 1 bit; position 4: 4 + 1 bit", 264, 4, "1 0", 12, 4},
        {"symbol 271: 31 + 2 bits; position 7: 12 + 2 bits", 271, 7, "11 10", 34, 14},
        {"symbol 287: 451 + 6 bits; position 13: 96 + 5 bits", 287, 13, "111111 11111", 514, 127},
        {"symbol 288: 514 bytes, no extra bits; position 8: 16 + 3 bits", 288, 8, "000", 514, 16},
        {"position 31: the last that fits the 64 KiB window", 263, 31, "11111111111111", 10, 65535},
        {"position 32: past the window", 263, 32, "000000000000000", 0, 0},
    };
    for (const Lk7Case& c : cases) {
        Bytes packed = Bits(Lk7Block(c.symbol, c.position, c.extraBits)), out;
        MemorySource source(packed);
        const size_t size = 6 + (c.length ? c.length : 10);
        MemorySink sink(size);
        lha::DecodeStatus status = lha::DecodeLk7(lha::kLk7DictionaryBits, source, packed.size(), size, sink);
        if (c.length == 0) {
            EXPECT_EQ(status, lha::DecodeStatus::CorruptData) << c.name;
            continue;
        }
        ASSERT_EQ(status, lha::DecodeStatus::Ok) << c.name;
        EXPECT_TRUE(sink.bytes == Lk7Expected(c.length, c.offset)) << c.name;
    }
}

TEST(Lk7, AlphabetEndsAtSymbol288) {
    // A single-symbol literal/length tree naming 289 is past the alphabet.
    Bytes packed = Bits("0000000000000001 00000 00000 000000000 100100001 000000 000000");
    MemorySource source(packed);
    MemorySink sink(1);
    EXPECT_EQ(lha::DecodeLk7(lha::kLk7DictionaryBits, source, packed.size(), 1, sink),
              lha::DecodeStatus::CorruptData);
}

} // namespace

// The -lh1-, -lzs- and -lz5- decoders, reached through the table of methods,
// against streams written from the format's definition: hand-built bits and
// bytes, and model encoders kept here (the -lh1- one with its own adaptive
// tree) fed with seeded random commands whose output is known beforehand.
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

using codectest::Bits;
using codectest::FailingSource;
using codectest::MemorySink;
using codectest::MemorySource;

lha::DecodeStatus Unpack(const char* method, const Bytes& packed, uint64_t originalSize, Bytes& out,
                         size_t* writes = nullptr) {
    const lha::Method* row = lha::FindMethod(method);
    EXPECT_TRUE(row != nullptr && row->kind == lha::MethodKind::Packed && row->decode) << method;
    if (!row || !row->decode)
        return lha::DecodeStatus::CorruptData;
    MemorySource source(packed);
    MemorySink sink(originalSize);
    lha::DecodeStatus status = row->decode(row->dictionaryBits, source, packed.size(), originalSize, sink);
    EXPECT_FALSE(sink.overflowed) << method << ": more than originalSize bytes";
    out = sink.bytes;
    if (writes)
        *writes = sink.writes;
    return status;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }


std::string Binary(unsigned value, unsigned count) {
    std::string bits;
    for (unsigned k = count; k > 0; --k)
        bits += ((value >> (k - 1)) & 1) ? '1' : '0';
    return bits;
}

// --- the windows as the format defines them ---

constexpr unsigned kLh1Window = 4096;
constexpr unsigned kLzsRing = 2048, kLzsFirstIndex = 2031;
constexpr unsigned kLz5Ring = 4096, kLz5FirstIndex = 4078;

// The -lz5- ring before the first byte, by index.
Bytes Lz5InitialRing() {
    Bytes ring;
    for (unsigned v = 0; v < 256; ++v)
        ring.insert(ring.end(), 13, static_cast<uint8_t>(v));
    for (unsigned v = 0; v < 256; ++v)
        ring.push_back(static_cast<uint8_t>(v));
    for (unsigned v = 0; v < 256; ++v)
        ring.push_back(static_cast<uint8_t>(255 - v));
    ring.insert(ring.end(), 128, 0x00);
    ring.insert(ring.end(), 110, 0x20);
    ring.insert(ring.end(), 18, 0x00);
    return ring;
}

// --- model encoders ---

// A literal (length 0) or a copy of `length` bytes from `distance` back.
struct Command {
    uint32_t length;
    uint32_t distance;
    uint8_t byte;
};

// What the commands give: `before` is what a distance past the output's start
// reads, its last byte 1 back from the first byte written.
Bytes Expand(const std::vector<Command>& commands, const Bytes& before) {
    Bytes all = before;
    for (const Command& c : commands) {
        if (c.length == 0) {
            all.push_back(c.byte);
            continue;
        }
        for (uint32_t k = 0; k < c.length; ++k)
            all.push_back(all[all.size() - c.distance]);
    }
    return Bytes(all.begin() + static_cast<long>(before.size()), all.end());
}

// The -lh1- tree as the format describes it, kept by the encoder in step with
// the decoder's. Codes are read from a leaf up to the root.
class ModelTree {
public:
    static constexpr unsigned kSymbols = 314, kNodes = 627, kRoot = 626;

    ModelTree() {
        for (unsigned k = 0; k < kSymbols; ++k)
            node_[k] = {1, true, k};
        for (unsigned j = 0; j < kNodes - kSymbols; ++j)
            node_[kSymbols + j] = {node_[2 * j].freq + node_[2 * j + 1].freq, false, 2 * j};
        Relink();
    }

    std::string Code(unsigned symbol) const {
        std::string code;
        for (unsigned p = leafAt_[symbol]; p != kRoot; p = parent_[p])
            code.insert(code.begin(), p == node_[parent_[p]].value ? '0' : '1');
        return code;
    }

    void Update(unsigned symbol) {
        ++updates;
        if (node_[kRoot].freq >= 0x8000) {
            Rebuild();
            rebuildAt.push_back(updates);
        }
        unsigned n = leafAt_[symbol];
        while (n != kRoot) {
            unsigned m = n;
            while (node_[m + 1].freq == node_[n].freq)
                ++m;
            if (m != n) {
                std::swap(node_[n], node_[m]);
                Relink(n);
                Relink(m);
                n = m;
            }
            ++node_[n].freq;
            n = parent_[n];
        }
        ++node_[kRoot].freq;
    }

    unsigned updates = 0;
    std::vector<unsigned> rebuildAt;  // the symbols (counted from 1) whose update rebuilt the tree

private:
    struct Node {
        unsigned freq;
        bool leaf;
        unsigned value;  // the symbol of a leaf, the first child of a node
    };

    void Rebuild() {
        std::vector<Node> leaves;
        for (const Node& n : node_)
            if (n.leaf)
                leaves.push_back({(n.freq + 1) / 2, true, n.value});
        unsigned p = 0, c = 0;
        size_t next = 0;
        while (p < kNodes) {
            while (p - c < 2)
                node_[p++] = leaves[next++];
            unsigned f = node_[c].freq + node_[c + 1].freq;
            while (next < leaves.size() && leaves[next].freq <= f)
                node_[p++] = leaves[next++];
            node_[p++] = {f, false, c};
            c += 2;
        }
        Relink();
    }

    void Relink(unsigned p) {
        if (node_[p].leaf)
            leafAt_[node_[p].value] = p;
        else
            parent_[node_[p].value] = parent_[node_[p].value + 1] = p;
    }

    void Relink() {
        for (unsigned p = 0; p < kNodes; ++p)
            Relink(p);
    }

    Node node_[kNodes];
    unsigned parent_[kNodes];
    unsigned leafAt_[kSymbols];
};

// The high six bits of a -lh1- position, by the rows of its code table.
std::string Lh1PositionCode(unsigned high) {
    struct Row { unsigned firstHigh, count, length, firstCode; };
    const Row rows[] = {{0, 1, 3, 0b000}, {1, 3, 4, 0b0010}, {4, 8, 5, 0b01010},
                        {12, 12, 6, 0b100100}, {24, 24, 7, 0b1100000}, {48, 16, 8, 0b11110000}};
    for (const Row& r : rows)
        if (high < r.firstHigh + r.count)
            return Binary(r.firstCode + high - r.firstHigh, r.length);
    return "";
}

Bytes EncodeLh1(const std::vector<Command>& commands, ModelTree* keep = nullptr) {
    ModelTree tree;
    std::string bits;
    for (const Command& c : commands) {
        unsigned symbol = c.length == 0 ? c.byte : c.length + 253;
        bits += tree.Code(symbol);
        tree.Update(symbol);
        if (c.length != 0)
            bits += Lh1PositionCode((c.distance - 1) >> 6) + Binary((c.distance - 1) & 63, 6);
    }
    if (keep)
        *keep = tree;
    return Bits(bits);
}

// -lzs- and -lz5- name the absolute ring index a distance reaches.
unsigned RingIndex(unsigned first, unsigned ring, uint64_t written, unsigned distance) {
    return static_cast<unsigned>((first + written - distance) % ring);
}

Bytes EncodeLzs(const std::vector<Command>& commands) {
    std::string bits;
    uint64_t written = 0;
    for (const Command& c : commands) {
        if (c.length == 0) {
            bits += "1" + Binary(c.byte, 8);
            ++written;
            continue;
        }
        bits += "0" + Binary(RingIndex(kLzsFirstIndex, kLzsRing, written, c.distance), 11) + Binary(c.length - 2, 4);
        written += c.length;
    }
    return Bits(bits);
}

Bytes EncodeLz5(const std::vector<Command>& commands) {
    Bytes out;
    uint64_t written = 0;
    size_t flagAt = 0;
    for (size_t k = 0; k < commands.size(); ++k) {
        const Command& c = commands[k];
        if (k % 8 == 0) {
            flagAt = out.size();
            out.push_back(0);
        }
        if (c.length == 0) {
            out[flagAt] |= static_cast<uint8_t>(1u << (k % 8));
            out.push_back(c.byte);
            ++written;
            continue;
        }
        unsigned index = RingIndex(kLz5FirstIndex, kLz5Ring, written, c.distance);
        out.push_back(static_cast<uint8_t>(index & 0xFF));
        out.push_back(static_cast<uint8_t>((index >> 8) << 4 | (c.length - 3)));
        written += c.length;
    }
    return out;
}

// What a distance past the start reads, nearest byte last.
Bytes Lh1Before() { return Bytes(kLh1Window, 0x20); }
Bytes LzsBefore() { return Bytes(kLzsRing, 0x20); }
Bytes Lz5Before() {
    Bytes ring = Lz5InitialRing(), before;
    for (unsigned j = 0; j < kLz5Ring; ++j)
        before.push_back(ring[(kLz5FirstIndex + j) % kLz5Ring]);
    return before;
}

struct MethodModel {
    const char* id;
    unsigned window, minLength, maxLength;
    Bytes (*encode)(const std::vector<Command>&);
    Bytes (*before)();
};

Bytes EncodeLh1Only(const std::vector<Command>& commands) { return EncodeLh1(commands); }

const MethodModel kModels[] = {
    {"-lh1-", kLh1Window, 3, 60, EncodeLh1Only, Lh1Before},
    {"-lzs-", kLzsRing, 2, 17, EncodeLzs, LzsBefore},
    {"-lz5-", kLz5Ring, 3, 18, EncodeLz5, Lz5Before},
};

// Literals from a small alphabet or any byte; copies of every length, from
// near (overlapping), anywhere in the window, or its far end.
std::vector<Command> RandomCommands(const MethodModel& m, size_t count, std::mt19937& random) {
    std::vector<Command> commands;
    unsigned alphabet = 2 + random() % 255;
    for (size_t k = 0; k < count; ++k) {
        if (random() % 2 == 0) {
            commands.push_back({0, 0, static_cast<uint8_t>(random() % alphabet)});
            continue;
        }
        uint32_t length = m.minLength + random() % (m.maxLength - m.minLength + 1);
        uint32_t distance;
        switch (random() % 4) {
        case 0: distance = 1 + random() % 8; break;
        case 1: distance = m.window - random() % 3; break;
        default: distance = 1 + random() % m.window;
        }
        commands.push_back({length, distance, 0});
    }
    return commands;
}

Command L(char c) { return {0, 0, static_cast<uint8_t>(c)}; }
Command C(uint32_t length, uint32_t distance) { return {length, distance, 0}; }

// --- hand-built streams ---

struct StreamCase {
    const char* method;
    const char* name;
    Bytes packed;
    uint64_t originalSize;
    lha::DecodeStatus expected;
    Bytes output;  // for Ok
};

std::string LzsLiterals(const std::string& text) {
    std::string bits;
    for (char c : text)
        bits += "1" + Binary(static_cast<uint8_t>(c), 8) + " ";
    return bits;
}

std::string LzsCopy(unsigned index, unsigned length) { return "0" + Binary(index, 11) + Binary(length - 2, 4) + " "; }

// Items in groups of eight behind a flag byte whose bit is set for a literal;
// Lit(c) is a literal, Copy(index, length) a copy from an absolute ring index.
Bytes Lz5Items(const std::vector<std::pair<int, unsigned>>& items) {
    Bytes out;
    size_t flagAt = 0;
    for (size_t k = 0; k < items.size(); ++k) {
        if (k % 8 == 0) {
            flagAt = out.size();
            out.push_back(0);
        }
        if (items[k].first >= 0) {
            out[flagAt] |= static_cast<uint8_t>(1u << (k % 8));
            out.push_back(static_cast<uint8_t>(items[k].first));
            continue;
        }
        unsigned index = items[k].second >> 8, length = items[k].second & 0xFF;
        out.push_back(static_cast<uint8_t>(index & 0xFF));
        out.push_back(static_cast<uint8_t>((index >> 8) << 4 | (length - 3)));
    }
    return out;
}
std::pair<int, unsigned> Lit(char c) { return {static_cast<uint8_t>(c), 0}; }
std::pair<int, unsigned> Copy(unsigned index, unsigned length) { return {-1, index << 8 | length}; }

Bytes Alphabet(size_t count) {
    Bytes text;
    for (size_t k = 0; k < count; ++k)
        text.push_back(static_cast<uint8_t>('a' + k % 26));
    return text;
}

Bytes Join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(MethodDecoders, HandBuiltStreams) {
    const auto ok = lha::DecodeStatus::Ok;
    const auto corrupt = lha::DecodeStatus::CorruptData;
    const Bytes spaces60(60, ' ');
    std::vector<std::pair<int, unsigned>> twenty, wholeTable;
    for (uint8_t c : Alphabet(20))
        twenty.push_back(Lit(static_cast<char>(c)));
    for (unsigned index = 0; index < kLz5FirstIndex; index += 18)
        wholeTable.push_back(Copy(index, std::min(18u, kLz5FirstIndex - index)));
    auto lz5Twenty = twenty;
    lz5Twenty.push_back(Copy(4094, 4));
    const Bytes ring = Lz5InitialRing();

    const StreamCase cases[] = {
        // -lh1-: the first symbol is coded by the initial tree.
        {"-lh1-", "first symbol 0x20: 110101100", Bits("110101100"), 1, ok, Text(" ")},
        {"-lh1-", "first symbol 0: 110001100", Bits("110001100"), 1, ok, {0}},
        {"-lh1-", "first symbol 115, the last 9-bit code: 111111111", Bits("111111111"), 1, ok, Text("s")},
        {"-lh1-", "first symbol 116, the first 8-bit code: 00000000", Bits("00000000"), 1, ok, Text("t")},
        {"-lh1-", "first symbol 255: 10001011", Bits("10001011"), 1, ok, {0xFF}},
        {"-lh1-", "first symbol 256: 3 initial spaces from 1 back", Bits("10001100 000 000000"), 3, ok, Text("   ")},
        {"-lh1-", "first symbol 313: 60 initial spaces from 4096 back", Bits("11000101 11111111 111111"), 60, ok,
         spaces60},
        {"-lh1-", "a copy cut at originalSize", Bits("11000101 11111111 111111"), 7, ok, Text("       ")},
        {"-lh1-", "an empty member reads nothing", {}, 0, ok, {}},
        {"-lh1-", "no packed data, one byte wanted", {}, 1, corrupt, {}},
        {"-lh1-", "a copy whose position lies past the data", Bits("10001100"), 3, corrupt, {}},
        {"-lh1-", "a second symbol past the data", Bits("110101100"), 2, corrupt, {}},
        // -lzs-: absolute indexes into a ring of spaces written from 2031.
        {"-lzs-", "a literal", Bits(LzsLiterals("A")), 1, ok, Text("A")},
        {"-lzs-", "two initial spaces from index 0", Bits(LzsCopy(0, 2)), 2, ok, Text("  ")},
        {"-lzs-", "a copy of 5 overlapping its own output", Bits(LzsLiterals("a") + LzsCopy(2031, 5)), 6, ok,
         Text("aaaaaa")},
        {"-lzs-", "the longest copy, 17", Bits(LzsLiterals("ab") + LzsCopy(2031, 17)), 19, ok,
         Text("abababababababababa")},
        {"-lzs-", "a copy across the ring's end",
         Bits(LzsLiterals("abcdefghijklmnopqrst") + LzsCopy(2045, 6)), 26, ok, Join(Alphabet(20), Text("opqrst"))},
        {"-lzs-", "a copy past the member's end stops at originalSize", Bits(LzsLiterals("xy") + LzsCopy(2031, 17)), 5,
         ok, Text("xyxyx")},
        {"-lzs-", "a copy index cut short", Bits("0 0000000"), 2, corrupt, {}},
        {"-lzs-", "literals that run out", Bits(LzsLiterals("A")), 2, corrupt, {}},
        // -lz5-: flag bytes, and the initial ring by its regions.
        {"-lz5-", "eight literals under one flag byte", Lz5Items(std::vector<std::pair<int, unsigned>>(twenty.begin(), twenty.begin() + 8)), 8, ok,
         Alphabet(8)},
        {"-lz5-", "flag bits least significant first", Lz5Items({Lit('a'), Copy(4078, 3), Lit('b')}), 5, ok,
         Text("aaaab")},
        {"-lz5-", "13 'A' from the 13 copies of each byte", Lz5Items({Copy(13 * 'A', 13)}), 13, ok, Bytes(13, 'A')},
        {"-lz5-", "the last 255s, then the rising run", Lz5Items({Copy(0xCFC, 8)}), 8, ok,
         {0xFF, 0xFF, 0xFF, 0xFF, 0, 1, 2, 3}},
        {"-lz5-", "the rising run", Lz5Items({Copy(0xD61, 18)}), 18, ok, Text("abcdefghijklmnopqr")},
        {"-lz5-", "the falling run", Lz5Items({Copy(0xE00, 3)}), 3, ok, {0xFF, 0xFE, 0xFD}},
        {"-lz5-", "zeros, then spaces", Lz5Items({Copy(0xF7E, 4)}), 4, ok, {0, 0, ' ', ' '}},
        {"-lz5-", "a copy through the write index reads its own output", Lz5Items({Copy(0xFEC, 4)}), 4, ok,
         Text("    ")},
        {"-lz5-", "the zeros after the spaces", Lz5Items({Copy(0xFF0, 18)}), 18, ok, Bytes(18, 0)},
        {"-lz5-", "the whole initial ring up to the write index", Lz5Items(wholeTable), kLz5FirstIndex, ok,
         Bytes(ring.begin(), ring.begin() + kLz5FirstIndex)},
        {"-lz5-", "a copy across the ring's end", Lz5Items(lz5Twenty), 24, ok, Join(Alphabet(20), Text("qrst"))},
        {"-lz5-", "a copy past the member's end stops at originalSize", Lz5Items({Lit('z'), Copy(4078, 18)}), 4, ok,
         Text("zzzz")},
        {"-lz5-", "a copy cut after its first byte", {0x00, 0x10}, 3, corrupt, {}},
        {"-lz5-", "a flag byte and nothing more", {0x01}, 1, corrupt, {}},
        {"-lz5-", "no packed data, one byte wanted", {}, 1, corrupt, {}},
    };
    for (const StreamCase& c : cases) {
        Bytes out;
        ASSERT_EQ(Unpack(c.method, c.packed, c.originalSize, out), c.expected) << c.method << " " << c.name;
        if (c.expected == ok)
            EXPECT_TRUE(out == c.output) << c.method << " " << c.name;
    }
}

// --- streams from the model encoders ---

// The model's tree starts with the codes the format lists, so what it encodes
// is what the format means.
TEST(Lh1Model, InitialCodesAreTheListedOnes) {
    ModelTree tree;
    const std::pair<unsigned, const char*> listed[] = {
        {0x20, "110101100"}, {0, "110001100"}, {115, "111111111"}, {116, "00000000"},
        {255, "10001011"},   {256, "10001100"}, {313, "11000101"},
    };
    for (const auto& symbol : listed)
        EXPECT_EQ(tree.Code(symbol.first), symbol.second) << "symbol " << symbol.first;
    EXPECT_EQ(Lh1PositionCode(0), "000");
    EXPECT_EQ(Lh1PositionCode(11), "10001");
    EXPECT_EQ(Lh1PositionCode(47), "1110111");
    EXPECT_EQ(Lh1PositionCode(63), "11111111");
}

struct CommandCase {
    const char* name;
    std::vector<Command> commands;
    Bytes output;
};

TEST(Lh1, ModelStreams) {
    const CommandCase cases[] = {
        {"literals only", {L('h'), L('e'), L('l'), L('l'), L('o')}, Text("hello")},
        {"an overlapping copy", {L('a'), L('b'), C(10, 2)}, Text("abababababab")},
        {"a copy of 3 from 1 back repeats a byte", {L('q'), C(3, 1)}, Text("qqqq")},
        {"a copy from 4096 back reaches the initial spaces", {L('x'), L('y'), C(4, 4096)}, Text("xy    ")},
        {"position high 11, low 5", {L('a'), C(3, 11 * 64 + 5 + 1)}, Text("a   ")},
    };
    for (const CommandCase& c : cases) {
        Bytes out;
        ASSERT_EQ(Unpack("-lh1-", EncodeLh1(c.commands), c.output.size(), out), lha::DecodeStatus::Ok) << c.name;
        EXPECT_TRUE(out == c.output) << c.name;
        EXPECT_TRUE(Expand(c.commands, Lh1Before()) == c.output) << c.name << ": the row itself";
    }
}

// The tree is rebuilt when its root reaches 32768, first in the update of the
// 32,455th symbol; after it, every code changes.
TEST(Lh1, StreamsLongEnoughToRebuildTheTree) {
    struct RebuildCase {
        const char* name;
        size_t symbols;
        size_t rebuilds;  // at least
    };
    const RebuildCase cases[] = {
        {"one symbol short of a rebuild", 32454, 0},
        {"exactly at the first rebuild", 32455, 1},
        {"several rebuilds", 70000, 2},
    };
    for (const RebuildCase& c : cases) {
        std::mt19937 random(static_cast<uint32_t>(c.symbols));
        std::vector<Command> commands = RandomCommands(kModels[0], c.symbols, random);
        ModelTree tree;
        Bytes packed = EncodeLh1(commands, &tree);
        if (c.rebuilds == 0)
            ASSERT_TRUE(tree.rebuildAt.empty()) << c.name;
        ASSERT_GE(tree.rebuildAt.size(), c.rebuilds) << c.name;
        if (c.rebuilds > 0)
            EXPECT_EQ(tree.rebuildAt[0], 32455u) << c.name;
        Bytes expected = Expand(commands, Lh1Before()), out;
        size_t writes = 0;
        ASSERT_EQ(Unpack("-lh1-", packed, expected.size(), out, &writes), lha::DecodeStatus::Ok) << c.name;
        EXPECT_TRUE(out == expected) << c.name;
        EXPECT_LE(writes, expected.size() / 32768 + 2) << c.name << ": output in pieces, not bytes";
    }
}

// Counts in a Fibonacci chain, in units of the 306 symbols never seen, put
// those symbols under the whole chain: their codes pass 16 bits, more than
// the decoder peeks at once.
TEST(Lh1, CodesLongerThanSixteenBits) {
    const unsigned kUnseen = 306;
    const unsigned chain[] = {1, 2, 3, 5, 8, 13, 21, 34};
    std::vector<Command> commands;
    for (unsigned k = 0; k < 8; ++k)
        commands.insert(commands.end(), kUnseen * chain[k], L(static_cast<char>('a' + k)));
    ModelTree tree;
    for (const Command& c : commands)
        tree.Update(c.byte);
    ASSERT_GT(tree.Code(0).size(), 16u) << "the chain no longer makes a long code";
    for (uint8_t unseen : {0, 1, 2, 0xFF})
        commands.push_back({0, 0, unseen});
    commands.push_back(L('a'));
    Bytes expected = Expand(commands, Lh1Before()), out;
    ASSERT_EQ(Unpack("-lh1-", EncodeLh1(commands), expected.size(), out), lha::DecodeStatus::Ok);
    EXPECT_TRUE(out == expected);
}

// decode(encode(commands)) gives what the commands mean, for each method; and
// the member's end may fall anywhere, inside a copy too.
TEST(MethodDecoders, SeededRandomRoundTrips) {
    std::mt19937 random(1234);
    for (const MethodModel& m : kModels) {
        for (int k = 0; k < 60; ++k) {
            size_t count = random() % (k % 10 == 0 ? 20000 : 600);
            std::vector<Command> commands = RandomCommands(m, count, random);
            Bytes packed = m.encode(commands);
            Bytes expected = Expand(commands, m.before()), out;
            size_t writes = 0;
            ASSERT_EQ(Unpack(m.id, packed, expected.size(), out, &writes), lha::DecodeStatus::Ok) << m.id << " " << k;
            ASSERT_TRUE(out == expected) << m.id << " input " << k << " of " << count << " commands";
            EXPECT_LE(writes, expected.size() / 32768 + 2) << m.id << " " << k;
            if (expected.empty())
                continue;
            size_t cut = random() % expected.size();
            ASSERT_EQ(Unpack(m.id, packed, cut, out), lha::DecodeStatus::Ok) << m.id << " " << k << " cut";
            ASSERT_TRUE(out == Bytes(expected.begin(), expected.begin() + static_cast<long>(cut))) << m.id << " " << k;
        }
    }
}

// --- damaged input and failing streams ---

TEST(MethodDecoders, DamagedDataEndsCleanly) {
    std::mt19937 random(99);
    for (const MethodModel& m : kModels) {
        std::vector<Command> commands = RandomCommands(m, 3000, random);
        Bytes packed = m.encode(commands);
        Bytes expected = Expand(commands, m.before());
        int corrupt = 0;
        for (int run = 0; run < 400; ++run) {
            Bytes damaged = packed;
            if (run % 2 == 0) {
                damaged.resize(random() % damaged.size());
            } else {
                for (unsigned k = 1 + random() % 4; k > 0; --k)
                    damaged[random() % damaged.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
            }
            Bytes out;
            lha::DecodeStatus status = Unpack(m.id, damaged, expected.size(), out);
            ASSERT_TRUE(status == lha::DecodeStatus::Ok || status == lha::DecodeStatus::CorruptData)
                << m.id << " run " << run << ": status " << static_cast<int>(status);
            if (status == lha::DecodeStatus::Ok)
                ASSERT_EQ(out.size(), expected.size()) << m.id << " run " << run;
            else
                ++corrupt;
        }
        // Every truncation is noticed: no method reads past the end of its data.
        EXPECT_GE(corrupt, 200) << m.id;
    }
}

TEST(MethodDecoders, StreamFailuresReachTheCaller) {
    std::mt19937 random(5);
    for (const MethodModel& m : kModels) {
        const lha::Method* row = lha::FindMethod(m.id);
        ASSERT_TRUE(row != nullptr) << m.id;
        FailingSource failing;
        MemorySink sink;
        EXPECT_EQ(row->decode(row->dictionaryBits, failing, 100, 10, sink), lha::DecodeStatus::InputFailed) << m.id;

        std::vector<Command> commands = RandomCommands(m, 20000, random);
        Bytes packed = m.encode(commands);
        Bytes expected = Expand(commands, m.before());
        // The archive says there are more packed bytes than the source holds.
        Bytes half(packed.begin(), packed.begin() + static_cast<long>(packed.size() / 2));
        MemorySource shortSource(half);
        MemorySink out;
        EXPECT_EQ(row->decode(row->dictionaryBits, shortSource, packed.size(), expected.size(), out),
                  lha::DecodeStatus::InputFailed) << m.id;
        // A sink that refuses the first piece (a full ring) ends the decoding.
        MemorySource source(packed);
        MemorySink refusing(0);
        EXPECT_EQ(row->decode(row->dictionaryBits, source, packed.size(), expected.size(), refusing),
                  lha::DecodeStatus::OutputFailed) << m.id;
        EXPECT_EQ(refusing.writes, 1u) << m.id;
        // A dictionary the method does not have.
        MemorySource again(packed);
        EXPECT_EQ(row->decode(row->dictionaryBits + 1, again, packed.size(), expected.size(), out),
                  lha::DecodeStatus::CorruptData) << m.id;
    }
}

} // namespace

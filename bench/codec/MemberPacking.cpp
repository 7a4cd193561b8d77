#include "MemberPacking.h"

#include "archiver/codec/Crc16.h"

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

namespace codec_bench {
namespace {

class MemorySource : public lha::ByteSource {
public:
    explicit MemorySource(const std::vector<uint8_t>& data) : data_(data) {}
    size_t Read(uint8_t* buffer, size_t size) override {
        const size_t take = size < data_.size() - at_ ? size : data_.size() - at_;
        std::copy(data_.begin() + at_, data_.begin() + at_ + take, buffer);
        at_ += take;
        return take;
    }

private:
    const std::vector<uint8_t>& data_;
    size_t at_ = 0;
};

class MemorySink : public lha::ByteSink {
public:
    explicit MemorySink(std::vector<uint8_t>& data) : data_(data) {}
    bool Write(const uint8_t* bytes, size_t size) override {
        data_.insert(data_.end(), bytes, bytes + size);
        return true;
    }

private:
    std::vector<uint8_t>& data_;
};

bool ReadFile(const std::string& path, std::vector<uint8_t>& data, uint32_t& time, std::string& error) {
    struct stat facts;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr || fstat(fileno(file), &facts) != 0) {
        if (file != nullptr)
            std::fclose(file);
        error = path + ": cannot open";
        return false;
    }
    data.resize(static_cast<size_t>(facts.st_size));
    const size_t got = data.empty() ? 0 : std::fread(data.data(), 1, data.size(), file);
    std::fclose(file);
    time = static_cast<uint32_t>(facts.st_mtime);
    if (got != data.size()) {
        error = path + ": cannot read";
        return false;
    }
    return true;
}

} // namespace

bool PackFile(const std::string& path, const std::string& name, const lha::PackingMethod& method,
              PackedMember& member, std::string& error) {
    std::vector<uint8_t> original;
    MemberEntry& entry = member.entry;
    if (!ReadFile(path, original, entry.time, error))
        return false;
    entry.name = name;
    entry.originalSize = original.size();
    entry.crc = lha::UpdateCrc16(0, original.data(), original.size());
    member.data.clear();
    member.data.reserve(original.size());
    if (!original.empty() && method.dictionaryBits != 0) {
        MemorySource in(original);
        MemorySink out(member.data);
        uint64_t packedSize = 0;
        switch (lha::Encode(method, in, original.size(), out, original.size(), packedSize)) {
        case lha::EncodeStatus::Ok:
            entry.method = method.id;
            entry.packedSize = packedSize;
            return true;
        case lha::EncodeStatus::LimitReached:
            break;
        case lha::EncodeStatus::InputFailed:
        case lha::EncodeStatus::OutputFailed:
            error = path + ": the encoder failed";
            return false;
        }
    }
    // Packing does not pay (or there is nothing to pack): stored.
    entry.method = lha::StoredPackingMethod().id;
    entry.packedSize = original.size();
    member.data.swap(original);
    return true;
}

} // namespace codec_bench
